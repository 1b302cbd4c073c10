// The way to a Prologix-compatible GPIB-USB adapter or an AR488 on Windows: the adapter's
// virtual COM port through Win32, used from the calling thread alone. Each wait sets the
// port's time-outs, so that a read returns as soon as bytes come or when the wait is over.
#include "bus/linkwait.h"
#include "bus/prologix.h"

#include <windows.h>

#include <algorithm>
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

class ComPortLink final : public PrologixLink
{
public:
    ~ComPortLink() override { close(); }

    bool open(const std::string &device)
    {
        // COM10 and above are reachable only through the device namespace; it serves
        // COM1 to COM9 as well.
        const std::wstring path = L"\\\\.\\" + QString::fromStdString(device).toStdWString();
        m_port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
        if (m_port == INVALID_HANDLE_VALUE)
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
        if (!SetCommState(m_port, &dcb))
            return failedWith(systemMessage(GetLastError()));
        PurgeComm(m_port, PURGE_RXCLEAR | PURGE_TXCLEAR);
        return true;
    }

    bool send(std::string_view bytes, Clock::Duration limit) override
    {
        if (!usable())
            return false;
        COMMTIMEOUTS t{};
        t.WriteTotalTimeoutConstant = static_cast<DWORD>(std::max(waitMs(limit), 1));
        if (!SetCommTimeouts(m_port, &t))
            return failedWith(systemMessage(GetLastError()));
        DWORD written = 0;
        if (!WriteFile(m_port, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            return failedWith(systemMessage(GetLastError()));
        if (written != bytes.size())
            return failedWith("the controller took no bytes for " + std::to_string(waitMs(limit)) +
                              " ms");
        return true;
    }

    bool receive(std::string &into, Clock::Duration limit) override
    {
        if (!usable())
            return false;
        // MAXDWORD interval and multiplier with a constant: return at once with what has
        // come, else wait up to the constant for the first byte. A zero wait only polls.
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        const int ms = waitMs(limit);
        if (ms > 0) {
            t.ReadTotalTimeoutMultiplier = MAXDWORD;
            t.ReadTotalTimeoutConstant = static_cast<DWORD>(ms);
        }
        if (!SetCommTimeouts(m_port, &t))
            return failedWith(systemMessage(GetLastError()));
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(m_port, buffer, sizeof buffer, &got, nullptr))
            return failedWith(systemMessage(GetLastError()));
        into.append(buffer, got);
        return true;
    }

    std::string failure() const override { return m_failure; }

private:
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
    std::string m_failure;
};

} // namespace

std::unique_ptr<PrologixLink> openPrologixSerial(const std::string &device, std::string &why)
{
    auto link = std::make_unique<ComPortLink>();
    if (!link->open(device)) {
        why = link->failure();
        return nullptr;
    }
    return link;
}
