#include "instrument/validation.h"

#include "text/format.h"
#include "text/numberparse.h"
#include "instrument/commands.h"

#include <cmath>

namespace {

const char LF = '\n';

// A field's value; a text that is no number is out of any range, so that it is refused
// with the setting errors rather than sent.
double fieldValue(const std::string &text)
{
    return IsNumberText(text) ? LeadingNumber(text) : HUGE_VAL;
}

float singleValue(const std::string &text)
{
    return static_cast<float>(fieldValue(text));
}

void append(std::string &errors, const std::string &line, const std::string &separator)
{
    if (!errors.empty())
        errors += separator;
    errors += line;
}

void checkAmplitudeAndOffset(std::string &errors, const SettingsSnapshot &s, const ModelProfile &p)
{
    const double factor = LoadFactor(p.ModelIndex, s.load);
    const float a = static_cast<float>(singleValue(s.Amplitude) * factor);
    if (a > p.MaxAmplitude)
        errors = "Amplitude is out of range (too high).";
    if (a < p.MinAmplitude)
        errors = "Amplitude is out of range (too low).";
    const float o = static_cast<float>(std::fabs(singleValue(s.Offset)) * factor);
    if (o > p.MaxOffset)
        append(errors, "Offset is out of range (absolute value too high).", "\n");
    float h = a / 2;
    // The AFG5101 and PFG5105 set their half amplitude in 10 mV steps.
    if (!HasSymmetry(p.ModelIndex))
        h = singleValue(FormatNumber(h, -1.2f));
    if (static_cast<float>(h + o) > p.MaxRange)
        append(errors, "Amplitude + Offset out of range (absolute values too high).", "\n");
}

void checkFrequency(std::string &errors, const SettingsSnapshot &s, const ModelProfile &p)
{
    const float f = static_cast<float>(fieldValue(s.Frequency) *
                                       std::pow(10.0, s.FrequencyMultiplier));
    if (f > p.MaxFrequency)
        append(errors, "Frequency is out of range (too high).", "\n");
    else if (f < p.MinFrequency)
        append(errors, "Frequency is out of range (too low).", "\n");
}

void checkSymmetry(std::string &errors, const SettingsSnapshot &s, const ModelProfile &p)
{
    const std::string twoLines = {LF, LF};
    const float sym = singleValue(s.Symmetry);
    // The frequency in hertz, as the instrument will be sent it.
    const double F =
        LeadingNumber(s.Frequency + "E+" + std::to_string(s.FrequencyMultiplier));

    if (p.ModelIndex == Model::FG5010 && F > 4000000.0 && sym != 50) {
        // Above 4 MHz the FG5010 loses one percent of symmetry at each edge for every
        // 400 kHz, rounded up.
        float k = static_cast<float>(F * 0.0000025);
        if (k != std::trunc(k))
            k = std::trunc(k) + 1;
        const std::string megahertz = s.FrequencyMultiplier == 6 ? s.Frequency
                                                                 : ComputedNumberText(F / 1000000);
        const auto sentence = [&megahertz](float limit, const char *ending) {
            return "For " + megahertz + " MHz" + " Symmetry must be" + " " +
                   std::to_string(static_cast<long>(limit)) + ending;
        };
        if (100 - k < sym)
            append(errors,
                   "Symmetry is out of range (too high)." + std::string(1, LF) +
                       sentence(100 - k, " % or lower."),
                   twoLines);
        else if (sym < k)
            append(errors,
                   "Symmetry is out of range (too low)." + std::string(1, LF) +
                       sentence(k, " % or higher."),
                   twoLines);
        return;
    }

    if (sym > p.MaxSymmetry)
        append(errors, "Symmetry is out of range (too high).", twoLines);
    else if (sym < p.MinSymmetry)
        append(errors, "Symmetry is out of range (too low).", twoLines);
    if (sym != 50 && static_cast<float>(F) > p.FullSpanMaxFrequency) {
        const std::string separator = errors.empty()                               ? ""
                                      : errors.find("Symmetry") != std::string::npos ? "\n"
                                                                                     : twoLines;
        errors += separator + "Frequency is out of range for variable Symmetry.";
    }
}

} // namespace

std::string SettingErrors(int16_t scope, const SettingsSnapshot &s, const ModelProfile &p)
{
    std::string errors;
    if (scope < 2)
        checkAmplitudeAndOffset(errors, s, p);
    if (scope == 0 || scope == 2 || scope == 5)
        checkFrequency(errors, s, p);
    if ((scope == 0 || scope == 3 || scope == 5) && HasSymmetry(p.ModelIndex))
        checkSymmetry(errors, s, p);
    return errors;
}

std::string SettingErrorBoxText(const std::string &errorText, const std::string &ModelName)
{
    return errorText + "\n\nSelect Yes to see the specs of " + ModelName + ".";
}
