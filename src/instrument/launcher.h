#pragma once

#include <cstdint>
#include <string>

// Starts another Wavedial on the same bus for another generator. The program itself
// starts a process; tests observe what it was asked to start.
class GeneratorLauncher
{
public:
    virtual ~GeneratorLauncher() = default;

    // A new Wavedial window for the generator at `address` (1 to 30). False, with `why`,
    // when the process could not be started.
    virtual bool launch(int16_t address, std::string &why) = 0;
};
