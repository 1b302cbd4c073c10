#include "sim/simtrace.h"

// Binary: the lines end in "\n" on Windows too, so that traces compare across platforms.
SimTraceFile::SimTraceFile(const std::string &path) : m_file(std::fopen(path.c_str(), "ab")) {}

SimTraceFile::~SimTraceFile()
{
    if (m_file)
        std::fclose(m_file);
}

void SimTraceFile::write(std::string_view line)
{
    if (!m_file)
        return;
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}
