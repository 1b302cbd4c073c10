// Renders the main window, as it stands after start-up on the simulated bus, to a PNG:
//   QT_QPA_PLATFORM=offscreen build/tools/wavedial_snapshot docs/mainwindow.png
// WAVEDIAL_GPIB chooses the simulated instrument, as for the program itself.
#include "app/busselection.h"
#include "app/qtmessagebox.h"
#include "app/qtshell.h"
#include "app/settingsstore.h"
#include "gpib/eventwaiter.h"
#include "gpib/gpibmodule.h"
#include "mainwindow/mainform.h"

#include <QApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: wavedial_snapshot FILE.png\n", stderr);
        return 2;
    }
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
    window.Form_Activate();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "wavedial_snapshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
