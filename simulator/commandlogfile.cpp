#include "commandlogfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace dmmsim {

CommandLogFile::~CommandLogFile()
{
    close();
}

void CommandLogFile::open(const std::string &path)
{
    close();
    m_path = path;
    m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (m_fd < 0)
        fail("cannot open", errno);
}

void CommandLogFile::append(std::string_view line)
{
    if (m_fd < 0)
        return;
    std::string text(line);
    text += '\n';
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(m_fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            fail("cannot write", errno);
            return;
        }
        written += static_cast<std::size_t>(n);
    }
}

void CommandLogFile::fail(const char *what, int error)
{
    std::cerr << "Simulated meter: " << what << " the command log file " << m_path << " (" << std::strerror(error)
              << "); commands are no longer logged\n";
    close();
}

void CommandLogFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace dmmsim
