#pragma once

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// wavedial-sim on a loopback port the system chooses, with its trace in a temporary file:
// a Prologix-compatible controller, or with `service` "--vxi11" a VXI-11 gateway.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments, const QString &service = "--listen")
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(WAVEDIAL_SIM_PROGRAM),
                        QStringList{service, "127.0.0.1:0", "--trace", tracePath()} + arguments);
        // Its first line names the port: "wavedial-sim [VXI-11 gateway] listening on
        // 127.0.0.1:PORT".
        while (!m_process.canReadLine() && m_process.waitForReadyRead(10'000))
            continue;
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        port = static_cast<uint16_t>(line.section(':', -1).toUInt());
        EXPECT_NE(port, 0) << "wavedial-sim said: " << line.toStdString();
    }
    ~SimProcess() { stop(); }
    void stop() { m_process.kill(), m_process.waitForFinished(5'000); } // connections and all
    QString tracePath() const { return m_dir.filePath(QStringLiteral("trace.txt")); }
    std::vector<std::string> trace() const
    {
        QFile file(tracePath());
        std::vector<std::string> lines;
        for (file.open(QIODevice::ReadOnly); !file.atEnd();)
            lines.push_back(QString::fromUtf8(file.readLine()).chopped(1).toStdString());
        return lines;
    }

    uint16_t port = 0;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// A loopback port nobody listens on (just freed by the system).
inline uint16_t closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return probe.serverPort();
}
