#pragma once

#include "instrument/settingsstore.h"
#include "mainwindow/mainform.h"
#include "support/gpibharness.h"
#include "support/recordingshell.h"

#include <QTemporaryDir>

#include <memory>

// The main window on a simulated bus, with scripted boxes, an observable end and a real
// settings store in a file: a temporary one, or `storeFile` to share it between runs.
struct FormHarness : GpibHarness
{
    explicit FormHarness(const std::string &listeners = "FG5010@5",
                         const QString &sharedStore = QString())
        : GpibHarness(listeners),
          storeFile(sharedStore.isEmpty() ? storeFolder.filePath(QStringLiteral("Wavedial.conf"))
                                          : sharedStore),
          store(storeFile)
    {
        form = std::make_unique<MainForm>(gpib, FormServices{boxes, programEnd, shell, store});
    }

    MainFormUi &ui() { return form->ui(); }
    Controller &controller() { return form->controller(); }

    RecordingShell shell;
    QTemporaryDir storeFolder;
    QString storeFile;
    SettingsStore store;
    std::unique_ptr<MainForm> form;
};
