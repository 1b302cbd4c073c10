#pragma once

#include <functional>

// Where the driver calls run. Without a thread of their own (tests, benchmarks, the
// driver library of the simulator) they run on the caller's thread.
class BusExecutor
{
public:
    virtual ~BusExecutor() = default;

    // Runs `call` and returns once it has returned.
    virtual void run(const std::function<void()> &call) = 0;
};
