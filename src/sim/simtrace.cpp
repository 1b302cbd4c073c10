#include "sim/simtrace.h"

#include <cerrno>
#include <cstring>

// Binary: the lines end in "\n" on Windows too, so that traces compare across platforms.
SimTraceFile::SimTraceFile(const std::string &path)
    : m_path(path), m_file(std::fopen(path.c_str(), "ab"))
{
    if (!m_file)
        m_error = std::strerror(errno);
}

SimTraceFile::~SimTraceFile()
{
    if (m_file)
        std::fclose(m_file);
}

void SimTraceFile::write(std::string_view line)
{
    if (!m_file)
        return;
    errno = 0;
    const bool written = std::fwrite(line.data(), 1, line.size(), m_file) == line.size() &&
                         std::fputc('\n', m_file) != EOF && std::fflush(m_file) == 0;
    if (written || m_writeFailed)
        return;
    m_writeFailed = true;
    std::fprintf(stderr, "cannot write the trace to %s: %s\n", m_path.c_str(),
                 errno ? std::strerror(errno) : "write error");
}
