// The statistics strip over an item built in the test: its numbers against
// Python's statistics module on the same readings, whole and zoomed, the
// readings left out, and redrawn once for a burst of readings.
#include "dmmdata.h"
#include "engprefix.h"
#include "itemdata.h"
#include "statisticsstrip.h"
#include "testrecords.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

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

// A number the strip shows after `name` ("mean 123.45 mV"), in volts.
double shown(const QString &text, const QString &name)
{
    const QRegularExpressionMatch match =
        QRegularExpression(name + QStringLiteral(" (-?[0-9.]+) (\\S?)V")).match(text);
    if (!match.hasMatch())
        return std::nan("");
    const QString prefix = match.captured(2) == QString(QChar(0x03BC)) ? QStringLiteral("u") : match.captured(2);
    return match.captured(1).toDouble() * (prefix.isEmpty() ? 1.0 : EngPrefix::factorOf(prefix).value_or(0));
}

} // namespace

class TestStatisticsStrip : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithPython();
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
    const QString whole = strip.text().section('\n', 0, 0);
    QVERIFY2(whole.startsWith(QStringLiteral("Line1 VOLT: n 196 ")) && whole.contains(QStringLiteral("(4 left out")),
             qPrintable(whole));
    const QList<double> python = pythonStatistics(values);
    QCOMPARE(python.size(), 4);
    const char *names[] = {"mean", "sd", "min", "max"};
    for (int i = 0; i < 4; ++i) {
        // Five significant digits on screen.
        QVERIFY2(std::fabs(shown(whole, names[i]) - python[i]) <= 1e-4 * std::fabs(python[i]),
                 qPrintable(QStringLiteral("%1 | python %2").arg(whole).arg(python[i])));
    }
    QVERIFY(std::fabs(shown(whole, QStringLiteral("p-p")) - (python[3] - python[2])) <= 1e-4 * python[3]);
    QVERIFY(strip.text().section('\n', 1, 1).startsWith(QStringLiteral("Line2 VOLT: n 200   mean 1.2000 V   sd 0.0000 V")));

    // Zoomed to readings 20 ... 69 (49 numbers: one of them is OL).
    strip.setSpan(true, start.addMSecs(20 * 100).toMSecsSinceEpoch(), start.addMSecs(69 * 100).toMSecsSinceEpoch());
    const QString zoomed = strip.text().section('\n', 1, 1);
    QVERIFY2(zoomed.startsWith(QStringLiteral("  zoomed: Line1 VOLT: n 49 ")) && zoomed.contains("(1 left out"),
             qPrintable(zoomed));
    const QList<double> part = pythonStatistics(values.mid(20 - 1, 49)); // the OL at 7 is before
    QVERIFY2(std::fabs(shown(zoomed, QStringLiteral("mean")) - part[0]) <= 1e-4 * part[0], qPrintable(zoomed));
    QVERIFY(std::fabs(shown(zoomed, QStringLiteral("sd")) - part[1]) <= 1e-4 * part[1]);
    strip.setSpan(false, 0, 0);
    QCOMPARE(strip.text().count('\n'), 1);

    // A burst of readings is drawn once, after it.
    for (int i = 0; i < 10; ++i)
        item.appendData(baseline().release());
    QVERIFY(strip.text().startsWith(QStringLiteral("Line1 VOLT: n 196 ")));
    QTRY_VERIFY(strip.text().startsWith(QStringLiteral("Line1 VOLT: n 206 ")));
    strip.setItem(nullptr);
    QVERIFY(strip.text().isEmpty());
}

QTEST_MAIN(TestStatisticsStrip)
#include "tst_statisticsstrip.moc"
