#include "forms/appicon.h"
#include "app/buslisting.h"
#include "app/busselection.h"
#include "app/commandline.h"
#include "app/console.h"
#include "app/endsignals.h"
#include "app/qtlauncher.h"
#include "app/qtmessagebox.h"
#include "app/qtshell.h"
#include "instrument/settingsstore.h"
#include "gpib/busthread.h"
#include "gpib/eventwaiter.h"
#include "gpib/gpibmodule.h"
#include "mainwindow/mainform.h"
#include "sim/simtrace.h"
#include "text/version.h"
#ifdef WAVEDIAL_XCB_HOLD
#include "app/xcbinputhold.h"
#endif
#ifdef _WIN32
#include "app/wincloserequest.h"
#endif

#include <QApplication>
#include <QCursor>
#include <QStringList>

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

// A wait the user can see: shorter ones would only make the cursor flicker.
constexpr int BusyCursorDelayMs = 100;

// The window's close and the end signals, during a bus call: the call is cancelled, and
// once it has returned the shut-down sequence runs as the close button runs it, the
// gateway's links are destroyed, and the program ends with status 0, without going back
// into the procedure that waited.
void connectEnd(MainForm &window, BusThread &busThread, OpenBus &bus)
{
    window.setCloseTaker([&busThread] { return busThread.waiting() && busThread.requestEnd(); });
    busThread.setEndHandler([&window, &busThread, &bus] {
        window.close();
        busThread.releaseBackend();
        bus.trace.reset();
        std::fflush(nullptr);
        std::_Exit(0);
    });
}

// The trace file asked for, if any; false, said on standard error, when it cannot be
// written: a trace asked for and not written would leave the user believing in it.
bool openTrace(const ProgramOptions &options, std::unique_ptr<SimTraceFile> &trace)
{
    const std::string path = traceFilePath(options);
    if (path.empty())
        return true;
    trace = std::make_unique<SimTraceFile>(path);
    if (trace->isOpen())
        return true;
    attachParentConsole();
    std::fprintf(stderr, "wavedial: cannot write the trace to %s: %s\n", path.c_str(),
                 trace->error().c_str());
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Read before any window system is asked for: --help and --version work anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = readCommandLine(arguments);
    if (!line.out.empty() || !line.err.empty())
        attachParentConsole();
    std::fputs(line.out.c_str(), stdout);
    std::fputs(line.err.c_str(), stderr);
    if (!line.run)
        return line.exitCode;
    std::unique_ptr<SimTraceFile> trace;
    if (!openTrace(*line.run, trace))
        return 2;

    if (line.run->list) {
        attachParentConsole();
        return printBusListing(argc, argv, *line.run, std::move(trace));
    }
    if (!displayReachable()) {
        std::fputs("wavedial: no display found (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                   "Run it on a desktop, or under a virtual X server:\n"
                   "  xvfb-run -a build/wavedial\n",
                   stderr);
        return 2;
    }
#ifdef WAVEDIAL_XCB_HOLD
    // Core input events, which the input hold can send back (see XcbInputHold).
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_XI2"))
        qputenv("QT_XCB_NO_XI2", "1");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(AppTitle));
    // Wayland compositors find the window's icon and menu entry by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(AppId));
    QApplication::setWindowIcon(programIcon());

    QtMessageBox boxes;
    ProcessEnd programEnd;
    // Declared before the bus thread, which destroys the backend that uses them.
    OpenBus bus;
    BusThread busThread;
    bus = openBusFromEnvironment(boxes, programEnd, *line.run, std::move(trace), &busThread);
    GpibBackend &backend = *bus.backend;
    busThread.adopt(std::move(bus.backend));
    busThread.setBusyIndicator([] { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); },
                               [] { QGuiApplication::restoreOverrideCursor(); }, BusyCursorDelayMs);
    QtEventWaiter events(*bus.clock);
    GpibModule gpib(backend, GpibServices{boxes, programEnd, *bus.clock, events, &busThread});

    QtShell shell;
    SettingsStore store;
    QtLauncher launcher(*line.run);
    MainForm window(gpib, FormServices{boxes, programEnd, shell, store, &launcher, line.run->address});
    connectEnd(window, busThread, bus);
    EndSignals endSignals([&window, &busThread] {
        if (!window.closing() && !busThread.requestEnd())
            window.close();
    });
    // The platform's close request, seen during a bus call (the shut-down's own calls go on).
    [[maybe_unused]] const auto closeDuringCall = [&window, &busThread] {
        if (!window.closing())
            busThread.requestEnd();
    };
#ifdef WAVEDIAL_XCB_HOLD
    const auto hold = XcbInputHold::create(closeDuringCall);
    busThread.setInputHold(hold.get());
#endif
#ifdef Q_OS_WIN
    WinCloseRequest closeRequest([&busThread] { return busThread.waiting(); }, closeDuringCall);
#endif
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
