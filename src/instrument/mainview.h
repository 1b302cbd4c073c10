#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the controller needs of the main window: the controls' texts, choices, marks and
// enabled states, and nothing of how they are drawn. The window implements it; tests
// implement it with plain variables.

enum class Field { Amplitude, Offset, Frequency, Symmetry };

// The option groups, by their group codes.
enum class Group : int16_t { Load = 3, Waveform = 4, Unit = 5 };

// The six check-marked options, in menu order.
enum class Option { StartSaved, SaveAtExit, ApplyOptions, TurnOffOutput, TurnOffAtChange, ConfirmOnOff };

// Commands whose enabled state the program sets. Save is the menu item and the button
// together; LoadSaved is both load commands and the "start with saved settings" option.
enum class Command { Apply, Save, LoadSaved };

// Where the controller puts the focus.
enum class FocusTarget { Amplitude, Offset, Frequency, Symmetry, ToggleOutput };

class MainView
{
public:
    virtual ~MainView() = default;

    // A field's text as it stands, 8-bit characters as the bus carries them.
    virtual std::string fieldText(Field f) const = 0;
    // The text a typed key would leave: the field's text without its selection.
    virtual std::string fieldTextAfterKey(Field f) const = 0;
    // The program writes a field: shown from its beginning. The field's change handler
    // runs, as for every change.
    virtual void setFieldText(Field f, const std::string &text) = 0;
    virtual void setFieldEnabled(Field f, bool enabled) = 0;

    // The selected option of a group (0 based), -1 when none is.
    virtual int selectedOption(Group g) const = 0;
    // Selects an option; the group's click handler runs as for a user's click.
    virtual void selectOption(Group g, int index) = 0;

    virtual bool isChecked(Option o) const = 0;
    virtual void setChecked(Option o, bool checked) = 0;

    // The change marks live in the controls' colours and are read back from them.
    virtual bool isFieldMarked(Field f) const = 0;
    virtual void markField(Field f, bool marked) = 0;
    // A group is judged by its frame; marking colours the frame and its options.
    virtual bool isGroupMarked(Group g) const = 0;
    virtual void markGroup(Group g, bool marked) = 0;

    virtual void setCommandEnabled(Command c, bool enabled) = 0;
    virtual void moveFocus(FocusTarget t) = 0;

    virtual void setTitle(const std::string &title) = 0;
    // The re-initialise command's caption.
    virtual void setInitCaption(const std::string &caption) = 0;
    // The output's lamp, state text and the toggle's caption.
    virtual void showOutputState(bool on) = 0;
    // The About window with this sheet, modal.
    virtual void showAbout(const std::string &sheet) = 0;
    // A small modal choice among `choices`; the index picked, or -1 when none was.
    virtual int chooseGenerator(const std::vector<std::string> &choices) = 0;
    // The busy cursor, counted: every begin has its end.
    virtual void beginBusy() = 0;
    virtual void endBusy() = 0;
};

// The busy cursor for as long as it lives: the waits keep the window responsive but show
// nothing, so a read-back of several seconds would otherwise look like a frozen window.
class BusyScope
{
public:
    explicit BusyScope(MainView &view) : m_view(view) { m_view.beginBusy(); }
    ~BusyScope() { m_view.endBusy(); }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    MainView &m_view;
};
