#include "forms/appicon.h"
#include "app/busselection.h"
#include "app/qtmessagebox.h"
#include "app/qtshell.h"
#include "instrument/settingsstore.h"
#include "gpib/eventwaiter.h"
#include "gpib/gpibmodule.h"
#include "mainwindow/mainform.h"
#include "version.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt aborts with a terse message when it cannot reach a display; say how to run the
// program instead.
bool displayReachable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const auto set = [](const char *name) {
        const char *v = std::getenv(name);
        return v && *v;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
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
                   "  xvfb-run -a build/wavedial\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(AppTitle));
    QApplication::setWindowIcon(programIcon());

    QtMessageBox boxes;
    ProcessEnd programEnd;
    OpenBus bus = openBusFromEnvironment(boxes, programEnd);
    QtEventWaiter events(*bus.clock);
    GpibModule gpib(*bus.backend, GpibServices{boxes, programEnd, *bus.clock, events});

    QtShell shell;
    SettingsStore store;
    MainForm window(gpib, FormServices{boxes, programEnd, shell, store});
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
