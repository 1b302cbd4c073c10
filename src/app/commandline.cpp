#include "app/commandline.h"

#include "app/busselection.h"
#include "version.h"

#include <QCommandLineParser>

CommandLine readCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets up a programmable function generator (FG5010, AFG5101, AFG5102, "
                       "PFG5105) on a GPIB bus."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Shows the version and ends."));
    const QCommandLineOption bus(
        QStringLiteral("bus"),
        QStringLiteral("The bus to open, in the forms of WAVEDIAL_GPIB: sim[:KIND@ADDRESS,...], "
                       "system[:LIBRARY], prologix:PLACE, vxi11:HOST[:PORT][/INTERFACE]. "
                       "Wins over WAVEDIAL_GPIB."),
        QStringLiteral("SPEC"));
    const QCommandLineOption trace(
        QStringLiteral("trace"),
        QStringLiteral("Appends the trace of what crosses the bus, whichever bus it is, to FILE. "
                       "Wins over WAVEDIAL_SIM_TRACE."),
        QStringLiteral("FILE"));
    parser.addOptions({help, version, bus, trace});

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.exitCode = 2;
        line.err = "wavedial: " + parser.errorText().toStdString() +
                   "\nTry 'wavedial --help' for the options.\n";
        return line;
    }
    if (parser.isSet(help)) {
        // The parser names the executable by the application object, and help comes
        // before there is one: the usage line is ours.
        const QString text = parser.helpText();
        line.out = "Usage: wavedial [options]" + text.mid(text.indexOf('\n')).toStdString() +
                   "\nExit status: 0 when the window is closed, and after --help and --version;\n"
                   "1 after a box that ends the program (no supported instrument, a bus that\n"
                   "cannot be opened, Cancel in a GPIB error box); 2 for a bad command line, a\n"
                   "trace that cannot be written, or no display.\n";
        return line;
    }
    if (parser.isSet(version)) {
        line.out = std::string("wavedial ") + VersionNumber() + "\n";
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.exitCode = 2;
        line.err = "wavedial: unexpected argument '" +
                   parser.positionalArguments().constFirst().toStdString() +
                   "'.\nTry 'wavedial --help' for the options.\n";
        return line;
    }
    ProgramOptions options;
    if (parser.isSet(bus)) {
        options.bus = parser.value(bus).toStdString();
        if (!parseBusChoice(*options.bus)) {
            line.exitCode = 2;
            line.err = "wavedial: " + busChoiceHelp(*options.bus, "--bus ") + "\n";
            return line;
        }
    }
    if (parser.isSet(trace))
        options.trace = parser.value(trace).toStdString();
    line.run = options;
    return line;
}
