#include "support/fixedidentity.h"
#include "support/formharness.h"
#include "support/modal.h"

#include "mainwindow/entryfield.h"
#include "mainwindow/shapes.h"
#include "app/formstyle.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Twips of the original form to pixels at 96 dots per inch.
QRect tw(int left, int top, int width, int height)
{
    return {twips(left), twips(top), twips(width), twips(height)};
}

QString captionOf(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    return {};
}

enum class Fit { Exact, RightEdge, LeftEdge, AtLeast };

struct ControlCase
{
    const char *name;
    const char *className;
    const char *caption;
    QRect geometry; // relative to the parent, as designed
    int tabIndex;   // -1: takes no focus
    Fit fit = Fit::Exact;
};

TEST(MainFormLayout, EveryControlStandsWhereTheFormPutsIt)
{
    FormHarness h;
    const ControlCase cases[] = {
        {"Frame2", "QGroupBox", "Settings", tw(120, 120, 3135, 5355), -1},
        {"Frame3", "QFrame", "", tw(120, 1260, 2835, 315), -1},
        {"Frame4", "QFrame", "", tw(120, 1620, 2835, 315), -1},
        {"Frame5", "QFrame", "", tw(120, 2580, 2835, 315), -1},
        {"Label1(2)", "QLabel", "Amplitude:", tw(600, 300, 1125, 300), -1, Fit::RightEdge},
        {"Amplitude", "EntryField", "", tw(1800, 300, 855, 345), 0},
        {"Label3(2)", "QLabel", "V", tw(2760, 330, 165, 300), -1, Fit::LeftEdge},
        {"Label1(3)", "QLabel", "Offset:", tw(960, 720, 720, 300), -1, Fit::RightEdge},
        {"Offset", "EntryField", "", tw(1800, 720, 855, 345), 1},
        {"Label3(3)", "QLabel", "V", tw(2760, 750, 165, 300), -1, Fit::LeftEdge},
        {"OutInto(0)", "QRadioButton", "Open &Circuit", tw(0, 0, 1215, 195), 2, Fit::AtLeast},
        {"OutInto(1)", "QRadioButton", "&50 Ohms", tw(1740, 0, 975, 195), 3, Fit::AtLeast},
        {"WaveFunction(0)", "QRadioButton", "S&ine", tw(0, 60, 675, 195), 4, Fit::AtLeast},
        {"WaveFunction(1)", "QRadioButton", "S&quare", tw(810, 60, 855, 195), 5, Fit::AtLeast},
        {"WaveFunction(2)", "QRadioButton", "Trian&gle", tw(1740, 60, 1005, 195), 6, Fit::AtLeast},
        {"NewFreq(0)", "QLabel", "Frequency:", tw(480, 2100, 1185, 300), -1, Fit::RightEdge},
        {"Frequency", "EntryField", "", tw(1800, 2100, 855, 345), 7},
        {"FreqMult(0)", "QRadioButton", "&Hz", tw(60, 60, 555, 195), 27, Fit::AtLeast},
        {"FreqMult(1)", "QRadioButton", "&kHz", tw(810, 60, 675, 195), 26, Fit::AtLeast},
        {"FreqMult(2)", "QRadioButton", "&MHz", tw(1740, 60, 675, 195), 25, Fit::AtLeast},
        {"NewFreq(1)", "QLabel", "Symmetry:", tw(540, 3000, 1110, 300), -1, Fit::RightEdge},
        {"Symmetry", "EntryField", "", tw(1800, 3000, 435, 345), 8},
        {"Label3(0)", "QLabel", "%", tw(2340, 3030, 210, 300), -1, Fit::LeftEdge},
        {"Label1(4)", "QLabel", "Output:", tw(840, 3600, 795, 300), -1, Fit::RightEdge},
        {"ActualOutput", "QLabel", "OFF", tw(1800, 3600, 540, 300), -1, Fit::LeftEdge},
        {"Shape1", "CircleShape", "", tw(2520, 3615, 255, 255), -1},
        {"Button_Refresh", "QPushButton", "&Refresh", tw(240, 4200, 1275, 375), 9},
        {"Button_Apply", "QPushButton", "&Apply", tw(1620, 4200, 1275, 375), 10},
        {"Button_SaveSettings", "QPushButton", "Sa&ve Settings", tw(240, 4740, 1260, 375), 29},
        {"Button_LoadSavedSettings", "QPushButton", "&Load Settings", tw(1620, 4740, 1260, 375), 28},
        {"Button_ToggleOutput", "QPushButton", "&Turn ON Output", tw(120, 5700, 3135, 495), 11},
    };
    for (const ControlCase &c : cases) {
        SCOPED_TRACE(c.name);
        auto *w = h.form->findChild<QWidget *>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), c.className);
        EXPECT_EQ(captionOf(w), QString::fromLatin1(c.caption));
        const QRect g = w->geometry();
        EXPECT_EQ(g.top(), c.geometry.top());
        EXPECT_EQ(g.height(), c.geometry.height());
        switch (c.fit) {
        case Fit::Exact:
            EXPECT_EQ(g, c.geometry);
            break;
        case Fit::RightEdge: // sized to its text, kept against its field
            EXPECT_EQ(g.right(), c.geometry.right());
            EXPECT_GE(g.width(), c.geometry.width());
            EXPECT_GE(g.width(), w->sizeHint().width());
            break;
        case Fit::LeftEdge:
            EXPECT_EQ(g.left(), c.geometry.left());
            EXPECT_GE(g.width(), c.geometry.width());
            break;
        case Fit::AtLeast:
            EXPECT_EQ(g.left(), c.geometry.left());
            EXPECT_GE(g.width(), c.geometry.width());
            break;
        }
        EXPECT_EQ(w->property("TabIndex").isValid() ? w->property("TabIndex").toInt() : -1,
                  c.tabIndex);
    }
    // The two lines of the engraved rule, grey over white.
    auto *grey = h.form->findChild<LineShape *>(QStringLiteral("Line1(0)"));
    auto *white = h.form->findChild<LineShape *>(QStringLiteral("Line1(1)"));
    ASSERT_TRUE(grey && white);
    EXPECT_EQ(grey->lineColor(), QColor(128, 128, 128));
    EXPECT_EQ(white->lineColor(), QColor(255, 255, 255));
    EXPECT_LT(grey->y(), white->y());
    // The client area, below the menu bar.
    EXPECT_EQ(h.form->centralWidget()->size(), QSize(225, 421));
    EXPECT_EQ(h.form->minimumSize(), h.form->maximumSize());
}

TEST(MainFormLayout, TabsThroughTheFieldsAndLeavesTheUnitsForLast)
{
    FormHarness h;
    MainFormUi &ui = h.ui();
    const std::vector<QWidget *> order = {
        ui.Amplitude,       ui.Offset,         ui.OutInto[0],       ui.OutInto[1],
        ui.WaveFunction[0], ui.WaveFunction[1], ui.WaveFunction[2], ui.Frequency,
        ui.Symmetry,        ui.Button_Refresh, ui.Button_Apply,     ui.Button_ToggleOutput,
        ui.FreqMult[2],     ui.FreqMult[1],    ui.FreqMult[0],      ui.Button_LoadSavedSettings,
        ui.Button_SaveSettings};
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget *next = order[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << order[i]->objectName().toStdString();
    }
}

TEST(MainFormLayout, MenuTreeWithItsSeparatorsAndOptions)
{
    FormHarness h;
    MainFormUi &ui = h.ui();
    const QList<QAction *> bar = h.form->menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0]->menu(), ui.Menu_Settings);
    EXPECT_EQ(bar[0]->text(), "&Settings");
    EXPECT_EQ(bar[1], ui.Menu_About);
    EXPECT_EQ(bar[1]->text(), "&About");
    EXPECT_EQ(bar[2], ui.Menu_Exit);
    EXPECT_EQ(bar[2]->text(), "   E&xit");

    const struct
    {
        const char *name;
        const char *caption; // "" for a separator
        bool checkable;
    } items[] = {
        {"Menu_InitFG", "&Initialize", false},
        {"Menu_Separator11", "", false},
        {"Menu_LoadlSavedSettings", "&Load Saved Settings", false},
        {"Menu_SaveSettings", "Sa&ve Settings", false},
        {"Menu_Separator12", "", false},
        {"Menu_StartSaved", "&Start with Saved Settings", true},
        {"Menu_SaveAtExit", "Save Settings at &Exit", true},
        {"Menu_ApplyOptions", "Apply Options Chages Immediately", true},
        {"Menu_Separator13", "", false},
        {"Menu_TurnOffOutput", "&Turn OFF Output at Start and Exit", true},
        {"Menu_TurnOffAtChange", "Turn &OFF Output before changes are applied", true},
        {"Menu_ConfirmOnOff", "&Confirm Output ON / OFF", true},
    };
    const QList<QAction *> actions = ui.Menu_Settings->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(items)));
    for (size_t i = 0; i < std::size(items); ++i) {
        QAction *a = actions[static_cast<qsizetype>(i)];
        EXPECT_EQ(a->objectName(), items[i].name);
        EXPECT_EQ(a->isSeparator(), *items[i].caption == '\0') << items[i].name;
        EXPECT_EQ(a->text(), items[i].caption);
        EXPECT_EQ(a->isCheckable(), items[i].checkable) << items[i].name;
        EXPECT_FALSE(a->isChecked());
        EXPECT_TRUE(a->isEnabled());
    }
}

TEST(MainFormLayout, AltAOpensAboutAndNothingElse)
{
    FormHarness h;
    h.form->Form_Load();
    h.form->show();
    QApplication::processEvents();
    ASSERT_TRUE(h.form->isActiveWindow());
    QSignalSpy about(h.ui().Menu_About, &QAction::triggered);
    QSignalSpy apply(h.ui().Button_Apply, &QPushButton::clicked);
    h.ui().Button_Apply->setEnabled(true);
    QString opened;
    whenModalOpens([&opened](QDialog *d) { opened = d->objectName(); });
    QTest::keyClick(h.form.get(), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(opened, "AboutForm");
    EXPECT_EQ(about.count(), 1);
    EXPECT_EQ(apply.count(), 0);
    EXPECT_TRUE(h.ui().Button_Apply->shortcut().isEmpty());
}

struct ModelCase
{
    const char *listeners;
    const char *title;
    int16_t modelIndex;
    bool symmetryEnabled;
    int outInto;
};

TEST(FormLoad, ChoosesTheProfileAndStartStateOfEachModel)
{
    const ModelCase cases[] = {
        {"FG5010@5", "Wavedial FG5010, v1.31 / QW", 1, true, 0},
        {"AFG5101@5", "Wavedial AFG5101, v1.31 / QW", 2, false, 1},
        {"PFG5105@12", "Wavedial PFG5105, v1.31 / QW", 2, false, 1},
        {"MUTE@1,AFG5102@9", "Wavedial AFG5102, v1.31 / QW", 3, true, 1},
    };
    for (const ModelCase &c : cases) {
        SCOPED_TRACE(c.listeners);
        FormHarness h(c.listeners);
        h.form->Form_Load();
        MainFormUi &ui = h.ui();
        EXPECT_EQ(h.form->windowTitle(), c.title);
        EXPECT_EQ(h.controller().profile().ModelIndex, c.modelIndex);
        EXPECT_EQ(ui.Symmetry->isEnabled(), c.symmetryEnabled);
        // Its label and unit stay as they are.
        EXPECT_TRUE(ui.NewFreq[1]->isEnabled());
        EXPECT_TRUE(ui.OutInto[static_cast<size_t>(c.outInto)]->isChecked());
        EXPECT_FALSE(h.controller().SuppressEvents);
        EXPECT_TRUE(ui.WaveFunction[0]->isChecked());
        EXPECT_TRUE(ui.FreqMult[0]->isChecked());
        EXPECT_FALSE(ui.Button_Apply->isEnabled());
        EXPECT_EQ(ui.ActualOutput->text(), "OFF");
        EXPECT_EQ(ui.Shape1->fillColor(), QColor(255, 0, 0));
        EXPECT_TRUE(h.boxes.boxes.empty());
    }
}

TEST(FormActivate, WithoutASupportedModelTheProgramEnds)
{
    for (const char *listeners : {"OTHER@3", "MUTE@2"}) {
        SCOPED_TRACE(listeners);
        FormHarness h(listeners);
        h.form->Form_Load();
        EXPECT_EQ(h.form->windowTitle(), "Wavedial , v1.31 / QW");
        h.boxes.answers = {MessageBoxService::Answer::Ok};
        EXPECT_THROW(h.controller().Form_Activate(), ProgramEnded);
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        EXPECT_EQ(h.boxes.boxes[0].text,
                  "No supported function generator (FG5010, AFG5101, AFG5102, PFG5105) found on "
                  "the bus !\n\nProgram will terminate.");
        EXPECT_EQ(h.boxes.boxes[0].title, "Error");
        EXPECT_EQ(h.boxes.boxes[0].icon, MessageBoxService::Icon::Critical);
        EXPECT_FALSE(h.controller().StartupDone);
    }
}

TEST(FormActivate, AModelNameInAnotherLetterCaseIsNoSupportedModel)
{
    FormHarness h("");
    h.bus.attach(4, std::make_unique<FixedIdentity>("ID TEK/afg5102,V1"));
    h.form->Form_Load();
    EXPECT_EQ(h.controller().profile().ModelIndex, 0);
    EXPECT_TRUE(h.ui().Symmetry->isEnabled());
    h.boxes.answers = {MessageBoxService::Answer::Ok};
    EXPECT_THROW(h.controller().Form_Activate(), ProgramEnded);
}

} // namespace
