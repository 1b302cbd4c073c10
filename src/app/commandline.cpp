#include "app/commandline.h"

#include "app/busselection.h"
#include "text/version.h"

#include <QCommandLineParser>

namespace {

struct Options
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Shows this help and ends.")};
    QCommandLineOption version{QStringLiteral("version"),
                               QStringLiteral("Shows the version and ends.")};
    QCommandLineOption bus{
        QStringLiteral("bus"),
        QStringLiteral("The bus to open, in the forms of WAVEDIAL_GPIB: sim[:KIND@ADDRESS,...], "
                       "system[:LIBRARY], prologix:PLACE, vxi11:HOST[:PORT][/INTERFACE]. "
                       "Wins over WAVEDIAL_GPIB."),
        QStringLiteral("SPEC")};
    QCommandLineOption trace{
        QStringLiteral("trace"),
        QStringLiteral("Appends the trace of what crosses the bus, whichever bus it is, to FILE. "
                       "Wins over WAVEDIAL_SIM_TRACE."),
        QStringLiteral("FILE")};
    QCommandLineOption address{
        QStringLiteral("address"),
        QStringLiteral("Opens the function generator at GPIB address N (1 to 30): only that "
                       "listener is cleared and asked \"ID?\", so that a generator another "
                       "window drives is left alone. Without it, the first generator is taken."),
        QStringLiteral("N")};
    QCommandLineOption list{
        QStringLiteral("list"),
        QStringLiteral("Prints the bus's listeners and ends, without a window: one line each, "
                       "ADDRESS<tab>REPLY<tab>MODEL, where REPLY is the answer to \"ID?\" "
                       "(\"no reply\" when none) and MODEL the supported model it names (empty "
                       "for any other). Exit status 1 when the bus cannot be opened or has no "
                       "listener.")};
};

} // namespace

CommandLine readCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets up a programmable function generator (FG5010, AFG5101, AFG5102, "
                       "PFG5105) on a GPIB bus."));
    const Options o;
    parser.addOptions({o.help, o.version, o.bus, o.trace, o.address, o.list});

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.exitCode = 2;
        line.err = "wavedial: " + parser.errorText().toStdString() +
                   "\nTry 'wavedial --help' for the options.\n";
        return line;
    }
    if (parser.isSet(o.help)) {
        // The parser names the executable by the application object, and help comes
        // before there is one: the usage line is ours.
        const QString text = parser.helpText();
        line.out = "Usage: wavedial [options]" + text.mid(text.indexOf('\n')).toStdString() +
                   "\nExit status: 0 when the window is closed, and after --help, --version and a\n"
                   "--list that found listeners; 1 after a box that ends the program (no\n"
                   "supported instrument, none at --address, a bus that cannot be opened,\n"
                   "Cancel in a GPIB error box) and for a --list that found none; 2 for a bad\n"
                   "command line, a trace that cannot be written, or no display.\n";
        return line;
    }
    if (parser.isSet(o.version)) {
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
    if (parser.isSet(o.bus)) {
        options.bus = parser.value(o.bus).toStdString();
        if (!parseBusChoice(*options.bus)) {
            line.exitCode = 2;
            line.err = "wavedial: " + busChoiceHelp(*options.bus, "--bus ") + "\n";
            return line;
        }
    }
    if (parser.isSet(o.trace))
        options.trace = parser.value(o.trace).toStdString();
    if (parser.isSet(o.address)) {
        bool number = false;
        const int n = parser.value(o.address).toInt(&number);
        if (!number || n < 1 || n > 30) {
            line.exitCode = 2;
            line.err = "wavedial: --address takes a GPIB address from 1 to 30, not '" +
                       parser.value(o.address).toStdString() +
                       "'.\nTry 'wavedial --help' for the options.\n";
            return line;
        }
        options.address = static_cast<int16_t>(n);
    }
    options.list = parser.isSet(o.list);
    line.run = options;
    return line;
}

QStringList anotherGeneratorArguments(const ProgramOptions &options, int16_t address,
                                      const std::optional<std::string> &busFromEnvironment)
{
    QStringList arguments;
    if (const auto bus = options.bus ? options.bus : busFromEnvironment)
        arguments << QStringLiteral("--bus") << QString::fromStdString(*bus);
    arguments << QStringLiteral("--address") << QString::number(address);
    return arguments;
}
