#pragma once

#include "about/shell.h"

#include <string>
#include <vector>

// Records the links handed to the desktop instead of opening them.
class RecordingShell final : public ShellService
{
public:
    void open(const std::string &link) override { links.push_back(link); }
    std::vector<std::string> links;
};
