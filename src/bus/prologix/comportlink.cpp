// The way to a Prologix-compatible GPIB-USB adapter or an AR488 on Windows: the adapter's
// virtual COM port through Win32, used from the calling thread alone. Overlapped I/O, so
// that no write or read waits beyond its bound.
#include "bus/linkwait.h"
#include "bus/prologix/prologix.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

using linkwait::waitMs;

namespace {

// Win32's text for `code`, as a sentence part: no full stop, no line end.
std::string systemMessage(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString message = length ? QString::fromWCharArray(text, length)
                                   : QStringLiteral("Windows error %1").arg(code);
    LocalFree(text);
    return linkwait::sentence(message.trimmed());
}

// One overlapped operation's event, made once per link.
class Overlapped
{
public:
    Overlapped() { m_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped()
    {
        if (m_ov.hEvent)
            CloseHandle(m_ov.hEvent);
    }
    Overlapped(const Overlapped &) = delete;
    Overlapped &operator=(const Overlapped &) = delete;

    OVERLAPPED *reset()
    {
        const HANDLE event = m_ov.hEvent;
        m_ov = OVERLAPPED{};
        m_ov.hEvent = event;
        ResetEvent(event);
        return &m_ov;
    }
    bool valid() const { return m_ov.hEvent != nullptr; }

    // Waits up to `ms` for the operation that `started` began; false with ERROR_TIMEOUT
    // as the last error when it is still pending then (it is cancelled).
    bool finish(HANDLE port, bool started, int ms, DWORD &count)
    {
        if (!started && GetLastError() != ERROR_IO_PENDING)
            return false;
        if (!started && WaitForSingleObject(m_ov.hEvent, static_cast<DWORD>(ms)) == WAIT_TIMEOUT) {
            CancelIo(port);
            GetOverlappedResult(port, &m_ov, &count, TRUE);
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        return GetOverlappedResult(port, &m_ov, &count, TRUE);
    }

private:
    OVERLAPPED m_ov{};
};

class ComPortLink final : public ByteLink
{
public:
    ~ComPortLink() override { close(); }

    bool open(const std::string &device)
    {
        // COM10 and above are reachable only through the device namespace; it serves
        // COM1 to COM9 as well.
        const std::wstring path = L"\\\\.\\" + QString::fromStdString(device).toStdWString();
        m_port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        if (m_port == INVALID_HANDLE_VALUE || !m_read.valid() || !m_write.valid())
            return failedWith(systemMessage(GetLastError()));
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_port, &dcb))
            return failedWith(systemMessage(GetLastError()));
        // The USB adapters ignore the rate; an AR488 listens at 115200 by default. No flow
        // control, and DTR up: an AR488 on an Arduino waits for it.
        dcb.BaudRate = CBR_115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        // Reads take what has come and return at once; the waits are ours.
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        if (!SetCommState(m_port, &dcb) || !SetCommTimeouts(m_port, &t))
            return failedWith(systemMessage(GetLastError()));
        PurgeComm(m_port, PURGE_RXCLEAR | PURGE_TXCLEAR);
        return true;
    }

    bool send(std::string_view bytes, Clock::Duration limit) override
    {
        if (!usable())
            return false;
        DWORD written = 0;
        const bool started = WriteFile(m_port, bytes.data(), static_cast<DWORD>(bytes.size()),
                                       nullptr, m_write.reset());
        if (m_write.finish(m_port, started, std::max(waitMs(limit), 1), written) &&
            written == bytes.size())
            return true;
        if (GetLastError() == ERROR_TIMEOUT || written != bytes.size())
            return failedWith("the controller took no bytes for " + std::to_string(waitMs(limit)) +
                              " ms");
        return failedWith(systemMessage(GetLastError()));
    }

    bool receive(std::string &into, Clock::Duration limit) override
    {
        if (!usable())
            return false;
        // Polled: serial drivers differ in how (and whether) they signal a byte's arrival
        // to a waiting read or WaitCommEvent, while the count of bytes received is always
        // there. A USB adapter delivers in its own ticks of a few milliseconds anyway.
        const auto deadline = std::chrono::steady_clock::now() + limit;
        DWORD ready = 0;
        while (true) {
            if (!waiting(ready)) // an adapter unplugged, for one
                return failedWith(systemMessage(GetLastError()));
            if (ready > 0 || std::chrono::steady_clock::now() >= deadline)
                break;
            Sleep(1);
        }
        if (ready == 0)
            return true;
        // Only what has come is asked for, so that the read never waits.
        char buffer[4096];
        ready = std::min<DWORD>(ready, sizeof buffer);
        DWORD got = 0;
        const bool started = ReadFile(m_port, buffer, ready, nullptr, m_read.reset());
        if (!m_read.finish(m_port, started, 1000, got))
            return failedWith(systemMessage(GetLastError()));
        into.append(buffer, got);
        return true;
    }

    std::string failure() const override { return m_failure; }

private:
    // The count of bytes received and not yet read; false when the port is gone.
    bool waiting(DWORD &count)
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(m_port, &errors, &status))
            return false;
        count = status.cbInQue;
        return true;
    }

    bool usable()
    {
        if (m_port != INVALID_HANDLE_VALUE)
            return true;
        if (m_failure.empty())
            m_failure = "the port was closed";
        return false;
    }

    bool failedWith(std::string why)
    {
        m_failure = std::move(why);
        close();
        return false;
    }

    void close()
    {
        if (m_port != INVALID_HANDLE_VALUE)
            CloseHandle(m_port);
        m_port = INVALID_HANDLE_VALUE;
    }

    HANDLE m_port = INVALID_HANDLE_VALUE;
    Overlapped m_read, m_write;
    std::string m_failure;
};

} // namespace

std::unique_ptr<ByteLink> openPrologixSerial(const std::string &device, std::string &why)
{
    auto link = std::make_unique<ComPortLink>();
    if (!link->open(device)) {
        why = link->failure();
        return nullptr;
    }
    return link;
}
