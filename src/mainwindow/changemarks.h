#pragma once

#include <QColor>

#include <cstdint>

struct MainFormUi;
class QWidget;

// Settings the user changed but did not send yet are shown in the change colour, and
// Apply is enabled while anything is left to apply. The mark lives in the controls'
// background colour itself: whether an item is marked is read back from its colour.
//
// Item codes: 1 amplitude, 2 offset, 3 load group, 4 waveform group, 5 frequency,
// 6 unit group, 7 symmetry. Group codes: 3 load, 4 waveform, 5 unit.
class ChangeMarks
{
public:
    static const QColor ChangeColor; // RGB 255, 128, 128

    explicit ChangeMarks(MainFormUi &ui) : m_ui(ui) {}

    // The unmarked colour of the groups: the window's own background, taken at load.
    QColor NormalBackColor;

    // The unmarked colour of the entry fields: the system's background of editable text.
    static QColor WindowBackground();

    // Code below 0 marks, 0 and above unmarks the group named by its magnitude (3, 4, 5).
    void SetGroupMark(int16_t code);
    // Disables Apply unless an item other than `code` is still marked.
    void ReleaseApplyIfClean(int16_t code);
    // Sign: enable or disable. Magnitude 1: Apply; 2: the save commands; 3: both.
    void UpdateCommandStates(int16_t code);
    // Unmarks every field and group; leaves the commands' states alone.
    void ClearChangeMarks();

    // An entry field's mark.
    static void markField(QWidget *field, bool marked);
    static bool isFieldMarked(const QWidget *field);

private:
    MainFormUi &m_ui;
};
