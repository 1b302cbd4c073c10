#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

// Read buffers are filled with blanks before a read, so the text that came off the bus
// is what is left between the blanks.
inline std::string TrimBlanks(std::string_view s)
{
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

// Without the white space (blanks, tabs, line ends) at both ends.
inline std::string_view TrimSpace(std::string_view s)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

// A whole decimal number that is the whole text ("12"; not "12a", " 12" or "").
inline std::optional<int> WholeNumber(std::string_view text)
{
    int value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}
