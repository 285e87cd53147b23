// Table export of an item's readings in each format: the time to the file,
// its size, the longest time the GUI thread's event loop went without
// running (the meter's link is dropped after 3 s), how far the program's
// resident memory grew over what it held before, and for .xls the peak
// resident memory of the converter.
//
//     bench_export [--out DIR] [--cancel-after MS] [FORMAT:ROWS...]
//
// FORMAT is xlsx, csv or xls; the default runs xlsx:1000000 xlsx:10000000
// csv:1000000 xls:65000 xls:1000000. --out keeps the files in DIR
// (tableROWS.FORMAT) to be looked at. --cancel-after presses Cancel on the
// progress box that long after the start instead, and reports how long the
// export took to end after it.
#include "csvtablewriter.h"
#include "datamodel.h"
#include "dmmdata.h"
#include "exporter.h"
#include "readingstore.h"
#include "testrecords.h"
#include "xlstablewriter.h"
#include "xlsxtablewriter.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// User and system time of this process (all its threads), in seconds: the
// measure that holds on a machine busy with other work.
double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toDouble() * double(::sysconf(_SC_PAGESIZE)) / 1e6;
}

// Notes the longest gap between ticks of a 5 ms timer and the highest
// resident memory seen at them; closes the outcome box as a user would.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            longest = qMax(longest, clock.restart());
            highestMb = qMax(highestMb, residentMb());
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        clock.start();
        timer.start(5);
    }
    qint64 longest = 0;
    double highestMb = 0;

private:
    QTimer timer;
    QElapsedTimer clock;
};

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

// Readings a second apart with changing values, as a day's recording gives,
// stamped in local time as live readings are. Past the first thousand the
// values repeat, and readings are appended as a long journal's are read.
std::shared_ptr<ReadingStore> readings(qint64 rows)
{
    constexpr qint64 Distinct = 1000;
    auto store = std::make_shared<ReadingStore>();
    std::unique_ptr<DmmData> record = baseline();
    const QDateTime start = record->time;
    for (qint64 i = 0; i < qMin(rows, Distinct); ++i) {
        record->time = start.addMSecs(i * 1000);
        record->channels[0]->valueTexts[0] = QString::number(10 + i % 1000 * 0.001, 'f', 3);
        store->append(*record);
    }
    for (qint64 i = Distinct; i < rows; ++i) {
        StoredReading own = store->own(i % Distinct);
        own.msecs = store->msecsAt(0) + i * 1000;
        store->appendLikeLast(own);
    }
    return store;
}

std::unique_ptr<TableWriter> writerFor(const QString &format)
{
    if (format == QLatin1String("xlsx"))
        return std::make_unique<XlsxTableWriter>();
    if (format == QLatin1String("csv"))
        return std::make_unique<CsvTableWriter>(JournalHeader());
    return std::make_unique<XlsTableWriter>();
}

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
    if (arguments.isEmpty())
        arguments = QStringList{"xlsx:1000000", "xlsx:10000000", "csv:1000000", "xls:65000", "xls:1000000"};

    QStringList titles;
    for (const DataColumn &column : dataColumns())
        titles << column.title;
    QWidget window;
    for (const QString &argument : arguments) {
        const QString format = argument.section(QLatin1Char(':'), 0, 0);
        const qint64 rows = argument.section(QLatin1Char(':'), 1).toLongLong();
        std::shared_ptr<ReadingStore> store = readings(rows);
        const QString path = QDir(out).filePath(QStringLiteral("table%1.%2").arg(rows).arg(format));
        const std::unique_ptr<TableWriter> writer = writerFor(format);

        std::unique_ptr<Canceller> canceller;
        if (cancelAfterMs >= 0)
            canceller = std::make_unique<Canceller>(cancelAfterMs);
        const double beforeMb = residentMb();
        const double cpuBefore = cpuSeconds() + cpuSeconds(RUSAGE_CHILDREN);
        StallMeter stalls;
        QElapsedTimer clock;
        clock.start();
        Exporter(&window, store, JournalHeader(), titles, nullptr, nullptr).exportTable(*writer, path, true);
        const double seconds = clock.elapsed() / 1000.0;
        if (canceller) {
            std::printf("%-4s %8lld rows: Cancel pressed after %.2f s, export ended %lld ms later (file written: "
                        "%s), event loop waited at most %lld ms\n",
                        qPrintable(format), rows, (clock.elapsed() - canceller->pressed.elapsed()) / 1000.0,
                        static_cast<long long>(canceller->pressed.elapsed()), QFileInfo::exists(path) ? "yes" : "no",
                        static_cast<long long>(stalls.longest));
        } else {
            rusage children{};
            getrusage(RUSAGE_CHILDREN, &children);
            std::printf("%-4s %8lld rows: %7.2f s to the file (%.2f s of CPU, converter included; %.1f MB), event "
                        "loop waited at most %lld ms, resident memory grew %.0f MB (from %.0f MB)%s\n",
                        qPrintable(format), rows, seconds, cpuSeconds() + cpuSeconds(RUSAGE_CHILDREN) - cpuBefore,
                        QFileInfo(path).size() / 1e6,
                        static_cast<long long>(stalls.longest), qMax(0.0, stalls.highestMb - beforeMb), beforeMb,
                        format == QLatin1String("xls")
                            ? qPrintable(QStringLiteral(", converter peak %1 MB").arg(children.ru_maxrss / 1024))
                            : "");
        }
        std::fflush(stdout);
        if (out == temporary.path())
            QFile::remove(path);
    }
    return 0;
}

#include "bench_export.moc"
