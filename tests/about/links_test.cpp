#include "about/links.h"

#include "about/shell.h"

#include "support/recordingshell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(OpenEmail, BuildsTheMailLink)
{
    const struct
    {
        const char *address;
        const char *subject;
        const char *body;
        const char *link;
    } cases[] = {
        // Prefix added once, kept in whatever letter case it was given.
        {"a@b.org", "", "", "mailto:a@b.org"},
        {"mailto:a@b.org", "", "", "mailto:a@b.org"},
        {"MailTo:a@b.org", "", "", "MailTo:a@b.org"},
        {"MAILTO:a@b.org", "Hi", "", "MAILTO:a@b.org?subject=Hi"},
        {"mailtoa@b.org", "", "", "mailto:mailtoa@b.org"},
        {" mailto:a@b.org", "", "", "mailto: mailto:a@b.org"},
        {"a@b", "", "", "mailto:a@b"},
        {"mailto", "", "", "mailto:mailto"},
        {"", "", "", "mailto:"},
        // Subject and body: "?" before the first, "&" before the second.
        {"a@b.org", "Hi", "", "mailto:a@b.org?subject=Hi"},
        {"a@b.org", "", "Text", "mailto:a@b.org?body=Text"},
        {"a@b.org", "Hi", "Text", "mailto:a@b.org?subject=Hi&body=Text"},
        {"mAiLtO:a@b.org", "Hi", "Text", "mAiLtO:a@b.org?subject=Hi&body=Text"},
        // Inserted as they are, without escaping.
        {"a@b.org", "Wavedial 1.3 & more", "x=1?",
         "mailto:a@b.org?subject=Wavedial 1.3 & more&body=x=1?"},
    };
    for (const auto &c : cases) {
        RecordingShell shell;
        EXPECT_TRUE(OpenEmail(shell, c.address, c.subject, c.body));
        EXPECT_EQ(shell.links, std::vector<std::string>{c.link})
            << c.address << " / " << c.subject << " / " << c.body;
    }
}

TEST(OpenEmail, LeavesOutSubjectAndBodyWhenNotGiven)
{
    RecordingShell shell;
    OpenEmail(shell, "a@b.org");
    OpenEmail(shell, "a@b.org", "Hi");
    EXPECT_EQ(shell.links,
              (std::vector<std::string>{"mailto:a@b.org", "mailto:a@b.org?subject=Hi"}));
}

TEST(OpenEmail, OpensAgainOnEveryCall)
{
    RecordingShell shell;
    for (int i = 0; i < 3; ++i)
        OpenEmail(shell, ContactEmailAddress, EmailSubject);
    EXPECT_EQ(shell.links,
              std::vector<std::string>(3, "mailto:wavedial@example.org?subject=Wavedial"));
}

} // namespace
