#pragma once

#include "sim/servers/prologixadapter.h"

#include <QHostAddress>
#include <QString>
#include <QTcpServer>

#include <cstdint>

class QTcpSocket;
class SimBus;

// The simulated bus as a network instrument: a Prologix-compatible GPIB-Ethernet
// controller on a TCP port, serving one host at a time as the box does (a second
// connection is closed at once). It runs on the event loop of the thread that made it.
class PrologixServer
{
public:
    explicit PrologixServer(SimBus &bus, SimPrologixOptions options = SimPrologixOptions());
    ~PrologixServer();
    PrologixServer(const PrologixServer &) = delete;
    PrologixServer &operator=(const PrologixServer &) = delete;

    // Listens on `address`, port `port` (0: one the system chooses); false, with
    // errorText(), when it cannot.
    bool listen(const QHostAddress &address, uint16_t port);
    uint16_t port() const { return m_server.serverPort(); }
    QString errorText() const { return m_server.errorString(); }

private:
    void acceptClients();
    void serveClient();
    void forgetClient();

    SimPrologixAdapter m_adapter;
    QTcpServer m_server;
    QTcpSocket *m_client = nullptr; // a child of m_server
};
