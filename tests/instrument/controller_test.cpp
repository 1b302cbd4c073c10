#include "support/fakeview.h"
#include "support/fixedidentity.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Answer = MessageBoxService::Answer;
using Lines = std::vector<std::string>;

struct Started : ControllerHarness
{
    explicit Started(const std::string &at = "FG5010@5") : ControllerHarness(at) { startUp(); }
    Lines titles() const
    {
        Lines t;
        std::ranges::transform(boxes.boxes, std::back_inserter(t), &ScriptedMessageBox::Box::title);
        return t;
    }
};

// 'A'mplitude, 'O'ffset, 'F'requency, 'S'ymmetry.
Field fieldNamed(char c) { return static_cast<Field>(std::string_view("AOFS").find(c)); }

// Keys typed into a field that held `before`, with `selected` characters selected from
// the start (as a double click or shift+Home leaves them).
TEST(Keys, PassReplaceOrRefuseEachCharacter)
{
    const struct { char field; const char *before; size_t selected; const char *keys, *after; } rows[] = {
        {'A', "", 0, "1,5", "1.5"},          {'A', "", 0, "1.5.", "1.5"},
        {'A', "", 0, "2abcE+-x;", "2"},      {'F', "", 0, "1e3", "13"},
        {'O', "", 0, "-1.5", "-1.5"},        {'O', "0.5", 0, "-", "-0.5"},
        {'O', "0", 0, "-", "0"},             {'O', "-0.5", 0, "-", "-0.5"},
        {'O', "-1.5", 0, "+", "1.500"},      {'S', "", 0, "4,,", "4."},
        // A selection the key replaces is judged gone: no "." ten times too large; a "."
        // outside the selection still counts.
        {'O', "-1.500", 6, ".5", ".5"},      {'A', "1.5", 2, ".", "5."},
        {'A', "1.5", 1, ".", "1.5"},         {'O', "2", 1, "-", "-"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.field << " '" << r.before << "' + " << r.keys);
        Started h;
        const Field f = fieldNamed(r.field);
        h.enter(f, r.before);
        if (r.selected)
            h.view.selection = std::pair<size_t, size_t>{0, r.selected};
        h.type(f, r.keys);
        EXPECT_EQ(h.view.text[FakeView::at(f)], r.after);
        EXPECT_TRUE(h.writes().empty());
    }
}

// Marks follow the value the field had when it got the focus; leaving tidies the text
// without marking, or puts the old text back; a double click empties or resets.
TEST(Fields, MarkTidyAndResetAsTheUserExpects)
{
    const struct { char field; const char *before, *typed; bool marked; const char *left; } edits[] = {
        {'A', "1.000", "1", false, "1.000"}, {'A', "1.000", "2", true, "2.000"},
        {'F', "5.000", "0", false, "5.000"}, {'O', "1.000", "0", true, "0.000"},
        {'F', "1.000", "12", true, "12.00"}, {'S', "50", "40", true, "40.00"},
        {'O', "-1.500", "", false, "-1.500"},
    };
    for (const auto &r : edits) {
        SCOPED_TRACE(testing::Message() << r.field << " '" << r.typed << "'");
        Started h;
        const Field f = fieldNamed(r.field);
        h.enter(f, r.before);
        h.view.text[FakeView::at(f)].clear();
        h.type(f, r.typed);
        EXPECT_EQ(h.view.fieldMark[FakeView::at(f)], r.marked);
        EXPECT_EQ(h.view.enabled[0], r.marked); // Apply
        h.view.moveFocus(FocusTarget::ToggleOutput);
        EXPECT_EQ(h.view.text[FakeView::at(f)], r.left);
        EXPECT_EQ(h.view.fieldMark[FakeView::at(f)], r.marked);
    }
    const struct { char field; const char *before, *after; bool marked, apply; } clicks[] = {
        {'A', "2.000", "", false, false}, {'S', "50", "50", false, true},
        {'S', "40", "50", true, true},    {'O', "2", "0.000", true, true},
        {'O', "0.000", "", false, false}, {'O', "", "0.000", false, true},
    };
    for (const auto &r : clicks) {
        SCOPED_TRACE(testing::Message() << "double click " << r.field << " '" << r.before << "'");
        Started h;
        const Field f = fieldNamed(r.field);
        h.enter(f, r.before);
        h.view.fieldMark[FakeView::at(f == Field::Frequency ? Field::Amplitude : Field::Frequency)] = true;
        h.view.enabled[0] = true;
        h.c.DblClick(f);
        EXPECT_EQ(h.view.text[FakeView::at(f)], r.after);
        EXPECT_EQ(h.view.fieldMark[FakeView::at(f)], r.marked);
        EXPECT_EQ(h.view.enabled[0], r.apply);
    }
}

// Enter sends the field's value alone, with the frequency and symmetry companions; what
// did not reach the instrument stays marked with Apply enabled.
TEST(Enter, SendsTheValueAndItsCompanion)
{
    const struct {
        const char *name;
        char field, marked; // marked: the other field marked beforehand, or 0
        const char *typed;
        int load;      // the load option selected first
        bool outputOn; // with "turn off output before change"
        int unplugAt;  // 0 never; 1 before the Enter; 2 in the companion's settling query
        Lines writes, boxes;
        bool stillMarked, companionMarked;
    } rows[] = {
        {"amplitude", 'A', 0, "3", 0, false, 0, {"AMPL 3"}, {}, false, false},
        {"doubledAt50Ohm", 'A', 0, "3", 1, false, 0, {"AMPL 6"}, {}, false, false},
        {"offOutputFirst", 'O', 0, "-2", 0, true, 0, {"OUT OFF", "OFFS -2"}, {}, false, false},
        {"symmetryFollows", 'F', 'S', "2", 0, false, 0, {"FREQ 2E+3", "OFFS?", "SYM 40.00"}, {}, false, false},
        {"frequencyFollows", 'S', 'F', "40", 0, false, 0, {"SYM 40", "OFFS?", "FREQ 2.000E+3"}, {}, false, false},
        {"outOfRange", 'A', 0, "99", 0, false, 0, {}, {"Setting Error"}, true, false},
        {"writeFails", 'A', 0, "3", 0, false, 1, {}, {"GPIB ERROR # 2"}, true, false},
        {"companionFails", 'F', 'S', "2", 0, false, 2, {"FREQ 2E+3", "OFFS?"},
         {"I/O Error", "GPIB ERROR # 2"}, false, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        Started h;
        h.view.checked[static_cast<size_t>(Option::TurnOffOutput)] = r.outputOn;
        if (r.outputOn)
            h.c.Button_ToggleOutput_Click();
        h.view.selectOption(Group::Load, r.load);
        if (r.marked) {
            const Field other = fieldNamed(r.marked);
            h.enter(other, "");
            h.type(other, other == Field::Symmetry ? "40" : "2");
        }
        const Field f = fieldNamed(r.field);
        h.enter(f, "");
        h.type(f, r.typed);
        h.trace.clear();
        if (r.unplugAt == 1)
            h.unplug();
        if (r.unplugAt == 2)
            h.events.pending.push_back([&h] { h.unplug(); });
        for (size_t i = 0; i < r.boxes.size(); ++i)
            h.boxes.answers.push_back(Answer::No);
        int busyInFirstWait = -1; // the output's 1 s to settle is a wait the user sees
        h.events.pending.push_front([&h, &busyInFirstWait] { busyInFirstWait = h.view.busy; });
        h.type(f, "\r");
        EXPECT_TRUE(!r.outputOn || busyInFirstWait > 0);
        EXPECT_EQ(h.writes(), r.writes);
        EXPECT_EQ(h.titles(), r.boxes);
        EXPECT_EQ(h.view.fieldMark[FakeView::at(f)], r.stillMarked);
        if (r.marked) {
            EXPECT_EQ(h.view.fieldMark[FakeView::at(fieldNamed(r.marked))], r.companionMarked);
        }
        EXPECT_EQ(h.view.enabled[0], r.stillMarked || r.companionMarked);
    }
}

// Apply, the output toggle and the option groups: traffic, boxes and what stays marked.
TEST(Commands, ApplyToggleAndOptions)
{
    const struct {
        const char *name;
        bool applyAtOnce, confirm, unplug;
        Answer answer;
        void (*act)(Started &);
        Lines writes, boxes;
        bool outputOn, applyEnabled, waveformMarked;
    } rows[] = {
        {"apply", 0, 0, 0, Answer::Ok, [](Started &h) { h.c.Button_Apply_Click(); },
         {"AMPL 2;OFFS 0.000;FREQ 1.000E+3;FUNC SQUARE;SYM 50"}, {}, false, false, false},
        {"applyFails", 0, 0, 1, Answer::Ok, [](Started &h) { h.c.Button_Apply_Click(); },
         {}, {"GPIB ERROR # 2"}, false, true, true},
        {"applyOutOfRange", 0, 0, 0, Answer::No,
         [](Started &h) { h.view.text[0] = "25"; h.c.Button_Apply_Click(); }, {}, {"Setting Error"}, false, true, true},
        {"optionAtOnce", 1, 0, 0, Answer::Ok, [](Started &h) { h.view.selectOption(Group::Waveform, 2); },
         {"AMPL 2;OFFS 0.000;FREQ 1.000E+3;FUNC TRIANGLE;SYM 50"}, {}, false, true, false},
        {"toggle", 0, 0, 0, Answer::Ok, [](Started &h) { h.c.Button_ToggleOutput_Click(); },
         {"OUT ON"}, {}, true, true, true},
        {"toggleConfirmed", 0, 1, 0, Answer::Yes, [](Started &h) { h.c.Button_ToggleOutput_Click(); },
         {"OUT ON"}, {"Change Output"}, true, true, true},
        {"toggleRefused", 0, 1, 0, Answer::No, [](Started &h) { h.c.Button_ToggleOutput_Click(); },
         {}, {"Change Output"}, false, true, true},
        {"toggleFails", 0, 0, 1, Answer::Ok, [](Started &h) { h.c.Button_ToggleOutput_Click(); },
         {}, {"GPIB ERROR # 2"}, false, true, true},
        {"spaceToggles", 0, 0, 0, Answer::Ok, [](Started &h) { h.type(Field::Offset, " "); },
         {"OUT ON"}, {}, true, true, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        Started h;
        h.view.checked[static_cast<size_t>(Option::ApplyOptions)] = r.applyAtOnce;
        h.view.checked[static_cast<size_t>(Option::ConfirmOnOff)] = r.confirm;
        h.view.text[0] = "2";
        h.view.selectOption(Group::Waveform, 1);
        h.trace.clear();
        if (r.unplug)
            h.unplug();
        h.boxes.answers = {r.answer};
        r.act(h);
        EXPECT_EQ(h.writes(), r.writes);
        EXPECT_EQ(h.titles(), r.boxes);
        EXPECT_EQ(h.c.outputIsOn(), r.outputOn);
        EXPECT_EQ(h.view.outputShown, r.outputOn);
        EXPECT_EQ(h.view.enabled[0], r.applyEnabled);
        EXPECT_EQ(h.view.groupMark[1], r.waveformMarked);
        EXPECT_EQ(h.view.busy, 0);
    }
}

// Read-back fills the window in the chosen load, marks nothing and sends no setting;
// Initialise resets the instrument first, without a device clear before it.
TEST(ReadBack, FillsTheWindowFromTheInstrument)
{
    const struct { const char *at, *state; bool init; int load; std::array<const char *, 4> texts; int unit, wave; bool on; } rows[] = {
        {"FG5010@5", "AMPL 5;OFFS -1.5;FREQ 10E+6;FUNC TRIANGLE;SYM 37.5;OUT ON", false, 1,
         {"2.500", "-0.750", "10.00", "38"}, 2, 2, true},
        {"AFG5101@5", "AMPL 20E-3;FREQ 250", false, 0, {"0.040", "0.000", "250.0", "50"}, 0, 0, false},
        {"AFG5101@5", "AMPL 20E-3", false, 1, {"0.020", "0.000", "1.000", "50"}, 1, 0, false},
        {"FG5010@5", "FREQ 2E-3", false, 1, {"0.500", "0.000", "0.002", "50"}, 0, 0, false},
        {"AFG5102@5", "AMPL 3;FREQ 2E+6;OUT ON", true, 1, {"1.000", "0.000", "1.000", "50"}, 1, 0, false},
        // "=": an instrument that answers every query so; a lone "R" names no waveform.
        {"FG5010@5", "=FUNC R", false, 0, {"0.000", "0.000", "0.000", "0"}, 0, 0, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.state);
        Started h(r.at);
        *r.state == '=' ? h.bus.attach(5, std::make_unique<FixedIdentity>(r.state + 1)) : h.gen().receive(r.state);
        if (r.init) // the output read back on, so that the reset has to turn it off
            h.c.Button_Refresh_Click();
        ASSERT_EQ(h.c.outputIsOn(), r.init);
        h.view.selectOption(Group::Load, r.load);
        h.view.enabled = {true, false, false};
        h.trace.clear();
        r.init ? h.c.Menu_InitFG_Click() : h.c.Button_Refresh_Click();
        ASSERT_FALSE(h.trace.empty());
        EXPECT_EQ(h.trace[0], r.init ? "write 5 INIT" : "write 5 AMPL?");
        for (const std::string &w : h.writes()) // queries only; no symmetry of an AFG5101
            EXPECT_TRUE((w.ends_with("?") || w == "INIT") && (HasSymmetry(h.c.profile().ModelIndex) || w != "SYM?")) << w;
        EXPECT_EQ(h.view.text, (std::array<std::string, 4>{r.texts[0], r.texts[1], r.texts[2], r.texts[3]}));
        EXPECT_EQ(h.view.option[2], r.unit);
        EXPECT_EQ(h.view.option[1], r.wave);
        EXPECT_EQ(h.c.outputIsOn(), r.on);
        EXPECT_EQ(h.view.fieldMark, (std::array<bool, 4>{}));
        EXPECT_EQ(h.view.groupMark, (std::array<bool, 3>{}));
        EXPECT_EQ(h.view.enabled, (std::array<bool, 3>{false, true, false})); // Save, not Apply
        EXPECT_FALSE(h.c.eventGuard());
    }
}

} // namespace
