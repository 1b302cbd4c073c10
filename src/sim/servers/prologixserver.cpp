#include "sim/servers/prologixserver.h"

#include <QTcpSocket>

PrologixServer::PrologixServer(SimBus &bus, SimPrologixOptions options)
    : m_adapter(bus, std::move(options))
{
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { acceptClients(); });
}

PrologixServer::~PrologixServer()
{
    // The client's signals must not reach this object while the server takes it down.
    forgetClient();
}

bool PrologixServer::listen(const QHostAddress &address, uint16_t port)
{
    return m_server.listen(address, port);
}

void PrologixServer::acceptClients()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_client = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_adapter.newConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, &m_server, [this] { serveClient(); });
        QObject::connect(socket, &QTcpSocket::disconnected, &m_server, [this, socket] {
            if (socket == m_client)
                forgetClient();
        });
        // Bytes may have come with the connection itself.
        serveClient();
    }
}

void PrologixServer::serveClient()
{
    if (!m_client)
        return;
    const QByteArray in = m_client->readAll();
    if (in.isEmpty())
        return;
    const std::string out =
        m_adapter.take(std::string_view(in.constData(), static_cast<size_t>(in.size())));
    if (!out.empty())
        m_client->write(out.data(), static_cast<qint64>(out.size()));
}

void PrologixServer::forgetClient()
{
    QTcpSocket *socket = m_client;
    m_client = nullptr;
    if (socket) {
        QObject::disconnect(socket, nullptr, &m_server, nullptr);
        socket->abort();
        socket->deleteLater();
    }
}
