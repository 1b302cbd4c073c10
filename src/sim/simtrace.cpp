#include "sim/simtrace.h"

SimTraceFile::SimTraceFile(const std::string &path) : m_file(std::fopen(path.c_str(), "a")) {}

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
