// The statistics strip over an item built in the test: its numbers against
// Python's statistics module on the same readings, whole and zoomed, the
// readings left out, and redrawn once for a burst of readings.
#include "chartline.h"
#include "dmmchart.h"
#include "dmmdata.h"
#include "engprefix.h"
#include "itemdata.h"
#include "statisticsstrip.h"
#include "testrecords.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <cmath>
#include <random>

namespace {

// Python's fmean, stdev, min and max of the values.
QList<double> pythonStatistics(const QList<double> &values)
{
    QStringList texts;
    for (double x : values)
        texts << QString::number(x, 'g', 17);
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QStringLiteral("import statistics, sys; v = [float(x) for x in sys.stdin.read().split()]; "
                                                       "print(statistics.fmean(v), statistics.stdev(v), min(v), max(v))")});
    python.write(texts.join(' ').toLatin1());
    python.closeWriteChannel();
    QList<double> result;
    if (!python.waitForFinished(60000))
        return result;
    for (const QByteArray &word : python.readAllStandardOutput().simplified().split(' '))
        result << word.toDouble();
    return result;
}

// The strip's table, a list of cell texts per row.
QList<QStringList> tableOf(const StatisticsStrip &strip)
{
    QTextDocument document;
    document.setHtml(strip.text());
    QList<QStringList> rows;
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    const auto *table = frames.isEmpty() ? nullptr : qobject_cast<QTextTable *>(frames.first());
    for (int row = 0; table && row < table->rows(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columns(); ++column) {
            QTextCursor cursor = table->cellAt(row, column).firstCursorPosition();
            cursor.setPosition(table->cellAt(row, column).lastPosition(), QTextCursor::KeepAnchor);
            cells << cursor.selectedText().trimmed();
        }
        rows << cells;
    }
    return rows;
}

// The value of a cell ("123.45 mV"), in volts.
double volts(const QString &text)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(-?[0-9.]+) (\\S?)V$")).match(text);
    if (!match.hasMatch())
        return std::nan("");
    const QString prefix = match.captured(2) == QString(QChar(0x03BC)) ? QStringLiteral("u") : match.captured(2);
    return match.captured(1).toDouble() * (prefix.isEmpty() ? 1.0 : EngPrefix::factorOf(prefix).value_or(0));
}

// A reading as uploaded from the meter's memory (no time), `value` on line 1.
void appendStored(ItemData &item, const QString &function, double value)
{
    auto record = baseline();
    record->time = QDateTime();
    record->isStore = true;
    record->channels[0]->functions[0] = function;
    record->channels[0]->values[0] = value;
    item.appendData(record.release());
}

} // namespace

class TestStatisticsStrip : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithPython();
    void leftOutColumnOnlyWhenNeeded();
    void zoomedStoredReadings();
    void storedReadingsOfSeveralFunctions();
};

void TestStatisticsStrip::agreesWithPython()
{
    ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
    std::mt19937 generator(3);
    std::normal_distribution<double> noise(0.0, 2e-5);
    QList<double> values;
    const QDateTime start = baseline()->time;
    for (int i = 0; i < 200; ++i) {
        auto record = baseline();
        record->time = start.addMSecs(i * 100);
        const bool overload = i % 50 == 7;
        const double value = 0.0123 + noise(generator);
        record->channels[0]->valueModes[0] = overload ? DmmData::ValueOverload : DmmData::ValueNormal;
        record->channels[0]->values[0] = overload ? DmmData::OverloadSentinel : value;
        record->channels[1]->values[1] = 1.2;
        if (!overload)
            values << value;
        item.appendData(record.release());
    }

    StatisticsStrip strip;
    strip.setItem(&item);
    QList<QStringList> table = tableOf(strip);
    const QStringList titles{"", "n", "mean", "sd", "min", "max", "p-p", "left out"};
    QCOMPARE(table.value(0), titles);
    QCOMPARE(table.size(), 3);
    QCOMPARE(table[1].mid(0, 2), QStringList({"Line1 VOLT", "196"}));
    QCOMPARE(table[1][7], QStringLiteral("4"));
    const QList<double> python = pythonStatistics(values);
    QCOMPARE(python.size(), 4);
    for (int i = 0; i < 4; ++i) {
        // Five significant digits on screen: mean, sd, min, max.
        QVERIFY2(std::fabs(volts(table[1][2 + i]) - python[i]) <= 1e-4 * std::fabs(python[i]),
                 qPrintable(table[1].join(" | ") + QStringLiteral(" | python %1").arg(python[i])));
    }
    QVERIFY(std::fabs(volts(table[1][6]) - (python[3] - python[2])) <= 1e-4 * python[3]);
    QCOMPARE(table[2].mid(0, 4), QStringList({"Line2 VOLT", "200", "1.2000 V", "0.0000 V"}));
    QCOMPARE(table[2][7], QString());

    // Zoomed to readings 20 ... 69 (49 numbers: one of them is OL).
    strip.setSpan(true, 20, 69);
    table = tableOf(strip);
    QCOMPARE(table.size(), 5);
    QCOMPARE(table[2].mid(0, 2), QStringList({"zoomed", "49"}));
    QCOMPARE(table[2][7], QStringLiteral("1"));
    const QList<double> part = pythonStatistics(values.mid(20 - 1, 49)); // the OL at 7 is before
    QVERIFY2(std::fabs(volts(table[2][2]) - part[0]) <= 1e-4 * part[0], qPrintable(table[2].join(" | ")));
    QVERIFY(std::fabs(volts(table[2][3]) - part[1]) <= 1e-4 * part[1]);
    strip.setSpan(false, 0, 0);
    QCOMPARE(tableOf(strip).size(), 3);

    // A burst of readings is drawn once, after it.
    for (int i = 0; i < 10; ++i)
        item.appendData(baseline().release());
    QCOMPARE(tableOf(strip)[1][1], QStringLiteral("196"));
    QTRY_COMPARE(tableOf(strip)[1][1], QStringLiteral("206"));
    strip.setItem(nullptr);
    QVERIFY(strip.text().isEmpty());
}

// Without readings left out, no column for them: the strip stays narrow.
void TestStatisticsStrip::leftOutColumnOnlyWhenNeeded()
{
    ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
    item.appendData(baseline().release());
    StatisticsStrip strip;
    strip.setItem(&item);
    QCOMPARE(tableOf(strip).value(0).size(), 7);
}

// Readings from the meter's memory have no time: the strip sums up the
// readings the chart zoomed to all the same.
void TestStatisticsStrip::zoomedStoredReadings()
{
    ItemData item(QStringLiteral("Store Data"), ItemData::StoreData);
    for (int i = 0; i < 400; ++i)
        appendStored(item, QStringLiteral("VOLT"), i);
    DMMChart chart;
    chart.resize(800, 600);
    StatisticsStrip strip;
    connect(&chart, &DMMChart::visibleSpanChanged, &strip, &StatisticsStrip::setSpan);
    strip.setItem(&item);
    chart.showReadings(item.store());
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.grab();
    QTest::mousePress(&chart, Qt::LeftButton, {}, {180, 200});
    QTest::mouseMove(&chart, {380, 300});
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, {380, 300});
    const ChartLine *line = chart.lines().constFirst();
    QVERIFY(line->first() > 0 && line->visibleCount() < 200);
    const QList<QStringList> table = tableOf(strip);
    QCOMPARE(table.size(), 5);
    QCOMPARE(table[2].mid(0, 2), QStringList({"zoomed", QString::number(line->visibleCount())}));
    QCOMPARE(volts(table[2][4]), double(line->first())); // min
}

// The meter's memory holds readings of any function: volts and dBm are
// counted, never summed up together.
void TestStatisticsStrip::storedReadingsOfSeveralFunctions()
{
    ItemData item(QStringLiteral("Store Data"), ItemData::StoreData);
    for (int i = 0; i < 4; ++i)
        appendStored(item, i < 2 ? QStringLiteral("VOLT") : QStringLiteral("DBM"), i < 2 ? 0.001 : -20.0);
    StatisticsStrip strip;
    strip.setItem(&item);
    const QList<QStringList> table = tableOf(strip);
    QCOMPARE(table.size(), 3);
    QCOMPARE(table[1], QStringList({"Line1 VOLT/DBM", "4", "", "", "", "", ""}));
    QCOMPARE(table[2].mid(0, 3), QStringList({"Line2 VOLT", "4", "0.0000 V"}));
}

QTEST_MAIN(TestStatisticsStrip)
#include "tst_statisticsstrip.moc"
