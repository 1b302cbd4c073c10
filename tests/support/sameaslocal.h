#pragma once

#include "bus/clock.h"
#include "support/gpibharness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The program's exchanges through `remote` (a network or serial controller in front of a
// simulated bus with `listeners`) and on a local bus give the same replies and bus
// traffic, the remote one after the lines its controller puts on the bus as it takes it
// (`taking`); replies are read `piece` bytes at a time. Once unplugged, every call fails
// at once.
inline void sameAsLocalUntilUnplugged(GpibDriver &remote, Clock &clock,
                                      const std::string &listeners,
                                      const std::vector<std::string> &taking, size_t piece,
                                      const std::function<std::vector<std::string>()> &trace,
                                      const std::function<void()> &unplug)
{
    using namespace std::chrono_literals;
    GpibHarness local(listeners);
    std::string seen[2];
    for (GpibDriver *d : {&remote, &local.gpib.driver()}) {
        std::vector<int16_t> all{0}, found(15, 0);
        for (int16_t a = 1; a <= 31; ++a)
            all.push_back(a < 31 ? a : -1);
        d->SendIFC(0);
        d->FindLstn(0, all, found, 15);
        const int16_t ud = d->ibdev(0, 9, 0, 11, 1, 0);
        int16_t statusByte = -1;
        d->ibclr(ud), d->ibrsp(ud, statusByte), d->ibwrt(ud, "AMPL 5;FREQ 10E+3;ID?;AMPL?");
        std::string &s = seen[d == &remote];
        s = std::to_string(found[3]) + "/" + std::to_string(statusByte) + "/";
        // In pieces: END comes with the last only.
        for (int i = 0; i < 10 && !(d->ibsta() & (gpib::END | gpib::ERR)); ++i) {
            std::string bytes(piece, ' ');
            d->ibrd(ud, bytes);
            s += bytes.substr(0, static_cast<size_t>(d->ibcnt())) +
                 (d->ibsta() & gpib::END ? "|" : "/");
        }
    }
    EXPECT_EQ(seen[1], seen[0]);
    unplug();
    local.trace.insert(local.trace.begin(), taking.begin(), taking.end());
    EXPECT_EQ(trace(), local.trace);
    const auto t0 = clock.now();
    const int16_t ud = remote.ibdev(0, 9, 0, 11, 1, 0);
    std::vector<int16_t> found(4, 0);
    int16_t statusByte = 0;
    std::string buffer(8, ' ');
    const std::function<void()> calls[] = {
        [&] { remote.ibwrt(ud, "OUT?"); }, [&] { remote.ibrd(ud, buffer); },
        [&] { remote.ibrsp(ud, statusByte); }, [&] { remote.ibclr(ud); },
        [&] { remote.SendIFC(0); }, [&] { remote.FindLstn(0, {{5, -1}}, found, 3); }};
    for (const auto &call : calls) {
        call();
        EXPECT_EQ(remote.ibsta() & (gpib::ERR | gpib::TIMO), gpib::ERR);
        EXPECT_EQ(remote.iberr(), gpib::EDVR);
    }
    EXPECT_LT(clock.now() - t0, 500ms);
}
