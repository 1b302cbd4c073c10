#pragma once

#include "bus/backend.h"
#include "bus/clock.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <random>
#include <string>

// Passes every driver call to a real backend, but fails some of them at random from a
// fixed seed: bus errors on any call, writes nobody listens to, reads that time out,
// garbage, replies longer than the program's buffer and replies that never end. It
// keeps the bus-side count of what went wrong, so that a test can hold it against the
// boxes the program showed.
class RandomFaults final : public GpibBackend
{
public:
    // Chances in percent, per call.
    struct Rates
    {
        int busError = 2;    // any call: ERR with EBUS
        int noListener = 4;  // a write: ERR with ENOL
        int readTimeout = 4; // a read: TIMO once the time limit has passed
        int garbage = 3;     // a read: random bytes, ended
        int overlong = 2;    // a read: a reply of several buffers, ended on the last
        int endless = 1;     // a read: buffer after buffer, never ended
    };

    RandomFaults(GpibBackend &inner, Clock &clock, uint32_t seed)
        : m_inner(inner), m_clock(clock), m_rng(seed)
    {
    }

    bool enabled = false;
    Rates rates;
    // A call that always fails with a bus error, by name ("ibask"), enabled or not.
    std::string alwaysFailing;

    // Writes that came back with ERR, injected or not.
    int writeErrors = 0;
    // Replies the program asked for: each starts when the program asks the handle's
    // time limit, and failed when a read of it failed or it never ended.
    int readExchanges = 0;
    int failedReadExchanges = 0;
    // Faults handed out, by kind.
    int injected = 0;
    // A handle told to wait for ever would hang the program on a real bus.
    int waitForeverSettings = 0;
    // Sees the text of every write that reached the bus.
    std::function<void(const std::string &)> watchWrites;
    // True while the program must not send anything (its window is closed).
    std::function<bool()> sendingForbidden;
    int sentWhileForbidden = 0;
    // The last calls, for the message of a failed check.
    std::deque<std::string> recent;

    // Closes the reply in progress; call between exchanges before reading the counts.
    void settle()
    {
        if (m_inExchange && (m_exchangeFailed || !m_exchangeEnded))
            ++failedReadExchanges;
        m_inExchange = false;
    }

    std::string recentCalls() const
    {
        std::string s;
        for (const std::string &line : recent)
            s += "  " + line + "\n";
        return s;
    }

    int RegisterGpibGlobalsForThread(int32_t *s, int32_t *e, int32_t *c, int32_t *cl) override
    {
        m_ibsta = s;
        m_iberr = e;
        m_ibcnt = c;
        m_ibcntl = cl;
        return m_inner.RegisterGpibGlobalsForThread(s, e, c, cl);
    }
    int UnregisterGpibGlobalsForThread() override
    {
        return m_inner.UnregisterGpibGlobalsForThread();
    }

    void SendIFC(int b) override
    {
        if (!busError("SendIFC"))
            m_inner.SendIFC(b);
    }
    void FindLstn(int b, const uint16_t *a, uint16_t *r, int l) override
    {
        if (!busError("FindLstn"))
            m_inner.FindLstn(b, a, r, l);
    }
    int ibsre(int b, int v) override { return busError("ibsre") ? status() : m_inner.ibsre(b, v); }
    int ibdev(int b, int p, int s, int t, int eot, int eos) override
    {
        return busError("ibdev") ? -1 : m_inner.ibdev(b, p, s, t, eot, eos);
    }
    int ibpad(int h, int p) override { return busError("ibpad") ? status() : m_inner.ibpad(h, p); }
    int ibclr(int h) override
    {
        noteSend("ibclr");
        dropFakeReply();
        return busError("ibclr") ? status() : m_inner.ibclr(h);
    }
    int ibrsp(int h, char *spr) override
    {
        return busError("ibrsp") ? status() : m_inner.ibrsp(h, spr);
    }
    int ibtmo(int h, int c) override
    {
        if (c == 0) {
            ++waitForeverSettings;
            log("ibtmo " + std::to_string(h) + " 0: wait for ever");
        }
        return busError("ibtmo") ? status() : m_inner.ibtmo(h, c);
    }
    int ibask(int h, int o, int *v) override
    {
        if (o == gpib::IbaTMO) {
            // The program asks the time limit first thing in every reply it reads.
            settle();
            m_inExchange = true;
            m_exchangeFailed = false;
            m_exchangeEnded = false;
            ++readExchanges;
            dropFakeReply();
        }
        return busError("ibask") ? status() : m_inner.ibask(h, o, v);
    }
    int ibwait(int h, int m) override
    {
        return busError("ibwait") ? status() : m_inner.ibwait(h, m);
    }

    int ibwrt(int h, const void *b, long n) override
    {
        const std::string text =
            b ? std::string(static_cast<const char *>(b), static_cast<size_t>(std::max(n, 0L)))
              : std::string();
        noteSend("ibwrt " + text);
        dropFakeReply();
        int s = 0;
        if (busError("ibwrt " + text)) {
            s = status();
        } else if (chance(rates.noListener)) {
            s = inject(gpib::ERR, gpib::ENOL, 0, "ibwrt " + text + ": no listener");
        } else {
            s = m_inner.ibwrt(h, b, n);
            log("ibwrt " + text + ((s & gpib::ERR) ? ": failed" : ""));
            if (watchWrites && !(s & gpib::ERR))
                watchWrites(text);
        }
        if (s & gpib::ERR)
            ++writeErrors;
        return s;
    }

    int ibrd(int h, void *buffer, long count) override
    {
        const int s = read(h, static_cast<char *>(buffer), count);
        if (s & (gpib::ERR | gpib::TIMO))
            m_exchangeFailed = true;
        if (s & gpib::END)
            m_exchangeEnded = true;
        return s;
    }

private:
    int read(int h, char *buffer, long count)
    {
        const size_t room = static_cast<size_t>(std::max(count, 0L));
        // A reply that went wrong goes on as it started, so that an endless one really
        // runs into the program's limit; an overlong one may still be cut short.
        if (m_endless) {
            std::memset(buffer, '7', room);
            return inject(0, 0, static_cast<int32_t>(room), {});
        }
        if (!m_fakeReply.empty()) {
            if (chance(rates.readTimeout))
                return timeout();
            return serveFakeReply(buffer, room);
        }
        if (busError("ibrd"))
            return status();
        if (chance(rates.readTimeout))
            return timeout();
        if (chance(rates.garbage)) {
            const std::string bytes = garbage(m_rng() % 40);
            const size_t n = std::min(bytes.size(), room);
            std::memcpy(buffer, bytes.data(), n);
            return inject(gpib::END, 0, static_cast<int32_t>(n), "ibrd: garbage");
        }
        if (chance(rates.overlong)) {
            m_fakeReply = garbage(room + 1 + m_rng() % (4 * room));
            ++injected;
            log("ibrd: overlong reply of " + std::to_string(m_fakeReply.size()) + " bytes");
            return serveFakeReply(buffer, room);
        }
        if (chance(rates.endless)) {
            m_endless = true;
            ++injected;
            log("ibrd: endless reply");
            return read(h, buffer, count);
        }
        const int s = m_inner.ibrd(h, buffer, count);
        log("ibrd " + std::string(buffer, std::min(room, size_t{40})));
        return s;
    }

    int serveFakeReply(char *buffer, size_t room)
    {
        const size_t n = std::min(m_fakeReply.size(), room);
        std::memcpy(buffer, m_fakeReply.data(), n);
        m_fakeReply.erase(0, n);
        return inject(m_fakeReply.empty() ? gpib::END : 0, 0, static_cast<int32_t>(n), {});
    }

    int timeout()
    {
        m_clock.sleepFor(std::chrono::seconds(3));
        dropFakeReply();
        return inject(gpib::ERR | gpib::TIMO, gpib::EABO, 0, "ibrd: timeout");
    }

    // Texts a confused instrument might send: number parts, separators, headers,
    // control characters and bytes above 127.
    std::string garbage(size_t length)
    {
        static const char parts[] = "0123456789.+-eE;, ONOFFAMPLFREQSYMSQTRIR\r\n\t\x01\x7f\xe9";
        std::string s;
        for (size_t i = 0; i < length; ++i)
            s += parts[m_rng() % (sizeof parts - 1)];
        return s;
    }

    bool chance(int percent)
    {
        return enabled && percent > 0 && static_cast<int>(m_rng() % 100) < percent;
    }

    bool busError(const std::string &call)
    {
        const bool scripted = !alwaysFailing.empty() && call.starts_with(alwaysFailing);
        if (!scripted && !chance(rates.busError))
            return false;
        inject(gpib::ERR, gpib::EBUS, 0, call + ": bus error");
        return true;
    }

    // Delivers a made-up status as the driver would, into the registered variables.
    int inject(int32_t s, int32_t error, int32_t count, const std::string &what)
    {
        s |= gpib::CMPL;
        if (!what.empty()) {
            ++injected;
            log(what);
        }
        if (m_ibsta) {
            *m_ibsta = s;
            if (s & gpib::ERR)
                *m_iberr = error;
            *m_ibcnt = count;
            *m_ibcntl = count;
        }
        return s;
    }
    int status() const { return m_ibsta ? *m_ibsta : gpib::ERR; }

    void dropFakeReply()
    {
        m_fakeReply.clear();
        m_endless = false;
    }

    void noteSend(const std::string &call)
    {
        if (sendingForbidden && sendingForbidden()) {
            ++sentWhileForbidden;
            log(call + ": sent after the window closed");
        }
    }

    void log(const std::string &line)
    {
        recent.push_back(line);
        if (recent.size() > 30)
            recent.pop_front();
    }

    GpibBackend &m_inner;
    Clock &m_clock;
    std::mt19937 m_rng;
    int32_t *m_ibsta = nullptr, *m_iberr = nullptr, *m_ibcnt = nullptr, *m_ibcntl = nullptr;
    std::string m_fakeReply;
    bool m_endless = false;
    bool m_inExchange = false;
    bool m_exchangeFailed = false;
    bool m_exchangeEnded = false;
};
