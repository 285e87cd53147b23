#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class DmmData;

// One format of the exported table. An export starts a writer with the
// table's column titles, hands it every reading in order and then finishes
// it, or cancels it at any point. The writer writes only to the path given
// (a temporary name the export renames once the writer has finished).
class TableWriter
{
public:
    virtual ~TableWriter() = default;

    // `rows` readings follow; false when the file cannot be begun.
    virtual bool start(const QString &path, const QStringList &titles, qint64 rows) = 0;
    // Reading `number` (from 1); false when it could not be written.
    virtual bool write(qint64 number, const DmmData &reading) = 0;
    // Completes the file; false when that failed. A long completion (a
    // conversion) asks `cancelled` now and then and ends early when it says so.
    virtual bool finish(const std::function<bool()> &cancelled) = 0;
    // Abandons the file, unfinished; the export removes what is left of it.
    virtual void cancel() = 0;

    // What to tell the user when start() failed for a reason they can act
    // on; empty for the usual failure message.
    virtual QString startFailure() const
    {
        return QString();
    }
};
