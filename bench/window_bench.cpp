// Cost of the window's two ways of sending settings, through to the simulated bus, without
// the waits the instruments need (the clock jumps over them). Target: under 1 ms each.
#include "benchsupport.h"

#include "about/shell.h"
#include "instrument/settingsstore.h"
#include "gpib/gpibmodule.h"
#include "mainwindow/entryfield.h"
#include "mainwindow/mainform.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

class NoShell final : public ShellService
{
public:
    void open(const std::string &) override {}
};

struct Window
{
    Window()
    {
        populateSimBus(bus, *parseSimListeners("FG5010@5"));
        form.Form_Load();
        form.controller().RefreshFromInstrument();
        for (QAction *a : form.ui().Menu_Settings->actions())
            a->setChecked(false);
    }

    ManualClock clock;
    SimBus bus{clock};
    AnsweringBoxes boxes;
    AbortingEnd programEnd;
    InstantEvents events{clock};
    GpibModule gpib{bus, GpibServices{boxes, programEnd, clock, events}};
    NoShell shell;
    QTemporaryDir folder;
    SettingsStore store{folder.filePath(QStringLiteral("Wavedial.conf"))};
    MainForm form{gpib, FormServices{boxes, programEnd, shell, store}};
};

void EnterCommit(benchmark::State &state)
{
    Window w;
    EntryField *amplitude = w.form.ui().Amplitude;
    int i = 0;
    for (auto _ : state) {
        amplitude->setText(QString::number(1 + (i++ % 2)));
        w.form.markField(Field::Amplitude, true);
        int16_t enter = 13;
        w.form.controller().KeyPress(Field::Amplitude, enter);
    }
    if (w.boxes.shown)
        state.SkipWithError("a box was shown");
}
BENCHMARK(EnterCommit)->Unit(benchmark::kMicrosecond);

void Apply(benchmark::State &state)
{
    Window w;
    for (auto _ : state)
        w.form.controller().ApplySettings();
    if (w.boxes.shown)
        state.SkipWithError("a box was shown");
}
BENCHMARK(Apply)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
