#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Appends the simulated bus's trace lines to a file, each flushed at once, so that a
// user (or a test) sees what crossed the bus even if the program ends abruptly. A write
// that fails (a full disk) is told once on standard error: the trace is then incomplete.
class SimTraceFile
{
public:
    explicit SimTraceFile(const std::string &path);
    ~SimTraceFile();
    SimTraceFile(const SimTraceFile &) = delete;
    SimTraceFile &operator=(const SimTraceFile &) = delete;

    bool isOpen() const { return m_file != nullptr; }
    // Why the file could not be opened, as the system says it.
    const std::string &error() const { return m_error; }
    void write(std::string_view line);

private:
    std::string m_path;
    std::FILE *m_file = nullptr;
    std::string m_error;
    bool m_writeFailed = false;
};
