// A lost link reconnected automatically: what the window says and shows
// while the reconnect logic looks for the meter, and the recording that
// goes on into the same item once it is back.
#include "widget.h"

#include "linktexts.h"
#include "reconnector.h"
#include "recorder.h"
#include "recordingjournal.h"

#include <QMessageBox>

void Widget::watchLink()
{
    if (autoReconnect)
        reconnector->start();
}

void Widget::endReconnect()
{
    reconnector->stop();
    if (resumeRecording)
        recorder->setRecording(false); // the paused recording's journal ends
    resumeRecording = false;
    if (lossWarning)
        lossWarning->close();
}

void Widget::slotLinkLost(const QDateTime &at)
{
    resumeRecording = recordingAtClose;
    slotMessage(LinkTexts::linkLost(at));
    // The warning of a lost link, once per loss; not modal, so that the
    // reconnect goes on behind it, and closed again when the link is back.
    if (lossWarning)
        return;
    lossWarning = new QMessageBox(QMessageBox::Warning, QString(), tr("Communication timed out, please reconnect."),
                                  QMessageBox::Ok, this);
    lossWarning->setAttribute(Qt::WA_DeleteOnClose);
    lossWarning->setWindowModality(Qt::NonModal);
    lossWarning->show();
}

void Widget::slotLinkRestored(const QDateTime &lostAt, const QDateTime &backAt)
{
    slotMessage(LinkTexts::linkRestored(lostAt, backAt, resumeRecording));
    if (resumeRecording)
        journal->noteGap(lostAt, backAt);
    resumeRecording = false;
    if (lossWarning)
        lossWarning->close();
}
