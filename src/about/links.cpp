#include "about/links.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr std::string_view MailScheme = "mailto:";

bool StartsWithMailScheme(const std::string &link)
{
    if (link.size() < MailScheme.size())
        return false;
    return std::equal(MailScheme.begin(), MailScheme.end(), link.begin(), [](char m, char c) {
        return m == std::tolower(static_cast<unsigned char>(c));
    });
}

} // namespace

bool OpenEmail(ShellService &shell, const std::string &EmailAddress, const std::string &Subject,
               const std::string &Body)
{
    std::string link = EmailAddress;
    if (!StartsWithMailScheme(link))
        link.insert(0, MailScheme);
    if (!Subject.empty())
        link += "?subject=" + Subject;
    if (!Body.empty()) {
        link += Subject.empty() ? '?' : '&';
        link += "body=";
        link += Body;
    }
    shell.open(link);
    return true;
}
