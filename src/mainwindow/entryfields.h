#pragma once

#include <array>
#include <cstdint>
#include <string>

class EntryField;
class MainForm;

// The four numeric entry fields (amplitude, offset, frequency, symmetry) and how they
// react to the user: which keys they take, when they show the change colour, how they
// tidy their text on leaving, what a double click puts in, and what Enter sends.
class EntryFields
{
public:
    enum class Field { Amplitude, Offset, Frequency, Symmetry };

    explicit EntryFields(MainForm &form) : m_form(form) {}

    // Connects the four fields' events to the handlers below.
    void connectFields();

    void Change(Field f);
    void GotFocus(Field f);
    void LostFocus(Field f);
    void DblClick(Field f);
    // Sees each typed character first; sets it to 0 to discard it.
    void KeyPress(Field f, int16_t &keyAscii);
    // Enter: checks the field's settings and sends its value (and a marked companion's).
    void Commit(Field f);

    // The text of the field that last received the focus, taken at that moment.
    std::string FocusText;

private:
    EntryField *widget(Field f) const;
    std::string text(Field f) const;
    void setText(Field f, const std::string &text);
    std::string textAfterKey(Field f) const;
    bool holdsValue(Field f) const;
    std::string command(Field f) const;

    MainForm &m_form;
};
