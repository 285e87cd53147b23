#pragma once

#include "journalformat.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class DMMChart;
class QTabWidget;
class QWidget;
class ReadingStore;
class TableWriter;

// The Export action: the active item's readings as a table (.xls, .xlsx or
// CSV), or the trend chart as a picture (JPG, PNG or SVG). A table is
// written from the item's store in a thread of its own while a progress box
// with Cancel shows how far it is.
class Exporter
{
    Q_DECLARE_TR_FUNCTIONS(Exporter)
public:
    // `store` holds the item's readings, `header` is what its CSV says
    // above them and `titles` are the data table's column titles.
    Exporter(QWidget *window, std::shared_ptr<const ReadingStore> store, JournalHeader header, QStringList titles,
             QTabWidget *tabs, DMMChart *chart);

    // Asks what to export and where to, then writes it. Returns the path
    // written, empty when nothing was.
    QString run();
    // Writes the item's readings to `path` through `writer` and tells the
    // user how it went; a written .xls is then opened.
    bool exportTable(TableWriter &writer, const QString &path, bool openWhenWritten = false);
    // Shows every tab once, so that the chart is laid out, then saves it;
    // an .svg path gives a vector picture, any other the image its suffix names.
    bool exportChart(const QString &path);

    // What an item's CSV says above its readings: the header it was
    // recorded or read with (`origin`) when it has one, else its name and
    // the time of its first reading.
    static JournalHeader csvHeader(const QString &itemName, const std::optional<JournalHeader> &origin,
                                   const ReadingStore &store);

private:
    void inform(const QString &text);
    QString askPath(const QString &caption, const QString &folder, const QStringList &filters);

    QWidget *window;
    const std::shared_ptr<const ReadingStore> store;
    const JournalHeader header;
    const QStringList titles;
    QTabWidget *tabs;
    DMMChart *chart;
};
