#pragma once

#include "about/shell.h"

#include <string>

// The desktop's own "open": the mail program for mail links, the browser for web pages.
class QtShell final : public ShellService
{
public:
    void open(const std::string &link) override;
};
