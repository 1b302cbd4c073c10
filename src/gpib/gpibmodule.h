#pragma once

#include "gpib/driver.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class BusExecutor;
class Clock;
class EventWaiter;
class MessageBoxService;
class ProgramEnd;

// What the GPIB module needs from the platform: the message boxes, the end of the
// program, the clock and the event loop that keeps the window alive during waits, and
// the thread the driver calls run on (none: the caller's).
struct GpibServices
{
    MessageBoxService &boxes;
    ProgramEnd &programEnd;
    Clock &clock;
    EventWaiter &events;
    BusExecutor *bus = nullptr;
};

// The GPIB module: the driver wrappers, the instrument I/O with its error reports, and
// the discovery of the function generator, with all the state they keep for the run.
// Device handles are never released; the program keeps them until it ends.
class GpibModule
{
public:
    static constexpr int TableSize = 15; // entry 0 and at most 14 listeners

    GpibModule(GpibBackend &backend, const GpibServices &services);
    GpibModule(const GpibModule &) = delete;
    GpibModule &operator=(const GpibModule &) = delete;

    GpibDriver &driver() { return m_driver; }

    // --- Instrument I/O (io.cpp) ---

    // Sends `command` to the device; a bus error is reported, and GpibErrorFlag tells
    // whether it was (the user chose to go on).
    void WriteCommand(int16_t handle, const std::string &command);
    // Sends `query`, waits 0.1 s and reads the reply; "" when the write or read failed.
    // A reply that is no longer `wanted` once the wait is over is left unread, silently.
    std::string QueryInstrument(int16_t handle, const std::string &query,
                                const std::function<bool()> &wanted = {});
    // Reads one reply in 512-byte chunks with a 3 s limit each, without its line ends;
    // "" (after the "I/O Error" box) when a chunk timed out.
    std::string ReadResponse(int16_t handle);
    // Waits `seconds` while the window keeps handling its events; 0 or less returns at
    // once without handling any.
    void Delay(float seconds);
    // Reports the last driver call's error, if it had one, with OK to go on or Cancel to
    // end the program.
    void ShowGpibError();
    [[noreturn]] void ShowDeviceNotConfigured();
    // The primary address (1 to 30) of the listener given `handle`; 0, after the
    // "Device not found" box, when no listener has it.
    int16_t AddressForDeviceHandle(int16_t handle);
    // Lets the window handle the events pending now, once.
    void processPendingEvents();

    // --- Discovery and identification (discovery.cpp) ---

    // Takes control of the bus and fills the listener tables; mode 1 reports a failure
    // and ends the program.
    void InitBus(int16_t &mode);
    // The handle of the first unassigned listener whose reply to `query` fits `expected`,
    // or 0. Marker characters are removed from both texts (see discovery.cpp).
    int16_t FindDevice(std::string &query, std::string &expected);
    // The load step's bus part: interface clear, listener search, identification of the
    // first function generator, and its model name. Sets DeviceHandle and ModelName.
    // With `address` (1 to 30) only the listener there is cleared and asked, so that a
    // generator another window drives is left alone; 0 takes the first generator.
    void IdentifyFunctionGenerator(int16_t address = 0);
    // Interface clear, the time limit of identified devices, and the listener search
    // (InitBus in mode 1: a failure is reported and ends the program).
    void TakeBus();
    // True when a listener was found at `address` (1 to 30).
    bool Listens(int16_t address) const;

    // One listener's answer to "ID?": "" when it gave none.
    struct ListenerReply
    {
        int16_t address = 0;
        std::string reply;
    };
    // Asks every listener found, except the one at `skip` (0: none), "ID?" on the spare
    // handle as the search does, and hands out none of them. Nothing, after the GPIB
    // error box, when the spare handle cannot be opened.
    std::optional<std::vector<ListenerReply>> AskListeners(int16_t skip);

    // What the discovery found, for the run (set once by the load step).
    int16_t deviceHandle() const { return DeviceHandle; } // 0 when none
    const std::string &modelName() const { return ModelName; } // "" when none
    // The identified instrument's whole reply to "ID?", "" when none.
    const std::string &identity() const { return Identity; }
    // The replies of the last search that matched no listener, most recent first, each
    // followed by a line feed.
    const std::string &receivedReplies() const { return ReceivedReplies; }
    // The number of listeners the last search found (0 to 14).
    int16_t listenerCount() const { return ListenerTable[0]; }
    // Whether the last WriteCommand failed (and the user chose to go on).
    bool gpibErrorFlag() const { return GpibErrorFlag; }

private:
    struct Spare
    {
        bool Open = false;
        int16_t Handle = 0;
    };

    std::array<int16_t, TableSize> ListenerTable{};
    std::array<int16_t, TableSize> UnassignedListeners{};
    std::array<int16_t, TableSize> ListenerHandles{};
    Spare SpareDevice;
    int16_t DeviceTimeout = 0;

    int16_t DeviceHandle = 0; // the identified function generator, 0 when none
    std::string ModelName;    // cut from its identity reply, "" when none
    std::string Identity;
    std::string ReceivedReplies;
    bool GpibErrorFlag = false;

    // The listeners in ListenerTable, whatever entry 0 was made to hold (0 to 14).
    size_t foundListeners() const;
    // Steps one listener through a search: the address, a device clear unless `noClear`,
    // the serial poll, 0.1 s with `pause`, the query and its reply, trimmed.
    std::string AskListener(int16_t spare, int16_t address, const std::string &query,
                            bool noClear, bool pause);

    GpibDriver m_driver;
    GpibServices m_services;
};

// The model name inside an identity reply: the text up to the first ",", from after the
// first "/" or, without one, from the start ("ID SIM/AFG5102,V2.1" gives "AFG5102",
// "AFG5102,V2.1" too); "" without a comma, or when the comma comes before the "/".
std::string ModelNameFromIdentity(const std::string &identity);
