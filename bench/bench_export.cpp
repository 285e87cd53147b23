// Spreadsheet export of 1,000, 65,000 and 1,000,000 rows (or the sizes
// given) through LibreOffice Calc: the time to the saved .xls file, its
// size, the longest time the GUI thread's event loop went without running
// (it must stay far below the 3 s after which the meter's link is dropped),
// and the peak resident memory of the program and of the converter.
//
//     bench_export [--out DIR] [--cancel-after MS] [ROWS...]
//
// --out keeps the files in DIR (tableROWS.xls) to be looked at.
// --cancel-after presses Cancel on the progress box that long after the
// start instead, and reports how long the export took to end after it.
#include "datamodel.h"
#include "dmmdata.h"
#include "exporter.h"
#include "testrecords.h"

#include <QApplication>
#include <QDesktopServices>
#include <QProgressDialog>
#include <QPushButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

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

// Peak resident memory in MB of this process, or of its waited-for children.
double peakMb(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Presses Cancel on the progress box once `afterMs` have passed.
class Canceller : public QObject
{
public:
    explicit Canceller(int afterMs) : afterMs(afterMs)
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            if (!progress || clock.elapsed() < this->afterMs || pressed.isValid())
                return;
            pressed.start();
            progress->findChild<QPushButton *>()->click();
        });
        clock.start();
        timer.start(5);
    }
    QElapsedTimer pressed;

private:
    const int afterMs;
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
    int cancelAfterMs = -1;
    while (arguments.size() >= 2 && arguments.first().startsWith(QLatin1String("--"))) {
        if (arguments.first() == QLatin1String("--out"))
            out = arguments[1];
        else if (arguments.first() == QLatin1String("--cancel-after"))
            cancelAfterMs = arguments[1].toInt();
        arguments = arguments.mid(2);
    }
    QList<int> sizes;
    for (const QString &argument : arguments)
        sizes << argument.toInt();
    if (sizes.isEmpty())
        sizes = {1000, 65000, 1000000};

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
        std::unique_ptr<Canceller> canceller;
        if (cancelAfterMs >= 0)
            canceller = std::make_unique<Canceller>(cancelAfterMs);
        const double tableMb = peakMb(RUSAGE_SELF);
        QElapsedTimer clock;
        clock.start();
        Exporter(&window, model, nullptr, nullptr).exportTable(path);
        const double seconds = clock.elapsed() / 1000.0;
        if (canceller) {
            std::printf("%7d rows: Cancel pressed after %.2f s, export ended %lld ms later (file written: %s), "
                        "event loop waited at most %lld ms\n",
                        rows, (clock.elapsed() - canceller->pressed.elapsed()) / 1000.0,
                        static_cast<long long>(canceller->pressed.elapsed()), QFileInfo::exists(path) ? "yes" : "no",
                        static_cast<long long>(stalls.longest));
            continue;
        }
        std::printf("%7d rows: %7.2f s to the .xls file (%.1f MB), event loop waited at most %lld ms, peak RSS "
                    "%.0f MB (%.0f MB with the table alone), converter %.0f MB\n",
                    rows, seconds, QFileInfo(path).size() / 1e6, static_cast<long long>(stalls.longest),
                    peakMb(RUSAGE_SELF), tableMb, peakMb(RUSAGE_CHILDREN));
    }
    return 0;
}

#include "bench_export.moc"
