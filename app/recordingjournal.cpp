#include "recordingjournal.h"

#include "journalsink.h"

#include <QDir>
#include <QStandardPaths>

QString RecordingJournal::folder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("journal"));
}

std::unique_ptr<RecordSink> RecordingJournal::open(const JournalHeader &header)
{
    return std::make_unique<JournalSink>(JournalFormat::newJournalPath(folder(), header.itemName, header.started),
                                         header);
}
