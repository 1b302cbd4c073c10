#pragma once

#include "support/formharness.h"

#include "sim/simfunctiongenerator.h"

#include <QApplication>

#include <string>
#include <vector>

// A main window loaded on the simulated bus and shown, trace and clock reset, ready for
// the user.
struct LoadedForm : FormHarness
{
    explicit LoadedForm(const std::string &listeners = "FG5010@5",
                        const QString &sharedStore = QString())
        : FormHarness(listeners, sharedStore)
    {
        form->Form_Load();
        trace.clear();
        start = clock.now();
    }

    // Shown and active: only then does the window get key and focus events. Showing
    // runs the start-up sequence; its traffic and waits are forgotten here.
    void show()
    {
        form->show();
        QApplication::processEvents();
        trace.clear();
        start = clock.now();
    }

    // The commands that reached the bus, without the queries' replies.
    std::vector<std::string> writes() const
    {
        std::vector<std::string> w;
        for (const std::string &line : trace)
            if (line.starts_with("write ") || line.starts_with("clear "))
                w.push_back(line);
        return w;
    }

    SimFunctionGenerator &generator(int address = 5)
    {
        return *static_cast<SimFunctionGenerator *>(bus.deviceAt(address));
    }

    // Nobody listens at `address` any more: writes fail with "No listener".
    void unplug(int address = 5) { bus.attach(address, nullptr); }
};
