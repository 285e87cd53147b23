#include "logoutput.h"

#include <unistd.h>

LogOutput::LogOutput(const QString &path) : m_path(path) {}

bool LogOutput::open()
{
    if (m_path.isEmpty())
        return m_file.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_file.setFileName(m_path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
}

bool LogOutput::write(const QByteArray &text)
{
    return m_file.write(text) == text.size();
}

QString LogOutput::errorText() const
{
    return m_file.errorString();
}

QString LogOutput::name() const
{
    return m_path.isEmpty() ? QStringLiteral("standard output") : m_path;
}
