#pragma once

#include <QString>

#include <cstdio>

// Standard error: messages, one line each, and a live status line that is
// redrawn in place, shown only when standard error is a terminal.
class Console
{
public:
    explicit Console(std::FILE *stream = stderr);
    ~Console();

    void message(const QString &text);
    void status(const QString &text);

private:
    void clearStatus();

    std::FILE *m_stream;
    bool m_terminal;
    bool m_statusShown = false;
};
