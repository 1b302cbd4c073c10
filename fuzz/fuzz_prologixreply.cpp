// What a Prologix-compatible controller sends back is read whatever bytes come: its
// version line, a serial poll's status byte, an AR488's listener search, the replies of
// device reads, and talkers that never end. The backend is started and driven through
// the driver's wrappers as the program drives it, over a link that hands out the
// fuzzer's bytes as all the controller sends: a read never delivers more than was asked
// for nor the controller's end mark, a status byte is 0 to 255, a listener search finds
// only addresses asked about and never more than there is room for, and no call waits
// longer than the longest wait for each line it sent and one more for a reply an earlier
// call left unread.
#include "chunklink.h"

#include "bus/prologix/prologix.h"

namespace {

// The fuzzer's bytes: a byte choosing what comes after the chunks and the start's
// attempts, a byte naming the receive during which the program cancels (0: never), then
// the controller's chunks.
ChunkFeed feed;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    ManualClock clock;
    const ChunkFeed::After after = data[0] % 3 == 0   ? ChunkFeed::After::Gone
                                   : data[0] % 3 == 1 ? ChunkFeed::After::Silent
                                                      : ChunkFeed::After::Again;
    feed = ChunkFeed{.data = data + 2, .left = size - 2, .clock = &clock, .after = after,
                     .cancelAt = data[1]};
    const PrologixTiming timing{.helloAttempts = data[0] & 0x80 ? 3 : 1};
    PrologixBus bus(std::make_unique<ChunkLink>(feed, "the controller is gone"), clock, timing);
    feed.bus = &bus;
    // Each line sent may be answered as slowly as the longest wait allows, and a call may
    // first wait out the rest of a reply an earlier call began.
    const auto timed = [&](auto call) {
        const Clock::Duration before = clock.now();
        const size_t sends = feed.sends;
        call();
        const auto waits = static_cast<Clock::Duration::rep>(feed.sends - sends + 1);
        FUZZ_CHECK(clock.now() - before <= waits * Clock::Duration(timing.longest));
    };

    std::string why;
    bool started = false;
    timed([&] { started = bus.start(why); });
    if (!started) {
        FUZZ_CHECK(!why.empty() && bus.lost());
        return 0;
    }
    GpibDriver d(bus);

    timed([&] { d.SendIFC(0); });
    timed([&] { checkListenerSearch(d); });
    const int16_t ud = d.ibdev(0, 9, 0, 11, 1, 0);
    const int16_t other = d.ibdev(0, 5, 0, 12, 0, 0);
    timed([&] { d.ibclr(ud); });
    int16_t statusByte = -1;
    timed([&] { d.ibrsp(ud, statusByte); });
    FUZZ_CHECK(statusByte >= -1 && statusByte <= 255);
    for (const std::string &text : {std::string("AMPL?"), std::string(300, '+') + "\r\n\x1b"}) {
        timed([&] { d.ibwrt(ud, text); });
        FUZZ_CHECK(d.ibcntl() >= 0 && d.ibcntl() <= static_cast<int32_t>(text.size()));
    }
    // A reply in pieces, a read on another address that drops its rest, a serial poll in
    // the middle of a reply.
    const std::pair<int16_t, size_t> reads[] = {{ud, 40}, {ud, 1}, {ud, 512}, {other, 3},
                                                {ud, 2}};
    for (size_t i = 0; i < std::size(reads); ++i) {
        const int16_t handle = reads[i].first;
        const size_t asking = reads[i].second;
        std::string buffer(asking, '\x7f');
        timed([&] { d.ibrd(handle, buffer); });
        FUZZ_CHECK(buffer.size() == asking);
        const int32_t got = d.ibcntl();
        FUZZ_CHECK(got >= 0 && got <= static_cast<int32_t>(asking));
        // The end mark is the controller's: it never reaches the caller.
        FUZZ_CHECK(buffer.find(PrologixBus::EndMark) >= static_cast<size_t>(got));
        // What was not delivered is left alone.
        FUZZ_CHECK(std::all_of(buffer.begin() + got, buffer.end(),
                               [](char c) { return c == '\x7f'; }));
        if (i == 3) {
            timed([&] { d.ibrsp(other, statusByte); });
            FUZZ_CHECK(statusByte >= -1 && statusByte <= 255);
        }
    }
    // Once the link failed, every call fails at once.
    if (bus.lost()) {
        const Clock::Duration before = clock.now();
        const size_t sends = feed.sends;
        d.ibclr(ud);
        FUZZ_CHECK(d.ibsta() & gpib::ERR && d.iberr() == gpib::EDVR);
        FUZZ_CHECK(clock.now() == before && feed.sends == sends);
    }
    return 0;
}
