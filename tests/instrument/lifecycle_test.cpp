#include "support/fakeview.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;
using Pairs = std::vector<std::pair<const char *, const char *>>;

// A run on a store that may outlive it; `meanwhile` runs inside the start-up's first wait.
struct Session : ControllerHarness
{
    explicit Session(const std::string &at = "FG5010@5", const QString &file = {})
        : ControllerHarness(at, file), sec(SettingsSection(at.substr(0, at.find('@')))) {}
    void put(const Pairs &p)
    {
        for (const auto &[key, value] : p)
            EXPECT_TRUE(store.write(sec, key, value));
    }
    std::string stored(const char *key) const { return store.read(sec, key, "(missing)"); }
    template <class F = void (*)()> void activate(F meanwhile = [] {})
    {
        c.Form_Load();
        trace.clear();
        GpibHarness::start = clock.now();
        events.pending.push_back(meanwhile);
        c.Form_Activate();
    }
    std::string sec;
};

const Pairs Saved = {{"Saved Exist", "True"}, {"Amplitude", "3"}, {"50 Ohm", "0"},
                     {"Frequency", "2.5"}, {"Frequency Multiplier", "3"}, {"Function", "1"},
                     {"Symmetry", "40"}, {"Start with saved settings", "True"}};

TEST(StartUp, OrderFollowsTheStoredOptions)
{
    const std::string line = "AMPL 3.000;OFFS 0.000;FREQ 2.500E+3;FUNC SQUARE;SYM 40";
    const char *off = "Turn off output at Start and Exit", *save = "Save settings at Exit";
    const struct { Pairs kv; std::array<bool, 6> options; Lines writes; double seconds; } rows[] = {
        // options: start saved, save at exit, apply, off at start, off at change, confirm
        {{{save, "yes"}, {"Confirm output change", ""}}, {0, 0, 0, 1, 1, 1},
         {"OUT OFF", "AMPL?", "OFFS?", "FUNC?", "FREQ?", "SYM?", "OUT?"}, 1.6}, // off, 1 s, read
        {{{off, "FALSE"}, {save, "true"}}, {0, 1, 0, 0, 1, 1},
         {"OUT?", "AMPL?", "OFFS?", "FUNC?", "FREQ?", "SYM?", "OUT?"}, 0.7},
        {{{off, "False"}}, {1, 0, 0, 0, 1, 1}, {"OUT?", "OUT?", "OUT OFF", line}, 1.2},
        {{{"Turn off output before change", "false"}, {"Confirm output change", "False"}},
         {1, 0, 0, 1, 0, 0}, {"OUT OFF", "OUT?", line}, 1.1},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.options));
        Session h;
        h.put(r.options[0] ? Saved : Pairs{});
        h.put(r.kv);
        h.gen().receive("OUT ON");
        h.activate();
        EXPECT_EQ(h.writes(), r.writes);
        EXPECT_NEAR(h.elapsedSeconds(), r.seconds, 1e-6);
        EXPECT_EQ(h.view.enabled, (std::array<bool, 3>{false, true, r.options[0]}));
        h.trace.clear(); // a later activation (back from About) neither reads the store nor sends

        h.put({{"Confirm output change", r.options[5] ? "False" : "True"}});
        h.c.Form_Activate();
        EXPECT_TRUE(h.trace.empty() && h.view.checked == r.options && h.c.startupDone());
    }
}

TEST(StartUp, WithoutAGeneratorOneBoxEndsTheProgram)
{
    // The box hands the activation back to the window as it closes, before the end.
    Session h("OTHER@3");
    h.boxes.respond = [&](const ScriptedMessageBox::Box &) {
        if (h.boxes.boxes.size() == 1)
            h.c.Form_Activate();
        return MessageBoxService::Answer::Ok;
    };
    h.c.Form_Load();
    EXPECT_THROW(h.c.Form_Activate(), ProgramEnded);
    EXPECT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.programEnd.ends, 1);
}

TEST(Options, EachModelKeepsItsOwnAndSavesAndOptionsOutliveTheRun)
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("Wavedial.conf"));
    {
        Session pfg("PFG5105@5", file);
        pfg.activate();
        pfg.view.checked = {1, 0, 0, 1, 1, 0};
        pfg.c.OptionItemClick(Option::StartSaved);
        pfg.c.OptionItemClick(Option::ConfirmOnOff);
        pfg.gen().receive("AMPL 4;FREQ 20E+3;FUNC SQUARE");
        pfg.view.text[0] = "7"; // typed, never applied: the instrument's value is saved
        pfg.c.SaveSettings();
        EXPECT_TRUE(pfg.stored("Amplitude") == "4.000" && pfg.view.enabled[2]); // load: at once
        pfg.put({{"Saved Exist", "kept"}});
        pfg.c.SaveSettings();
        EXPECT_EQ(pfg.stored("Saved Exist"), "kept"); // written by the first save only
        pfg.c.Form_Unload();
    }
    Session afg("AFG5101@5", file), again("PFG5105@5", file);
    afg.activate();
    again.activate();
    EXPECT_EQ(afg.view.checked, (std::array<bool, 6>{0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(again.view.checked, (std::array<bool, 6>{1, 0, 0, 1, 1, 0}));
    EXPECT_TRUE(again.gen().state().amplitude == 4 && again.gen().state().frequency == 20e3);
    QFile f(file); // the backslash is part of the section's name
    EXPECT_TRUE(f.open(QIODevice::ReadOnly) && f.readAll().contains("[Settings%5CPFG5105]"));
}

TEST(SavedSettings, AReadBackThatFailsStoresNothing)
{
    for (const bool earlier : {true, false}) {
        Session s;
        s.startUp();
        s.put(earlier ? Saved : Pairs{});
        s.unplug(); // every query now fails with a box
        s.boxes.answers.assign(6, MessageBoxService::Answer::Ok);
        s.c.SaveSettings();
        EXPECT_EQ(s.stored("Amplitude"), earlier ? "3" : "(missing)");
        EXPECT_EQ(s.stored("Saved Exist"), earlier ? "True" : "(missing)");
        EXPECT_FALSE(s.boxes.boxes.empty());
    }
}

TEST(SavedSettings, AStoreThatRefusesSaysWhereOncePerActionAndClaimsNothing)
{
    QTemporaryDir folder; // "plain" is a file: no store can be made under it
    QFile plain(folder.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    // A "taken" file holds a saved set at the start, then a folder takes the file's place.
    const Lines readBack = {"AMPL?", "OFFS?", "FREQ?", "FUNC?", "SYM?", "OUT?"};
    const struct { const char *file; bool savedBefore, save, close; std::array<bool, 6> options;
                   size_t boxes; } rows[] = {
        {"plain/Wavedial.conf", false, true, false, {}, 1},
        {"taken.conf", true, true, false, {}, 1},
        {"plain/Wavedial.conf", false, false, true, {0, 0, 0, 1, 0, 0}, 1}, // a toggled option
        {"taken2.conf", true, true, true, {0, 1, 0, 1, 0, 0}, 2},  // and the save at exit
        {"damaged.conf", false, true, false, {}, 0}, // no INI any more, but writable
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.file << r.savedBefore << r.save << r.close);
        const QString file = folder.filePath(QString::fromLatin1(r.file));
        Session h("FG5010@5", file);
        if (r.savedBefore)
            h.put({{"Saved Exist", "True"}});
        h.startUp(r.options);
        ASSERT_EQ(std::pair(h.c.savedSettingsExist(), h.view.enabled[2]),
                  std::pair(r.savedBefore, r.savedBefore));
        if (std::string_view(r.file) == "damaged.conf") { // after the start has read it
            QFile damaged(file);
            ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("[Settings\n") > 0);
        }
        if (r.savedBefore) {
            ASSERT_TRUE(QFile::remove(file) && QDir().mkdir(file));
        }
        h.boxes.respond = [](const auto &) { return MessageBoxService::Answer::Ok; };
        h.c.OptionItemClick(Option::TurnOffOutput);
        Lines writes;
        for (const bool saves : {r.save, r.close && r.options[1]}) // the button, the exit
            if (saves)
                writes.insert(writes.end(), readBack.begin(), readBack.end());
        if (r.save)
            h.c.SaveSettings();
        if (r.close) {
            h.c.Form_Unload(); // which ends as it would
            writes.push_back("OUT OFF");
        }
        EXPECT_EQ(h.writes(), writes);
        EXPECT_EQ(h.boxes.boxes.size(), r.boxes);
        for (const ScriptedMessageBox::Box &box : h.boxes.boxes) {
            EXPECT_NE(box.text.find(QDir::toNativeSeparators(file).toStdString()),
                      std::string::npos) << box.text;
            EXPECT_EQ(std::tuple(box.title, box.buttons, box.icon),
                      std::tuple("Wavedial", MessageBoxService::Buttons::Ok,
                                 MessageBoxService::Icon::Exclamation));
        }
        const bool exist = r.savedBefore || !r.boxes;
        EXPECT_EQ(std::pair(h.c.savedSettingsExist(), h.view.enabled[2]), std::pair(exist, exist));
        EXPECT_EQ(h.stored("Saved Exist"), r.boxes ? "(missing)" : "True");
    }
}

TEST(SavedSettings, LoadingFillsTheWindowAsksOnlyForTheOutputAndMarksNothing)
{
    const std::string line = "AMPL 2;OFFS 0;FREQ 1000E+0;FUNC SINE;SYM 50";
    const struct { const char *model; Pairs stored; std::array<std::string, 4> texts;
                   std::array<int, 3> options; int commandOffAtChange; Lines writes; } rows[] = {
        {"FG5010", {}, {"1.000", "0.000", "1000", "50"}, {1, 0, 0}, -1, {"OUT?"}},
        {"AFG5101", {}, {"1.000", "0.000", "1000", "33"}, {1, 0, 0}, -1, {"OUT?"}}, // no symmetry
        {"FG5010", Saved, {"3.000", "0.000", "2.500", "40"}, {0, 1, 1}, -1, {"OUT?"}},
        {"FG5010", {}, {"1.000", "0.000", "1000", "50"}, {1, 0, 0}, 1, {"OUT?", "OUT OFF", line}},
        {"FG5010", {}, {"1.000", "0.000", "1000", "50"}, {1, 0, 0}, 0, {"OUT?", line}},
    };
    for (const auto &r : rows) {
        Session h(std::string(r.model) + "@5");
        h.activate();
        h.put(r.stored);
        h.view.text = {"9", "9", "9", "33"};
        h.view.option = {0, 2, 2};
        h.view.checked[4] = r.commandOffAtChange == 1;
        h.gen().receive("OUT ON");
        h.trace.clear();
        (h.c.*(r.commandOffAtChange < 0 ? &Controller::LoadSavedSettings
                                        : &Controller::LoadSavedSettingsAndApply))();
        EXPECT_EQ(std::tie(h.view.text, h.view.option), std::tie(r.texts, r.options));
        EXPECT_EQ(h.writes(), r.writes);
        EXPECT_EQ(std::tuple(h.view.fieldMark, h.view.groupMark, bool(h.c.eventGuard())),
                  std::tuple(std::array<bool, 4>{}, std::array<bool, 3>{}, false));
    }
}

TEST(SavedSettings, LoadedDuringARefreshLeavesTheRestOfItsWritesQuiet)
{
    // Loaded in the read-back's first wait: what the read-back writes after it must not be
    // taken for the user's clicks, which would apply the whole line at once.
    Session h;
    h.activate();
    h.view.checked[2] = true; // apply options at once
    h.gen().receive("FUNC SQUARE");
    h.trace.clear();
    h.events.pending.push_back([&] { h.c.LoadSavedSettings(); });
    // Its query in the middle of the read-back's own breaks that read: the box is answered.
    h.boxes.respond = [](const ScriptedMessageBox::Box &) { return MessageBoxService::Answer::Ok; };
    h.c.RefreshFromInstrument();
    // Only queries, and no box but the broken read's: no Apply was tried.
    for (const std::string &w : h.writes())
        EXPECT_TRUE(w.ends_with("?")) << w;
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.boxes.boxes[0].title, "I/O Error");
}

TEST(ShutDown, StoresToggledOptionsThenSavesAndSwitchesOffAsTheySay)
{
    const struct { bool save, off, unplugged, staleError; } rows[] = {
        {1, 1, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 0}, {1, 1, 0, 1}};
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.save << r.off << r.unplugged << r.staleError);
        Session h;
        h.put({{"Confirm output change", "Maybe"}}); // not toggled: stays as stored
        h.startUp({0, r.save, 0, r.off, 0, 1});
        h.c.OptionItemClick(Option::SaveAtExit);
        h.gen().receive("AMPL 4");
        if (r.unplugged)
            h.unplug();
        if (r.staleError) // a clear of nobody leaves "no listener" behind
            h.gpib.driver().ibclr(h.gpib.driver().ibdev(0, 9, 0, 11, 1, 0));
        h.trace.clear();
        h.c.Form_Unload();
        h.c.Form_Unload(); // once, however often the window closes
        const bool save = r.save && !r.unplugged;
        Lines expected = save ? Lines{"AMPL?", "OFFS?", "FREQ?", "FUNC?", "SYM?", "OUT?"} : Lines{};
        if (r.off && !r.unplugged)
            expected.push_back("OUT OFF");
        EXPECT_EQ(h.writes(), expected);
        EXPECT_EQ(h.trace.at(0), r.unplugged ? "nolistener 5" : "clear 5");
        EXPECT_EQ(h.stored("Amplitude"), save ? "4.000" : "(missing)");
        EXPECT_EQ(h.stored("Save settings at Exit"), OptionText(r.save));
        EXPECT_EQ(h.stored("Confirm output change"), "Maybe");
    }
}

TEST(ShutDown, ClosingWhileTheBusWaitsEndsWithoutAnotherWordOrAnOverwrittenSave)
{
    Session h; // during the start-up, with saved settings that would give a box if applied
    h.put(Saved);
    h.put({{"Amplitude", "99"}});
    h.activate([&h] { h.c.Form_Unload(); });
    for (auto handler : {&Controller::ApplySettings, &Controller::Button_ToggleOutput_Click,
                         &Controller::Menu_InitFG_Click, &Controller::Form_Activate})
        (h.c.*handler)();
    EXPECT_EQ(h.writes(), (Lines{"OUT OFF", "OUT OFF"}));

    Session s; // during a save: the values the exit saved stand
    s.startUp({0, 1, 0, 1, 1, 0});
    s.gen().receive("AMPL 4");
    s.events.pending.push_back([&s] { s.c.Form_Unload(); });
    s.c.SaveSettings(); // the waiting query is left unread: no box after the close
    EXPECT_TRUE(s.stored("Amplitude") == "4.000" && s.stored("Frequency") == "1.000");
    EXPECT_TRUE(s.boxes.boxes.empty());
}

} // namespace
