#include "csvtablewriter.h"

#include <QDateTime>

CsvTableWriter::CsvTableWriter(JournalHeader header) : header(std::move(header))
{
}

bool CsvTableWriter::start(const QString &path, const QStringList &, qint64 rows)
{
    this->rows = rows;
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly) && file.write(JournalFormat::headerText(header)) > 0;
}

bool CsvTableWriter::write(qint64 number, const DmmData &reading)
{
    JournalFormat::appendRecordLine(lines, number, reading);
    return lines.size() < BufferedBytes || writeLines();
}

bool CsvTableWriter::writeLines()
{
    const bool written = file.write(lines) == lines.size();
    lines.resize(0); // keeps its capacity
    return written;
}

bool CsvTableWriter::finish(const std::function<bool()> &)
{
    lines += JournalFormat::closingLine(QDateTime::currentDateTime(), rows);
    const bool written = writeLines() && file.flush();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

void CsvTableWriter::cancel()
{
    file.close();
}
