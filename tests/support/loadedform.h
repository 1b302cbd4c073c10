#pragma once

#include "instrument/settingsstore.h"
#include "mainwindow/mainform.h"
#include "sim/simfunctiongenerator.h"
#include "support/gpibharness.h"
#include "support/recordingshell.h"

#include <QApplication>
#include <QTemporaryDir>

#include <memory>

// The main window on a simulated bus, loaded, shown and active (only then does it get
// key and focus events), with scripted boxes, an observable end and a real settings file.
// The start-up's traffic and waits are forgotten.
struct LoadedForm : GpibHarness
{
    explicit LoadedForm(const std::string &listeners = "FG5010@5") : GpibHarness(listeners)
    {
        form->Form_Load();
        form->show();
        QApplication::processEvents();
        trace.clear();
        start = clock.now();
    }
    MainFormUi &ui() { return form->ui(); }
    Controller &controller() { return form->controller(); }
    // The commands that reached the bus, without the queries' replies.
    std::vector<std::string> writes() const
    {
        std::vector<std::string> w;
        for (const std::string &line : trace)
            if (line.starts_with("write ") || line.starts_with("clear "))
                w.push_back(line);
        return w;
    }
    SimFunctionGenerator &generator() { return *static_cast<SimFunctionGenerator *>(bus.deviceAt(5)); }

    RecordingShell shell;
    QTemporaryDir storeFolder;
    SettingsStore store{storeFolder.filePath(QStringLiteral("Wavedial.conf"))};
    std::unique_ptr<MainForm> form =
        std::make_unique<MainForm>(gpib, FormServices{boxes, programEnd, shell, store});
};
