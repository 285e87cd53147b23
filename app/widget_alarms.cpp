// The main window's limit alarms and the recording's stop condition.
#include "widget.h"

#include "dlglimits.h"
#include "livedisplay.h"
#include "metersession.h"
#include "ui_widget.h"

#include <QMenu>

void Widget::initAlarms()
{
    ui->lcd->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->lcd, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu menu;
        menu.addAction(tr("Limits..."), this, &Widget::runLimitsDialog);
        menu.exec(ui->lcd->mapToGlobal(at));
    });
}

void Widget::runLimitsDialog()
{
    DlgLimits dialog(this);
    for (int line = 0; line < 2; ++line)
        dialog.setLimits(line, readingWatch.limits().limits(line));
    if (dialog.exec() != QDialog::Accepted)
        return;
    for (int line = 0; line < 2; ++line)
        readingWatch.limits().setLimits(line, dialog.limits(line));
}

std::optional<StopCondition> Widget::stopCondition() const
{
    const QList<StopCondition> &conditions = readingWatch.stopConditions();
    return conditions.isEmpty() ? std::nullopt : std::optional<StopCondition>(conditions.constFirst());
}

void Widget::setWatchOptions(const std::array<LineLimits, 2> &limits, const std::optional<StopCondition> &stop)
{
    for (int line = 0; line < 2; ++line)
        readingWatch.limits().setLimits(line, limits[size_t(line)]);
    readingWatch.setStopConditions(stop ? QList<StopCondition>{*stop} : QList<StopCondition>());
}

void Widget::showAlarm(const AlarmEvent &event)
{
    liveDisplay->setAlarm(event.line, event.raised);
    const QString time = event.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (event.raised) {
        const QString title = tr("Line%1 alarm").arg(event.line + 1);
        slotMessage(tr("%1 %2: %3").arg(time, title, event.detailText()));
        notifier.notify(title, tr("%1 at %2").arg(event.detailText(), time));
    } else {
        slotMessage(tr("%1 Line%2 alarm cleared: %3").arg(time).arg(event.line + 1).arg(event.detailText()));
    }
    session->noteAlarm(event);
    session->forwarder().sendAlarm(event.json());
}

void Widget::stopWhenMet(const QString &reason)
{
    // An alarm never stops recording; a stop condition does.
    if (reason.isEmpty() || !session->isRecording())
        return;
    session->note(QStringLiteral("Stopped: ") + reason);
    setRecording(false);
    slotMessage(tr("Recording stopped: %1").arg(reason));
}
