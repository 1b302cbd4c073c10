#include "bus/prologix/prologix.h"

#include "text/trim.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <vector>

namespace {

constexpr int MaxReadTimeoutMs = 3000; // the controllers' own limit
constexpr size_t MaxAnswerLine = 256;  // a status byte or a version is far shorter
constexpr size_t MaxAnswerLines = 64;  // a listener search answers in a line or thirty

} // namespace

std::string prologixEscaped(std::string_view payload)
{
    std::string out;
    out.reserve(payload.size() + 8);
    for (const char c : payload) {
        if (c == '\r' || c == '\n' || c == PrologixEsc || c == '+')
            out += PrologixEsc;
        out += c;
    }
    return out;
}

int prologixReadTimeoutMs(int code)
{
    const int64_t us = gpib::TimeoutMicroseconds(code);
    if (us < 0)
        return -1;
    if (us == 0)
        return MaxReadTimeoutMs;
    return static_cast<int>(std::clamp<int64_t>((us + 999) / 1000, 1, MaxReadTimeoutMs));
}

PrologixBus::PrologixBus(std::unique_ptr<ByteLink> link, Clock &clock, const PrologixTiming &timing)
    : m_link(std::move(link)), m_clock(clock), m_timing(timing)
{
}

bool PrologixBus::start(std::string &why)
{
    // Controller mode, nothing read unasked, EOI with the last byte, nothing appended to
    // the payload, EOI shown by the end mark; then the version, as the answer.
    const std::string setup = "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n++eot_enable 1\n"
                              "++eot_char " +
                              std::to_string(static_cast<int>(EndMark)) + "\n++ver";
    const int attempts = std::max(1, m_timing.helloAttempts);
    for (int attempt = 1; attempt <= attempts && !m_lost; ++attempt) {
        // Whatever a previous host left unread is no answer to us.
        if (!m_link->receive(m_input, Clock::Duration::zero())) {
            lose();
            break;
        }
        m_input.clear();
        if (!sendLine(setup))
            break;
        // Blank lines are no answer, and neither they nor bytes that never end a line
        // stretch the attempt: something else on the port would hold the start for ever.
        const Clock::Duration attemptEnd = m_clock.now() + m_timing.hello;
        std::string line;
        Wait w = Wait::TimedOut;
        do {
            const Clock::Duration left = attemptEnd - m_clock.now();
            w = awaitLine(line, left, left);
        } while (w == Wait::Done && TrimSpace(line).empty() && m_clock.now() < attemptEnd);
        if (w != Wait::Done || TrimSpace(line).empty())
            continue;
        m_version = std::string(TrimSpace(line));
        m_eoi = 1;
        if (attempt > 1) {
            // The earlier attempts may still be answered: let those answers pass.
            waitFor([] { return false; }, m_timing.grace * 4);
            m_input.clear();
        }
        if (!m_lost)
            return true;
    }
    why = m_lost
              ? m_link->failure()
              : "it did not answer ++ver; it is no Prologix-compatible controller, or it is busy";
    m_lost = true;
    return false;
}

Clock::Duration PrologixBus::quietLimit(int timeoutMs) const
{
    return std::chrono::milliseconds(timeoutMs) + m_timing.grace;
}

bool PrologixBus::lose()
{
    m_lost = true;
    m_reading = false;
    m_input.clear();
    return false;
}

bool PrologixBus::sendLine(std::string_view line)
{
    if (m_lost)
        return false;
    std::string bytes(line);
    bytes += '\n';
    return m_link->send(bytes, m_timing.send) || lose();
}

template<class Ready>
PrologixBus::Wait PrologixBus::waitFor(Ready ready, Clock::Duration quiet, Clock::Duration most)
{
    const Clock::Duration end = m_clock.now() + std::min<Clock::Duration>(m_timing.longest, most);
    Clock::Duration deadline = std::min(m_clock.now() + quiet, end);
    while (!ready()) {
        const Clock::Duration now = m_clock.now();
        // A cancelled call ends as a timeout does: what the controller still sends is
        // skipped as a late answer would be.
        if (now >= deadline || cancelled())
            return Wait::TimedOut;
        const size_t before = m_input.size();
        if (!m_link->receive(m_input, std::min<Clock::Duration>(deadline - now, m_timing.slice))) {
            lose();
            return Wait::Lost;
        }
        // A talker still sending has not timed out: the controller's timeout runs between
        // bytes. One that never stops is cut off all the same.
        if (m_input.size() != before)
            deadline = std::min(m_clock.now() + quiet, end);
    }
    return Wait::Done;
}

PrologixBus::Wait PrologixBus::awaitLine(std::string &line, Clock::Duration quiet,
                                         Clock::Duration most)
{
    const Wait w = waitFor(
        [this] {
            return m_input.find('\n') != std::string::npos || m_input.size() > MaxAnswerLine;
        },
        quiet, most);
    if (w != Wait::Done)
        return w;
    const size_t end = std::min(m_input.find('\n'), m_input.size() - 1);
    line = m_input.substr(0, end + 1);
    m_input.erase(0, end + 1);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return Wait::Done;
}

// Before anything new goes to the controller, the rest of a reply it is still sending is
// read and dropped, and stray bytes are forgotten: they would pass for the next answer.
bool PrologixBus::settle()
{
    if (m_lost)
        return false;
    if (m_reading) {
        const Wait w =
            waitFor([this] { return m_input.find(EndMark) != std::string::npos; }, m_readQuiet);
        m_reading = false;
        if (w == Wait::Lost)
            return false;
    }
    m_input.clear();
    return true;
}

// The controller keeps each setting until it is told otherwise: it is sent only when
// it changes, and remembered only when the line went out.
bool PrologixBus::setting(int &sent, int wanted, const std::string &command)
{
    if (wanted == sent)
        return true;
    if (!sendLine(command + " " + std::to_string(wanted)))
        return false;
    sent = wanted;
    return true;
}

bool PrologixBus::address(int pad) { return setting(m_address, pad, "++addr"); }

bool PrologixBus::readTimeout(int ms) { return setting(m_readTmo, ms, "++read_tmo_ms"); }

bool PrologixBus::endWithEoi(bool on) { return setting(m_eoi, on ? 1 : 0, "++eoi"); }

// The controller cannot tell whether anybody took the bytes. An address that the last
// listener search checked and found silent counts as "nobody listening".
bool PrologixBus::knownSilent(int pad) const
{
    return m_probed.count(pad) != 0 && m_listening.count(pad) == 0;
}

PrologixBus::Poll PrologixBus::poll(int pad, int timeoutMs, uint8_t &statusByte)
{
    if (!address(pad) || !readTimeout(timeoutMs) || !sendLine("++spoll"))
        return Poll::Lost;
    // The answer is one short line once the poll is over: bytes that keep coming do not
    // stretch the poll past its own timeout.
    std::string line;
    switch (awaitLine(line, quietLimit(timeoutMs), quietLimit(timeoutMs))) {
    case Wait::Lost:
        return Poll::Lost;
    case Wait::TimedOut:
        m_input.clear();
        return Poll::Silent;
    case Wait::Done:
        break;
    }
    const std::optional<int> value = WholeNumber(TrimSpace(line));
    if (!value || *value < 0 || *value > 255)
        return Poll::Garbled;
    statusByte = static_cast<uint8_t>(*value);
    return Poll::Answered;
}

// AR488's listener search. The version request behind it marks the end of the answer,
// whatever its form, and shows a controller that ignores the command as well.
std::optional<std::set<int>> PrologixBus::askListeners()
{
    if (m_search == Search::NotAnswered)
        return std::nullopt;
    if (!sendLine("++fndl") || !sendLine("++ver"))
        return std::nullopt;
    // The whole answer within the longest wait, however slowly its lines come.
    const Clock::Duration end = m_clock.now() + m_timing.longest;
    std::vector<std::string> lines;
    bool ended = false;
    while (!ended && lines.size() < MaxAnswerLines) {
        std::string line;
        const Wait w = awaitLine(line, m_timing.search + m_timing.grace, end - m_clock.now());
        if (w == Wait::Lost)
            return std::nullopt;
        if (w == Wait::TimedOut)
            break;
        if (TrimSpace(line) == m_version)
            ended = true;
        else
            lines.push_back(line);
    }
    m_input.clear();
    std::set<int> found;
    bool numbers = false;
    bool words = false;
    for (const std::string &line : lines) {
        for (size_t i = 0; i < line.size();) {
            const auto c = static_cast<unsigned char>(line[i]);
            if (std::isdigit(c)) {
                size_t j = i;
                while (j < line.size() && std::isdigit(static_cast<unsigned char>(line[j])))
                    ++j;
                const std::optional<int> a = WholeNumber(std::string_view(line).substr(i, j - i));
                if (a && *a >= 1 && *a <= gpib::MaxPad)
                    found.insert(*a);
                numbers = true;
                i = j;
                continue;
            }
            words = words || std::isalpha(c);
            ++i;
        }
    }
    // No answer, or only words ("Unrecognized command"): the controller has no such
    // command. An empty line is an answer: nobody listens.
    if (!ended || lines.empty() || (words && !numbers)) {
        m_search = Search::NotAnswered;
        return std::nullopt;
    }
    m_search = Search::Answered;
    return found;
}

void PrologixBus::SendIFC(int board)
{
    if (!boardCallAllowed(board))
        return;
    if (!settle() || !sendLine("++ifc")) {
        linkFailed();
        return;
    }
    done(0);
}

void PrologixBus::FindLstn(int board, const uint16_t *addressList, uint16_t *resultList, int limit)
{
    if (!listenerSearchAllowed(board, addressList, resultList, limit))
        return;
    if (!settle()) {
        linkFailed();
        return;
    }
    const std::optional<std::set<int>> listening = askListeners();
    if (m_lost) {
        linkFailed();
        return;
    }
    std::vector<uint16_t> found;
    std::set<int> probed;
    std::set<int> answered;
    for (const uint16_t *a = addressList; *a != gpib::NOADDR; ++a) {
        const int pad = *a & 0xFF;
        const int sad = *a >> 8;
        if (sad != 0 || pad > gpib::MaxPad)
            continue;            // the controllers address no secondary addresses
        bool present = pad == 0; // the interface itself listens at its own address 0
        if (pad != 0 && listening) {
            present = listening->count(pad) != 0;
        } else if (pad != 0) {
            uint8_t statusByte = 0;
            const int ms = static_cast<int>(std::max<int64_t>(1, m_timing.probe.count()));
            const Poll p = poll(pad, ms, statusByte);
            if (p == Poll::Lost) {
                linkFailed();
                return;
            }
            present = p == Poll::Answered;
        }
        if (pad != 0) {
            probed.insert(pad);
            if (present)
                answered.insert(pad);
        }
        if (present)
            found.push_back(*a);
    }
    if (listening) {
        for (int pad = 1; pad <= gpib::MaxPad; ++pad)
            probed.insert(pad);
        answered = *listening;
    }
    m_probed = std::move(probed);
    m_listening = std::move(answered);
    deliverListenersOrBusError(found, resultList, limit);
}

int PrologixBus::ibsre(int board, int value)
{
    // The controllers hold REN asserted themselves in controller mode.
    (void)value;
    if (board != 0)
        return failed(gpib::ENEB);
    return done(0);
}


int PrologixBus::ibclr(int ud)
{
    Handle *h = handleFor(ud);
    if (!h)
        return Failed;
    if (!settle() || !address(h->pad) || !sendLine("++clr"))
        return linkFailed();
    if (knownSilent(h->pad))
        return failed(gpib::ENOL);
    return done(0);
}

int PrologixBus::ibrsp(int ud, char *statusByte)
{
    Handle *h = transferHandle(ud, statusByte, 1, true);
    if (!h)
        return Failed;
    if (!settle())
        return linkFailed();
    uint8_t value = 0;
    switch (poll(h->pad, prologixReadTimeoutMs(h->timeoutCode), value)) {
    case Poll::Lost:
        return linkFailed();
    case Poll::Silent:
        return done(gpib::ERR | gpib::TIMO, gpib::EABO);
    case Poll::Garbled:
        return linkFailed();
    case Poll::Answered:
        break;
    }
    *statusByte = static_cast<char>(value);
    return done(0, 0, 1);
}

int PrologixBus::ibwait(int ud, int mask)
{
    // Every transfer is complete when its call returns.
    (void)mask;
    if (!handleFor(ud))
        return Failed;
    return done(0);
}

int PrologixBus::ibwrt(int ud, const void *buffer, long count)
{
    Handle *h = transferHandle(ud, buffer, count, false);
    if (!h)
        return Failed;
    if (!settle() || !address(h->pad) || !endWithEoi(h->eot))
        return linkFailed();
    const std::string_view bytes(static_cast<const char *>(buffer), static_cast<size_t>(count));
    // An empty line sends nothing: the controller skips it.
    if (count > 0 && !sendLine(prologixEscaped(bytes)))
        return linkFailed();
    if (knownSilent(h->pad))
        return failed(gpib::ENOL);
    return done(0, 0, static_cast<int>(count));
}

int PrologixBus::ibrd(int ud, void *buffer, long count)
{
    Handle *h = transferHandle(ud, buffer, count, true);
    if (!h)
        return Failed;
    if (m_reading && m_readPad != h->pad && !settle())
        return linkFailed();
    if (!m_reading) {
        const int ms = prologixReadTimeoutMs(h->timeoutCode);
        if (!settle() || !address(h->pad) || !readTimeout(ms) || !sendLine("++read eoi"))
            return linkFailed();
        m_reading = true;
        m_readPad = h->pad;
        m_readQuiet = quietLimit(ms);
    }
    // One byte more than asked for shows whether the last byte asked for ended the reply.
    const size_t n = static_cast<size_t>(count);
    const Wait w = waitFor(
        [this, n] {
            const size_t mark = m_input.find(EndMark);
            return (mark != std::string::npos && mark <= n) || m_input.size() > n;
        },
        m_readQuiet);
    if (w == Wait::Lost)
        return linkFailed();
    char *out = static_cast<char *>(buffer);
    const size_t mark = m_input.find(EndMark);
    if (w == Wait::Done && mark != std::string::npos && mark <= n) {
        std::memcpy(out, m_input.data(), mark);
        m_input.erase(0, mark + 1);
        m_reading = false;
        return done(gpib::END, 0, static_cast<int>(mark));
    }
    if (w == Wait::Done) {
        std::memcpy(out, m_input.data(), n);
        m_input.erase(0, n);
        return done(0, 0, static_cast<int>(n));
    }
    // The controller gave up as well: what came is all there is.
    const size_t got = std::min(m_input.size(), n);
    std::memcpy(out, m_input.data(), got);
    m_input.clear();
    m_reading = false;
    return done(gpib::ERR | gpib::TIMO, gpib::EABO, static_cast<int>(got));
}
