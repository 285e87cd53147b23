// The compact store: records built back equal the appended ones, also when
// read in a pass, the summary's moments equal a direct computation, times
// are found, and readers read while a reading is appended.
#include "readingstore.h"
#include "recordreader.h"
#include "storerecords.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <atomic>
#include <optional>
#include <cmath>
#include <thread>

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void recordsComeBackAsAppended();
    void aPassReadsTheRecords();
    void momentsAgreeWithADirectSum();
    void timesAreFound();
    void readersReadWhileReadingsAreAppended();
};

void TestStore::recordsComeBackAsAppended()
{
    std::vector<std::unique_ptr<DmmData>> appended;
    appended.push_back(volts(0));
    appended.push_back(volts(1, -0.0000004, -2)); // "-0.000" and "-2.0000"
    appended.push_back(volts(2));
    setState(appended.back().get(), 0, DmmData::ValueOverload, QStringLiteral("  OL "));
    appended.push_back(volts(3));
    setState(appended.back().get(), 1, DmmData::ValueLow, QStringLiteral("  Lo "));
    appended.push_back(volts(4));
    setState(appended.back().get(), 1, DmmData::ValueNone, QStringLiteral("-----"));
    appended.push_back(volts(5)); // texts in no form of their own: kept whole
    appended.back()->channels[0]->valueTexts[0] = QStringLiteral("012.5");
    appended.back()->channels[1]->frequencyText = QStringLiteral("1.5e3");
    appended.push_back(volts(6)); // decibels on line 2, both lines on CH1
    appended.back()->lines[1]->channel = appended.back()->channels[0];
    appended.back()->channels[0]->functions[1] = QStringLiteral("DBM");
    appended.back()->channels[0]->valueTexts[1] = QStringLiteral("-12.345");
    appended.back()->channels[0]->values[1] = -12.345;
    appended.back()->channels[0]->unitTexts[1] = QStringLiteral("dBm");
    for (int n = 7; n < 10; ++n) { // REL, MAX/MIN and percent on, their numbers moving
        appended.push_back(volts(n));
        LineData &l = *appended.back()->lines[0];
        l.relState = l.maxMinState = l.percentState = true;
        l.relReference = 0.5;
        l.maxValue = 0.01 * n;
        l.minValue = -0.001;
        l.percentValue = n % 2 ? 12.5 : 13.0;
        l.compareState = QStringLiteral("IN");
    }
    appended.push_back(volts(10)); // time at another offset, rate and floating changed
    appended.back()->time = appended.back()->time.toOffsetFromUtc(7200);
    appended.back()->rate = QStringLiteral("SLOW");
    appended.back()->channels[1]->floating = true;
    appended.push_back(volts(11)); // uploaded from the meter's memory: no time, no frequency,
    appended.back()->time = QDateTime();         // and line 2 without digits (its slot as it was)
    appended.back()->isStore = true;
    appended.back()->channels[0]->frequencyText.clear();
    ChannelData &blank = *appended.back()->lines[1]->channel;
    blank.functions[1] = blank.valueTexts[1] = blank.unitTexts[1] = QString();
    blank.values[1] = 0;
    appended.push_back(volts(12)); // line 2 never told its channel
    appended.back()->lines[1]->channel = nullptr;
    appended.push_back(volts(13, 123456.7891, 0)); // more digits than kept as a number: kept whole
    appended.back()->channels[0]->valueTexts[0] = QStringLiteral("123456789012.5");
    appended.push_back(volts(14)); // local time, as live readings are stamped
    appended.back()->time = QDateTime::fromMSecsSinceEpoch(appended.back()->time.toMSecsSinceEpoch());

    ReadingStore store;
    for (const auto &record : appended)
        store.append(*record);
    QCOMPARE(store.count(), qint64(appended.size()));
    for (size_t i = 0; i < appended.size(); ++i) {
        const std::unique_ptr<DmmData> back = store.record(qint64(i));
        QCOMPARE(dump(*back), dump(*appended[i]));
        QCOMPARE(back->time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz t")),
                 appended[i]->time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz t")));
        // Each line shows the record's own channel.
        for (const LineData *line : back->lines)
            QVERIFY(!line->channel || back->channels.contains(line->channel));
    }
    // Readings with a state, or without a text, are left out of the moments.
    QCOMPARE(store.moments(0, 0, 5).n, qint64(4));
    QCOMPARE(store.moments(1, 0, 5).n, qint64(3));
    QCOMPARE(store.moments(0, 11, 12).n, qint64(1));
    QCOMPARE(store.moments(1, 11, 12).n, qint64(0));
}

// The reader's records are record()'s, with a local time at the offset it
// had then: across both daylight-saving changes, with texts kept aside and
// more shapes than the reader keeps records of, in turn, and times at an
// offset of their own.
void TestStore::aPassReadsTheRecords()
{
    const std::optional<QByteArray> zone =
        qEnvironmentVariableIsSet("TZ") ? std::optional<QByteArray>(qgetenv("TZ")) : std::nullopt;
    qputenv("TZ", "Europe/Berlin");
    ReadingStore store;
    for (const char *change : {"2026-03-29T01:00:00Z", "2026-10-25T01:00:00Z"}) {
        const qint64 at = QDateTime::fromString(QLatin1String(change), Qt::ISODate).toMSecsSinceEpoch();
        for (int n = -40; n < 40; ++n) {
            std::unique_ptr<DmmData> record = volts(n, n % 3 ? 0.012345 : -0.5);
            record->time = QDateTime::fromMSecsSinceEpoch(at + n * 60250);
            record->channels[0]->rangeValue = QString::number((n + 40) % 70);
            if (n % 5 == 0)
                record->channels[1]->frequencyText = QStringLiteral("01.5");
            store.append(*record);
        }
    }
    for (int n = 0; n < 3; ++n) // as a journal's are read: at their offset from UTC, one shape
        store.append(*volts(n));
    RecordReader reader(store);
    QSet<int> offsets;
    for (qint64 i = 0; i < store.count(); ++i) {
        const std::unique_ptr<DmmData> built = store.record(i);
        const DmmData &read = reader.read(i);
        QCOMPARE(dump(read).section(QLatin1Char('|'), 3), dump(*built).section(QLatin1Char('|'), 3));
        QCOMPARE(read.time.toMSecsSinceEpoch(), built->time.toMSecsSinceEpoch());
        QCOMPARE(read.time.offsetFromUtc(), built->time.offsetFromUtc());
        const QString wallClock = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
        QCOMPARE(read.time.toString(wallClock), built->time.toString(wallClock));
        offsets << read.time.offsetFromUtc();
    }
    if (zone)
        qputenv("TZ", *zone);
    else
        qunsetenv("TZ");
    QCOMPARE(offsets, (QSet<int>{3600, 7200}));
}

void TestStore::momentsAgreeWithADirectSum()
{
    QRandomGenerator random(29);
    const int count = 300000;
    ReadingStore store;
    std::vector<double> values(count);
    std::vector<bool> counted(count);
    std::unique_ptr<DmmData> record = volts(0);
    for (int n = 0; n < count; ++n) {
        // A large value with a small noise, a spike now and then, and OL.
        values[size_t(n)] = 1000.0 + random.generateDouble() * 1e-3 + (n % 99991 == 0 ? 50.0 : 0.0);
        counted[size_t(n)] = n % 1000 != 7;
        ChannelData *c = record->channels[0];
        c->valueModes[0] = counted[size_t(n)] ? DmmData::ValueNormal : DmmData::ValueOverload;
        c->values[0] = counted[size_t(n)] ? values[size_t(n)] : 0;
        store.append(*record);
    }
    for (int round = 0; round < 60; ++round) {
        qint64 first = random.bounded(count);
        qint64 last = round % 3 == 0 ? first + random.bounded(200) : random.bounded(count + 1);
        if (last < first)
            std::swap(first, last);
        last = qMin<qint64>(last, count);
        Moments direct;
        for (qint64 i = first; i < last; ++i) {
            if (counted[size_t(i)])
                direct.add(values[size_t(i)]);
        }
        const Moments summed = store.moments(0, first, last);
        QCOMPARE(summed.n, direct.n);
        if (direct.n == 0)
            continue;
        QCOMPARE(summed.min, direct.min);
        QCOMPARE(summed.max, direct.max);
        QVERIFY(std::abs(summed.mean - direct.mean) <= 1e-9 * std::abs(direct.mean));
        QVERIFY(std::abs(summed.sampleSd() - direct.sampleSd()) <= 1e-6 * direct.sampleSd() + 1e-12);
    }
}

void TestStore::timesAreFound()
{
    ReadingStore store;
    for (int n = 0; n < 5000; ++n)
        store.append(*volts(n));
    const qint64 start = Start.toMSecsSinceEpoch();
    QCOMPARE(store.lowerBound(start - 1), qint64(0));
    QCOMPARE(store.lowerBound(start + 250 * 1234), qint64(1234));
    QCOMPARE(store.lowerBound(start + 250 * 1234 + 1), qint64(1235));
    QCOMPARE(store.lowerBound(start + 250 * 5000), qint64(5000));
    QCOMPARE(store.msecsAt(4999), start + 250 * 4999);
}

void TestStore::readersReadWhileReadingsAreAppended()
{
    ReadingStore store;
    const int count = 100000;
    std::atomic<bool> wrong{false};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            const qint64 seen = store.count();
            if (seen == 0)
                continue;
            const qint64 last = seen - 1;
            const std::unique_ptr<DmmData> record = store.record(last);
            const Moments all = store.moments(1, 0, seen);
            if (record->channels[1]->values[1] != double(last) || all.n != seen || all.max != double(last))
                wrong = true;
        }
    });
    std::unique_ptr<DmmData> record = volts(0);
    for (int n = 0; n < count; ++n) {
        record->channels[1]->values[1] = n;
        record->lines[0]->maxValue = n / 1000; // a new change of the meter's numbers now and then
        store.append(*record);
    }
    done = true;
    reader.join();
    QVERIFY(!wrong);
    QCOMPARE(store.count(), qint64(count));
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
