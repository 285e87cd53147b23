#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Where the log goes: a new file, or standard output. An existing file is
// never overwritten or added to: it holds an earlier log. Every text
// is handed to the system as soon as it is written, so that `tail -f` sees
// it and a crash loses nothing already written.
class LogOutput
{
public:
    // Empty `path`: standard output.
    explicit LogOutput(const QString &path);

    bool open();
    bool write(const QByteArray &text);
    // What went wrong with the last open() or write().
    QString errorText() const;
    // The file's name, or "standard output".
    QString name() const;

private:
    QString m_path;
    QFile m_file;
};
