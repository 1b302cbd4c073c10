#pragma once

#include "bus/oncrpc.h"
#include "sim/servers/vxi11gateway.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The gateway's calls as they come over the network: the XDR of each procedure's
// arguments and results (through the rpcgen routines), and the port mapper's one question.
namespace vxi11 {

// Whether `proc` is a procedure of the core channel (create_link 10 to destroy_intr_chan 26).
bool isCoreProcedure(uint32_t proc);
// The core procedure called `name` ("device_read"); 0 for none.
uint32_t procedureNumber(std::string_view name);

// The arguments of core procedure `call.proc` in `record`; nullopt when the bytes are
// not that procedure's arguments.
std::optional<Request> decodeCoreArguments(std::string_view record, const oncrpc::Call &call);
// Runs core procedure `proc` on the gateway for the host's connection `channel`.
Answer runCoreCall(Vxi11Gateway &gateway, int channel, uint32_t proc, const Request &r);
// The reply to call `xid` of core procedure `proc`: `answer` as its result. With
// `cutShort`, the reply ends two bytes into the result, as a faulty gateway's might.
std::string encodeCoreReply(uint32_t xid, uint32_t proc, const Answer &answer, uint16_t abortPort,
                            bool cutShort = false);

// device_abort's argument, the link; nullopt when the bytes are not one.
std::optional<int32_t> decodeLink(std::string_view record, const oncrpc::Call &call);
// The reply to a call whose result is an error code alone (device_abort's).
std::string encodeErrorReply(uint32_t xid, int32_t error);

// The port mapper's GETPORT question: which port serves program `prog`, version `vers`
// over protocol `prot`.
struct Mapping
{
    uint32_t prog = 0, vers = 0, prot = 0, port = 0;
};
std::optional<Mapping> decodeMapping(std::string_view record, const oncrpc::Call &call);
// GETPORT's reply: the port, 0 for a program not served here.
std::string encodePortReply(uint32_t xid, uint32_t port);

} // namespace vxi11
