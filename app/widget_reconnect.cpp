// A lost link reconnected automatically: what the window says and shows
// while the session looks for the meter. The recording goes on into the
// same item once the link is back, unless the user stopped it meanwhile.
#include "widget.h"

#include "metersession.h"

#include <QMessageBox>

void Widget::endReconnect()
{
    session->endReconnect();
    if (lossWarning)
        lossWarning->close();
}

void Widget::slotLinkLost(const QString &text)
{
    slotMessage(text);
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

void Widget::slotLinkRestored(const QString &text)
{
    slotMessage(text);
    if (lossWarning)
        lossWarning->close();
}
