#pragma once

#include <string>

// The desktop's "open": hands a link (a mail link or a web page) to the program the
// user registered for it. Nothing waits for or checks the outcome.
class ShellService
{
public:
    virtual ~ShellService() = default;
    virtual void open(const std::string &link) = 0;
};
