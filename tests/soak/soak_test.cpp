// A long user session on the shown main window while the bus fails at random: clicks,
// typing, Enter in each field, options, saves and loads, some of them in the middle of
// another command's wait. Whatever the bus does, the program must not crash or hang,
// must report every failure it is meant to report, and must never leave the stored
// settings half of one save and half of another.
#include "support/loadedform.h"
#include "support/modal.h"
#include "support/randomfaults.h"
#include "support/recordingshell.h"
#include "support/scriptedservices.h"

#include "instrument/settingsstore.h"
#include "gpib/gpibmodule.h"
#include "mainwindow/entryfield.h"
#include "mainwindow/mainform.h"
#include "sim/simbus.h"
#include "sim/simconfig.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>

namespace {

using Answer = MessageBoxService::Answer;
using Buttons = MessageBoxService::Buttons;

// The settings one save writes, as the store holds them.
constexpr std::array<const char *, 7> SavedKeys = {
    "Amplitude", "Offset", "50 Ohm", "Function", "Frequency", "Frequency Multiplier", "Symmetry"};
using SavedSet = std::array<std::string, SavedKeys.size()>;

SavedSet asStored(const SettingsSnapshot &s)
{
    return {s.Amplitude,
            s.Offset,
            s.load == OutputLoad::FiftyOhms ? "1" : "0",
            std::to_string(s.SelectedFunction),
            s.Frequency,
            std::to_string(s.FrequencyMultiplier),
            s.Symmetry};
}

std::string describe(const SavedSet &set)
{
    std::string s;
    for (size_t i = 0; i < set.size(); ++i)
        s += std::string(i ? ", " : "") + SavedKeys[i] + "=" + set[i];
    return s;
}

// Scripted events as in ScriptedEvents, except that events queued while the pending ones
// are handled wait for the next time. Besides, each time the events have been handled it
// notes what the window shows. A save reads the instrument, lets the events in and then
// stores the window: the last note before its writes is what it must store.
class NotingEvents final : public EventWaiter
{
public:
    explicit NotingEvents(ManualClock &clock) : m_clock(clock) {}

    void processPendingEvents() override
    {
        for (size_t n = pending.size(); n > 0 && !pending.empty(); --n) {
            auto event = std::move(pending.front());
            pending.pop_front();
            event();
        }
        if (note)
            shown = note();
    }
    void waitForEvents(Clock::Duration deadline) override
    {
        ++waits;
        processPendingEvents();
        m_clock.advance(deadline - m_clock.now());
    }

    std::deque<std::function<void()>> pending;
    std::function<SavedSet()> note;
    SavedSet shown;
    int waits = 0;

private:
    ManualClock &m_clock;
};

// A user who always goes on: OK to every error, No or (now and then) Yes to the setting
// errors, either answer to the output confirmation. With `cancelOnBusError` the first
// GPIB error is answered with Cancel instead.
class GoingOnBoxes final : public MessageBoxService
{
public:
    explicit GoingOnBoxes(std::mt19937 &rng) : m_rng(rng) {}

    Answer show(const std::string &text, const std::string &title, Buttons buttons, Icon) override
    {
        last = title;
        if (title.starts_with("GPIB ERROR # ")) {
            ++gpibErrors;
            EXPECT_EQ(buttons, Buttons::OkCancel);
            return cancelOnBusError ? Answer::Cancel : Answer::Ok;
        }
        if (title == "I/O Error") {
            ++ioErrors;
            return Answer::Ok;
        }
        if (title == "Setting Error") {
            ++settingErrors;
            if (m_rng() % 4 == 0) {
                // Yes opens the About window; it is closed as soon as it is up.
                whenModalOpens();
                return Answer::Yes;
            }
            return Answer::No;
        }
        if (title == "Change Output") {
            ++confirmations;
            return m_rng() % 3 ? Answer::Yes : Answer::No;
        }
        ADD_FAILURE() << "unexpected box \"" << title << "\": " << text;
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }

    bool cancelOnBusError = false;
    std::string last;
    int gpibErrors = 0;
    int ioErrors = 0;
    int settingErrors = 0;
    int confirmations = 0;

private:
    std::mt19937 &m_rng;
};

// One run of the program on a simulated bus behind random faults, with a settings file
// that several runs may share. The instrument is found and identified without faults;
// they start with the window.
struct FaultyRun
{
    FaultyRun(const std::string &listeners, const QString &storeFile, uint32_t seed)
        : rng(seed), faults(bus, clock, seed * 2654435761u), boxes(rng), store(storeFile)
    {
        populateSimBus(bus, parseSimListeners(listeners).value());
        form = std::make_unique<MainForm>(gpib, FormServices{boxes, programEnd, shell, store});
        events.note = [this] { return asStored(form->settings()); };
        faults.sendingForbidden = [this] { return form->closed(); };
        form->Form_Load();
        faults.enabled = true;
    }

    SavedSet stored() const
    {
        SavedSet set;
        const std::string section = SettingsSection(gpib.ModelName);
        for (size_t i = 0; i < SavedKeys.size(); ++i)
            set[i] = store.read(section, SavedKeys[i], "(missing)");
        return set;
    }

    ManualClock clock;
    SimBus bus{clock};
    std::mt19937 rng;
    RandomFaults faults;
    GoingOnBoxes boxes;
    RecordingProgramEnd programEnd;
    NotingEvents events{clock};
    GpibModule gpib{faults, GpibServices{boxes, programEnd, clock, events}};
    RecordingShell shell;
    SettingsStore store;
    std::unique_ptr<MainForm> form;
};

enum class Act {
    Apply,
    Enter,
    Type,
    DoubleClick,
    Toggle,
    Space,
    Refresh,
    Save,
    Load,
    Initialize,
    Option,
    Group,
    About,
    Close,
};

const char *name(Act a)
{
    static const char *const names[] = {"apply",  "enter",   "type",  "double-click", "toggle",
                                        "space",  "refresh", "save",  "load",         "init",
                                        "option", "group",   "about", "close"};
    return names[static_cast<int>(a)];
}

// How often the user does each thing; closing is left to the script.
constexpr std::array<std::pair<Act, int>, 13> Habits = {{
    {Act::Apply, 8},
    {Act::Enter, 20},
    {Act::Type, 6},
    {Act::DoubleClick, 4},
    {Act::Toggle, 6},
    {Act::Space, 3},
    {Act::Refresh, 6},
    {Act::Save, 8},
    {Act::Load, 6},
    {Act::Initialize, 3},
    {Act::Option, 7},
    {Act::Group, 8},
    {Act::About, 1},
}};

// What a user types into the fields, sensible or not.
constexpr std::array<const char *, 22> Typed = {
    "1",    "2.5", "0.5",   ".25",   "10",   "15", "25", "-1", "-2.5", "0",        "5",
    "1000", "2,5", "1.2.3", "99999", "0.01", "+3", "-",  "50", "40",   "12345678", "7.77"};

struct Totals
{
    int steps = 0;   // the user's, one after the other
    int actions = 0; // with those taken in the middle of a wait
    int commits = 0; // single settings sent by Enter
    int saves = 0;
    int gpibErrorBoxes = 0;
    int ioErrorBoxes = 0;
    int settingErrorBoxes = 0;
    int confirmations = 0;
    int faults = 0;
    int waits = 0;
};

// Plays the user against one run, checking after every step.
class Session
{
public:
    Session(FaultyRun &run, Totals &totals) : m_run(run), m_totals(totals)
    {
        m_lastStored = run.stored();
        // Only Enter sends one setting without the rest of the line.
        run.faults.watchWrites = [&totals](const std::string &text) {
            for (const char *header : {"AMPL ", "OFFS ", "FREQ ", "SYM "})
                if (text.starts_with(header) && text.find(';') == std::string::npos)
                    ++totals.commits;
        };
    }

    // Shows the window, which runs the start-up, then `steps` user steps; the run ends
    // with a close if the user has not closed the window by then.
    void play(int steps)
    {
        MainForm &form = *m_run.form;
        form.show();
        QApplication::processEvents();
        // Where no window manager activates the window, start it up by hand.
        if (!form.StartupDone && !form.closed())
            form.Form_Activate();
        afterStep("start-up");

        int leftAfterClose = 10;
        for (int i = 0; i < steps && !::testing::Test::HasFailure(); ++i) {
            ++m_totals.steps;
            const uint32_t roll = m_run.rng() % 1000;
            if (roll < 2) {
                act(Act::Close);
            } else if (roll < 250) {
                // The user acts while the next command waits on the bus.
                const int queued = 1 + static_cast<int>(m_run.rng() % 3);
                for (int q = 0; q < queued; ++q) {
                    const Act a = m_run.rng() % 200 == 0 ? Act::Close : pick(false);
                    later(static_cast<int>(m_run.rng() % 13), a);
                }
                act(pick(true));
            } else {
                act(pick(false));
            }
            afterStep("step " + std::to_string(i));
            if (form.closed() && --leftAfterClose == 0)
                break;
        }
        if (!form.closed() && !::testing::Test::HasFailure()) {
            act(Act::Close);
            afterStep("closing");
        }
    }

private:
    // Acts once `waits` more waits have gone by, so that the user strikes anywhere in a
    // command: between its queries, or between reading the instrument and storing it.
    void later(int waits, Act a)
    {
        m_run.events.pending.push_back([this, waits, a] {
            if (waits > 0)
                later(waits - 1, a);
            else
                act(a, true);
        });
    }

    Act pick(bool waitsOnTheBus)
    {
        static constexpr Act busActs[] = {Act::Apply, Act::Enter, Act::Toggle,    Act::Refresh,
                                          Act::Save,  Act::Load,  Act::Initialize};
        if (waitsOnTheBus)
            return busActs[m_run.rng() % std::size(busActs)];
        int total = 0;
        for (const auto &h : Habits)
            total += h.second;
        int r = static_cast<int>(m_run.rng() % static_cast<uint32_t>(total));
        for (const auto &h : Habits) {
            if (r < h.second)
                return h.first;
            r -= h.second;
        }
        return Act::Apply;
    }

    EntryField *anyField()
    {
        MainFormUi &ui = m_run.form->ui();
        EntryField *const fields[] = {ui.Amplitude, ui.Offset, ui.Frequency, ui.Symmetry};
        return fields[m_run.rng() % 4];
    }

    bool shown() const { return m_run.form->isVisible(); }

    void press(QPushButton *b)
    {
        if (shown())
            QTest::mouseClick(b, Qt::LeftButton);
        else
            b->click();
    }

    void trigger(QAction *a)
    {
        if (a->isEnabled())
            a->trigger();
    }

    void focus(EntryField *f)
    {
        if (shown())
            QTest::mouseClick(f, Qt::LeftButton);
        else
            f->setFocus(Qt::MouseFocusReason);
    }

    void act(Act a, bool nested = false)
    {
        m_history.push_back(std::string(nested ? "  (during a wait) " : "") + name(a));
        if (m_history.size() > 20)
            m_history.pop_front();
        ++m_totals.actions;
        MainFormUi &ui = m_run.form->ui();
        std::mt19937 &rng = m_run.rng;
        switch (a) {
        case Act::Apply:
            press(ui.Button_Apply);
            break;
        case Act::Enter: {
            EntryField *f = anyField();
            focus(f);
            QTest::keyClick(f, Qt::Key_Home);
            QTest::keyClick(f, Qt::Key_End, Qt::ShiftModifier);
            QTest::keyClicks(f, QString::fromLatin1(Typed[rng() % Typed.size()]));
            QTest::keyClick(f, Qt::Key_Return);
            break;
        }
        case Act::Type: {
            EntryField *f = anyField();
            focus(f);
            // The cursor to the end first: where a click leaves it depends on real time
            // (a click soon after a double click selects everything).
            QTest::keyClick(f, Qt::Key_End);
            QTest::keyClicks(f, QString::fromLatin1(Typed[rng() % Typed.size()]));
            if (rng() % 2)
                QTest::keyClick(f, Qt::Key_Backspace);
            break;
        }
        case Act::DoubleClick:
            QTest::mouseDClick(anyField(), Qt::LeftButton);
            break;
        case Act::Toggle:
            press(ui.Button_ToggleOutput);
            break;
        case Act::Space: {
            EntryField *f = anyField();
            QTest::keyClick(f, Qt::Key_End);
            QTest::keyClick(f, Qt::Key_Space);
            break;
        }
        case Act::Refresh:
            press(ui.Button_Refresh);
            break;
        case Act::Save:
            if (rng() % 2 && ui.Button_SaveSettings->isEnabled())
                press(ui.Button_SaveSettings);
            else
                trigger(ui.Menu_SaveSettings);
            checkStore();
            break;
        case Act::Load:
            if (rng() % 2 && ui.Button_LoadSavedSettings->isEnabled())
                press(ui.Button_LoadSavedSettings);
            else
                trigger(ui.Menu_LoadlSavedSettings);
            break;
        case Act::Initialize:
            trigger(ui.Menu_InitFG);
            break;
        case Act::Option: {
            QAction *const options[] = {ui.Menu_StartSaved,      ui.Menu_SaveAtExit,
                                        ui.Menu_ApplyOptions,    ui.Menu_TurnOffOutput,
                                        ui.Menu_TurnOffAtChange, ui.Menu_ConfirmOnOff};
            trigger(options[rng() % std::size(options)]);
            break;
        }
        case Act::Group: {
            QRadioButton *const options[] = {
                ui.OutInto[0],      ui.OutInto[1],  ui.WaveFunction[0], ui.WaveFunction[1],
                ui.WaveFunction[2], ui.FreqMult[0], ui.FreqMult[1],     ui.FreqMult[2]};
            options[rng() % std::size(options)]->click();
            break;
        }
        case Act::About:
            whenModalOpens();
            trigger(ui.Menu_About);
            break;
        case Act::Close:
            if (rng() % 2)
                ui.Menu_Exit->trigger();
            else
                m_run.form->close();
            checkStore();
            break;
        }
    }

    // The stored settings are one save's complete set: the one the window showed when
    // that save stored it. Once the window is closed they never change again.
    void checkStore()
    {
        const SavedSet now = m_run.stored();
        if (m_closedWith) {
            EXPECT_EQ(describe(now), describe(*m_closedWith))
                << "the store changed after the window closed" << context();
            return;
        }
        if (now != m_lastStored) {
            EXPECT_EQ(describe(now), describe(m_run.events.shown))
                << "the store holds no save's complete set" << context();
            m_lastStored = now;
            ++m_totals.saves;
        }
        if (m_run.form->closed())
            m_closedWith = now;
    }

    // Between steps, as the event loop would, the events still queued are handled; then
    // every failure the bus reported must have had its box.
    void afterStep(const std::string &what)
    {
        while (!m_run.events.pending.empty())
            m_run.events.processPendingEvents();
        QApplication::processEvents();
        checkStore();

        RandomFaults &f = m_run.faults;
        f.settle();
        EXPECT_EQ(m_run.boxes.gpibErrors, f.writeErrors)
            << "a failed write without its GPIB ERROR box after " << what << context();
        EXPECT_EQ(m_run.boxes.ioErrors, f.failedReadExchanges)
            << "a failed reply without its I/O Error box after " << what << context();
        EXPECT_EQ(f.sentWhileForbidden, 0) << "sent after the window closed" << context();
        EXPECT_EQ(f.waitForeverSettings, 0) << "a handle left to wait for ever" << context();
        EXPECT_EQ(m_run.programEnd.ends, 0) << context();
    }

    std::string context() const
    {
        std::string s = "\nlast steps:\n";
        for (const std::string &h : m_history)
            s += "  " + h + "\n";
        return s + "last bus calls:\n" + m_run.faults.recentCalls();
    }

    FaultyRun &m_run;
    Totals &m_totals;
    SavedSet m_lastStored;
    std::optional<SavedSet> m_closedWith;
    std::deque<std::string> m_history;
};

// Every save writes its keys one by one, each flushed to disk: in memory, where there is
// a memory file system, hundreds of saves cost nothing.
QString scratchFolderPattern()
{
    const QString shm = QStringLiteral("/dev/shm");
    if (QFileInfo(shm).isDir() && QFileInfo(shm).isWritable())
        return shm + QStringLiteral("/wavedial-soak-XXXXXX");
    return QString();
}

void addUp(Totals &t, const FaultyRun &run)
{
    t.gpibErrorBoxes += run.boxes.gpibErrors;
    t.ioErrorBoxes += run.boxes.ioErrors;
    t.settingErrorBoxes += run.boxes.settingErrors;
    t.confirmations += run.boxes.confirmations;
    t.faults += run.faults.injected;
    t.waits += run.events.waits;
}

TEST(Soak, RandomBusFaultsNeverCrashHangOrGoUnreported)
{
    // Each seed is two runs of the program on one settings file, so that the second
    // starts with the options and saved settings the first left behind.
    constexpr uint32_t Seeds = 16;
    constexpr int StepsPerRun = 300;
    const char *const models[] = {"FG5010@5", "AFG5101@5", "AFG5102@9", "PFG5105@3"};

    Totals totals;
    const auto began = std::chrono::steady_clock::now();
    const QString pattern = scratchFolderPattern();
    for (uint32_t seed = 1; seed <= Seeds && !HasFailure(); ++seed) {
        QTemporaryDir folder = pattern.isEmpty() ? QTemporaryDir() : QTemporaryDir(pattern);
        ASSERT_TRUE(folder.isValid());
        const QString file = folder.filePath(QStringLiteral("Wavedial.conf"));
        for (uint32_t r = 0; r < 2 && !HasFailure(); ++r) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", run " + std::to_string(r + 1));
            FaultyRun run(models[seed % std::size(models)], file, seed * 100 + r);
            ASSERT_NE(run.gpib.DeviceHandle, 0);
            Session(run, totals).play(StepsPerRun);
            addUp(totals, run);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("soak: %u seeds, %d steps, %d actions (%d Enter commits), %d faults, %d waits, "
                "%d saves; boxes: %d GPIB ERROR, %d I/O Error, %d Setting Error, %d Change "
                "Output; %.1f s\n",
                Seeds, totals.steps, totals.actions, totals.commits, totals.faults, totals.waits,
                totals.saves, totals.gpibErrorBoxes, totals.ioErrorBoxes, totals.settingErrorBoxes,
                totals.confirmations, seconds);
    // The faults must really have reached the program's reports.
    EXPECT_GT(totals.gpibErrorBoxes, 0);
    EXPECT_GT(totals.ioErrorBoxes, 0);
    EXPECT_GT(totals.saves, 0);
    EXPECT_GT(totals.commits, 0);
}

// Cancel in a GPIB ERROR box ends the program on the spot, from wherever the faults
// struck. Handlers are called directly here, so that the end does not unwind through Qt.
TEST(Soak, CancelInAGpibErrorBoxEndsTheProgram)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        QTemporaryDir folder;
        FaultyRun run("FG5010@5", folder.filePath(QStringLiteral("Wavedial.conf")), seed);
        run.boxes.cancelOnBusError = true;
        MainForm &form = *run.form;
        form.ui().Menu_ConfirmOnOff->setChecked(false);

        const std::function<void()> handlers[] = {
            [&] { form.Button_Apply_Click(); },
            [&] { form.Button_ToggleOutput_Click(); },
            [&] { form.Button_Refresh_Click(); },
            [&] { form.SaveSettings(); },
            [&] { form.LoadSavedSettingsAndApply(); },
            [&] { form.Menu_InitFG_Click(); },
            [&] { form.fields().Commit(EntryFields::Field::Amplitude); },
        };
        bool ended = false;
        try {
            form.Form_Activate();
            for (int i = 0; i < 500; ++i)
                handlers[run.rng() % std::size(handlers)]();
        } catch (const ProgramEnded &) {
            ended = true;
        }
        ASSERT_TRUE(ended) << "no write failed in 500 commands";
        EXPECT_EQ(run.programEnd.ends, 1);
        EXPECT_EQ(run.boxes.gpibErrors, 1);
        EXPECT_TRUE(run.boxes.last.starts_with("GPIB ERROR # ")) << run.boxes.last;

        // The ended program runs no shut-down: taking the window down sends nothing.
        const int sends = run.faults.writeErrors + run.faults.readExchanges;
        run.faults.enabled = false;
        run.form.reset();
        EXPECT_EQ(run.faults.writeErrors + run.faults.readExchanges, sends);
    }
}

// --- Faults the soak found, each pinned down on its own ---

struct CutShortSave
{
    const char *name;
    bool closeDuringTheSave; // otherwise the save comes after the close
};

// A save still running when the window closed read nothing but empty replies from then
// on, and stored them: zeros over the settings the shut-down had just saved.
TEST(SoakFindings, ASaveAfterTheWindowClosedStoresNothing)
{
    const CutShortSave cases[] = {{"closedWhileTheSaveWaits", true}, {"savedAfterTheClose", false}};
    for (const CutShortSave &c : cases) {
        SCOPED_TRACE(c.name);
        LoadedForm h;
        h.show();
        h.ui().Menu_SaveAtExit->setChecked(true);
        h.generator().receive("AMPL 4;FREQ 2E+3");
        // The read the close cut short fails; its box may come or not.
        h.boxes.answers = {Answer::Ok, Answer::Ok};
        if (c.closeDuringTheSave) {
            h.events.pending.push_back([&h] { h.form->close(); });
            h.form->SaveSettings();
        } else {
            h.form->close();
            h.generator().receive("AMPL 6");
            h.form->SaveSettings();
        }
        ASSERT_TRUE(h.form->closed());
        const std::string section = SettingsSection("FG5010");
        EXPECT_EQ(h.store.read(section, "Amplitude", "(missing)"), "4.000");
        EXPECT_EQ(h.store.read(section, "Frequency", "(missing)"), "2.000");
        EXPECT_EQ(h.store.read(section, "Frequency Multiplier", "(missing)"), "3");
    }
}

struct AskCase
{
    const char *name;
    const char *pendingReply; // "" for an instrument with nothing to say
};

// When asking a handle's time limit failed, the read put back the unset 0, which tells
// the driver to wait for ever on that handle from then on.
TEST(SoakFindings, AFailedAskForTheTimeLimitLeavesNoEndlessWait)
{
    const AskCase cases[] = {{"replyRead", "AMPL?"}, {"readTimedOut", ""}};
    for (const AskCase &c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        SimBus bus{clock};
        populateSimBus(bus, parseSimListeners("FG5010@5").value());
        RandomFaults faults(bus, clock, 1);
        faults.alwaysFailing = "ibask";
        ScriptedMessageBox boxes;
        boxes.answers = {Answer::Ok};
        RecordingProgramEnd programEnd;
        ScriptedEvents events{clock};
        GpibModule gpib{faults, GpibServices{boxes, programEnd, clock, events}};
        int16_t handle = gpib.driver().ibdev(0, 5, 0, 11, 1, 0);
        if (*c.pendingReply)
            bus.deviceAt(5)->receive(c.pendingReply);

        gpib.ReadResponse(handle);

        faults.alwaysFailing.clear();
        EXPECT_EQ(gpib.driver().ibask(handle, gpib::IbaTMO), 12);
        EXPECT_EQ(faults.waitForeverSettings, 0);
    }
}

} // namespace
