#include "mainwindow/mainformui.h"

#include "forms/formstyle.h"

#include "mainwindow/accessiblevalue.h"
#include "mainwindow/entryfield.h"
#include "mainwindow/shapes.h"

#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int ClientWidth = 3375;
constexpr int ClientHeight = 6315;

// A caption before a field stands against it, at the right of its box; the others begin
// at the left.
enum class Anchor { Left, Right };

template <typename Label = QLabel>
Label *label(QWidget *parent, const char *name, const QString &text, QRect geometry, Anchor anchor,
             bool bold = false)
{
    auto *l = new Label(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    l->setGeometry(geometry);
    l->setFont(formFont(12, bold));
    l->setAlignment(anchor == Anchor::Right ? Qt::AlignRight | Qt::AlignTop
                                            : Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

QString outputText(bool on)
{
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

// The button says what it will do.
QString toggleCaption(bool on)
{
    return on ? QStringLiteral("&Turn OFF Output") : QStringLiteral("&Turn ON Output");
}

EntryField *field(QWidget *parent, const char *name, int longest, QRect geometry)
{
    auto *f = new EntryField(longest, parent);
    f->setObjectName(QLatin1String(name));
    f->setFont(formFont(12, true));
    f->setGeometry(geometry);
    f->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return f;
}

QFrame *optionFrame(QWidget *parent, const char *name, QRect geometry)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setFrameShape(QFrame::NoFrame);
    f->setGeometry(geometry);
    // The frame's background is the group's change mark.
    f->setAutoFillBackground(true);
    return f;
}

QRadioButton *option(QFrame *frame, const QString &name, const QString &caption, QRect geometry)
{
    auto *b = new QRadioButton(caption, frame);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setAutoFillBackground(true);
    return b;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    QPushButton *b = formButton(parent, name, caption, geometry);
    b->setAutoDefault(false);
    return b;
}

QAction *menuAction(QMenu *menu, const char *name, const QString &caption, bool checkable)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    a->setCheckable(checkable);
    return a;
}

QAction *separator(QMenu *menu, const char *name)
{
    QAction *a = menu->addSeparator();
    a->setObjectName(QLatin1String(name));
    return a;
}

} // namespace

void MainFormUi::setupUi(QMainWindow *window)
{
    window->setObjectName(QStringLiteral("MainForm"));
    window->setFont(formFont(8, false));
    auto *client = new QWidget(window);
    client->setObjectName(QStringLiteral("MainFormClient"));
    client->setFixedSize(twips(ClientWidth), twips(ClientHeight));
    window->setCentralWidget(client);

    buildSettings(client);
    // The engraved rule under the menu bar: wider than the client area, clipped by it.
    Line1[0] = new LineShape(QColor(128, 128, 128), client);
    Line1[0]->setObjectName(QStringLiteral("Line1(0)"));
    Line1[0]->setGeometry(0, twips(0), twips(3480), 1);
    Line1[1] = new LineShape(QColor(255, 255, 255), client);
    Line1[1]->setObjectName(QStringLiteral("Line1(1)"));
    Line1[1]->setGeometry(0, twips(10), twips(3480), 1);
    Button_ToggleOutput = button(client, "Button_ToggleOutput", toggleCaption(false), twipsRect(120, 5700, 3135, 495));

    showOutputState(false);
    OutInto[0]->setChecked(true);
    WaveFunction[0]->setChecked(true);
    FreqMult[0]->setChecked(true);
    Button_Apply->setEnabled(false);
    // The menu bar's "&About" owns Alt+A, as it does where the menu bar takes the Alt key
    // first; the button keeps its underlined A but no shortcut of its own.
    Button_Apply->setShortcut(QKeySequence());

    describeControls();
    fitTexts();
    buildMenu(window);
    orderTabs();
    window->setFixedSize(client->width(), client->height() + window->menuBar()->sizeHint().height());
}

void MainFormUi::showOutputState(bool on)
{
    ActualOutput->setText(outputText(on));
    Shape1->setFillColor(on ? QColor(0, 255, 0) : QColor(255, 0, 0));
    Button_ToggleOutput->setText(toggleCaption(on));
    // Heard as well as seen.
    setAccessibleValue(ActualOutput, QStringLiteral("Output: ") + outputText(on));
    setAccessibleValue(Shape1, on ? QStringLiteral("Green: output ON") : QStringLiteral("Red: output OFF"));
}

void MainFormUi::buildSettings(QWidget *client)
{
    Frame2 = new QGroupBox(QStringLiteral("Settings"), client);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(twipsRect(120, 120, 3135, 5355));
    Frame3 = optionFrame(Frame2, "Frame3", twipsRect(120, 1260, 2835, 315));
    Frame4 = optionFrame(Frame2, "Frame4", twipsRect(120, 1620, 2835, 315));
    Frame5 = optionFrame(Frame2, "Frame5", twipsRect(120, 2580, 2835, 315));

    Label1[2] = label(Frame2, "Label1(2)", QStringLiteral("Amplitude:"), twipsRect(600, 300, 1125, 300), Anchor::Right);
    Amplitude = field(Frame2, "Amplitude", 5, twipsRect(1800, 300, 855, 345));
    Label3[2] = label(Frame2, "Label3(2)", QStringLiteral("V"), twipsRect(2760, 330, 165, 300), Anchor::Left);
    Label1[3] = label(Frame2, "Label1(3)", QStringLiteral("Offset:"), twipsRect(960, 720, 720, 300), Anchor::Right);
    Offset = field(Frame2, "Offset", 6, twipsRect(1800, 720, 855, 345));
    Label3[3] = label(Frame2, "Label3(3)", QStringLiteral("V"), twipsRect(2760, 750, 165, 300), Anchor::Left);

    OutInto[0] = option(Frame3, QStringLiteral("OutInto(0)"), QStringLiteral("Open &Circuit"), twipsRect(0, 0, 1215, 195));
    OutInto[1] = option(Frame3, QStringLiteral("OutInto(1)"), QStringLiteral("&50 Ohms"), twipsRect(1740, 0, 975, 195));
    WaveFunction[0] = option(Frame4, QStringLiteral("WaveFunction(0)"), QStringLiteral("S&ine"), twipsRect(0, 60, 675, 195));
    WaveFunction[1] = option(Frame4, QStringLiteral("WaveFunction(1)"), QStringLiteral("S&quare"), twipsRect(810, 60, 855, 195));
    WaveFunction[2] = option(Frame4, QStringLiteral("WaveFunction(2)"), QStringLiteral("Trian&gle"), twipsRect(1740, 60, 1005, 195));

    NewFreq[0] = label(Frame2, "NewFreq(0)", QStringLiteral("Frequency:"), twipsRect(480, 2100, 1185, 300), Anchor::Right);
    Frequency = field(Frame2, "Frequency", 5, twipsRect(1800, 2100, 855, 345));
    FreqMult[0] = option(Frame5, QStringLiteral("FreqMult(0)"), QStringLiteral("&Hz"), twipsRect(60, 60, 555, 195));
    FreqMult[1] = option(Frame5, QStringLiteral("FreqMult(1)"), QStringLiteral("&kHz"), twipsRect(810, 60, 675, 195));
    FreqMult[2] = option(Frame5, QStringLiteral("FreqMult(2)"), QStringLiteral("&MHz"), twipsRect(1740, 60, 675, 195));

    NewFreq[1] = label(Frame2, "NewFreq(1)", QStringLiteral("Symmetry:"), twipsRect(540, 3000, 1110, 300), Anchor::Right);
    Symmetry = field(Frame2, "Symmetry", 2, twipsRect(1800, 3000, 435, 345));
    Label3[0] = label(Frame2, "Label3(0)", QStringLiteral("%"), twipsRect(2340, 3030, 210, 300), Anchor::Left);

    Label1[4] = label(Frame2, "Label1(4)", QStringLiteral("Output:"), twipsRect(840, 3600, 795, 300), Anchor::Right);
    ActualOutput = label<StateLabel>(Frame2, "ActualOutput", outputText(false), twipsRect(1800, 3600, 540, 300), Anchor::Left, true);
    Shape1 = new CircleShape(Frame2);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(twipsRect(2520, 3615, 255, 255));

    Button_Refresh = button(Frame2, "Button_Refresh", QStringLiteral("&Refresh"), twipsRect(240, 4200, 1275, 375));
    Button_Apply = button(Frame2, "Button_Apply", QStringLiteral("&Apply"), twipsRect(1620, 4200, 1275, 375));
    Button_SaveSettings = button(Frame2, "Button_SaveSettings", QStringLiteral("Sa&ve Settings"), twipsRect(240, 4740, 1260, 375));
    Button_LoadSavedSettings = button(Frame2, "Button_LoadSavedSettings", QStringLiteral("&Load Settings"), twipsRect(1620, 4740, 1260, 375));
}

void MainFormUi::describeControls()
{
    // Screen readers and automation would otherwise name every control after the
    // "Settings" frame it sits in.
    const struct
    {
        QWidget *control;
        const char *name;
        const char *description;
    } accessible[] = {
        {Amplitude, "Amplitude", "Amplitude in volts, for the load chosen below"},
        {Offset, "Offset", "Offset in volts, for the load chosen below; may be negative"},
        {Frequency, "Frequency", "Frequency in the unit chosen below"},
        {Symmetry, "Symmetry", "Symmetry of the waveform in percent"},
        {Frame3, "Load", "The load the output drives"},
        {OutInto[0], "Open Circuit", "Load: open circuit"},
        {OutInto[1], "50 Ohms", "Load: 50 ohms"},
        {Frame4, "Waveform", "The waveform of the output"},
        {WaveFunction[0], "Sine", "Waveform: sine"},
        {WaveFunction[1], "Square", "Waveform: square"},
        {WaveFunction[2], "Triangle", "Waveform: triangle"},
        {Frame5, "Frequency unit", "The unit of the frequency"},
        {FreqMult[0], "Hz", "Frequency unit: hertz"},
        {FreqMult[1], "kHz", "Frequency unit: kilohertz"},
        {FreqMult[2], "MHz", "Frequency unit: megahertz"},
        {ActualOutput, "Output", "Whether the instrument's output is on"},
        {Shape1, "Output lamp", "Green while the instrument's output is on, red while it is off"},
        {Button_Refresh, "Refresh", "Read the instrument's settings back"},
        {Button_Apply, "Apply", "Send every setting to the instrument"},
        {Button_SaveSettings, "Save Settings", "Store the instrument's settings for this model"},
        {Button_LoadSavedSettings, "Load Settings", "Send the stored settings to the instrument"},
    };
    for (const auto &a : accessible) {
        a.control->setAccessibleName(QString::fromLatin1(a.name));
        a.control->setAccessibleDescription(QString::fromLatin1(a.description));
    }
    // Its caption says what it will do, and is its name.
    Button_ToggleOutput->setAccessibleDescription(QStringLiteral("Switch the instrument's output on or off"));
}

void MainFormUi::fitTexts()
{
    // The captions of a kind share one size, as they did on the form.
    std::vector<ShownTexts> captions;
    for (QLabel *l : {Label1[2], Label1[3], Label1[4], Label3[0], Label3[2], Label3[3], NewFreq[0], NewFreq[1]})
        captions.push_back({l, {l->text()}});
    captions.push_back({ActualOutput, {outputText(false), outputText(true)}});
    fitFonts(12, captions);

    std::vector<ShownTexts> options;
    for (QFrame *frame : {Frame3, Frame4, Frame5})
        for (QRadioButton *o : frame->findChildren<QRadioButton *>())
            options.push_back({o, {o->text()}});
    fitFonts(8, options);

    std::vector<ShownTexts> buttons;
    for (QPushButton *b : {Button_Refresh, Button_Apply, Button_SaveSettings, Button_LoadSavedSettings})
        buttons.push_back({b, {b->text()}});
    buttons.push_back({Button_ToggleOutput, {toggleCaption(false), toggleCaption(true)}});
    fitFonts(8, buttons);

    // Every field shows whatever can be typed into it in one size, every figure as wide
    // as "0" in the forms' faces. The program writes longer texts, shown smaller: a
    // symmetry's two figures become "35.00", the sign key puts "-" before six figures
    // of an offset.
    std::vector<ShownTexts> fields;
    for (EntryField *f : {Amplitude, Offset, Frequency, Symmetry})
        fields.push_back({f, {QString(f->longestTypedText(), u'0')}});
    fitFonts(12, fields);
    for (EntryField *f : {Amplitude, Offset, Frequency, Symmetry})
        f->keepTextsWhole();
}

void MainFormUi::buildMenu(QMainWindow *window)
{
    QMenuBar *bar = window->menuBar();
    Menu_Settings = bar->addMenu(QStringLiteral("&Settings"));
    Menu_Settings->setObjectName(QStringLiteral("Menu_Settings"));
    Menu_InitFG = menuAction(Menu_Settings, "Menu_InitFG", QStringLiteral("&Initialize"), false);
    Menu_Separator11 = separator(Menu_Settings, "Menu_Separator11");
    Menu_LoadlSavedSettings = menuAction(Menu_Settings, "Menu_LoadlSavedSettings", QStringLiteral("&Load Saved Settings"), false);
    Menu_SaveSettings = menuAction(Menu_Settings, "Menu_SaveSettings", QStringLiteral("Sa&ve Settings"), false);
    Menu_Separator12 = separator(Menu_Settings, "Menu_Separator12");
    Menu_StartSaved = menuAction(Menu_Settings, "Menu_StartSaved", QStringLiteral("&Start with Saved Settings"), true);
    Menu_SaveAtExit = menuAction(Menu_Settings, "Menu_SaveAtExit", QStringLiteral("Save Settings at &Exit"), true);
    Menu_ApplyOptions = menuAction(Menu_Settings, "Menu_ApplyOptions", QStringLiteral("Apply Options Chages Immediately"), true);
    Menu_Separator13 = separator(Menu_Settings, "Menu_Separator13");
    Menu_TurnOffOutput = menuAction(Menu_Settings, "Menu_TurnOffOutput", QStringLiteral("&Turn OFF Output at Start and Exit"), true);
    Menu_TurnOffAtChange = menuAction(Menu_Settings, "Menu_TurnOffAtChange", QStringLiteral("Turn &OFF Output before changes are applied"), true);
    Menu_ConfirmOnOff = menuAction(Menu_Settings, "Menu_ConfirmOnOff", QStringLiteral("&Confirm Output ON / OFF"), true);
    Menu_Separator14 = separator(Menu_Settings, "Menu_Separator14");
    Menu_OpenAnother = menuAction(Menu_Settings, "Menu_OpenAnother", QStringLiteral("Open &Another Generator..."), false);
    Menu_About = bar->addAction(QStringLiteral("&About"));
    Menu_About->setObjectName(QStringLiteral("Menu_About"));
    Menu_Exit = bar->addAction(QStringLiteral("   E&xit"));
    Menu_Exit->setObjectName(QStringLiteral("Menu_Exit"));
}

void MainFormUi::orderTabs()
{
    // Tab order; the frames and labels take no focus, and the unit group comes after the
    // output button, in reverse.
    QWidget *const order[] = {Amplitude,     Offset,          OutInto[0],      OutInto[1],
                              WaveFunction[0], WaveFunction[1], WaveFunction[2], Frequency,
                              Symmetry,      Button_Refresh,  Button_Apply,    Button_ToggleOutput,
                              FreqMult[2],   FreqMult[1],     FreqMult[0],     Button_LoadSavedSettings,
                              Button_SaveSettings};
    const int tabIndex[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 25, 26, 27, 28, 29};
    for (size_t i = 0; i < std::size(order); ++i) {
        order[i]->setProperty("TabIndex", tabIndex[i]);
        if (i > 0)
            QWidget::setTabOrder(order[i - 1], order[i]);
        // Options of one frame share a stop.
        auto *radio = qobject_cast<QRadioButton *>(order[i]);
        if (radio && !m_tabStops.empty() && m_tabStops.back().front()->parentWidget() == radio->parentWidget())
            m_tabStops.back().push_back(radio);
        else
            m_tabStops.push_back({order[i]});
    }
}

QWidget *MainFormUi::nextInTabChain(const QWidget *from, bool forward) const
{
    const auto stopOf = [this](const QWidget *w) {
        for (size_t i = 0; i < m_tabStops.size(); ++i)
            if (std::find(m_tabStops[i].begin(), m_tabStops[i].end(), w) != m_tabStops[i].end())
                return static_cast<int>(i);
        return -1;
    };
    const int start = stopOf(from);
    if (start < 0)
        return nullptr;
    const int n = static_cast<int>(m_tabStops.size());
    for (int step = 1; step < n; ++step) {
        const auto &stop = m_tabStops[static_cast<size_t>((start + (forward ? step : n - step)) % n)];
        QWidget *target = stop.front();
        for (QWidget *w : stop) {
            const auto *radio = qobject_cast<const QRadioButton *>(w);
            if (radio && radio->isChecked())
                target = w;
        }
        if (target->isEnabled() && target->isVisible())
            return target;
    }
    return nullptr;
}
