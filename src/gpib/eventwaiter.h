#pragma once

#include "bus/clock.h"

// How a wait on the bus keeps the window alive: the program has one thread, and while it
// waits for an instrument the user may still click and type. The running program uses the
// Qt event loop; tests handle their scripted events and move their clock instead.
class EventWaiter
{
public:
    virtual ~EventWaiter() = default;

    // Handles the events that are pending now, once, and returns.
    virtual void processPendingEvents() = 0;

    // Handles events as they come and sleeps between them, until `deadline` (on the
    // program's clock) has passed or the event loop is told to quit.
    virtual void waitForEvents(Clock::Duration deadline) = 0;
};

// The running program's waiter: a nested Qt event loop that a timer ends at the
// deadline, so a wait costs no processor time between events.
class QtEventWaiter final : public EventWaiter
{
public:
    explicit QtEventWaiter(Clock &clock) : m_clock(clock) {}
    void processPendingEvents() override;
    void waitForEvents(Clock::Duration deadline) override;

private:
    Clock &m_clock;
};
