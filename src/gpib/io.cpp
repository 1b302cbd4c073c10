#include "gpib/eventwaiter.h"
#include "gpib/gpibmodule.h"
#include "gpib/messagebox.h"
#include "text/trim.h"

#include <chrono>

namespace {

constexpr int16_t ReadTimeoutCode = 12; // 3 s for each chunk of a reply
constexpr size_t ChunkSize = 512;
// An instrument that never ends its message must not hang the program.
constexpr size_t MaxReplySize = 64 * 1024;
constexpr int16_t WaitMask = static_cast<int16_t>(gpib::TIMO | gpib::CMPL);

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

const char *gpibErrorText(int16_t error)
{
    switch (error) {
    case 0:
        return "Operating system error.";
    case 1:
        return "Function requires GPIB board to be CIC.";
    case 2:
        return "No listener on write function.";
    case 3:
        return "GPIB board not addressed correctly.";
    case 4:
        return "Invalid argument to function call.";
    case 5:
        return "GPIB board not system controller as required.";
    case 6:
        return "I/O operation aborted - timeout.";
    case 7:
        return "Non-existent GPIB board.";
    case 10:
        return "Asynchronous I/O in progress.";
    case 11:
        return "No capability for operation.";
    case 12:
        return "File system error.";
    case 14:
        return "GPIB bus eror.";
    case 15:
        return "Serial poll status queue owerflow.";
    case 16:
        return "SRQ stuck in on position.";
    case 20:
        return "Table problem.";
    default:
        return "Unknown error.";
    }
}

} // namespace

GpibModule::GpibModule(GpibBackend &backend, const GpibServices &services)
    : m_driver(backend, services.bus), m_services(services)
{}

void GpibModule::WriteCommand(int16_t handle, const std::string &command)
{
    GpibErrorFlag = false;
    if (handle == 0)
        ShowDeviceNotConfigured();
    m_driver.ibwrt(handle, command);
    ShowGpibError();
}

std::string GpibModule::QueryInstrument(int16_t handle, const std::string &query,
                                        const std::function<bool()> &wanted)
{
    if (handle == 0)
        ShowDeviceNotConfigured();
    WriteCommand(handle, query);
    Delay(0.1f);
    if (GpibErrorFlag || (wanted && !wanted()))
        return {};
    return ReadResponse(handle);
}

std::string GpibModule::ReadResponse(int16_t handle)
{
    if (handle == 0)
        ShowDeviceNotConfigured();
    const int16_t saved = m_driver.ibask(handle, gpib::IbaTMO);
    // A failed ask leaves no limit to go back to, and 0 would mean "wait for ever": the
    // handle then keeps the read's own limit.
    const bool savedKnown = !(m_driver.ibsta() & gpib::ERR);
    if (!savedKnown || saved != ReadTimeoutCode)
        m_driver.ibtmo(handle, ReadTimeoutCode);

    std::string reply;
    int chunks = 0;
    size_t received = 0;
    while (true) {
        std::string buffer(ChunkSize, ' ');
        m_driver.ibwait(handle, WaitMask);
        m_driver.ibrd(handle, buffer);
        const int16_t status = m_driver.ibsta();
        received += ChunkSize;
        // A failed read without TIMO, or a reply without end, would otherwise keep this
        // loop going for ever: both end the exchange as a timeout does.
        if ((status & gpib::TIMO) || (status & gpib::ERR) || received > MaxReplySize) {
            chunks = 0;
            break;
        }
        reply += TrimBlanks(buffer);
        ++chunks;
        if (status & gpib::END)
            break;
    }
    if (savedKnown)
        m_driver.ibtmo(handle, saved);

    if (chunks == 0) {
        m_services.boxes.show("Read cycle failed\nOperation aborted.", "I/O Error",
                              MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Exclamation);
        return {};
    }
    // An instrument may end its reply with CR LF, LF or LF CR; the bus already marked the
    // end with EOI.
    if (reply.size() >= 2 && isLineEnd(reply[reply.size() - 2]))
        reply.pop_back();
    for (int i = 0; i < 2 && !reply.empty() && isLineEnd(reply.back()); ++i)
        reply.pop_back();
    return reply;
}

void GpibModule::Delay(float seconds)
{
    if (!(seconds > 0))
        return;
    const auto deadline = m_services.clock.now() +
                          std::chrono::duration_cast<Clock::Duration>(
                              std::chrono::duration<double>(static_cast<double>(seconds)));
    while (m_services.clock.now() < deadline)
        m_services.events.waitForEvents(deadline);
}

void GpibModule::processPendingEvents()
{
    m_services.events.processPendingEvents();
}

void GpibModule::ShowGpibError()
{
    if (!(m_driver.ibsta() & gpib::ERR))
        return;
    const int16_t error = m_driver.iberr();
    const std::string text = std::string(gpibErrorText(error)) +
                             "\nSelect OK to continue or Cancel to terminate program.";
    const auto answer =
        m_services.boxes.show(text, "GPIB ERROR # " + std::to_string(error),
                              MessageBoxService::Buttons::OkCancel,
                              MessageBoxService::Icon::Exclamation);
    if (answer == MessageBoxService::Answer::Cancel)
        m_services.programEnd.end();
    GpibErrorFlag = true;
}

void GpibModule::ShowDeviceNotConfigured()
{
    m_services.boxes.show("Device not configured.\n\nCorrect problem and restart.", "Device Error",
                          MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Critical);
    m_services.programEnd.end();
}

int16_t GpibModule::AddressForDeviceHandle(int16_t handle)
{
    const int count = std::min<int>(ListenerTable[0], TableSize - 1);
    for (int i = 1; i <= count; ++i) {
        if (ListenerHandles[static_cast<size_t>(i)] == handle)
            return ListenerTable[static_cast<size_t>(i)];
    }
    m_services.boxes.show("Device not found", "Error", MessageBoxService::Buttons::Ok,
                          MessageBoxService::Icon::Information);
    return 0;
}
