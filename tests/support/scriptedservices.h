#pragma once

#include "bus/clock.h"
#include "gpib/eventwaiter.h"
#include "gpib/messagebox.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Records every box and answers from a queue; a box nobody scripted an answer for fails
// the test (and is answered with its first button).
class ScriptedMessageBox final : public MessageBoxService
{
public:
    struct Box
    {
        std::string text;
        std::string title;
        Buttons buttons;
        Icon icon;
    };

    Answer show(const std::string &text, const std::string &title, Buttons buttons,
                Icon icon) override
    {
        boxes.push_back({text, title, buttons, icon});
        if (answers.empty() && respond)
            return respond(boxes.back());
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected box \"" << title << "\": " << text;
            return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
        }
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    std::deque<Answer> answers;
    std::function<Answer(const Box &)> respond; // answers when the queue is empty
    std::vector<Box> boxes;
};

// Thrown where the program would end, so that the procedure that ended it stops there.
struct ProgramEnded
{};

class RecordingProgramEnd final : public ProgramEnd
{
public:
    int ends = 0;

protected:
    [[noreturn]] void endProgram() override
    {
        ++ends;
        throw ProgramEnded{};
    }
};

// Events arrive when the test queues them; a wait handles them and then moves the test
// clock to the deadline, so that no test ever sleeps.
class ScriptedEvents final : public EventWaiter
{
public:
    explicit ScriptedEvents(ManualClock &clock) : m_clock(clock) {}

    void processPendingEvents() override
    {
        while (!pending.empty()) {
            auto event = std::move(pending.front());
            pending.pop_front();
            event();
        }
    }
    void waitForEvents(Clock::Duration deadline) override
    {
        processPendingEvents();
        m_clock.advance(deadline - m_clock.now());
    }

    std::deque<std::function<void()>> pending;

private:
    ManualClock &m_clock;
};
