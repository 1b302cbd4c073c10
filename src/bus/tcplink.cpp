// A TCP connection to a GPIB controller on the network (a Prologix-compatible box, a
// LAN/GPIB gateway), used from the calling thread alone with Qt's blocking waits: no
// event loop is needed.
#include "bus/bytelink.h"
#include "bus/linkwait.h"

#include <QTcpSocket>

#include <algorithm>

namespace linkwait {

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

} // namespace linkwait

using linkwait::sentence;
using linkwait::waitMs;

namespace {

class TcpLink final : public ByteLink
{
public:
    explicit TcpLink(std::string peer) : m_peer(std::move(peer)) {}

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
            return failedWith(socketError());
        while (m_socket.bytesToWrite() > 0) {
            if (!m_socket.waitForBytesWritten(waitMs(limit)))
                return failedWith(m_socket.state() == QAbstractSocket::ConnectedState
                                      ? m_peer + " took no bytes for " +
                                            std::to_string(waitMs(limit)) + " ms"
                                      : socketError());
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
            m_failure = socketError();
        return false;
    }

    // A peer that closed the connection reads the same whether a read or a write found it.
    std::string socketError() const
    {
        return m_socket.error() == QAbstractSocket::RemoteHostClosedError
                   ? m_peer + " closed the connection"
                   : sentence(m_socket.errorString());
    }

    bool failedWith(std::string why)
    {
        m_failure = std::move(why);
        m_socket.abort();
        return false;
    }

    std::string m_peer;
    QTcpSocket m_socket;
    std::string m_failure;
};

} // namespace

std::unique_ptr<ByteLink> connectTcp(const std::string &host, uint16_t port, Clock::Duration limit,
                                     const std::string &peer, std::string &why)
{
    auto link = std::make_unique<TcpLink>(peer);
    if (!link->connect(host, port, limit)) {
        why = link->failure();
        return nullptr;
    }
    return link;
}
