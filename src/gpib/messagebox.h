#pragma once

#include <cstdlib>
#include <string>

// The program reports every failure in a modal message box and waits for the answer.
// Everything that shows one goes through this service, so that tests can script the
// answers (a real modal box would block a headless test for ever).
class MessageBoxService
{
public:
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Icon { Critical, Exclamation, Information };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~MessageBoxService() = default;

    // Shows `text` (line feeds break lines) under `title`; returns the button pressed.
    virtual Answer show(const std::string &text, const std::string &title, Buttons buttons,
                        Icon icon) = 0;
};

// "The program ends": after a failure that makes further work pointless, or when the
// user chooses to end it. The running program ends at once, without its shut-down
// sequence (an ended program stores nothing); tests observe the end instead.
class ProgramEnd
{
public:
    virtual ~ProgramEnd() = default;

    [[noreturn]] void end()
    {
        endProgram();
        std::abort(); // an end that came back would run on after a fatal failure
    }

protected:
    // Ends the program; must not return (it may throw, in tests).
    virtual void endProgram() = 0;
};
