#pragma once

#include "linelimits.h"
#include "stopcondition.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The settings file options.xml: window layout, language and the driver's
// sampling options, one element each under <options>, then whether a lost
// link is reconnected automatically, where readings are sent, then the
// display lines' limits and the recording's stop condition.
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
        bool journal = true; // recordings are written to journal files
        bool reconnect = true; // after a lost link
        QString sendInflux;    // InfluxDB's write endpoint readings are sent to; empty: none
        QString sendMqtt;      // the MQTT broker they are published to; empty: none
        LineLimits limits[2];  // of the display lines; none at first
        std::optional<StopCondition> stopCondition; // of a recording
    };

    enum class WriteResult {
        Written,
        CannotWrite,     // the old file, if any, is kept as it was
        NotARegularFile, // something else stands at the path: left alone
    };

    explicit OptionsFile(const QString &path);

    // Beside the program when its directory is writable (a portable build),
    // else in the per-user configuration directory (a system install).
    static QString defaultPath();
    static QString pathFor(const QString &programDir);

    QString path() const;

    // Reads the file over `values`: each known element replaces its field,
    // everything else is left as it was; numbers outside the options dialog's
    // ranges are clamped into them. A missing file, or anything but a regular
    // file, changes nothing; in a malformed file the elements before the
    // error still count.
    void read(Values &values) const;

    // Replaces the file with `values`, or the regular file a symbolic link at
    // the path leads to. A file that could not be read is kept first as
    // options.xml.bad beside it, so that a mistyped hand edit is not lost.
    WriteResult write(const Values &values) const;

private:
    QString writeTarget() const;

    QString m_path;
};
