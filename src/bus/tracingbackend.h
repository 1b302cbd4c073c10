#pragma once

#include "bus/backend.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

// Bytes as a trace line shows them: control characters and "\" as \xNN, so that every
// operation stays on one line whatever crossed the bus.
std::string traceText(std::string_view bytes);

// The name of an NI-488.2 error number ("EDVR", "ENOL", ...); "" for one it lacks.
const char *gpibErrorName(int error);

// Another backend with every call forwarded to it and written to a trace, one line per
// bus operation in the simulated bus's form, so that traffic with real hardware (the
// system's library, a Prologix controller, a LAN/GPIB gateway) reads as it does on the
// simulated bus: a successful call gives the simulated bus's very line, and the failures
// it names itself too ("timeout 5" for a read or poll that timed out, "nolistener 5" for
// a write or clear nobody took). Any other failure, which a bug report needs in full,
// gets the call's line and the error: "write 5 ID? failed: error 0 (EDVR)".
class TracingBackend final : public GpibBackend
{
public:
    using Sink = std::function<void(std::string_view line)>;

    // Lines go to `sink` on the thread that makes the calls.
    TracingBackend(std::unique_ptr<GpibBackend> inner, Sink sink);

    int RegisterGpibGlobalsForThread(int32_t *ibsta, int32_t *iberr, int32_t *ibcnt,
                                     int32_t *ibcntl) override;
    int UnregisterGpibGlobalsForThread() override;

    void SendIFC(int board) override;
    void FindLstn(int board, const uint16_t *addressList, uint16_t *resultList, int limit) override;
    int ibsre(int board, int value) override;
    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override;
    int ibpad(int handle, int pad) override;
    int ibclr(int handle) override;
    int ibrsp(int handle, char *statusByte) override;
    int ibtmo(int handle, int code) override;
    int ibask(int handle, int option, int *value) override;
    int ibwait(int handle, int mask) override;
    int ibwrt(int handle, const void *buffer, long count) override;
    int ibrd(int handle, void *buffer, long count) override;

    // The wait to give up is the wrapped backend's.
    void cancelCalls() override;
    void allowCalls() override;

private:
    // One call's outcome, from what it returned and the caller's status variables.
    struct Outcome
    {
        int status;
        int error;
        long count;
    };
    Outcome outcome(int returned) const;
    Outcome outcome() const;
    // The handle's address as the lines show it; "#handle" for one never given out here.
    std::string device(int handle) const;
    void write(const std::string &line);
    // What a bus operation may meet that the simulated bus writes in its own words.
    enum class Meets { Nothing, Timeout, NoListener };
    // The call's line: `line` when it succeeded, else the simulated bus's words for what it
    // met at `pad`, else `line` with the error.
    void writeOutcome(const Outcome &o, const std::string &line, Meets meets = Meets::Nothing,
                      const std::string &pad = {});
    // For calls the simulated bus writes nothing of: a line only when one failed.
    int failedOnly(int returned, const std::string &line);

    std::unique_ptr<GpibBackend> m_inner;
    Sink m_sink;
    // The status variables each thread registered: counts and errors come back in them.
    StatusRegistry m_variables;
    std::map<int, int> m_pads; // handle -> primary address
};
