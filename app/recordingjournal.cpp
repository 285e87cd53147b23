#include "recordingjournal.h"

#include "itemdata.h"
#include "journalwriter.h"

#include <QDir>
#include <QStandardPaths>

RecordingJournal::RecordingJournal(HeaderSource headerSource, QObject *parent)
    : QObject(parent), headerSource(std::move(headerSource))
{
    connect(&forwarding, &RecordingForwarder::message, this, &RecordingJournal::message);
}

RecordingJournal::~RecordingJournal() = default;

QString RecordingJournal::folder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("journal"));
}

bool RecordingJournal::isEnabled() const
{
    return enabled;
}

void RecordingJournal::setEnabled(bool on)
{
    enabled = on;
    if (!on)
        end();
}

JournalHeader RecordingJournal::headerFor(const ItemData &item) const
{
    JournalHeader header = headerSource();
    header.itemName = item.name();
    header.started = QDateTime::currentDateTime();
    return header;
}

void RecordingJournal::keep(const DmmData &record, const ItemData &item)
{
    if (!enabled)
        return;
    if (writer && writtenItem != &item)
        end();
    const bool starting = !writer;
    if (starting) {
        const JournalHeader header = headerFor(item);
        writer = std::make_unique<JournalWriter>(
            JournalFormat::newJournalPath(folder(), header.itemName, header.started), header);
        connect(writer.get(), &JournalWriter::failed, this, &RecordingJournal::message);
        connect(writer.get(), &JournalWriter::recovered, this, &RecordingJournal::message);
        writtenItem = &item;
    }
    writer->append(record);
    // The file, and so its name, is made with the first line.
    if (starting)
        forwarding.journalStarted(writer->path());
}

void RecordingJournal::end()
{
    writer.reset();
    forwarding.journalEnded();
    writtenItem = nullptr;
}

void RecordingJournal::noteGap(const QDateTime &lost, const QDateTime &resumed)
{
    if (writer)
        writer->appendComment(tr("Link lost: %1; resumed: %2")
                                  .arg(QString::fromLatin1(JournalFormat::isoTime(lost)),
                                       QString::fromLatin1(JournalFormat::isoTime(resumed))));
}
