// A LAN/GPIB gateway's replies are read whatever bytes come. The backend is opened and
// driven through the driver's wrappers as the program drives it, over links that hand
// out the fuzzer's bytes as all the gateway sends (the port mapper's, the core and the
// abort channel's, record marking and all): a read never delivers more than was asked
// for, a listener search never more listeners than there is room for nor any not asked
// about, and no wait goes past the longest wait of each call sent.
#include "chunklink.h"

#include "bus/vxi11/vxi11bus.h"

namespace {

// The fuzzer's bytes: a byte naming the receive during which the program cancels
// (0: never), then the gateway's chunks; when they run out, the gateway is gone.
ChunkFeed feed;

} // namespace

// The links openVxi11 makes, in place of the TCP connections.
std::unique_ptr<ByteLink> connectTcp(const std::string &, uint16_t, Clock::Duration,
                                     const std::string &, std::string &)
{
    return std::make_unique<ChunkLink>(feed, "the gateway is gone");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    ManualClock clock;
    feed = ChunkFeed{.data = data + 1, .left = size - 1, .clock = &clock, .cancelAt = data[0]};
    const Vxi11Timing timing;
    const Clock::Duration start = clock.now();
    // Each call sent waits at most the longest wait for its answer.
    const auto inTime = [&] {
        return clock.now() - start <= static_cast<Clock::Duration::rep>(feed.sends) *
                                          Clock::Duration(timing.longest);
    };
    Vxi11Open open = openVxi11(Vxi11Address{"gateway", 111, "gpib0"}, clock, timing);
    FUZZ_CHECK(inTime());
    if (!open.backend) {
        FUZZ_CHECK(!open.error.empty());
        return 0;
    }
    feed.bus = open.backend.get();
    GpibDriver d(*open.backend);

    d.SendIFC(0);
    checkListenerSearch(d);
    d.ibsre(0, 1);
    const int16_t ud = d.ibdev(0, 9, 0, 11, 1, 0);
    d.ibclr(ud);
    int16_t statusByte = -1;
    d.ibrsp(ud, statusByte);
    FUZZ_CHECK(statusByte >= -1 && statusByte <= 255);
    for (const std::string &text : {std::string("AMPL?"), std::string(300, 'x')}) {
        d.ibwrt(ud, text);
        FUZZ_CHECK(d.ibcntl() >= 0 && d.ibcntl() <= static_cast<int32_t>(text.size()));
    }
    for (const size_t asking : {40, 1, 200}) {
        std::string buffer(asking, '\x7f');
        d.ibrd(ud, buffer);
        FUZZ_CHECK(buffer.size() == asking);
        FUZZ_CHECK(d.ibcntl() >= 0 && d.ibcntl() <= static_cast<int32_t>(asking));
        // What was not delivered is left alone.
        FUZZ_CHECK(std::all_of(buffer.begin() + d.ibcntl(), buffer.end(),
                               [](char c) { return c == '\x7f'; }));
    }
    // Once the connection failed, every call fails at once.
    if (open.backend->lost()) {
        const Clock::Duration before = clock.now();
        d.ibclr(ud);
        FUZZ_CHECK(d.ibsta() & gpib::ERR && d.iberr() == gpib::EDVR && clock.now() == before);
    }
    FUZZ_CHECK(inTime());
    open.backend.reset(); // the links destroyed
    FUZZ_CHECK(inTime());
    return 0;
}
