// The way to a Prologix-compatible GPIB-USB adapter or an AR488: a (virtual) serial port,
// used from the calling thread alone, with Qt's blocking waits: no event loop is needed.
// The GPIB-Ethernet box is reached over the shared TCP link (tcplink.cpp).
#include "bus/linkwait.h"
#include "bus/prologix/prologix.h"

#include <QSerialPort>

using linkwait::sentence;
using linkwait::waitMs;

namespace {

class SerialLink final : public ByteLink
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

std::unique_ptr<ByteLink> openPrologixSerial(const std::string &device, std::string &why)
{
    auto link = std::make_unique<SerialLink>();
    if (!link->open(device)) {
        why = link->failure();
        return nullptr;
    }
    return link;
}
