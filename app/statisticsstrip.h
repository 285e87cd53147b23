#pragma once

#include "moments.h"

#include <QLabel>
#include <QList>
#include <QPointer>
#include <QTimer>

class ItemData;

// A compact strip of statistics of the active item's display lines: n, mean,
// sample standard deviation, minimum, maximum and peak-to-peak over the whole
// item, and over the readings the chart shows while it is zoomed, as a
// small table with a row per line and span. Read from
// the store's summary, never by walking the readings; redrawn at most five
// times a second however fast readings arrive. The text can be selected.
class StatisticsStrip : public QLabel
{
    Q_OBJECT
public:
    static constexpr int MinimumUpdateMs = 200;

    explicit StatisticsStrip(QWidget *parent = nullptr);

    // The item whose readings it sums up; null shows nothing.
    void setItem(const ItemData *item);
    // The chart shows readings `first` to `last` (indices, both inclusive)
    // when `zoomed`, else all of them.
    void setSpan(bool zoomed, qint64 first, qint64 last);
    // Recomputes the text now.
    void refresh();

private:
    // One row of the table: a display line, whole or zoomed.
    struct Row {
        QString title;
        QString function;
        bool oneUnit; // its readings are of one function
        Moments moments;
        qint64 leftOut;
    };

    void scheduleRefresh();
    QString table(const QList<Row> &rows) const;

    QPointer<const ItemData> item;
    QMetaObject::Connection appendedConnection;
    QMetaObject::Connection clearedConnection;
    bool zoomed = false;
    qint64 spanFirst = 0;
    qint64 spanLast = 0;
    QTimer pending;
};
