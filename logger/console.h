#pragma once

#include <QString>

#include <cstdio>

// Standard error: messages, one line each, and a live status line that is
// redrawn in place, shown only when standard error is a terminal that the
// readings themselves do not go to.
class Console
{
public:
    explicit Console(std::FILE *stream = stderr);

    // The readings go to standard output: a status line between them on the
    // same terminal would garble them.
    void setReadingsOnStandardOutput(bool on);
    ~Console();

    void message(const QString &text);
    void status(const QString &text);

private:
    void clearStatus();

    std::FILE *m_stream;
    bool m_statusWanted;
    bool m_statusShown = false;
};
