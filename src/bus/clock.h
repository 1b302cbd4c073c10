#pragma once

#include <chrono>

// Monotonic time for everything on the bus that waits: a driver call that waits out a
// timeout, and the program's pauses between a query and its reply. The running program
// uses the steady clock; tests use a clock they advance themselves, so that a 3 s bus
// timeout costs them nothing.
class Clock
{
public:
    using Duration = std::chrono::nanoseconds;

    virtual ~Clock() = default;

    // Time since an arbitrary fixed point; never goes backwards.
    virtual Duration now() const = 0;

    // Blocks the calling thread for `d` (a driver call waiting on the bus does this).
    virtual void sleepFor(Duration d) = 0;
};

class SteadyClock final : public Clock
{
public:
    Duration now() const override;
    void sleepFor(Duration d) override;
};

// A clock that only moves when told to: sleeping advances it at once.
class ManualClock final : public Clock
{
public:
    Duration now() const override { return m_now; }
    void sleepFor(Duration d) override { advance(d); }
    void advance(Duration d)
    {
        if (d > Duration::zero())
            m_now += d;
    }

private:
    Duration m_now{std::chrono::hours(1)};
};
