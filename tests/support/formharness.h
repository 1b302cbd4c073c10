#pragma once

#include "app/settingsstore.h"
#include "mainwindow/mainform.h"
#include "support/gpibharness.h"
#include "support/recordingshell.h"

#include <QTemporaryDir>

#include <memory>

// The main window on a simulated bus, with scripted boxes and an observable end.
struct FormHarness : GpibHarness
{
    explicit FormHarness(const std::string &listeners = "FG5010@5") : GpibHarness(listeners)
    {
        form = std::make_unique<MainForm>(gpib, FormServices{boxes, programEnd, shell, store});
    }

    MainFormUi &ui() { return form->ui(); }
    ChangeMarks &marks() { return form->marks(); }

    RecordingShell shell;
    QTemporaryDir storeFolder;
    QString storeFile = storeFolder.filePath(QStringLiteral("Wavedial.conf"));
    SettingsStore store{storeFile};
    std::unique_ptr<MainForm> form;
};
