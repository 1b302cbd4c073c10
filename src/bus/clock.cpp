#include "bus/clock.h"

#include <thread>

Clock::Duration SteadyClock::now() const
{
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::sleepFor(Duration d)
{
    if (d > Duration::zero())
        std::this_thread::sleep_for(d);
}
