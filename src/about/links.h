#pragma once

#include "about/shell.h"

#include <string>

// Where the About window sends its users: the maker's mailbox, the word that names the
// product in a mail's subject, the download page, and the credit line beside them.
inline constexpr const char *ContactEmailAddress = "wavedial@example.org";
inline constexpr const char *EmailSubject = "Wavedial";
inline constexpr const char *DownloadPage = "https://example.org/wavedial/download";
inline constexpr const char *CreditLine = "Written by the Wavedial developers";

// Starts a new mail message: builds "mailto:" + address, then "?subject=" + Subject and
// "?body=" or "&body=" + Body for each that is not empty, and hands the link to the
// shell. An address that already begins with "mailto:" (in any letter case) is not
// prefixed again. Subject and body go in as they are, unescaped. The shell's outcome
// is not known here, so the result only says that the link was handed over: always
// true.
bool OpenEmail(ShellService &shell, const std::string &EmailAddress,
               const std::string &Subject = "", const std::string &Body = "");
