#pragma once

#include "instrument/mainview.h"

#include <array>
#include <vector>

class CircleShape;
class EntryField;
class LineShape;
class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMainWindow;
class QMenu;
class QPushButton;
class QRadioButton;
class QWidget;

// Every control of the main window, by the names the handlers use. Built once, with the
// positions and sizes of the original form (twips at 15 per pixel), and never resized:
// the fonts are sized to the controls instead.
struct MainFormUi
{
    void setupUi(QMainWindow *window);

    // Where Tab (forward) or Shift+Tab goes from `from`: each option group is one stop,
    // and the focus lands on its selected option, so that an arrow key or Space then
    // acts on that one. Disabled and hidden controls are passed over; nullptr when
    // `from` is not in the chain.
    QWidget *nextInTabChain(const QWidget *from, bool forward) const;

    // The output's state on screen: ON or OFF, the lamp's colour, the button's caption.
    void showOutputState(bool on);

    // The check-marked option items, in menu order.
    QAction *optionItem(Option o) const
    {
        QAction *const items[] = {Menu_StartSaved,    Menu_SaveAtExit,      Menu_ApplyOptions,
                                  Menu_TurnOffOutput, Menu_TurnOffAtChange, Menu_ConfirmOnOff};
        return items[static_cast<int>(o)];
    }

    QGroupBox *Frame2 = nullptr;
    QFrame *Frame3 = nullptr;
    QFrame *Frame4 = nullptr;
    QFrame *Frame5 = nullptr;

    EntryField *Amplitude = nullptr;
    EntryField *Offset = nullptr;
    EntryField *Frequency = nullptr;
    EntryField *Symmetry = nullptr;

    std::array<QRadioButton *, 2> OutInto{};
    std::array<QRadioButton *, 3> WaveFunction{};
    std::array<QRadioButton *, 3> FreqMult{};

    std::array<QLabel *, 5> Label1{}; // entries 2, 3, 4 are used
    std::array<QLabel *, 4> Label3{}; // entries 0, 2, 3 are used
    std::array<QLabel *, 2> NewFreq{};
    QLabel *ActualOutput = nullptr;
    CircleShape *Shape1 = nullptr;
    std::array<LineShape *, 2> Line1{};

    QPushButton *Button_Refresh = nullptr;
    QPushButton *Button_Apply = nullptr;
    QPushButton *Button_SaveSettings = nullptr;
    QPushButton *Button_LoadSavedSettings = nullptr;
    QPushButton *Button_ToggleOutput = nullptr;

    QMenu *Menu_Settings = nullptr;
    QAction *Menu_InitFG = nullptr;
    QAction *Menu_Separator11 = nullptr;
    QAction *Menu_LoadlSavedSettings = nullptr;
    QAction *Menu_SaveSettings = nullptr;
    QAction *Menu_Separator12 = nullptr;
    QAction *Menu_StartSaved = nullptr;
    QAction *Menu_SaveAtExit = nullptr;
    QAction *Menu_ApplyOptions = nullptr;
    QAction *Menu_Separator13 = nullptr;
    QAction *Menu_TurnOffOutput = nullptr;
    QAction *Menu_TurnOffAtChange = nullptr;
    QAction *Menu_ConfirmOnOff = nullptr;
    QAction *Menu_Separator14 = nullptr;
    QAction *Menu_OpenAnother = nullptr;
    QAction *Menu_About = nullptr;
    QAction *Menu_Exit = nullptr;

private:
    void buildSettings(QWidget *client);
    void buildMenu(QMainWindow *window);
    void describeControls();
    // Each caption and value shown whole in its control's twips box.
    void fitTexts();
    void orderTabs();

    // The tab stops in order; a group's stop lists its options in tab order.
    std::vector<std::vector<QWidget *>> m_tabStops;
};
