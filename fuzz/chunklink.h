#pragma once

#include "bus/backend.h"
#include "bus/bytelink.h"
#include "bus/clock.h"
#include "fuzzcheck.h"
#include "gpib/driver.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The fuzzer's bytes as all a controller or gateway sends, in chunks: a length byte, then
// that many bytes (fewer at the end). A chunk of length 0 is a wait in which nothing came.
// When the bytes run out the far end is gone, falls silent, or sends its last chunk again
// in every wait: a talker that never stops.
struct ChunkFeed
{
    enum class After { Gone, Silent, Again };
    const uint8_t *data = nullptr;
    size_t left = 0;
    ManualClock *clock = nullptr;
    After after = After::Gone;
    size_t cancelAt = 0; // the receive during which the program cancels its call (0: never)
    GpibBackend *bus = nullptr;
    std::string last;
    size_t sends = 0;
    size_t receives = 0;
};

class ChunkLink final : public ByteLink
{
public:
    ChunkLink(ChunkFeed &feed, std::string failure) : m_feed(feed), m_failure(std::move(failure)) {}
    bool send(std::string_view, Clock::Duration) override
    {
        ++m_feed.sends;
        return true;
    }
    bool receive(std::string &into, Clock::Duration limit) override
    {
        ChunkFeed &f = m_feed;
        if (++f.receives == f.cancelAt && f.bus)
            f.bus->cancelCalls();
        if (f.left == 0) {
            if (f.after == ChunkFeed::After::Gone)
                return false;
            // Bytes that keep coming still take their time on the link.
            f.clock->sleepFor(limit);
            if (f.after == ChunkFeed::After::Again)
                into += f.last;
            return true;
        }
        const size_t n = std::min<size_t>(*f.data, f.left - 1);
        ++f.data, --f.left;
        if (n == 0)
            f.clock->sleepFor(limit);
        f.last.assign(reinterpret_cast<const char *>(f.data), n);
        into += f.last;
        f.data += n, f.left -= n;
        return true;
    }
    std::string failure() const override { return m_failure; }

private:
    ChunkFeed &m_feed;
    std::string m_failure;
};

// A listener search for at most three of six addresses: never more than there is room
// for, none not asked about, and the table's end left alone.
inline void checkListenerSearch(GpibDriver &d)
{
    const std::vector<int16_t> asked{1, 2, 5, 9, 17, 30, -1};
    std::vector<int16_t> found(4, 0);
    d.FindLstn(0, asked, found, 3);
    if (!(d.ibsta() & gpib::ERR) || d.iberr() == gpib::ETAB) {
        FUZZ_CHECK(d.ibcnt() >= 0 && d.ibcnt() <= 3);
        for (int i = 0; i < d.ibcnt(); ++i)
            FUZZ_CHECK(std::count(asked.begin(), asked.end() - 1, found[static_cast<size_t>(i)]));
    }
    FUZZ_CHECK(found[3] == 0);
}
