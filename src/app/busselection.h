#pragma once

#include "bus/backend.h"
#include "bus/clock.h"
#include "bus/prologix/prologix.h"
#include "app/commandline.h"
#include "bus/vxi11/vxi11bus.h"
#include "sim/simconfig.h"
#include "sim/simtrace.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class BusThread;
class MessageBoxService;
class ProgramEnd;
struct BackendEntry;

// Which GPIB driver the program talks to, from --bus or the environment variable
// WAVEDIAL_GPIB (each form is a row of the table in backends.cpp):
//   unset, "" or "sim"       the simulated bus with one FG5010 at address 5;
//   "sim:" + listeners       a simulated bus with those listeners ("sim:" alone: none);
//   "system"[":" + path]     the system's NI-488.2-compatible library;
//   "prologix:" + place      a Prologix-compatible controller: HOST[:PORT] over TCP
//                            (1234 when left out), or a serial port (/dev/..., COMn);
//   "vxi11:" + place         a LAN/GPIB gateway: HOST[:PORT][/INTERFACE] (port mapper
//                            on 111, interface gpib0 when left out).
struct BusChoice
{
    const BackendEntry *backend = nullptr; // the kind of bus, from the table of backends
    std::vector<SimListenerSpec> listeners;
    std::string libraryPath; // "" for the system's default library
    PrologixAddress adapter;
    Vxi11Address gateway;
};

// nullopt when `value` is none of the accepted forms; then `why`, when given, says what
// is wrong with a simulated bus's listeners ("" for the other forms).
std::optional<BusChoice> parseBusChoice(std::optional<std::string_view> value,
                                        std::string *why = nullptr);

// The text for an unusable `value`, which came after `source` ("WAVEDIAL_GPIB=" or
// "--bus "): what is wrong with it, where that can be told, and the accepted forms.
std::string busChoiceHelp(std::string_view value, std::string_view source = "WAVEDIAL_GPIB=");

// Everything the chosen bus needs for the whole run: its clock, its trace and the
// backend itself.
struct OpenBus
{
    std::unique_ptr<Clock> clock;
    std::unique_ptr<SimTraceFile> trace;
    std::unique_ptr<GpibBackend> backend;
};

// The trace file that `options.trace` or else WAVEDIAL_SIM_TRACE names; "" for none.
std::string traceFilePath(const ProgramOptions &options);

// Opens the bus that `options.bus` or else WAVEDIAL_GPIB names, with `trace` (the file of
// traceFilePath, opened: the simulated bus writes its own lines there, and every other
// bus is traced through a TracingBackend around it), making the backend on `thread`
// (the caller's thread when null); the caller hands it to that thread. An unusable
// choice, a library that does not load or a controller that cannot be reached is
// reported in a box and ends the program.
OpenBus openBusFromEnvironment(MessageBoxService &boxes, ProgramEnd &programEnd,
                               const ProgramOptions &options = {},
                               std::unique_ptr<SimTraceFile> trace = nullptr,
                               BusThread *thread = nullptr);
