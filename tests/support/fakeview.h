#pragma once

#include "instrument/controller.h"
#include "instrument/settingsstore.h"
#include "sim/simfunctiongenerator.h"
#include "support/gpibharness.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <array>
#include <optional>
#include <string>
#include <vector>

// The main window as plain variables, with the window's event habits: a program write
// of a field runs its change handler, a selected option its click handler, and moving
// the focus between fields runs focus lost and focus received.
struct FakeView final : MainView
{
    std::array<std::string, 4> text, textsBeforeFocusMove;
    std::array<int, 3> option{0, 0, 0}; // load, waveform, unit
    std::array<bool, 6> checked{};
    std::array<bool, 4> fieldMark{};
    std::array<bool, 3> groupMark{};
    std::array<bool, 3> enabled{false, true, true}; // apply, save, load saved
    std::optional<FocusTarget> focus;
    bool outputShown = false;
    int busy = 0;
    std::optional<std::pair<size_t, size_t>> selection; // start, length
    Controller *controller = nullptr;
    std::vector<std::vector<std::string>> offered; // each choice of generators shown
    int pick = 0;                                   // the answer to it, -1 for Cancel

    static size_t at(Field f) { return static_cast<size_t>(f); }
    static size_t at(Group g) { return static_cast<size_t>(g) - 3; }

    std::string fieldText(Field f) const override { return text[at(f)]; }
    std::string fieldTextAfterKey(Field f) const override
    {
        std::string t = text[at(f)];
        if (selection)
            t.erase(selection->first, selection->second);
        return t;
    }
    void setFieldText(Field f, const std::string &t) override
    {
        const bool changed = text[at(f)] != t;
        text[at(f)] = t;
        if (changed && controller)
            controller->Change(f);
    }
    void setFieldEnabled(Field, bool) override {}
    int selectedOption(Group g) const override { return option[at(g)]; }
    void selectOption(Group g, int index) override
    {
        const bool changed = option[at(g)] != index;
        option[at(g)] = index;
        if (changed && controller)
            controller->OptionClick(g);
    }
    bool isChecked(Option o) const override { return checked[static_cast<size_t>(o)]; }
    void setChecked(Option o, bool c) override { checked[static_cast<size_t>(o)] = c; }
    bool isFieldMarked(Field f) const override { return fieldMark[at(f)]; }
    void markField(Field f, bool m) override { fieldMark[at(f)] = m; }
    bool isGroupMarked(Group g) const override { return groupMark[at(g)]; }
    void markGroup(Group g, bool m) override { groupMark[at(g)] = m; }
    void setCommandEnabled(Command c, bool e) override { enabled[static_cast<size_t>(c)] = e; }
    void moveFocus(FocusTarget t) override
    {
        textsBeforeFocusMove = text;
        if (focus == t) // focusing the focused control changes nothing
            return;
        if (focus && *focus != FocusTarget::ToggleOutput && controller)
            controller->LostFocus(static_cast<Field>(*focus));
        focus = t;
        if (t != FocusTarget::ToggleOutput && controller)
            controller->GotFocus(static_cast<Field>(t));
    }
    void setTitle(const std::string &) override {}
    void setInitCaption(const std::string &) override {}
    void showOutputState(bool on) override { outputShown = on; }
    void showAbout(const std::string &) override {}
    int chooseGenerator(const std::vector<std::string> &choices) override
    {
        offered.push_back(choices);
        return pick;
    }
    void beginBusy() override { ++busy; }
    void endBusy() override { --busy; }
};

// The controller on a simulated bus with the fake window, scripted boxes, the test clock
// and a real settings file.
struct ControllerHarness : GpibHarness
{
    explicit ControllerHarness(const std::string &listeners = "FG5010@5",
                               const QString &sharedStore = QString(),
                               const std::function<std::unique_ptr<SimBus>(Clock &)> &makeBus = {})
        : GpibHarness(listeners, makeBus),
          store(sharedStore.isEmpty() ? folder.filePath(QStringLiteral("Wavedial.conf")) : sharedStore)
    {
        view.controller = &c;
    }

    // Loaded and started with no option checked; the start's traffic is forgotten.
    void startUp(std::array<bool, 6> options = {})
    {
        c.Form_Load();
        boxes.answers.push_back(MessageBoxService::Answer::Ok);
        c.Form_Activate();
        boxes.answers.clear();
        view.checked = options;
        trace.clear();
        GpibHarness::start = clock.now();
    }

    // The user in field `f`, which holds `before`, then types `keys` (Enter as '\r').
    void type(Field f, const std::string &keys)
    {
        for (char k : keys) {
            auto key = static_cast<int16_t>(k == '\r' ? 13 : k);
            c.KeyPress(f, key);
            if (key == 0)
                continue;
            const std::string t = view.fieldTextAfterKey(f) + static_cast<char>(key);
            view.selection.reset();
            view.setFieldText(f, t);
        }
    }
    void enter(Field f, const std::string &before)
    {
        view.moveFocus(FocusTarget::ToggleOutput);
        {
            const EventGuard::Scope quiet(c.eventGuard());
            view.setFieldText(f, before);
        }
        view.moveFocus(static_cast<FocusTarget>(f));
    }

    std::vector<std::string> writes() const
    {
        std::vector<std::string> w;
        for (const std::string &line : trace)
            if (line.starts_with("write "))
                w.push_back(line.substr(line.find(' ', 6) + 1));
        return w;
    }
    void unplug(int address = 5) { bus.attach(address, nullptr); }
    SimFunctionGenerator &gen() { return *static_cast<SimFunctionGenerator *>(bus.deviceAt(5)); }

    // Every save flushes its keys to disk: in memory, where there is a memory file system,
    // hundreds of saves cost nothing.
    QTemporaryDir folder{QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                             ? QStringLiteral("/dev/shm/wavedial-test-XXXXXX")
                             : QDir::tempPath() + QStringLiteral("/wavedial-test-XXXXXX")};
    SettingsStore store;
    FakeView view;
    Controller c{view, gpib, boxes, programEnd, store};
};
