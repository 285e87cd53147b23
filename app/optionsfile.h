#pragma once

#include <QByteArray>
#include <QString>

// The settings file options.xml: window layout, language and the driver's
// sampling options, one element each under <options>.
class OptionsFile
{
public:
    struct Values
    {
        QByteArray geometry; // empty: keep the built placement
        QByteArray state;    // empty: keep the built tool bars
        QByteArray splitter; // empty: keep the built splitter
        bool fixedLanguage = false;
        QString language;
        int samplePoints = 2147483647;
        bool infinite = true;
        int sampleRate = 0;
        bool skipRepeat = false;
    };

    explicit OptionsFile(const QString &path);

    // Beside the program when its directory is writable (a portable build),
    // else in the per-user configuration directory (a system install).
    static QString defaultPath();
    static QString pathFor(const QString &programDir);

    // Reads the file over `values`: each known element replaces its field,
    // everything else is left as it was. A missing file changes nothing; in a
    // malformed file the elements before the error still count.
    void read(Values &values) const;

    // Replaces the file with `values`; false when it cannot be written.
    bool write(const Values &values) const;

private:
    QString m_path;
};
