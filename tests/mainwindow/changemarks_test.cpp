#include "support/formharness.h"

#include "mainwindow/entryfield.h"

#include <QAction>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

QColor windowColor(const QWidget *w)
{
    return w->palette().color(QPalette::Active, QPalette::Window);
}

// Which of the load, waveform and unit groups show the change colour, judged on the
// frame and on every option of each.
std::array<bool, 3> markedGroups(FormHarness &h)
{
    MainFormUi &ui = h.ui();
    auto marked = [](const QFrame *frame, const auto &options) {
        const bool m = windowColor(frame) == ChangeMarks::ChangeColor;
        for (const QRadioButton *o : options)
            EXPECT_EQ(windowColor(o) == ChangeMarks::ChangeColor, m) << o->objectName().toStdString();
        return m;
    };
    return {marked(ui.Frame3, ui.OutInto), marked(ui.Frame4, ui.WaveFunction),
            marked(ui.Frame5, ui.FreqMult)};
}

TEST(SetGroupMark, TheSignChoosesTheColourTheMagnitudeTheGroup)
{
    const struct
    {
        int16_t code;
        std::array<bool, 3> fromUnmarked;
        std::array<bool, 3> fromMarked;
    } cases[] = {
        {-3, {true, false, false}, {true, true, true}},
        {-4, {false, true, false}, {true, true, true}},
        {-5, {false, false, true}, {true, true, true}},
        {3, {false, false, false}, {false, true, true}},
        {4, {false, false, false}, {true, false, true}},
        {5, {false, false, false}, {true, true, false}},
        {0, {false, false, false}, {true, true, true}},
        {1, {false, false, false}, {true, true, true}},
        {-2, {false, false, false}, {true, true, true}},
        {-6, {false, false, false}, {true, true, true}},
        {6, {false, false, false}, {true, true, true}},
        {-32768, {false, false, false}, {true, true, true}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        FormHarness h;
        h.form->Form_Load();
        h.marks().SetGroupMark(c.code);
        EXPECT_EQ(markedGroups(h), c.fromUnmarked);
        for (int16_t g : {-3, -4, -5})
            h.marks().SetGroupMark(g);
        h.marks().SetGroupMark(c.code);
        EXPECT_EQ(markedGroups(h), c.fromMarked);
    }
}

TEST(SetGroupMark, UnmarksToTheWindowsOwnBackground)
{
    FormHarness h;
    h.form->Form_Load();
    h.marks().SetGroupMark(-4);
    h.marks().SetGroupMark(4);
    EXPECT_EQ(windowColor(h.ui().Frame4), h.marks().NormalBackColor);
    EXPECT_EQ(windowColor(h.ui().WaveFunction[2]), h.marks().NormalBackColor);
}

TEST(UpdateCommandStates, CodesEnableOrDisableApplyAndTheSaveCommands)
{
    const struct
    {
        int16_t code;
        bool touchesApply, touchesSave;
    } cases[] = {
        {1, true, false}, {-1, true, false}, {2, false, true}, {-2, false, true},
        {3, true, true},  {-3, true, true},  {0, false, false}, {4, false, true},
    };
    for (const auto &c : cases) {
        for (const bool start : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.code << " from " << start);
            FormHarness h;
            MainFormUi &ui = h.ui();
            ui.Button_Apply->setEnabled(start);
            ui.Button_SaveSettings->setEnabled(start);
            ui.Menu_SaveSettings->setEnabled(start);
            h.marks().UpdateCommandStates(c.code);
            const bool target = c.code > 0;
            EXPECT_EQ(ui.Button_Apply->isEnabled(), c.touchesApply ? target : start);
            EXPECT_EQ(ui.Button_SaveSettings->isEnabled(), c.touchesSave ? target : start);
            EXPECT_EQ(ui.Menu_SaveSettings->isEnabled(), c.touchesSave ? target : start);
        }
    }
}

TEST(ReleaseApplyIfClean, DisablesApplyOnlyWhenNothingElseIsMarked)
{
    const auto markAmplitude = [](FormHarness &h) { ChangeMarks::markField(h.ui().Amplitude, true); };
    const auto markWaveform = [](FormHarness &h) { h.marks().SetGroupMark(-4); };
    const auto markSymmetry = [](FormHarness &h) { ChangeMarks::markField(h.ui().Symmetry, true); };
    // Only the options coloured: a group is judged by its frame.
    const auto markOptionsOnly = [](FormHarness &h) {
        for (QRadioButton *o : h.ui().FreqMult) {
            QPalette p = o->palette();
            p.setColor(QPalette::Window, ChangeMarks::ChangeColor);
            o->setPalette(p);
        }
    };
    const struct
    {
        const char *name;
        std::function<void(FormHarness &)> mark;
        int16_t code;
        bool applyStays;
    } cases[] = {
        {"nothingMarked", [](FormHarness &) {}, 1, false},
        {"otherFieldMarked", markAmplitude, 2, true},
        {"onlyTheItemItself", markAmplitude, 1, false},
        {"groupStillMarked", markWaveform, 5, true},
        {"groupItselfSkipped", markWaveform, 4, false},
        {"lastItemCounts", markSymmetry, 1, true},
        {"optionsWithoutFrame", markOptionsOnly, 1, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FormHarness h;
        h.form->Form_Load();
        h.ui().Button_Apply->setEnabled(true);
        c.mark(h);
        h.marks().ReleaseApplyIfClean(c.code);
        EXPECT_EQ(h.ui().Button_Apply->isEnabled(), c.applyStays);
    }
}

TEST(ClearChangeMarks, UnmarksEverythingAndLeavesApplyAsItWas)
{
    for (const bool applyEnabled : {false, true}) {
        FormHarness h;
        h.form->Form_Load();
        MainFormUi &ui = h.ui();
        for (EntryField *f : {ui.Amplitude, ui.Offset, ui.Frequency, ui.Symmetry})
            ChangeMarks::markField(f, true);
        for (int16_t g : {-3, -4, -5})
            h.marks().SetGroupMark(g);
        ui.Button_Apply->setEnabled(applyEnabled);

        h.marks().ClearChangeMarks();

        for (EntryField *f : {ui.Amplitude, ui.Offset, ui.Frequency, ui.Symmetry}) {
            EXPECT_FALSE(ChangeMarks::isFieldMarked(f));
            EXPECT_EQ(f->palette().color(QPalette::Base), ChangeMarks::WindowBackground());
        }
        EXPECT_EQ(markedGroups(h), (std::array<bool, 3>{false, false, false}));
        EXPECT_EQ(ui.Button_Apply->isEnabled(), applyEnabled);
    }
}

} // namespace
