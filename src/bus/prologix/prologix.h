#pragma once

#include "bus/bytelink.h"
#include "bus/handlebackend.h"
#include "bus/clock.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

// A Prologix-compatible GPIB controller (the GPIB-Ethernet box, the GPIB-USB adapter, an
// AR488) as a GPIB driver: each entry point becomes the controller's "++" commands.
//
// The controller frames nothing it sends back: a reply is just bytes, and a talker that
// times out leaves silence. So the backend has the controller mark EOI with an end
// character (++eot_enable, ++eot_char 4) and takes silence, for the handle's timeout and
// a grace for the link, as the timeout. Replies of these instruments are text: byte 4
// never occurs in them.

// How long the backend waits on the controller besides the handle's own timeout.
struct PrologixTiming
{
    // Added to every wait for an answer: the controller's own timeout runs on the far
    // side of the link, and its answer still has to cross the link.
    std::chrono::milliseconds grace{50};
    // The controller's timeout for a serial poll that probes for a listener; instruments
    // answer a poll within a millisecond.
    std::chrono::milliseconds probe{20};
    // Waiting for the controller's answer to "++ver", per attempt, when the link opens;
    // an AR488 on a serial port restarts as the port opens and misses the first attempt.
    std::chrono::milliseconds hello{1500};
    int helloAttempts = 1;
    // Waiting for an AR488's listener search ("++fndl").
    std::chrono::milliseconds search{2000};
    // Waiting for bytes to leave for the controller.
    std::chrono::milliseconds send{3000};
    // The longest any one wait lasts, even while bytes keep coming: a talker that never
    // ends its reply must not hold the program.
    std::chrono::milliseconds longest{10000};
    // A wait looks at a cancelled call this often.
    std::chrono::milliseconds slice{50};
};

// The controller's escape byte: what follows it in a data line is payload.
inline constexpr char PrologixEsc = 0x1B;

// The payload of one data line: CR, LF, ESC and "+" each preceded by ESC, so that the
// controller sends them to the instrument instead of ending the line or reading "++".
std::string prologixEscaped(std::string_view payload);

// The controller's read timeout (++read_tmo_ms, 1 to 3000 ms) for a handle's timeout code
// (0 to 17): the code's time rounded up to whole milliseconds, cut to the controller's
// 3 s; code 0 ("for ever") also gives 3 s. -1 for an invalid code.
int prologixReadTimeoutMs(int code);

class PrologixBus final : public HandleKeepingBackend<gpib::DeviceHandleSettings>
{
public:
    // Byte 4 (EOT) marks EOI in what the controller sends back.
    static constexpr char EndMark = 4;

    PrologixBus(std::unique_ptr<ByteLink> link, Clock &clock,
                const PrologixTiming &timing = PrologixTiming());

    // Sets the controller up (controller mode, no read after write, EOI on the last
    // byte, no added line end, EOI marked with EndMark) and reads its version line.
    // False, with `why` for a box, when the link failed or the controller did not answer.
    bool start(std::string &why);
    const std::string &version() const { return m_version; }
    // True once the link has failed: every bus call fails from then on.
    bool lost() const { return m_lost; }

    void SendIFC(int board) override;
    void FindLstn(int board, const uint16_t *addressList, uint16_t *resultList, int limit) override;
    int ibsre(int board, int value) override;
    int ibclr(int handle) override;
    int ibrsp(int handle, char *statusByte) override;
    int ibwait(int handle, int mask) override;
    int ibwrt(int handle, const void *buffer, long count) override;
    int ibrd(int handle, void *buffer, long count) override;

private:
    using Handle = gpib::DeviceHandleSettings;
    enum class Wait { Done, TimedOut, Lost };
    enum class Poll { Answered, Silent, Garbled, Lost };
    enum class Search { Unknown, Answered, NotAnswered };

    int linkFailed() { return failed(gpib::EDVR); }
    Clock::Duration quietLimit(int timeoutMs) const;

    bool sendLine(std::string_view line);
    bool lose();
    bool settle();
    bool setting(int &sent, int wanted, const std::string &command);
    bool address(int pad);
    bool readTimeout(int ms);
    bool endWithEoi(bool on);
    bool knownSilent(int pad) const;
    // Waits until `ready()` holds, the link fails, nothing has come for `quiet`, or
    // PrologixTiming::longest (or `most`, when shorter) has passed.
    template<class Ready>
    Wait waitFor(Ready ready, Clock::Duration quiet, Clock::Duration most = Clock::Duration::max());
    Wait awaitLine(std::string &line, Clock::Duration quiet,
                   Clock::Duration most = Clock::Duration::max());
    Poll poll(int pad, int timeoutMs, uint8_t &statusByte);
    std::optional<std::set<int>> askListeners();

    std::unique_ptr<ByteLink> m_link;
    Clock &m_clock;
    PrologixTiming m_timing;

    std::string m_version;
    std::string m_input; // bytes from the controller not yet handed out
    bool m_lost = false;
    int m_address = -1; // last ++addr sent, -1 before the first
    int m_readTmo = -1; // last ++read_tmo_ms sent
    int m_eoi = -1;     // last ++eoi sent
    Search m_search = Search::Unknown;

    // A reply being read in several calls: the controller sends it up to its end mark.
    bool m_reading = false;
    int m_readPad = 0;
    Clock::Duration m_readQuiet{};

    // What the last listener search learnt: addresses probed, and those that answered.
    std::set<int> m_probed;
    std::set<int> m_listening;
};

// Where the controller is: a TCP host and port, or a serial port.
struct PrologixAddress
{
    enum class Kind { Tcp, Serial };
    Kind kind = Kind::Tcp;
    std::string host; // Tcp: name or address (IPv6 without brackets)
    uint16_t port = 1234;
    std::string device; // Serial: "/dev/ttyUSB0", "COM3"

    bool operator==(const PrologixAddress &) const = default;
};

// What follows "prologix:": HOST, HOST:PORT, [IPV6] or [IPV6]:PORT (port 1 to 65535,
// 1234 when left out), a device path starting with "/", or COMn. nullopt otherwise.
std::optional<PrologixAddress> parsePrologixAddress(std::string_view text);

// "at 192.168.1.20:1234", "on /dev/ttyUSB0": where the controller is, for a box.
std::string prologixPlace(const PrologixAddress &address);

struct PrologixOpen
{
    std::unique_ptr<GpibBackend> backend; // null when opening failed
    std::string error;                    // the box text when it failed
};

// Connects to the controller and sets it up (see PrologixBus::start). The backend waits
// on `clock`, which must outlive it.
PrologixOpen openPrologix(const PrologixAddress &address, Clock &clock,
                          const PrologixTiming &timing = PrologixTiming());

// The links themselves; null, with `why`, when they cannot be opened.
inline std::unique_ptr<ByteLink> connectPrologixTcp(const std::string &host, uint16_t port,
                                                    Clock::Duration limit, std::string &why)
{
    return connectTcp(host, port, limit, "the controller", why);
}
std::unique_ptr<ByteLink> openPrologixSerial(const std::string &device, std::string &why);
