#include "dmmdata.h"
#include "limitwatcher.h"
#include "linestatistics.h"
#include "stopcondition.h"

#include <QtTest>

#include <cmath>
#include <random>

namespace {

// A reading of LINE1 (CH1) and LINE2 (CH2), both VOLT; a sentinel value
// gives the record the meter's mode for it.
std::unique_ptr<DmmData> reading(double line1, double line2 = 1.2, int second = 0)
{
    auto record = std::make_unique<DmmData>();
    record->time = QDateTime(QDate(2026, 12, 8), QTime(6, 0, second), Qt::UTC);
    for (int line = 0; line < 2; ++line) {
        ChannelData *channel = record->channels[line];
        const double value = line == 0 ? line1 : line2;
        record->lines[line]->channel = channel;
        channel->functions[line] = QStringLiteral("VOLT");
        channel->values[line] = value;
        channel->valueModes[line] = value == DmmData::OverloadSentinel ? DmmData::ValueOverload
                                    : value == DmmData::LowSentinel    ? DmmData::ValueLow
                                    : value == DmmData::NoneSentinel   ? DmmData::ValueNone
                                                                       : DmmData::ValueNormal;
        channel->unitTexts[line] = QStringLiteral("V");
    }
    return record;
}

} // namespace

class TestStats : public QObject
{
    Q_OBJECT
private slots:
    void momentsKeepSmallNoiseOnLargeValues();
    void statisticsLines();
    void alarms_data();
    void alarms();
    void stopConditions();
};

// 10^7 readings of 1000 V with 1 uV of noise, added one by one and merged in
// chunks: the sample sd agrees with a two-pass sum in long double to 1e-6.
void TestStats::momentsKeepSmallNoiseOnLargeValues()
{
    constexpr qint64 Count = 10'000'000;
    const auto noise = [] { return std::normal_distribution<double>(0.0, 1e-6); };
    std::mt19937_64 generator(7);
    auto distribution = noise();
    Moments whole;
    Moments chunk;
    Moments merged;
    long double sum = 0;
    for (qint64 i = 0; i < Count; ++i) {
        const double x = 1000.0 + distribution(generator);
        whole.add(x);
        chunk.add(x);
        sum += x;
        if (chunk.n == 65536 || i + 1 == Count) {
            merged.merge(chunk);
            chunk = Moments();
        }
    }
    const long double mean = sum / Count;
    generator.seed(7);
    distribution = noise();
    long double squares = 0;
    for (qint64 i = 0; i < Count; ++i) {
        const long double deviation = (1000.0 + distribution(generator)) - mean;
        squares += deviation * deviation;
    }
    const double sd = double(std::sqrt(squares / (Count - 1)));
    QCOMPARE(whole.n, Count);
    QCOMPARE(merged.n, Count);
    QVERIFY2(std::fabs(whole.sampleSd() - sd) <= 1e-6 * sd, qPrintable(QString::number(whole.sampleSd() / sd - 1)));
    QVERIFY(std::fabs(merged.sampleSd() - sd) <= 1e-6 * sd);
    QVERIFY(std::fabs(whole.mean - double(mean)) <= 1e-12 * 1000);
}

void TestStats::statisticsLines()
{
    LineStatistics statistics;
    for (double x : {0.12295, 0.12305, 0.123, DmmData::OverloadSentinel, 0.123004})
        statistics.add(*reading(x));
    auto dbm = reading(0.1);
    dbm->channels[1]->functions[1] = QStringLiteral("DBM");
    dbm->channels[1]->values[1] = -12.5;
    statistics.add(*dbm);
    // As Python's statistics.fmean and statistics.stdev give them, in %.6g.
    QCOMPARE(statistics.journalTexts(),
             QStringList({QStringLiteral("Statistics Line1 VOLT: n=5 mean=0.118401 sd=0.0102864 min=0.1 max=0.12305"),
                          QStringLiteral("Statistics Line2 VOLT: n=5 mean=1.2 sd=0 min=1.2 max=1.2"),
                          QStringLiteral("Statistics Line2 DBM: n=1 mean=-12.5 sd=0 min=-12.5 max=-12.5")}));
    QCOMPARE(statistics.latest(0)->leftOut, 1);
    const QJsonObject json = statistics.json();
    QCOMPARE(json.value("line2").toObject().value("function").toString(), QStringLiteral("DBM"));
    QCOMPARE(json.value("line1").toObject().value("n").toInt(), 5);
    QVERIFY(LineStatistics().journalTexts().isEmpty());
}

// Readings of LINE1 in turn against its limits; the texts of what each one
// raised (+) or cleared (-), joined by '|'.
void TestStats::alarms_data()
{
    QTest::addColumn<QString>("limits");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<bool>("compare");
    QTest::addColumn<QString>("expected");
    const double ol = DmmData::OverloadSentinel;
    const double none = DmmData::NoneSentinel;
    QTest::newRow("out once, back once") << "0:0.1" << QList<double>{0.05, 0.2, 0.3, none, 0.07, 0.08} << false
                                         << "+Alarm Line1: 2026-12-08T06:00:01.000+00:00; 0.2 V outside 0 V to 0.1 V"
                                            "|-Alarm cleared Line1: 2026-12-08T06:00:04.000+00:00";
    QTest::newRow("OL is above") << ":0.5" << QList<double>{ol, ol, 0.4} << false
                                 << "+Alarm Line1: 2026-12-08T06:00:00.000+00:00; OL above 0.5 V"
                                    "|-Alarm cleared Line1: 2026-12-08T06:00:02.000+00:00";
    QTest::newRow("OL with a lower limit only") << "0.1:" << QList<double>{ol, 0.05} << false
                                                << "+Alarm Line1: 2026-12-08T06:00:01.000+00:00; 0.05 V below 0.1 V";
    QTest::newRow("meter's compare") << "" << QList<double>{0.15, 0.25} << true
                                     << "+Alarm Line1: 2026-12-08T06:00:01.000+00:00; 0.25 V outside 0.1 V to 0.2 V";
    QTest::newRow("no limits") << "" << QList<double>{ol, 1e6} << false << "";
}

void TestStats::alarms()
{
    QFETCH(QString, limits);
    QFETCH(QList<double>, values);
    QFETCH(bool, compare);
    QFETCH(QString, expected);
    LimitWatcher watcher;
    if (!limits.isEmpty())
        watcher.setLimits(0, *LineLimits::parse(limits));
    QStringList seen;
    for (int i = 0; i < values.size(); ++i) {
        auto record = reading(values[i], 1.2, i);
        if (compare) {
            record->lines[0]->compareState = QStringLiteral("IN");
            record->lines[0]->compareLower = 0.1;
            record->lines[0]->compareUpper = 0.2;
        }
        for (const AlarmEvent &event : watcher.check(*record))
            seen.append((event.raised ? "+" : "-") + event.journalText());
    }
    QCOMPARE(seen.join('|'), expected);
    QCOMPARE(watcher.inAlarm(0), !seen.isEmpty() && seen.last().startsWith('+'));
    QVERIFY(!watcher.inAlarm(1));
}

void TestStats::stopConditions()
{
    const std::optional<StopCondition> below = StopCondition::parse(QStringLiteral(" line2 < 1.05 "));
    QVERIFY(below);
    QCOMPARE(below->text(), QStringLiteral("LINE2<1.05"));
    QVERIFY(!below->isMetBy(*reading(0, 1.05)));
    QVERIFY(below->isMetBy(*reading(0, 1.0499)));
    QVERIFY(below->isMetBy(*reading(0, DmmData::LowSentinel)));
    QVERIFY(!below->isMetBy(*reading(0, DmmData::NoneSentinel)));
    const std::optional<StopCondition> above = StopCondition::parse(QStringLiteral("LINE1>-2e-3"));
    QVERIFY(above && above->isMetBy(*reading(DmmData::OverloadSentinel)) && !above->isMetBy(*reading(-0.003)));
    for (const char *bad : {"LINE3<1", "LINE1=1", "LINE1<", "LINE1<x", "LINE1<1<2", "LINE1<nan"})
        QVERIFY2(!StopCondition::parse(QLatin1String(bad)), bad);
    for (const char *bad : {"", ":", "1", "0.2:0.1", "a:1", "1:2:3"})
        QVERIFY2(!LineLimits::parse(QLatin1String(bad)), bad);
    QCOMPARE(LineLimits::parse(QStringLiteral(":0.5"))->text(), QStringLiteral(":0.5"));
}

QTEST_GUILESS_MAIN(TestStats)
#include "tst_stats.moc"
