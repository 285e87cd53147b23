#pragma once

#include "forwardergroup.h"
#include "linelimits.h"
#include "settingrequest.h"
#include "stopcondition.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the dmmlog command line asks for.
struct LogOptions
{
    enum class Format { Csv, JsonLines, InfluxLines };

    bool help = false;
    bool list = false;
    QString resource;       // empty: the first meter found
    QString outputPath;     // empty: standard output ("-" on the command line)
    Format format = Format::Csv;
    int intervalMs = 0;     // the driver's sample rate; 0: every live pass
    qint64 samples = 0;     // 0: no limit
    qint64 durationMs = 0;  // 0: no limit
    bool reconnect = true;
    QList<SettingRequest> settings;
    ForwardSettings forward;   // where the journal's readings are sent
    QString forwardPath;       // an earlier journal to send, instead of logging
    int flushTimeoutMs = 30000; // at the end, how long a server may take nothing
    LineLimits limits[2];               // per display line; unset: no alarm
    QList<StopCondition> stopConditions; // any one met ends the log

    // Null `error` on success; otherwise what is wrong, in one line.
    static LogOptions parse(const QStringList &arguments, QString *error);
    static const char *usage();
};

// "1h30m", "90s", "2d", "1.5h", "500ms"; a bare number counts seconds. -1 when
// it is none of these or not above zero.
qint64 parseDuration(const QString &text);
