#pragma once

#include "dmmdata.h"
#include "journalformat.h"

#include <QFile>
#include <QString>

#include <memory>
#include <vector>


struct FollowedReading
{
    qint64 seq = 0; // its number in the journal
    std::unique_ptr<DmmData> record;
    qint64 end = 0; // the file position just after its line
};

// Reads a journal from a position on, whole lines only, as its writer
// appends to it: a line not yet ended by its line feed is read once it is.
// `#` lines and the header row are passed over, the header comments kept.
class JournalFollower
{
public:
    explicit JournalFollower(const QString &path);

    // Up to `limit` readings after position(), which moves past them (and
    // past any other whole lines read on the way).
    std::vector<FollowedReading> readMore(int limit);
    qint64 position() const { return m_position; }
    // Back to a position an earlier read returned, to read again from there.
    void rewind(qint64 position);
    // Readings after `position` up to the end of the file, counted without
    // being read in full.
    qint64 readingsAfter(qint64 position);
    // The name of the meter that made the journal, from its header.
    QString meter() const;
    QString path() const { return m_path; }
    // The file read is no longer in its folder: removed, or replaced by a
    // new file of that name.
    bool isRemoved() const;

private:
    bool ensureOpen();

    QString m_path;
    QFile m_file;
    qint64 m_position = 0;
    JournalHeader m_header;
};
