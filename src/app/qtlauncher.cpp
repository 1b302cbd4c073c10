#include "app/qtlauncher.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

bool QtLauncher::launch(int16_t address, std::string &why)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    std::optional<std::string> bus;
    if (environment.contains(QStringLiteral("WAVEDIAL_GPIB")))
        bus = environment.value(QStringLiteral("WAVEDIAL_GPIB")).toStdString();
    // Two programs appending to one trace would mix their lines beyond telling apart.
    environment.remove(QStringLiteral("WAVEDIAL_SIM_TRACE"));
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments(anotherGeneratorArguments(m_options, address, bus));
    process.setProcessEnvironment(environment);
    if (process.startDetached())
        return true;
    why = process.errorString().toStdString();
    return false;
}
