#pragma once

#include "bus/clock.h"
#include "gpib/eventwaiter.h"
#include "gpib/messagebox.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// Services for benchmarks that drive the program's own code: waits cost nothing (the
// clock jumps), boxes answer at once, and an end of the program is a failed benchmark.
class InstantEvents final : public EventWaiter
{
public:
    explicit InstantEvents(ManualClock &clock) : m_clock(clock) {}
    void processPendingEvents() override {}
    void waitForEvents(Clock::Duration deadline) override
    {
        m_clock.advance(deadline - m_clock.now());
    }

private:
    ManualClock &m_clock;
};

class AnsweringBoxes final : public MessageBoxService
{
public:
    Answer show(const std::string &text, const std::string &title, Buttons buttons, Icon) override
    {
        ++shown;
        std::fprintf(stderr, "unexpected box %s: %s\n", title.c_str(), text.c_str());
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    int shown = 0;
};

class AbortingEnd final : public ProgramEnd
{
protected:
    void endProgram() override
    {
        std::fputs("the program ended during a benchmark\n", stderr);
        std::abort();
    }
};
