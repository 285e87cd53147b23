#pragma once

#include "journalreader.h"

#include <QDialog>
#include <QList>

// Offers to bring back the recordings of journals that a crash left open:
// item name, number of readings and time span of each. Accepted means restore.
class DlgRestore : public QDialog
{
    Q_OBJECT
public:
    DlgRestore(const QList<JournalSummary> &journals, const QString &folder, QWidget *parent = nullptr);
};
