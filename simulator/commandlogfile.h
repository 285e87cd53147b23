#pragma once

#include <string>
#include <string_view>

namespace dmmsim {

// The file the meter appends each command line to. Logging never holds the
// meter up: a FIFO without a reader, or one that is full, counts as a file
// that cannot be written. The first failure is reported on stderr and ends
// the logging, so that a bad path is reported once, not once per command.
class CommandLogFile
{
public:
    CommandLogFile() = default;
    ~CommandLogFile();
    CommandLogFile(const CommandLogFile &) = delete;
    CommandLogFile &operator=(const CommandLogFile &) = delete;

    void open(const std::string &path);
    void append(std::string_view line);

private:
    void fail(const char *what, int error);
    void close();

    int m_fd = -1;
    std::string m_path;
};

} // namespace dmmsim
