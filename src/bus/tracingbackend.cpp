#include "bus/tracingbackend.h"

#include <algorithm>

std::string traceText(std::string_view bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '\\') {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

const char *gpibErrorName(int error)
{
    static const char *const names[] = {"EDVR", "ECIC", "ENOL", "EADR", "EARG", "ESAC", "EABO",
                                        "ENEB", "EDMA", "",     "EOIP", "ECAP", "EFSO", "",
                                        "EBUS", "ESTB", "ESRQ", "",     "",     "",     "ETAB"};
    constexpr int known = static_cast<int>(std::size(names));
    return error >= 0 && error < known ? names[error] : "";
}

namespace {

// `error` is negative when the caller registered no status variables to learn it from.
std::string failure(const std::string &line, int error)
{
    if (error < 0)
        return line + " failed";
    const std::string name = gpibErrorName(error);
    return line + " failed: error " + std::to_string(error) +
           (name.empty() ? "" : " (" + name + ")");
}

// The bytes of a buffer the caller handed over, as far as it holds `count`.
std::string_view bytesOf(const void *buffer, long count)
{
    if (!buffer || count <= 0)
        return {};
    return {static_cast<const char *>(buffer), static_cast<size_t>(count)};
}

} // namespace

TracingBackend::TracingBackend(std::unique_ptr<GpibBackend> inner, Sink sink)
    : m_inner(std::move(inner)), m_sink(std::move(sink))
{
}

int TracingBackend::RegisterGpibGlobalsForThread(int32_t *ibsta, int32_t *iberr, int32_t *ibcnt,
                                                 int32_t *ibcntl)
{
    const int rc = m_inner->RegisterGpibGlobalsForThread(ibsta, iberr, ibcnt, ibcntl);
    if (rc == 0 || rc == 1)
        m_variables.registerThread(ibsta, iberr, ibcnt, ibcntl);
    return rc;
}

int TracingBackend::UnregisterGpibGlobalsForThread()
{
    m_variables.unregisterThread();
    return m_inner->UnregisterGpibGlobalsForThread();
}

void TracingBackend::cancelCalls()
{
    GpibBackend::cancelCalls();
    m_inner->cancelCalls();
}

void TracingBackend::allowCalls()
{
    GpibBackend::allowCalls();
    m_inner->allowCalls();
}

// The error and the count are only in the caller's variables. A caller that registered
// none gets its calls' lines all the same, without counts or error numbers.
TracingBackend::Outcome TracingBackend::outcome(int returned) const
{
    const std::optional<gpib::StatusVariables> v = m_variables.current();
    if (!v)
        return {returned, -1, 0};
    return {returned, v->iberr, v->ibcntl};
}

TracingBackend::Outcome TracingBackend::outcome() const
{
    const std::optional<gpib::StatusVariables> v = m_variables.current();
    return outcome(v ? v->ibsta : 0);
}

std::string TracingBackend::device(int handle) const
{
    const auto it = m_pads.find(handle);
    if (it != m_pads.end())
        return std::to_string(it->second);
    // Appended rather than "#" + text: GCC 12 at -O3 warns falsely on that insert.
    std::string unknown = "#";
    unknown += std::to_string(handle);
    return unknown;
}

void TracingBackend::write(const std::string &line)
{
    if (m_sink)
        m_sink(line);
}

void TracingBackend::writeOutcome(const Outcome &o, const std::string &line, Meets meets,
                                  const std::string &pad)
{
    if (!(o.status & gpib::ERR))
        write(line);
    else if (meets == Meets::Timeout && ((o.status & gpib::TIMO) || o.error == gpib::EABO))
        write("timeout " + pad);
    else if (meets == Meets::NoListener && o.error == gpib::ENOL)
        write("nolistener " + pad);
    else
        write(failure(line, o.error));
}

int TracingBackend::failedOnly(int returned, const std::string &line)
{
    const Outcome o = outcome(returned);
    if (o.status & gpib::ERR)
        write(failure(line, o.error));
    return returned;
}

void TracingBackend::SendIFC(int board)
{
    m_inner->SendIFC(board);
    writeOutcome(outcome(), "ifc");
}

void TracingBackend::FindLstn(int board, const uint16_t *addressList, uint16_t *resultList,
                              int limit)
{
    m_inner->FindLstn(board, addressList, resultList, limit);
    const Outcome o = outcome();
    // The count says how many results were written (on ETAB too), never more than `limit`.
    const long found = resultList ? std::clamp<long>(o.count, 0, std::max(limit, 0)) : 0;
    std::string line = "findlstn";
    for (long i = 0; i < found; ++i)
        line += ' ' + std::to_string(resultList[i]);
    writeOutcome(o, line);
}

int TracingBackend::ibsre(int board, int value)
{
    const int s = m_inner->ibsre(board, value);
    writeOutcome(outcome(s), value ? "ren" : "ren off");
    return s;
}

int TracingBackend::ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    const int ud = m_inner->ibdev(board, pad, sad, tmo, eot, eos);
    const Outcome o = outcome();
    if (ud < 0 || (o.status & gpib::ERR))
        write(failure("ibdev " + std::to_string(pad), o.error));
    else
        m_pads[ud] = pad;
    return ud;
}

int TracingBackend::ibpad(int handle, int pad)
{
    const std::string line = "ibpad " + device(handle) + ' ' + std::to_string(pad);
    const int s = failedOnly(m_inner->ibpad(handle, pad), line);
    if (!(s & gpib::ERR))
        m_pads[handle] = pad;
    return s;
}

int TracingBackend::ibclr(int handle)
{
    const std::string pad = device(handle);
    const int s = m_inner->ibclr(handle);
    writeOutcome(outcome(s), "clear " + pad, Meets::NoListener, pad);
    return s;
}

int TracingBackend::ibrsp(int handle, char *statusByte)
{
    const std::string pad = device(handle);
    const int s = m_inner->ibrsp(handle, statusByte);
    const Outcome o = outcome(s);
    const std::string polled = o.status & gpib::ERR || !statusByte
                                   ? ""
                                   : ' ' + std::to_string(static_cast<uint8_t>(*statusByte));
    writeOutcome(o, "spoll " + pad + polled, Meets::Timeout, pad);
    return s;
}

int TracingBackend::ibtmo(int handle, int code)
{
    return failedOnly(m_inner->ibtmo(handle, code),
                      "ibtmo " + device(handle) + ' ' + std::to_string(code));
}

int TracingBackend::ibask(int handle, int option, int *value)
{
    return failedOnly(m_inner->ibask(handle, option, value),
                      "ibask " + device(handle) + ' ' + std::to_string(option));
}

int TracingBackend::ibwait(int handle, int mask)
{
    return failedOnly(m_inner->ibwait(handle, mask),
                      "ibwait " + device(handle) + ' ' + std::to_string(mask));
}

int TracingBackend::ibwrt(int handle, const void *buffer, long count)
{
    const std::string pad = device(handle);
    const int s = m_inner->ibwrt(handle, buffer, count);
    writeOutcome(outcome(s), "write " + pad + ' ' + traceText(bytesOf(buffer, count)),
                 Meets::NoListener, pad);
    return s;
}

int TracingBackend::ibrd(int handle, void *buffer, long count)
{
    const std::string pad = device(handle);
    const int s = m_inner->ibrd(handle, buffer, count);
    const Outcome o = outcome(s);
    // What came before a failure crossed the bus all the same.
    const std::string_view came = bytesOf(buffer, std::min(o.count, count));
    if (!(o.status & gpib::ERR) || !came.empty())
        write("read " + pad + ' ' + traceText(came));
    if (o.status & gpib::ERR)
        writeOutcome(o, "read " + pad, Meets::Timeout, pad);
    return s;
}
