// Spreadsheet export of 1,000 and 65,000 rows (or the sizes given) through
// LibreOffice Calc: the time to the saved .xls file, its size, and the
// longest time the GUI thread's event loop went without running, which must
// stay far below the 3 s after which the meter's link is dropped.
//
//     bench_export [--out DIR] [ROWS...]
//
// --out keeps the files in DIR (tableROWS.xls) to be looked at.
#include "datamodel.h"
#include "dmmdata.h"
#include "exporter.h"
#include "testrecords.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Notes the longest gap between ticks of a 5 ms timer.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            longest = qMax(longest, clock.restart());
            // Closes the outcome box, as a user would.
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        clock.start();
        timer.start(5);
    }
    qint64 longest = 0;

private:
    QTimer timer;
    QElapsedTimer clock;
};

// Swallows the request to open the saved file.
class NoOpener : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl &)
    {
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    NoOpener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    QStringList arguments = QApplication::arguments().mid(1);
    QTemporaryDir temporary;
    QString out = temporary.path();
    if (arguments.size() >= 2 && arguments.first() == QLatin1String("--out")) {
        out = arguments[1];
        arguments = arguments.mid(2);
    }
    QList<int> sizes;
    for (const QString &argument : arguments)
        sizes << argument.toInt();
    if (sizes.isEmpty())
        sizes = {1000, 65000};

    const std::unique_ptr<DmmData> record = baseline();
    QWidget window;
    for (int rows : sizes) {
        DataModel model(dataColumns());
        QList<DmmData *> records;
        for (int i = 0; i < rows; ++i)
            records.append(record.get());
        model.setRecords(records);
        const QString path = QDir(out).filePath(QStringLiteral("table%1.xls").arg(rows));

        StallMeter stalls;
        QElapsedTimer clock;
        clock.start();
        Exporter(&window, model, nullptr, nullptr).exportTable(path);
        const double seconds = clock.elapsed() / 1000.0;
        std::printf("%6d rows: %6.2f s to the .xls file (%.1f MB), event loop waited at most %lld ms\n", rows, seconds,
                    QFileInfo(path).size() / 1e6, static_cast<long long>(stalls.longest));
    }
    return 0;
}

#include "bench_export.moc"
