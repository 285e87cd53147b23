#include "console.h"

#include <sys/ioctl.h>
#include <unistd.h>

Console::Console(std::FILE *stream) : m_stream(stream), m_statusWanted(::isatty(::fileno(stream)) == 1) {}

Console::~Console()
{
    // The last status stays on screen, above the shell's prompt.
    if (m_statusShown)
        std::fputc('\n', m_stream);
}

void Console::setReadingsOnStandardOutput(bool on)
{
    if (on && ::isatty(STDOUT_FILENO) == 1)
        m_statusWanted = false;
}

void Console::message(const QString &text)
{
    clearStatus();
    std::fprintf(m_stream, "dmmlog: %s\n", text.toLocal8Bit().constData());
    std::fflush(m_stream);
}

void Console::status(const QString &text)
{
    if (!m_statusWanted)
        return;
    // Within the terminal's width: a line that wraps is not taken back by
    // the carriage return, and each redraw would leave a line behind.
    winsize size{};
    const int columns = ::ioctl(::fileno(m_stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
    const QString shown = columns > 1 && text.size() >= columns ? text.left(columns - 1) : text;
    // Back to the line's start, the text, the rest of the line erased.
    std::fprintf(m_stream, "\r%s\x1b[K", shown.toLocal8Bit().constData());
    std::fflush(m_stream);
    m_statusShown = true;
}

void Console::clearStatus()
{
    if (!m_statusShown)
        return;
    std::fputs("\r\x1b[K", m_stream);
    m_statusShown = false;
}
