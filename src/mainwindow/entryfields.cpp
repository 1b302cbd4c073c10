#include "mainwindow/entryfields.h"

#include "gpib/gpibmodule.h"
#include "gpib/numberparse.h"
#include "instrument/commands.h"
#include "instrument/readback.h"
#include "mainwindow/entryfield.h"
#include "mainwindow/mainform.h"

#include <QAction>

#include <cmath>

namespace {

using Field = EntryFields::Field;

// Per-field codes: the item of the change marks, the settings Enter checks, the option
// group the sent value depends on.
struct FieldRules
{
    int16_t itemCode;
    int16_t scope;
    int16_t groupCode; // 0: none
};

FieldRules rules(Field f)
{
    switch (f) {
    case Field::Amplitude:
        return {1, 1, 3};
    case Field::Offset:
        return {2, 1, 3};
    case Field::Frequency:
        return {5, 5, 5};
    case Field::Symmetry:
        break;
    }
    return {7, 5, 0};
}

} // namespace

void EntryFields::connectFields()
{
    for (Field f : {Field::Amplitude, Field::Offset, Field::Frequency, Field::Symmetry}) {
        EntryField *w = widget(f);
        // The change handler runs on every change of the text, the program's included.
        QObject::connect(w, &QLineEdit::textChanged, w, [this, f] { Change(f); });
        QObject::connect(w, &EntryField::focusReceived, w, [this, f] { GotFocus(f); });
        QObject::connect(w, &EntryField::focusLost, w, [this, f] { LostFocus(f); });
        QObject::connect(w, &EntryField::doubleClicked, w, [this, f] { DblClick(f); });
        QObject::connect(w, &EntryField::keyPress, w,
                         [this, f](int16_t &keyAscii) { KeyPress(f, keyAscii); });
    }
}

EntryField *EntryFields::widget(Field f) const
{
    MainFormUi &ui = m_form.ui();
    switch (f) {
    case Field::Amplitude:
        return ui.Amplitude;
    case Field::Offset:
        return ui.Offset;
    case Field::Frequency:
        return ui.Frequency;
    case Field::Symmetry:
        break;
    }
    return ui.Symmetry;
}

std::string EntryFields::text(Field f) const
{
    return widget(f)->text().toLatin1().toStdString();
}

void EntryFields::setText(Field f, const std::string &t)
{
    widget(f)->setProgramText(QString::fromLatin1(t));
}

std::string EntryFields::textAfterKey(Field f) const
{
    // A typed key replaces the selection: the rules judge the text that stays.
    const EntryField *w = widget(f);
    QString t = w->text();
    if (w->hasSelectedText())
        t.remove(w->selectionStart(), w->selectedText().size());
    return t.toLatin1().toStdString();
}

bool EntryFields::holdsValue(Field f) const
{
    // An offset of 0 is a real setting; the other fields at 0 hold nothing.
    if (f == Field::Offset)
        return !text(f).empty();
    return LeadingNumber(text(f)) != 0;
}

std::string EntryFields::command(Field f) const
{
    const SettingsSnapshot s = m_form.settings();
    const int16_t model = m_form.profile().ModelIndex;
    switch (f) {
    case Field::Amplitude:
        return AmplitudeCommand(s, model);
    case Field::Offset:
        return OffsetCommand(s, model);
    case Field::Frequency:
        return FrequencyCommand(s);
    case Field::Symmetry:
        break;
    }
    return SymmetryCommand(s);
}

void EntryFields::GotFocus(Field f)
{
    if (m_form.SuppressEvents)
        return;
    FocusText = text(f);
}

void EntryFields::Change(Field f)
{
    if (m_form.SuppressEvents || !holdsValue(f))
        return;
    // Typing the old value back leaves a marked field marked.
    if (LeadingNumber(text(f)) != LeadingNumber(FocusText)) {
        ChangeMarks::markField(widget(f), true);
        m_form.marks().UpdateCommandStates(3);
    }
}

void EntryFields::LostFocus(Field f)
{
    if (m_form.SuppressEvents)
        return;
    // Tidying the text is no change of the user's.
    m_form.SuppressEvents = true;
    if (holdsValue(f))
        setText(f, FieldText(static_cast<float>(LeadingNumber(text(f))), 104));
    else
        setText(f, FocusText);
    m_form.SuppressEvents = false;
}

void EntryFields::DblClick(Field f)
{
    ChangeMarks &marks = m_form.marks();
    switch (f) {
    case Field::Amplitude:
    case Field::Frequency:
        setText(f, "");
        marks.UpdateCommandStates(-1);
        break;
    case Field::Offset:
        if (!text(f).empty() && LeadingNumber(text(f)) == 0) {
            setText(f, "");
            marks.UpdateCommandStates(-1);
        } else {
            setText(f, "0.000");
        }
        break;
    case Field::Symmetry:
        setText(f, "50");
        marks.UpdateCommandStates(1);
        break;
    }
}

void EntryFields::KeyPress(Field f, int16_t &keyAscii)
{
    switch (keyAscii) {
    case 13:
        keyAscii = 0;
        Commit(f);
        return;
    case 32:
        // Space switches the output, and the blank still goes into the field.
        m_form.Button_ToggleOutput_Click();
        return;
    case 8:
        return;
    case ',':
        keyAscii = '.';
        [[fallthrough]];
    case '.':
        // A "." in the part a typed key would replace does not count: that part goes.
        if (textAfterKey(f).find('.') != std::string::npos)
            keyAscii = 0;
        return;
    case '-': {
        if (f != Field::Offset) {
            keyAscii = 0;
            return;
        }
        // Typed only into what will be an empty field; otherwise it makes the value
        // negative.
        const std::string rest = textAfterKey(f);
        if (!rest.empty()) {
            keyAscii = 0;
            if (rest.find('-') == std::string::npos && LeadingNumber(rest) > 0)
                setText(f, "-" + rest);
        }
        return;
    }
    case '+': {
        keyAscii = 0;
        const std::string rest = textAfterKey(f);
        if (f == Field::Offset && LeadingNumber(rest) < 0)
            setText(f, FieldText(std::fabs(static_cast<float>(LeadingNumber(rest))), 104));
        return;
    }
    default:
        if (keyAscii < '0' || keyAscii > '9')
            keyAscii = 0;
        return;
    }
}

void EntryFields::Commit(Field f)
{
    MainFormUi &ui = m_form.ui();
    ChangeMarks &marks = m_form.marks();
    GpibModule &gpib = m_form.gpib();
    const FieldRules r = rules(f);

    const bool marked = ChangeMarks::isFieldMarked(widget(f));
    // Checked in every case, so that an out-of-range value is reported even when there
    // is nothing to send.
    if (!m_form.ValidateSettings(r.scope) || !marked)
        return;
    if (ui.Menu_TurnOffOutput->isChecked())
        m_form.TurnOutputOff();
    // A value that did not reach the instrument stays marked, and the user stays on it.
    if (!m_form.SendCommand(gpib.DeviceHandle, command(f)))
        return;
    ChangeMarks::markField(widget(f), false);
    if (r.groupCode != 0)
        marks.SetGroupMark(r.groupCode);
    marks.ReleaseApplyIfClean(r.itemCode);

    EntryField *next = nullptr;
    switch (f) {
    case Field::Amplitude:
        next = ui.Offset;
        break;
    case Field::Offset:
        next = ui.Frequency;
        break;
    case Field::Frequency:
        if (ChangeMarks::isFieldMarked(ui.Symmetry)) {
            // The instrument takes the symmetry only after it has settled on the new
            // frequency: a query in between makes sure it has.
            m_form.Query("OFFS?");
            // A companion that did not reach the instrument stays marked, Apply enabled.
            if (m_form.SendCommand(gpib.DeviceHandle, command(Field::Symmetry))) {
                ChangeMarks::markField(ui.Symmetry, false);
                marks.ReleaseApplyIfClean(7);
            }
            next = ui.Amplitude;
        } else {
            next = m_form.profile().ModelIndex == 2 ? ui.Amplitude : ui.Symmetry;
        }
        break;
    case Field::Symmetry:
        gpib.processPendingEvents();
        if (ChangeMarks::isFieldMarked(ui.Frequency)) {
            m_form.Query("OFFS?");
            if (m_form.SendCommand(gpib.DeviceHandle, command(Field::Frequency))) {
                ChangeMarks::markField(ui.Frequency, false);
                marks.SetGroupMark(5);
                marks.ReleaseApplyIfClean(5);
            }
        }
        next = ui.Amplitude;
        break;
    }
    next->setFocus();
}
