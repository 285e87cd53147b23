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
    return file.write(JournalFormat::recordLine(number, reading)) > 0;
}

bool CsvTableWriter::finish(const std::function<bool()> &)
{
    const bool written = file.write(JournalFormat::closingLine(QDateTime::currentDateTime(), rows)) > 0 && file.flush();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

void CsvTableWriter::cancel()
{
    file.close();
}
