#include "app/buslisting.h"

#include "app/busselection.h"
#include "app/qtmessagebox.h"
#include "gpib/eventwaiter.h"
#include "gpib/gpibmodule.h"
#include "gpib/messagebox.h"
#include "instrument/buslisting.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// Boxes for a run without a window: their texts on standard error, answered as a user
// who wants to stop would answer them (Cancel ends the run after a GPIB error).
class ConsoleMessageBox final : public MessageBoxService
{
public:
    Answer show(const std::string &text, const std::string &, Buttons buttons, Icon) override
    {
        size_t start = 0;
        while (start <= text.size()) {
            const size_t end = std::min(text.find('\n', start), text.size());
            if (end > start)
                std::fprintf(stderr, "wavedial: %s\n", text.substr(start, end - start).c_str());
            start = end + 1;
        }
        switch (buttons) {
        case Buttons::OkCancel:
            return Answer::Cancel;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::Ok:
            break;
        }
        return Answer::Ok;
    }
};

} // namespace

int printBusListing(int argc, char *argv[], const ProgramOptions &options,
                    std::unique_ptr<SimTraceFile> trace)
{
    // An event loop for the bus's waits and the network backends, but no display.
    QCoreApplication app(argc, argv);
    ConsoleMessageBox boxes;
    ProcessEnd programEnd;
    OpenBus bus = openBusFromEnvironment(boxes, programEnd, options, std::move(trace));
    QtEventWaiter events(*bus.clock);
    GpibModule gpib(*bus.backend, GpibServices{boxes, programEnd, *bus.clock, events});
    gpib.TakeBus();
    std::vector<ListedListener> listed;
    if (!ListListeners(gpib, 0, listed))
        return 1;
    for (const ListedListener &l : listed)
        std::printf("%s\n", ListingLine(l).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
