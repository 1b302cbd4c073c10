#pragma once

#include "bus/backend.h"

#include <cstring>
#include <deque>
#include <string>

// Passes every call to a real backend, except the reads a test scripted: those hand back
// the scripted bytes and status instead, for the faults a well-behaved bus never shows.
class FaultyBackend final : public GpibBackend
{
public:
    struct Read
    {
        std::string bytes;
        int32_t status; // END, ERR, TIMO as wanted; CMPL is added
        int32_t error = 0;
    };

    explicit FaultyBackend(GpibBackend &inner) : m_inner(inner) {}

    std::deque<Read> reads;
    bool endlessReply = false; // every read fills the buffer and never ends the message
    int readCalls = 0;

    int RegisterGpibGlobalsForThread(int32_t *s, int32_t *e, int32_t *c, int32_t *cl) override
    {
        m_ibsta = s;
        m_iberr = e;
        m_ibcnt = c;
        m_ibcntl = cl;
        return m_inner.RegisterGpibGlobalsForThread(s, e, c, cl);
    }
    int UnregisterGpibGlobalsForThread() override { return m_inner.UnregisterGpibGlobalsForThread(); }
    void SendIFC(int b) override { m_inner.SendIFC(b); }
    void FindLstn(int b, const uint16_t *a, uint16_t *r, int l) override { m_inner.FindLstn(b, a, r, l); }
    int ibsre(int b, int v) override { return m_inner.ibsre(b, v); }
    int ibdev(int b, int p, int s, int t, int eot, int eos) override
    {
        return m_inner.ibdev(b, p, s, t, eot, eos);
    }
    int ibpad(int h, int p) override { return m_inner.ibpad(h, p); }
    int ibclr(int h) override { return m_inner.ibclr(h); }
    int ibrsp(int h, char *spr) override { return m_inner.ibrsp(h, spr); }
    int ibtmo(int h, int c) override { return m_inner.ibtmo(h, c); }
    int ibask(int h, int o, int *v) override { return m_inner.ibask(h, o, v); }
    int ibwait(int h, int m) override { return m_inner.ibwait(h, m); }
    int ibwrt(int h, const void *b, long n) override { return m_inner.ibwrt(h, b, n); }
    int ibrd(int h, void *buffer, long count) override
    {
        ++readCalls;
        if (endlessReply) {
            std::memset(buffer, 'x', static_cast<size_t>(count));
            return deliver({std::string(), 0, 0}, static_cast<int32_t>(count));
        }
        if (reads.empty())
            return m_inner.ibrd(h, buffer, count);
        const Read r = reads.front();
        reads.pop_front();
        const size_t n = std::min(r.bytes.size(), static_cast<size_t>(count));
        std::memcpy(buffer, r.bytes.data(), n);
        return deliver(r, static_cast<int32_t>(n));
    }

private:
    int deliver(const Read &r, int32_t count)
    {
        const int32_t status = r.status | gpib::CMPL;
        if (m_ibsta) {
            *m_ibsta = status;
            *m_iberr = r.error;
            *m_ibcnt = count;
            *m_ibcntl = count;
        }
        return status;
    }

    GpibBackend &m_inner;
    int32_t *m_ibsta = nullptr, *m_iberr = nullptr, *m_ibcnt = nullptr, *m_ibcntl = nullptr;
};
