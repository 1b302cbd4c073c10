// The two ways to a Prologix-compatible controller: the GPIB-Ethernet box over TCP, and
// the GPIB-USB adapter or an AR488 over a (virtual) serial port. Both are used from the
// calling thread alone, with Qt's blocking waits: no event loop is needed.
#include "bus/prologix.h"

#include <QHostAddress>
#include <QSerialPort>
#include <QTcpSocket>

#include <algorithm>

namespace {

// Qt's waits take whole milliseconds; a wait that is due now polls once.
int waitMs(Clock::Duration limit)
{
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(limit).count();
    return static_cast<int>(std::clamp<int64_t>(ms, 0, 60'000));
}

std::string sentence(const QString &text)
{
    std::string s = text.toStdString();
    while (!s.empty() && (s.back() == '.' || s.back() == ' '))
        s.pop_back();
    return s;
}

class TcpLink final : public PrologixLink
{
public:
    bool connect(const std::string &host, uint16_t port, Clock::Duration limit)
    {
        m_socket.connectToHost(QString::fromStdString(host), port);
        if (!m_socket.waitForConnected(waitMs(limit))) {
            if (m_socket.error() == QAbstractSocket::SocketTimeoutError)
                m_failure = "no connection within " + std::to_string(waitMs(limit) / 1000) + " s";
            else
                m_failure = sentence(m_socket.errorString());
            return false;
        }
        // Commands are a few bytes each, and each waits for its answer.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }

    bool send(std::string_view bytes, Clock::Duration limit) override
    {
        // A controller that went away shows only when the socket is read.
        if (m_socket.bytesAvailable() == 0 && usable())
            m_socket.waitForReadyRead(0);
        if (!usable())
            return false;
        if (m_socket.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()))
            return failedWith(sentence(m_socket.errorString()));
        while (m_socket.bytesToWrite() > 0) {
            if (!m_socket.waitForBytesWritten(waitMs(limit)))
                return failedWith(m_socket.state() == QAbstractSocket::ConnectedState
                                      ? "the controller took no bytes for " +
                                            std::to_string(waitMs(limit)) + " ms"
                                      : sentence(m_socket.errorString()));
        }
        return true;
    }

    bool receive(std::string &into, Clock::Duration limit) override
    {
        if (m_socket.bytesAvailable() == 0 && usable())
            m_socket.waitForReadyRead(waitMs(limit));
        const QByteArray bytes = m_socket.readAll();
        into.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        // Bytes that came before the end are still handed out.
        return !bytes.isEmpty() || usable();
    }

    std::string failure() const override { return m_failure; }

private:
    bool usable()
    {
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            return true;
        if (m_failure.empty())
            m_failure = m_socket.error() == QAbstractSocket::RemoteHostClosedError
                            ? "the controller closed the connection"
                            : sentence(m_socket.errorString());
        return false;
    }

    bool failedWith(std::string why)
    {
        m_failure = std::move(why);
        m_socket.abort();
        return false;
    }

    QTcpSocket m_socket;
    std::string m_failure;
};

class SerialLink final : public PrologixLink
{
public:
    bool open(const std::string &device)
    {
        m_port.setPortName(QString::fromStdString(device));
        // The USB adapters ignore the rate; an AR488 listens at 115200 by default.
        m_port.setBaudRate(QSerialPort::Baud115200);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setStopBits(QSerialPort::OneStop);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        if (!m_port.open(QIODevice::ReadWrite)) {
            m_failure = sentence(m_port.errorString());
            return false;
        }
        return true;
    }

    bool send(std::string_view bytes, Clock::Duration limit) override
    {
        if (!usable())
            return false;
        if (m_port.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()))
            return failedWith(sentence(m_port.errorString()));
        while (m_port.bytesToWrite() > 0) {
            if (m_port.waitForBytesWritten(waitMs(limit)))
                continue;
            return failedWith(timedOut() ? "the controller took no bytes for " +
                                               std::to_string(waitMs(limit)) + " ms"
                                         : sentence(m_port.errorString()));
        }
        return true;
    }

    bool receive(std::string &into, Clock::Duration limit) override
    {
        if (m_port.bytesAvailable() == 0 && usable() && !m_port.waitForReadyRead(waitMs(limit)) &&
            !timedOut()) {
            m_failure = sentence(m_port.errorString());
            m_port.close();
        }
        const QByteArray bytes = m_port.isOpen() ? m_port.readAll() : QByteArray();
        into.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        return !bytes.isEmpty() || usable();
    }

    std::string failure() const override { return m_failure; }

private:
    // A wait that ran out is no failure of the port.
    bool timedOut()
    {
        if (m_port.error() != QSerialPort::TimeoutError && m_port.error() != QSerialPort::NoError)
            return false;
        m_port.clearError();
        return true;
    }

    bool usable()
    {
        if (m_port.isOpen() && m_port.error() == QSerialPort::NoError)
            return true;
        if (m_failure.empty())
            m_failure = m_port.isOpen() ? sentence(m_port.errorString()) : "the port was closed";
        return false;
    }

    bool failedWith(std::string why)
    {
        m_failure = std::move(why);
        m_port.close();
        return false;
    }

    QSerialPort m_port;
    std::string m_failure;
};

} // namespace

std::unique_ptr<PrologixLink> connectPrologixTcp(const std::string &host, uint16_t port,
                                                 Clock::Duration limit, std::string &why)
{
    auto link = std::make_unique<TcpLink>();
    if (!link->connect(host, port, limit)) {
        why = link->failure();
        return nullptr;
    }
    return link;
}

std::unique_ptr<PrologixLink> openPrologixSerial(const std::string &device, std::string &why)
{
    auto link = std::make_unique<SerialLink>();
    if (!link->open(device)) {
        why = link->failure();
        return nullptr;
    }
    return link;
}
