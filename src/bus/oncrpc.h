#pragma once

#include <rpc/xdr.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

// ONC RPC over TCP, as VXI-11 gateways and the port mapper speak it: the record marking
// that cuts the byte stream into messages, and the call and reply headers around the
// arguments and results, which the XDR routines of each protocol (rpcgen's output, or
// libtirpc's own such as xdr_pmap) encode and decode. No I/O here: the callers own the
// sockets, so tests and fuzzers feed bytes straight in.

namespace oncrpc {

// Record marking: each record is one or more fragments, each behind a 4-byte big-endian
// header holding its length (at most 2^31 - 1) and, in the top bit, "last fragment".
inline constexpr uint32_t LastFragment = 0x80000000u;
inline constexpr size_t MaxFragment = 0x7FFFFFFFu;

// `message` as one record of a single fragment. Messages of ours are far below the
// fragment limit; a longer one is cut into several fragments.
std::string frameRecord(std::string_view message);

// Assembles the records of a byte stream, fed in pieces of any size. A record over
// `maxRecord` bytes (the fragments' lengths added up) stops the reader: the stream can no
// longer be trusted to be in step, and its connection must be closed.
class RecordReader
{
public:
    explicit RecordReader(size_t maxRecord) : m_max(maxRecord) {}

    // Takes in bytes from the stream. False, now and from then on, once a record went
    // over the limit.
    bool feed(std::string_view bytes);
    // The oldest record completed and not yet taken.
    std::optional<std::string> next();
    bool failed() const { return m_failed; }
    // Forgets everything: a new connection starts a new stream.
    void reset();

private:
    size_t m_max;
    bool m_failed = false;
    std::string m_header;       // the bytes of a fragment header read so far
    size_t m_fragmentLeft = 0;  // bytes of the current fragment still to come
    bool m_inFragment = false;
    bool m_lastFragment = false;
    std::string m_record;       // the record being assembled
    std::deque<std::string> m_done;
};

// What a reply said about a call.
enum class ReplyStatus {
    Success,      // accepted and executed; the results were decoded
    ProgUnavail,  // the server has no such program
    ProgMismatch, // not this version of the program (versions in low, high)
    ProcUnavail,  // no such procedure in the program
    GarbageArgs,  // the server could not decode the arguments
    SystemErr,    // the server failed otherwise
    RpcMismatch,  // denied: not RPC version 2 (versions in low, high)
    AuthError,    // denied: the credentials were refused
    WrongXid,     // a reply to some other call (an earlier one given up on)
    Malformed,    // not a reply, or cut short, or results that did not decode
};

struct Reply
{
    ReplyStatus status = ReplyStatus::Malformed;
    uint32_t xid = 0;
    uint32_t low = 0; // the versions the server has, for the two mismatches
    uint32_t high = 0;
};

// One call message (unframed): RPC version 2, no credentials, the arguments by `args`
// from `argp` (xdr_void with null for none). Empty when the arguments would not encode.
std::string encodeCall(uint32_t xid, uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t args,
                       const void *argp);

// Reads a reply record. The results are decoded into `resp` by `results` only when the
// reply is a success for call `xid`; `resp` must be zero-initialised, and after Success
// the caller frees what decoding allocated with releaseDecoded. On any other outcome
// nothing is left allocated.
Reply decodeReply(std::string_view record, uint32_t xid, xdrproc_t results, void *resp);

// Frees what an XDR decode allocated inside `object` (strings, opaque data), and nulls
// those pointers.
void releaseDecoded(xdrproc_t proc, void *object);

// The server's side.
struct Call
{
    uint32_t xid = 0;
    uint32_t rpcvers = 0; // 2, or the client speaks another RPC (answer encodeRpcMismatch)
    uint32_t prog = 0;
    uint32_t vers = 0;
    uint32_t proc = 0;
    size_t argsOffset = 0; // where the arguments start in the record
};

// The header of a call record; nullopt when the record is no call or is cut short.
std::optional<Call> decodeCallHeader(std::string_view record);
// The call's arguments into `argp` (zero-initialised); false when they do not decode
// (answer GARBAGE_ARGS), nothing then left allocated. After true, the caller frees
// with releaseDecoded.
bool decodeArgs(std::string_view record, const Call &call, xdrproc_t args, void *argp);

// Reply messages (unframed), accepted with a null verifier.
std::string encodeSuccess(uint32_t xid, xdrproc_t results, const void *resp);
// PROG_UNAVAIL, PROC_UNAVAIL, GARBAGE_ARGS or SYSTEM_ERR.
std::string encodeError(uint32_t xid, ReplyStatus status);
// PROG_MISMATCH with the versions this server has of the program.
std::string encodeProgMismatch(uint32_t xid, uint32_t low, uint32_t high);
// Denied: this server speaks RPC version 2 only.
std::string encodeRpcMismatch(uint32_t xid);

} // namespace oncrpc
