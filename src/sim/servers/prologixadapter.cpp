#include "sim/servers/prologixadapter.h"

#include "bus/prologix/prologix.h"
#include "text/trim.h"

#include "sim/simbus.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <type_traits>
#include <vector>

namespace {

constexpr long ReadChunk = 4096;
constexpr size_t MaxReply = 64 * 1024;

// A setting given as a number in [low, high]; nullopt leaves it unchanged.
std::optional<int> within(std::string_view text, int low, int high)
{
    const std::optional<int> v = WholeNumber(text);
    if (!v || *v < low || *v > high)
        return std::nullopt;
    return v;
}

// The shortest bus timeout code that covers the controller's read timeout.
int timeoutCodeFor(int ms)
{
    for (int code = 1; code <= 17; ++code)
        if (gpib::TimeoutMicroseconds(code) >= int64_t{ms} * 1000)
            return code;
    return 17;
}

std::string answer(int value)
{
    return std::to_string(value) + "\r\n";
}

} // namespace

SimPrologixAdapter::SimPrologixAdapter(SimBus &bus, SimPrologixOptions options)
    : m_bus(bus), m_options(std::move(options))
{
}

std::string SimPrologixAdapter::take(std::string_view bytes)
{
    // wavedial-sim's VXI-11 gateway shares the bus and the thread.
    const auto counts = m_bus.statusInto(m_status);
    std::string out;
    for (const char c : bytes) {
        if (m_escape) {
            m_escape = false;
            m_line += c;
        } else if (c == PrologixEsc) {
            m_escape = true;
        } else if (c == '\r' || c == '\n') {
            endLine(out);
        } else {
            if (c == '+' && m_plusPrefix == m_line.size() && m_plusPrefix < 2)
                ++m_plusPrefix;
            m_line += c;
        }
    }
    return out;
}

void SimPrologixAdapter::newConnection()
{
    m_line.clear();
    m_escape = false;
    m_plusPrefix = 0;
}

void SimPrologixAdapter::endLine(std::string &out)
{
    std::string line = std::move(m_line);
    const bool isCommand = m_plusPrefix == 2;
    newConnection();
    if (line.empty())
        return; // CR LF ends one line, not two
    if (isCommand)
        command(std::string_view(line).substr(2), out);
    else
        data(std::move(line), out);
}

int SimPrologixAdapter::bus(bool eoi)
{
    const size_t i = eoi ? 1 : 0;
    const int code = timeoutCodeFor(m_readTmoMs);
    if (m_handles[i] < 0) {
        m_handles[i] = m_bus.ibdev(0, m_pad, 0, code, eoi ? 1 : 0, 0);
        m_handlePads[i] = m_pad;
        m_handleTmo[i] = code;
    }
    // Moving a handle drops its unfinished message: only when the address changed.
    if (m_handlePads[i] != m_pad) {
        m_bus.ibpad(m_handles[i], m_pad);
        m_handlePads[i] = m_pad;
    }
    if (m_handleTmo[i] != code) {
        m_bus.ibtmo(m_handles[i], code);
        m_handleTmo[i] = code;
    }
    return m_handles[i];
}

void SimPrologixAdapter::command(std::string_view text, std::string &out)
{
    text = TrimSpace(text);
    const size_t space = text.find_first_of(" \t");
    std::string name(text.substr(0, space));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string_view args =
        space == std::string_view::npos ? std::string_view() : TrimSpace(text.substr(space));
    const bool query = args.empty();

    // Settings: set with an argument in range, shown without one, an argument out of
    // range ignored.
    const auto setting = [&](auto &value, int low, int high) {
        if (query)
            out += answer(static_cast<int>(value));
        else if (const auto v = within(args, low, high))
            value = static_cast<std::remove_reference_t<decltype(value)>>(*v);
    };

    if (name == "addr") {
        // "++addr PAD [SAD]": secondary addresses are not simulated.
        if (query)
            out += answer(m_pad);
        else if (const auto v = within(args.substr(0, args.find(' ')), 0, gpib::MaxPad))
            m_pad = *v;
    } else if (name == "mode") {
        setting(m_controller, 0, 1);
        // The controller takes the bus and asserts REN.
        if (within(args, 1, 1))
            m_bus.ibsre(0, 1);
    } else if (name == "auto") {
        setting(m_auto, 0, 1);
    } else if (name == "eoi") {
        setting(m_eoi, 0, 1);
    } else if (name == "eos") {
        setting(m_eos, 0, 3);
    } else if (name == "eot_enable") {
        setting(m_eotEnable, 0, 1);
    } else if (name == "eot_char") {
        setting(m_eotChar, 0, 255);
    } else if (name == "read_tmo_ms") {
        setting(m_readTmoMs, 1, 3000);
    } else if (name == "read") {
        // The simulated instruments end every reply with EOI: "++read", "++read eoi" and
        // "++read CHAR" all read to the end of the reply.
        read(out);
    } else if (name == "spoll") {
        int pad = m_pad;
        if (!query) {
            const auto v = within(args.substr(0, args.find(' ')), 0, gpib::MaxPad);
            if (!v)
                return;
            pad = *v;
        }
        serialPoll(pad, out);
    } else if (name == "clr") {
        m_bus.ibclr(bus(m_eoi));
    } else if (name == "ifc") {
        m_bus.SendIFC(0);
    } else if (name == "ver") {
        out += m_options.version + "\r\n";
    } else if (name == "fndl" && m_options.findListeners) {
        findListeners(out);
    }
    // Anything else is ignored, as an AR488 does outside its verbose mode.
}

void SimPrologixAdapter::data(std::string payload, std::string &out)
{
    if (!m_controller)
        return;
    static const char *const endings[] = {"\r\n", "\r", "\n", ""};
    payload += endings[m_eos];
    m_bus.ibwrt(bus(m_eoi), payload.data(), static_cast<long>(payload.size()));
    if (m_auto)
        read(out);
}

void SimPrologixAdapter::read(std::string &out)
{
    const int h = bus(m_eoi);
    std::string chunk(static_cast<size_t>(ReadChunk), '\0');
    for (size_t total = 0; total < MaxReply;) {
        const int status = m_bus.ibrd(h, chunk.data(), ReadChunk);
        if (status & gpib::ERR)
            return; // the talker had nothing (more) to say: the controller's timeout
        const size_t n = static_cast<size_t>(std::max<int32_t>(m_status.ibcntl, 0));
        out.append(chunk.data(), n);
        total += n;
        if (status & gpib::END) {
            if (m_eotEnable)
                out += static_cast<char>(m_eotChar);
            return;
        }
    }
}

void SimPrologixAdapter::serialPoll(int pad, std::string &out)
{
    const int saved = m_pad;
    m_pad = pad;
    const int h = bus(m_eoi);
    m_pad = saved;
    char statusByte = 0;
    if (m_bus.ibrsp(h, &statusByte) & gpib::ERR)
        return; // no answer within the controller's timeout: nothing is sent
    out += answer(static_cast<unsigned char>(statusByte));
}

void SimPrologixAdapter::findListeners(std::string &out)
{
    // The same probe list as the program's own search, so that the trace reads the same.
    std::vector<uint16_t> list;
    for (uint16_t a = 0; a <= gpib::MaxPad; ++a)
        list.push_back(a);
    list.push_back(gpib::NOADDR);
    std::vector<uint16_t> results(list.size(), 0);
    m_bus.FindLstn(0, list.data(), results.data(), static_cast<int>(results.size()));
    std::string line;
    if (!(m_status.ibsta & gpib::ERR)) {
        for (int i = 0; i < m_status.ibcnt; ++i) {
            const uint16_t a = results[static_cast<size_t>(i)];
            if (a == 0)
                continue; // the controller itself
            if (!line.empty())
                line += ' ';
            line += std::to_string(a);
        }
    }
    out += line + "\r\n";
}
