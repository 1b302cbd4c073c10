#include "instrument/readback.h"

#include "text/format.h"
#include "text/numberparse.h"
#include "text/trim.h"

#include <cmath>

namespace {

void removeAll(std::string &s, const std::string &part)
{
    if (part.empty())
        return;
    for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at))
        s.erase(at, part.size());
}

} // namespace

std::string ReplyValue(const std::string &reply, const std::string &header)
{
    std::string s = reply;
    removeAll(s, ";");
    removeAll(s, header);
    return TrimBlanks(s);
}

float VoltsFromReply(const std::string &valueText)
{
    if (valueText.find("E-3") == std::string::npos)
        return static_cast<float>(LeadingNumber(valueText));
    std::string s = valueText;
    removeAll(s, "E-3");
    return static_cast<float>(LeadingNumber(s)) / 1000;
}

FrequencyReading FrequencyFromReply(const std::string &valueText)
{
    std::string s = valueText;
    if (s.find("E-3") != std::string::npos) {
        removeAll(s, "E-3");
        return {0, static_cast<float>(LeadingNumber(s)) / 1000};
    }
    if (s.find("E+3") != std::string::npos) {
        removeAll(s, "E+3");
        return {1, static_cast<float>(LeadingNumber(s))};
    }
    if (s.find("E+6") != std::string::npos) {
        removeAll(s, "E+6");
        return {2, static_cast<float>(LeadingNumber(s))};
    }
    return {0, static_cast<float>(LeadingNumber(s))};
}

int WaveformFromReply(const std::string &valueText)
{
    const std::string code = valueText.substr(0, 2);
    static const std::string codes = "SI SQ TR";
    // The code's 1-based place in the list, a third of it rounded to the option (ties to
    // even): SI 1 -> 0, SQ 4 -> 1, TR 7 -> 2; an empty or unknown code gives sine.
    const size_t at = code.empty() ? std::string::npos : codes.find(code);
    const double place = at == std::string::npos ? 0 : static_cast<double>(at + 1);
    const int option = static_cast<int>(std::nearbyint(place / 3));
    // A lone "R" sits at place 8, which rounds past the last option: unknown, so sine.
    return option <= 2 ? option : 0;
}

bool OutputOnFromReply(const std::string &reply)
{
    return reply.find("ON") != std::string::npos;
}

std::string FieldText(float value, float formatCode)
{
    return TrimBlanks(FormatNumber(value, formatCode));
}
