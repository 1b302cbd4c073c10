#include "bus/vxi11/rpcchannel.h"

#include <algorithm>

bool RpcChannel::send(uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t args,
                      const void *argp, Clock::Duration limit, uint32_t &xid)
{
    xid = m_xid++;
    const std::string message = oncrpc::encodeCall(xid, prog, vers, proc, args, argp);
    return !message.empty() && m_link.send(oncrpc::frameRecord(message), limit);
}

RpcChannel::Outcome RpcChannel::await(uint32_t xid, xdrproc_t results, void *resp,
                                      Clock::Duration deadline, Clock::Duration slice,
                                      const std::atomic<bool> *abort)
{
    bool failed = false;
    for (;;) {
        while (std::optional<std::string> record = m_reader.next()) {
            const oncrpc::Reply r = oncrpc::decodeReply(*record, xid, results, resp);
            switch (r.status) {
            case oncrpc::ReplyStatus::Success:
                return Outcome::Done;
            case oncrpc::ReplyStatus::WrongXid:
                continue; // the late answer to a call given up on
            case oncrpc::ReplyStatus::Malformed:
                return Outcome::Lost;
            default:
                return Outcome::Refused;
            }
        }
        // Records that came just before the end are still handed out.
        if (failed)
            return Outcome::Lost;
        if (abort && abort->load())
            return Outcome::Aborted;
        const Clock::Duration now = m_clock.now();
        if (now >= deadline)
            return Outcome::TimedOut;
        std::string bytes;
        const bool ok = m_link.receive(bytes, std::min(deadline - now, slice));
        if (!m_reader.feed(bytes))
            return Outcome::Lost;
        failed = !ok;
    }
}

RpcChannel::Outcome RpcChannel::call(uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t args,
                                     const void *argp, xdrproc_t results, void *resp,
                                     Clock::Duration deadline, Clock::Duration slice,
                                     const std::atomic<bool> *abort)
{
    uint32_t xid = 0;
    const Clock::Duration now = m_clock.now();
    if (!send(prog, vers, proc, args, argp, std::max(deadline - now, Clock::Duration::zero()), xid))
        return Outcome::Lost;
    return await(xid, results, resp, deadline, slice, abort);
}
