// The VXI-11 backend over loopback TCP to wavedial-sim, and against the simulated
// gateway in memory on the test clock, with the faults a gateway shows.
#include "bus/vxi11/vxi11bus.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"
#include "sim/servers/vxi11calls.h"
#include "support/paramname.h"
#include "support/sameaslocal.h"
#include "support/simprocess.h"

#include <gtest/gtest.h>

#include <numeric>

#include "bus/vxi11/vxi11.h"

namespace {

using namespace std::chrono_literals;
const std::string Listeners = "MUTE@2,OTHER@3,AFG5102@9";

TEST(Vxi11Link, OverTcpAsOnALocalBus)
{
    SimProcess sim({QString::fromStdString(Listeners)}, "--vxi11");
    SteadyClock clock;
    Vxi11Open open =
        openVxi11(*parseVxi11Address("127.0.0.1:" + std::to_string(sim.port)), clock);
    ASSERT_TRUE(open.backend) << open.error;
    GpibDriver remote(*open.backend);
    sameAsLocalUntilUnplugged(remote, clock, Listeners, {}, 8, [&] { return sim.trace(); },
                              [&] { sim.stop(); });
}

// What a gateway does instead of its answer to calls of `proc` (0: of none), for the
// link to `device` alone when one is named.
struct Fault
{
    enum Kind { None, Error, Drop, Silent, Huge } kind = None; // Huge: reads claim 4 GiB
    uint32_t proc = 0;
    int32_t error = 0;
    const char *device = "";
};

// The simulated gateway's core (or abort) channel in memory: each call answered after
// the hold the gateway asks for, on the host's clock; a wait with nothing due moves the
// clock by the whole wait. A device_abort ends the held call on its link at once.
struct MemoryGateway final : ByteLink
{
    MemoryGateway(Vxi11Gateway &g, ManualClock &c, Fault f, int32_t &aborted, bool isAbort)
        : gateway(g), clock(c), fault(f), abortedLid(aborted), abortChannel(isAbort)
    {
    }
    bool send(std::string_view bytes, Clock::Duration) override
    {
        calls.feed(bytes);
        while (const std::optional<std::string> record = calls.next()) {
            const oncrpc::Call call = oncrpc::decodeCallHeader(*record).value();
            if (abortChannel) { // a gateway that stopped answering has stopped here too
                abortedLid = vxi11::decodeLink(*record, call).value();
                if (fault.kind != Fault::Silent)
                    held.push_back({call.xid, 0, 0, {}, clock.now(), false});
                continue;
            }
            const vxi11::Request r = vxi11::decodeCoreArguments(*record, call).value();
            const bool met = fault.proc == call.proc && (!*fault.device || r.data == fault.device);
            vxi11::Answer a = vxi11::runCoreCall(gateway, 1, call.proc, r);
            dropped = dropped || (met && fault.kind == Fault::Drop);
            if (!met || fault.kind != Fault::Silent)
                held.push_back({call.xid, call.proc, r.lid,
                                met && fault.kind == Fault::Error ? failed(fault.error) : a,
                                clock.now() + a.hold, met && fault.kind == Fault::Huge});
        }
        return !dropped;
    }
    bool receive(std::string &into, Clock::Duration limit) override
    {
        for (Held &h : held)
            if (abortedLid != 0 && h.lid == abortedLid)
                h.answer = failed(vxi11::Aborted), h.due = clock.now();
        const auto first = std::min_element(
            held.begin(), held.end(), [](const Held &x, const Held &y) { return x.due < y.due; });
        clock.advance(first == held.end() ? limit : std::min(limit, first->due - clock.now()));
        if (abortAt > 0ns && clock.now() >= abortAt)
            abortAt = {}, owner->cancelCalls();
        if (first != held.end() && first->due <= clock.now()) {
            std::string m = abortChannel ? vxi11::encodeErrorReply(first->xid, 0)
                                         : vxi11::encodeCoreReply(first->xid, first->proc,
                                                                  first->answer, 9);
            into += oncrpc::frameRecord(first->huge ? m.replace(32, 4, "\xff\xff\xff\0") : m);
            held.erase(first);
        }
        return !dropped;
    }
    std::string failure() const override { return "the cable was pulled"; }

    static vxi11::Answer failed(int32_t error) { return {.error = error, .data = {}}; }
    struct Held { uint32_t xid, proc; int32_t lid; vxi11::Answer answer; Clock::Duration due; bool huge; };
    Vxi11Gateway &gateway;
    ManualClock &clock;
    Fault fault;
    int32_t &abortedLid;
    bool abortChannel;
    oncrpc::RecordReader calls{1 << 21};
    std::vector<Held> held;
    bool dropped = false;
    Clock::Duration abortAt{};
    Vxi11Bus *owner = nullptr;
};

struct FaultRow
{
    const char *name;
    Fault fault;
    char call; // r: read, w: write, p: poll, c: clear, f: listener search, a: read, cancelled
    int16_t pad, tmo;
    int status, error, ms;
    bool lost;               // and every later call fails at once
    const char *said = "";   // found by the search, or a notice
};

using Vxi11Faults = testing::TestWithParam<FaultRow>;

TEST_P(Vxi11Faults, BecomeTheDriversStatusInBoundedTime)
{
    const FaultRow &row = GetParam();
    ManualClock busClock, clock;
    SimBus bus(busClock);
    populateSimBus(bus, parseSimListeners(Listeners).value());
    Vxi11Gateway gateway(bus);
    int32_t abortedLid = 0;
    auto owned = std::make_unique<MemoryGateway>(gateway, clock, row.fault, abortedLid, false);
    MemoryGateway &core = *owned;
    std::vector<uint16_t> abortPorts;
    Vxi11Bus vxi(std::move(owned), clock, "gpib0", [&](uint16_t port) {
        abortPorts.push_back(port);
        return std::make_unique<MemoryGateway>(gateway, clock, row.fault, abortedLid, true);
    });
    core.owner = &vxi;
    std::string why, notices;
    ASSERT_TRUE(vxi.start(why));
    vxi.setNoticeSink([&](const std::string &text) { notices += text; });
    GpibDriver d(vxi);
    const int16_t ud = d.ibdev(0, row.pad, 0, row.tmo, 1, 0);
    std::vector<int16_t> all(30), found(8, 0);
    std::iota(all.begin(), all.end(), 1), all.push_back(-1);
    std::string buffer(16, ' '), said;
    int16_t statusByte = 0;
    const Clock::Duration t0 = clock.now();
    core.abortAt = row.call == 'a' ? t0 + 100ms : Clock::Duration{};
    switch (row.call) {
    case 'w': d.ibwrt(ud, "ID?"); break;
    case 'p': d.ibrsp(ud, statusByte); break;
    case 'c': d.ibclr(ud); break;
    case 'f': d.FindLstn(0, all, found, 8); break;
    default: d.ibrd(ud, buffer);
    }
    EXPECT_EQ(d.ibsta() & (gpib::ERR | gpib::TIMO), row.status);
    EXPECT_EQ(d.ibsta() & gpib::ERR ? d.iberr() : -1, row.error);
    EXPECT_EQ(clock.now() - t0, std::chrono::milliseconds(row.ms));
    for (size_t i = 0; i < found.size() && found[i]; ++i)
        said += std::to_string(found[i]) + " ";
    EXPECT_NE((said + notices).find(row.said), std::string::npos) << said + notices;
    // The gateway is asked to stop what it will not finish, on its abort channel.
    const bool abandoned = row.call == 'a' || row.fault.kind == Fault::Silent;
    EXPECT_EQ(abortPorts, std::vector<uint16_t>(abandoned, 9));
    EXPECT_EQ(abortedLid != 0, abandoned);
    EXPECT_EQ(vxi.lost(), row.lost);
    vxi.allowCalls(); // a cancel holds for the call it was meant for
    const Clock::Duration t1 = clock.now(); // what comes next: at once, when lost
    d.ibrsp(d.ibdev(0, 9, 0, 11, 1, 0), statusByte);
    EXPECT_EQ(d.ibsta() & gpib::ERR ? d.iberr() : -1, row.lost ? gpib::EDVR : -1);
    EXPECT_TRUE(!row.lost || clock.now() == t1);
}

using F = Fault;
constexpr int Err = gpib::ERR, Timo = gpib::TIMO;
INSTANTIATE_TEST_SUITE_P(
    Gateway, Vxi11Faults,
    testing::Values(
        FaultRow{"ReadTimesOut", {}, 'r', 2, 11, Err | Timo, gpib::EABO, 1000, false},
        FaultRow{"WriteWithNoListener", {}, 'w', 7, 11, Err, gpib::ENOL, 0, false},
        FaultRow{"ClearWithNoListener", {}, 'c', 7, 11, Err, gpib::ENOL, 0, false},
        FaultRow{"InvalidLink", {F::Error, device_write, 4}, 'w', 9, 11, Err, gpib::EDVR, 0, true},
        FaultRow{"Dropped", {F::Drop, device_readstb}, 'p', 9, 11, Err, gpib::EDVR, 0, true},
        FaultRow{"Locked", {F::Error, device_write, 11}, 'w', 9, 11, Err, gpib::EDVR, 0, false,
                 "gpib0,9 is locked by another client"},
        FaultRow{"NoInterfaceLink", {F::Error, create_link, 8, "gpib0"}, 'f', 0, 11, 0, -1,
                 28 * 20, false, "3 9 "},
        FaultRow{"NoBusCommands", {F::Error, device_docmd, 8}, 'f', 0, 11, 0, -1, 28 * 20, false,
                 "3 9 "},
        FaultRow{"Silent", {F::Silent, device_read}, 'r', 9, 11, Err, gpib::EDVR, 3000, true},
        FaultRow{"SilentForEver", {F::Silent, device_read}, 'r', 9, 0, Err, gpib::EDVR, 10000, true},
        FaultRow{"SilentForLong", {F::Silent, device_readstb}, 'p', 9, 17, Err, gpib::EDVR, 10000, true},
        FaultRow{"ForgedLength", {F::Huge, device_read}, 'r', 9, 11, Err, gpib::EDVR, 1000, true},
        // A cancelled call that the gateway stops when asked leaves the link usable.
        FaultRow{"CancelledRead", {}, 'a', 2, 0, Err | Timo, gpib::EABO, 100, false},
        FaultRow{"CancelledWhileSilent", {F::Silent, device_read}, 'a', 9, 0, Err, gpib::EDVR,
                 100 + 2000, true}),
    ByName());

} // namespace
