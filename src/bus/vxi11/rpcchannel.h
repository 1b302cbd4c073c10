#pragma once

#include "bus/bytelink.h"
#include "bus/clock.h"
#include "bus/oncrpc.h"

#include <atomic>
#include <cstdint>

// ONC RPC calls over one byte link, each bounded by a deadline on the backend's clock.
// Replies to calls given up on earlier are recognised by their xid and skipped, so a
// late answer never passes for the answer to the next call.
class RpcChannel
{
public:
    enum class Outcome {
        Done,    // the results were decoded into the caller's structure
        Refused, // the server answered, but not with results (no such program, procedure...)
        TimedOut,
        Aborted, // the abort flag was raised while waiting
        Lost,    // the link failed, or sent what is no ONC RPC reply
    };

    // Records longer than `maxRecord` bytes break the link.
    RpcChannel(ByteLink &link, Clock &clock, size_t maxRecord, uint32_t firstXid = 1)
        : m_link(link), m_clock(clock), m_reader(maxRecord), m_xid(firstXid)
    {
    }

    // Sends one call; false when the link failed. `xid` is the call's, for await.
    bool send(uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t args, const void *argp,
              Clock::Duration limit, uint32_t &xid);
    // Waits until `deadline` (on the clock) for the reply to `xid`, receiving at most
    // `slice` at a time so that `abort`, when given, is seen within a slice.
    Outcome await(uint32_t xid, xdrproc_t results, void *resp, Clock::Duration deadline,
                  Clock::Duration slice, const std::atomic<bool> *abort = nullptr);
    // send, then await.
    Outcome call(uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t args, const void *argp,
                 xdrproc_t results, void *resp, Clock::Duration deadline, Clock::Duration slice,
                 const std::atomic<bool> *abort = nullptr);

private:
    ByteLink &m_link;
    Clock &m_clock;
    oncrpc::RecordReader m_reader;
    uint32_t m_xid;
};
