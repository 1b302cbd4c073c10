#pragma once

#include "bus/backend.h"

#include <string>
#include <string_view>

class SimBus;

struct SimPrologixOptions
{
    // Answers AR488's listener search "++fndl" with the listeners' addresses on one line,
    // separated by spaces (an empty line for none). A genuine Prologix box has no such
    // command and ignores it, as does the adapter with this off.
    bool findListeners = true;
    // The answer to "++ver".
    std::string version = "Wavedial simulated GPIB-Ethernet controller";
};

// A Prologix-compatible GPIB controller in front of a simulated bus, in controller mode.
// It takes the bytes a host sends ("++" commands, and data lines with CR, LF, ESC and "+"
// escaped by ESC, each line ended by an unescaped CR or LF) and gives back what the
// controller would send: answers, and instrument replies with the EOT character when
// ++eot_enable is on. Nothing here waits: a read or poll that would time out ends at
// once with nothing, which is all a host sees of a timeout.
class SimPrologixAdapter
{
public:
    explicit SimPrologixAdapter(SimBus &bus, SimPrologixOptions options = SimPrologixOptions());
    SimPrologixAdapter(const SimPrologixAdapter &) = delete;
    SimPrologixAdapter &operator=(const SimPrologixAdapter &) = delete;

    // Takes bytes from the host; returns the bytes the controller sends back.
    std::string take(std::string_view bytes);
    // A new host connection: a half-received line is dropped. The settings stay, as the
    // controller keeps them.
    void newConnection();

private:
    void endLine(std::string &out);
    void command(std::string_view text, std::string &out);
    void data(std::string payload, std::string &out);
    void read(std::string &out);
    void serialPoll(int pad, std::string &out);
    void findListeners(std::string &out);
    int bus(bool eoi);

    SimBus &m_bus;
    SimPrologixOptions m_options;

    // The line being received.
    std::string m_line;
    bool m_escape = false;
    size_t m_plusPrefix = 0; // unescaped "+" at the start of the line

    // Settings, with the controller's defaults.
    int m_pad = 0;
    bool m_controller = true;
    bool m_auto = false;
    bool m_eoi = true;
    int m_eos = 0; // 0 CR LF, 1 CR, 2 LF, 3 nothing appended
    bool m_eotEnable = false;
    int m_eotChar = 0;
    int m_readTmoMs = 500;

    // The bus handles the controller talks through: with and without EOI.
    int m_handles[2] = {-1, -1};
    int m_handlePads[2] = {-1, -1};
    int m_handleTmo[2] = {-1, -1};

    // The counts of the controller's own bus calls, whoever else serves the bus.
    gpib::StatusVariables m_status;
};
