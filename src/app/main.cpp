#include "app/busselection.h"
#include "app/qtmessagebox.h"
#include "gpib/driver.h"

#include <QApplication>
#include <QMainWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Qt aborts with a terse message when it cannot reach a display; say how to run the
// program instead.
bool displayReachable()
{
#if defined(Q_OS_LINUX) || defined(Q_OS_UNIX)
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char *x = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
#else
    return true;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayReachable()) {
        std::fputs("wavedial: no display found (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                   "Run it on a desktop, or under a virtual X server:\n"
                   "  xvfb-run -a ./build/wavedial\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wavedial"));
    QApplication::setApplicationVersion(QStringLiteral(WAVEDIAL_VERSION));

    QtMessageBox boxes;
    ProcessEnd programEnd;
    OpenBus bus = openBusFromEnvironment(boxes, programEnd);
    GpibDriver driver(*bus.backend);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Wavedial"));
    window.resize(225, 421);
    window.show();
    return QApplication::exec();
}
