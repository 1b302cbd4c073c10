// The controller's read-back of the instrument and its four entry fields.
#include "instrument/controller.h"

#include "gpib/gpibmodule.h"
#include "text/numberparse.h"
#include "instrument/commands.h"
#include "instrument/readback.h"

#include <cmath>
#include <optional>

namespace {

// What Enter in a field checks, and the option group the sent value depends on.
struct FieldRules
{
    int16_t scope;
    std::optional<Group> group;
};

FieldRules rules(Field f)
{
    switch (f) {
    case Field::Amplitude:
    case Field::Offset:
        return {Controller::CheckVolts, Group::Load};
    case Field::Frequency:
        return {Controller::CheckFrequency, Group::Unit};
    case Field::Symmetry:
        break;
    }
    return {Controller::CheckFrequency, std::nullopt};
}

} // namespace

// --- Reading the instrument back ---

std::string Controller::Query(const std::string &query)
{
    if (m_closed)
        return {};
    // The window may close while the instrument prepares its answer (the wait lets the
    // close in): then nobody reads it, and no "I/O Error" box speaks of a lost reply.
    std::string reply =
        m_gpib.QueryInstrument(m_gpib.deviceHandle(), query, [this] { return !m_closed; });
    // Every answer the instruments give has text: an empty one is a query that failed.
    if (reply.empty())
        ++m_failedQueries;
    return reply;
}

void Controller::ReadAmplitude()
{
    const float volts = VoltsFromReply(ReplyValue(Query("AMPL?"), "AMPL"));
    const double factor = LoadFactor(m_profile.ModelIndex, settings().load);
    m_view.setFieldText(Field::Amplitude, FieldText(static_cast<float>(volts / factor), 104));
}

void Controller::ReadOffset()
{
    const float volts = VoltsFromReply(ReplyValue(Query("OFFS?"), "OFFS"));
    const double factor = LoadFactor(m_profile.ModelIndex, settings().load);
    m_view.setFieldText(Field::Offset, FieldText(static_cast<float>(volts / factor), 104));
}

void Controller::ReadFrequency()
{
    const FrequencyReading f = FrequencyFromReply(ReplyValue(Query("FREQ?"), "FREQ"));
    // The unit first: its click handler runs as for a user's click unless events are
    // suppressed.
    m_view.selectOption(Group::Unit, f.unitIndex);
    m_view.setFieldText(Field::Frequency, FieldText(f.value, 104));
}

void Controller::ReadFunction()
{
    m_view.selectOption(Group::Waveform, WaveformFromReply(ReplyValue(Query("FUNC?"), "FUNC")));
}

void Controller::ReadSymmetry()
{
    const float symmetry = static_cast<float>(LeadingNumber(ReplyValue(Query("SYM?"), "SYM")));
    m_view.setFieldText(Field::Symmetry, FieldText(symmetry, 2));
}

void Controller::ReadSymmetryOrFifty()
{
    // The AFG5101 and PFG5105 have no symmetry query: asking would cost a timeout and an
    // error box on every save.
    if (!HasSymmetry(m_profile.ModelIndex))
        m_view.setFieldText(Field::Symmetry, "50");
    else
        ReadSymmetry();
}

void Controller::ReadOutputState()
{
    OutputIsOn = OutputOnFromReply(Query("OUT?"));
    ShowOutputState();
}

void Controller::ReadAllSettings()
{
    const BusyScope busy(m_view);
    ReadAmplitude();
    ReadOffset();
    ReadFrequency();
    ReadFunction();
    ReadSymmetryOrFifty();
    ReadOutputState();
    m_gpib.processPendingEvents();
}

void Controller::RefreshFromInstrument()
{
    const BusyScope busy(m_view);
    const EventGuard::Scope quiet(SuppressEvents);
    ReadAmplitude();
    ReadOffset();
    ReadFunction();
    ReadFrequency();
    ReadSymmetryOrFifty();
    ReadOutputState();
    ClearChangeMarks();
    setCommandsEnabled({Command::Apply}, false);
    setCommandsEnabled({Command::Save}, true);
    m_view.moveFocus(FocusTarget::ToggleOutput);
}

// --- The entry fields ---

bool Controller::holdsValue(Field f) const
{
    // An offset of 0 is a real setting; the other fields at 0 hold nothing.
    const std::string text = m_view.fieldText(f);
    if (f == Field::Offset)
        return !text.empty();
    return LeadingNumber(text) != 0;
}

std::string Controller::command(Field f) const
{
    const SettingsSnapshot s = settings();
    switch (f) {
    case Field::Amplitude:
        return AmplitudeCommand(s, m_profile.ModelIndex);
    case Field::Offset:
        return OffsetCommand(s, m_profile.ModelIndex);
    case Field::Frequency:
        return FrequencyCommand(s);
    case Field::Symmetry:
        break;
    }
    return SymmetryCommand(s);
}

void Controller::GotFocus(Field f)
{
    if (SuppressEvents)
        return;
    FocusText = m_view.fieldText(f);
}

void Controller::Change(Field f)
{
    if (SuppressEvents || !holdsValue(f))
        return;
    // Typing the old value back leaves a marked field marked.
    if (LeadingNumber(m_view.fieldText(f)) != LeadingNumber(FocusText)) {
        m_view.markField(f, true);
        setCommandsEnabled({Command::Apply, Command::Save}, true);
    }
}

void Controller::LostFocus(Field f)
{
    if (SuppressEvents)
        return;
    // Tidying the text is no change of the user's.
    const EventGuard::Scope quiet(SuppressEvents);
    if (holdsValue(f))
        m_view.setFieldText(f, FieldText(static_cast<float>(LeadingNumber(m_view.fieldText(f))), 104));
    else
        m_view.setFieldText(f, FocusText);
}

void Controller::DblClick(Field f)
{
    switch (f) {
    case Field::Amplitude:
    case Field::Frequency:
        m_view.setFieldText(f, "");
        setCommandsEnabled({Command::Apply}, false);
        break;
    case Field::Offset: {
        const std::string text = m_view.fieldText(f);
        if (!text.empty() && LeadingNumber(text) == 0) {
            m_view.setFieldText(f, "");
            setCommandsEnabled({Command::Apply}, false);
        } else {
            m_view.setFieldText(f, "0.000");
        }
        break;
    }
    case Field::Symmetry:
        m_view.setFieldText(f, "50");
        setCommandsEnabled({Command::Apply}, true);
        break;
    }
}

void Controller::KeyPress(Field f, int16_t &keyAscii)
{
    switch (keyAscii) {
    case 13:
        keyAscii = 0;
        Commit(f);
        return;
    case 32:
        // Space switches the output, and the blank still goes into the field.
        Button_ToggleOutput_Click();
        return;
    case 8:
        return;
    case ',':
        keyAscii = '.';
        [[fallthrough]];
    case '.':
        // A "." in the part a typed key would replace does not count: that part goes.
        if (m_view.fieldTextAfterKey(f).find('.') != std::string::npos)
            keyAscii = 0;
        return;
    case '-': {
        if (f != Field::Offset) {
            keyAscii = 0;
            return;
        }
        // Typed only into what will be an empty field; otherwise it makes the value
        // negative.
        const std::string rest = m_view.fieldTextAfterKey(f);
        if (!rest.empty()) {
            keyAscii = 0;
            if (rest.find('-') == std::string::npos && LeadingNumber(rest) > 0)
                m_view.setFieldText(f, "-" + rest);
        }
        return;
    }
    case '+': {
        keyAscii = 0;
        const std::string rest = m_view.fieldTextAfterKey(f);
        if (f == Field::Offset && LeadingNumber(rest) < 0)
            m_view.setFieldText(f, FieldText(std::fabs(static_cast<float>(LeadingNumber(rest))), 104));
        return;
    }
    default:
        if (keyAscii < '0' || keyAscii > '9')
            keyAscii = 0;
        return;
    }
}

void Controller::Commit(Field f)
{
    const FieldRules r = rules(f);
    const bool marked = m_view.isFieldMarked(f);
    // Checked in every case, so that an out-of-range value is reported even when there
    // is nothing to send.
    if (!ValidateSettings(r.scope) || !marked)
        return;
    if (m_view.isChecked(Option::TurnOffOutput))
        TurnOutputOff();
    // A value that did not reach the instrument stays marked, and the user stays on it.
    if (!SendCommand(m_gpib.deviceHandle(), command(f)))
        return;
    m_view.markField(f, false);
    if (r.group)
        markGroup(*r.group, false);
    releaseApplyIfClean(f);

    FocusTarget next = FocusTarget::Amplitude;
    switch (f) {
    case Field::Amplitude:
        next = FocusTarget::Offset;
        break;
    case Field::Offset:
        next = FocusTarget::Frequency;
        break;
    case Field::Frequency:
        if (m_view.isFieldMarked(Field::Symmetry)) {
            // The instrument takes the symmetry only after it has settled on the new
            // frequency: a query in between makes sure it has.
            Query("OFFS?");
            // A companion that did not reach the instrument stays marked, Apply enabled.
            if (SendCommand(m_gpib.deviceHandle(), command(Field::Symmetry))) {
                m_view.markField(Field::Symmetry, false);
                releaseApplyIfClean(Field::Symmetry);
            }
        } else if (HasSymmetry(m_profile.ModelIndex)) {
            next = FocusTarget::Symmetry;
        }
        break;
    case Field::Symmetry:
        m_gpib.processPendingEvents();
        if (m_view.isFieldMarked(Field::Frequency)) {
            Query("OFFS?");
            if (SendCommand(m_gpib.deviceHandle(), command(Field::Frequency))) {
                m_view.markField(Field::Frequency, false);
                markGroup(Group::Unit, false);
                releaseApplyIfClean(Field::Frequency);
            }
        }
        break;
    }
    m_view.moveFocus(next);
}
