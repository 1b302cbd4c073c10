#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Appends the simulated bus's trace lines to a file, each flushed at once, so that a
// user (or a test) sees what crossed the bus even if the program ends abruptly.
class SimTraceFile
{
public:
    explicit SimTraceFile(const std::string &path);
    ~SimTraceFile();
    SimTraceFile(const SimTraceFile &) = delete;
    SimTraceFile &operator=(const SimTraceFile &) = delete;

    bool isOpen() const { return m_file != nullptr; }
    void write(std::string_view line);

private:
    std::FILE *m_file = nullptr;
};
