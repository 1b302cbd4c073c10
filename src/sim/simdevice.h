#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// One instrument on the simulated bus, as the bus sees it: it takes complete messages,
// keeps the bytes of its reply until a controller reads them, and has a status byte.
class SimDevice
{
public:
    virtual ~SimDevice() = default;

    // A complete message, ended by EOI. A new message drops any reply not yet read.
    virtual void receive(std::string_view message) = 0;

    // False for an instrument that is addressed but never talks: its serial polls and
    // reads run into the timeout.
    virtual bool talks() const { return true; }

    // Serial poll: the status byte, which the poll clears.
    uint8_t serialPoll();
    // The status byte as it stands, without the poll that would clear it.
    uint8_t statusByte() const { return m_statusByte; }

    // Selected device clear: drops the pending reply.
    virtual void deviceClear() { m_output.clear(); }

    // The bytes of the reply not yet read; empty when there is nothing to send.
    std::string &output() { return m_output; }

protected:
    void flagError(uint8_t statusByte) { m_statusByte = statusByte; }

private:
    std::string m_output;
    uint8_t m_statusByte = 0;
};

// Addressed as a listener, but never answers.
class SimMuteDevice final : public SimDevice
{
public:
    void receive(std::string_view) override {}
    bool talks() const override { return false; }
};

// An instrument that is no function generator: it answers "ID?" with an identity that
// holds no "FG" and refuses everything else.
class SimOtherDevice final : public SimDevice
{
public:
    void receive(std::string_view message) override;
};

// Status bytes of a TM5000-style instrument after a refused command; bit 6 (0x40) asks
// for service, bit 5 (0x20) says an error is pending.
inline constexpr uint8_t SimCommandError = 97;   // malformed or unknown command
inline constexpr uint8_t SimExecutionError = 98; // well-formed but out of range
