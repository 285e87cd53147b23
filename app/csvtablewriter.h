#pragma once

#include "journalformat.h"
#include "tablewriter.h"

#include <QFile>

// The table in the journal's own CSV format: the item's header, one line per
// reading and the closing line, so that the program opens it as a journal.
class CsvTableWriter : public TableWriter
{
public:
    explicit CsvTableWriter(JournalHeader header);

    bool start(const QString &path, const QStringList &titles, qint64 rows) override;
    bool write(qint64 number, const DmmData &reading) override;
    bool finish(const std::function<bool()> &cancelled) override;
    void cancel() override;

private:
    // Lines are written to the file in blocks of about this size.
    static constexpr int BufferedBytes = 1 << 16;

    bool writeLines();

    JournalHeader header;
    QFile file;
    QByteArray lines;
    qint64 rows = 0;
};
