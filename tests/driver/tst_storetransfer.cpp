// The download of the meter's stored readings, end to end against the
// simulated meter: the signals in order, the transfer states, the upload
// queries the meter receives (back to back), and cancelling half way.
#include "meterlink.h"

#include <QtTest>

namespace {

// Everything the transfer reports, in order, with the state the driver was in
// when it reported it.
class TransferProbe : public QObject
{
public:
    explicit TransferProbe(Varnok &driver) : driver(driver)
    {
        connect(&driver, &Varnok::storeCount, this, [this](int count) { log(QStringLiteral("count %1").arg(count)); });
        connect(&driver, &Varnok::displayStore, this, [this](const DmmData *data) {
            records.emplace_back(data);
            log(QStringLiteral("record"));
        });
        connect(&driver, &Varnok::storeNum, this, [this](int total, int num) {
            log(QStringLiteral("num %1 %2").arg(total).arg(num));
        });
    }

    int state() const { return driver.getStoreParam().transferState; }

    QStringList events;
    std::vector<std::unique_ptr<const DmmData>> records;

private:
    void log(const QString &event) { events << event + QStringLiteral(" @%1").arg(state()); }

    Varnok &driver;
};

// The signals of a complete transfer of `count` readings.
QStringList completeTransfer(int count)
{
    if (count == 0)
        return {QStringLiteral("num 0 0 @11")};
    QStringList events{QStringLiteral("count %1 @2").arg(count)};
    for (int num = 1; num <= count; ++num)
        events << QStringLiteral("record @5") << QStringLiteral("num %1 %2 @5").arg(count).arg(num);
    return events;
}

QByteArrayList uploadQueries(int first, int last)
{
    QByteArrayList queries;
    for (int n = first; n <= last; ++n)
        queries << "MEMory:UPLoad? " + QByteArray::number(n) + '\n';
    return queries;
}

QByteArrayList uploadsIn(const QByteArrayList &writes)
{
    QByteArrayList uploads;
    for (const QByteArray &write : writes) {
        if (write.startsWith("MEMory:UPLoad?"))
            uploads << write;
    }
    return uploads;
}

} // namespace

class TestStoreTransfer : public QObject
{
    Q_OBJECT
private slots:
    void transfer_data();
    void transfer();
    void cancelHalfWay();
    void transferCutByTheConnectionIsNotResumed_data();
    void transferCutByTheConnectionIsNotResumed();
};

void TestStoreTransfer::transfer_data()
{
    QTest::addColumn<int>("stored");
    QTest::newRow("empty memory") << 0;
    QTest::newRow("three readings") << 3;
    QTest::newRow("full memory") << 1000;
}

void TestStoreTransfer::transfer()
{
    QFETCH(int, stored);
    MeterLink link;
    link.meter->fillMemory(stored);
    QVERIFY(link.open());
    QVERIFY(link.waitForLivePasses(1)); // the status pass has counted too

    TransferProbe probe(link.driver);
    const int mark = link.writeCount();
    link.driver.startGetAllStore();
    QCOMPARE(probe.state(), int(StoreParam::StoreCounting));
    QVERIFY(QTest::qWaitFor([&] { return probe.state() == StoreParam::StoreDone; }, 4 * LinkWaitMs));
    QCOMPARE(probe.events, completeTransfer(stored));
    QCOMPARE(int(probe.records.size()), stored);
    for (const auto &record : probe.records) {
        QVERIFY(record->isStore);
        QVERIFY(record->lines[0]->channel && record->lines[1]->channel);
        QVERIFY(!record->lines[0]->channel->valueTexts[0].isEmpty());
    }
    const StoreParam &param = link.driver.getStoreParam();
    QCOMPARE(param.total, stored);
    QCOMPARE(param.num, stored);

    // One count query, then the uploads one after another with nothing between.
    const QByteArrayList writes = link.writesFrom(mark);
    QCOMPARE(writes.count("MEMory:STORe?\n"), 1);
    QCOMPARE(uploadsIn(writes), uploadQueries(1, stored));
    if (stored > 0) {
        const int first = writes.indexOf("MEMory:UPLoad? 1\n");
        QCOMPARE(writes.mid(first, stored), uploadQueries(1, stored));
    }

    // Nothing more happens while the live cycle goes on.
    QVERIFY(link.waitForWrite("Fetch?\n", link.writeCount(), 2));
    QCOMPARE(probe.events, completeTransfer(stored));
    QCOMPARE(probe.state(), int(StoreParam::StoreDone));
}

void TestStoreTransfer::cancelHalfWay()
{
    constexpr int stored = 100;
    constexpr int half = stored / 2;
    MeterLink link;
    link.meter->fillMemory(stored);
    QVERIFY(link.open());
    QVERIFY(link.waitForLivePasses(1));

    TransferProbe probe(link.driver);
    // The user cancels on seeing half the progress; the cancel arrives through
    // the event loop, when the upload of the next record is already queued.
    QStringList reported;
    QObject::connect(
        &link.driver, &Varnok::storeNum, &probe,
        [&](int, int num) {
            if (num != half || !reported.isEmpty()) // cancel the first transfer only
                return;
            link.driver.stopGetStore();
            reported = probe.events;
        },
        Qt::QueuedConnection);
    const int mark = link.writeCount();
    link.driver.startGetAllStore();
    QVERIFY(QTest::qWaitFor([&] { return !reported.isEmpty(); }, 4 * LinkWaitMs));
    QCOMPARE(probe.state(), int(StoreParam::StoreIdle));
    QCOMPARE(reported, completeTransfer(stored).mid(0, 1 + 2 * half));

    // The upload already queued goes out; its answer is ignored.
    QVERIFY(link.waitForWrite("Fetch?\n", link.writeCount(), 2));
    QCOMPARE(probe.events, reported);
    QCOMPARE(probe.state(), int(StoreParam::StoreIdle));
    QCOMPARE(uploadsIn(link.writesFrom(mark)), uploadQueries(1, half + 1));

    // A new transfer starts from the first reading.
    probe.events.clear();
    probe.records.clear();
    const int restart = link.writeCount();
    link.driver.startGetAllStore();
    QVERIFY(QTest::qWaitFor([&] { return probe.state() == StoreParam::StoreDone; }, 4 * LinkWaitMs));
    QCOMPARE(probe.events, completeTransfer(stored));
    QCOMPARE(uploadsIn(link.writesFrom(restart)), uploadQueries(1, stored));
}

void TestStoreTransfer::transferCutByTheConnectionIsNotResumed_data()
{
    QTest::addColumn<bool>("uploading");
    QTest::newRow("counting (started while closed)") << false;
    QTest::newRow("uploading, link lost after 5 of 20") << true;
}

// A transfer under way when its connection ended has lost its next query:
// the next open deletes what the command pool held. That open goes back to
// idle; its status pass counts as well, and that answer must not start an
// upload nobody asked for on this connection.
void TestStoreTransfer::transferCutByTheConnectionIsNotResumed()
{
    QFETCH(bool, uploading);
    MeterLink link;
    link.meter->fillMemory(20);
    TransferProbe probe(link.driver);
    bool cut = false;
    if (uploading) {
        QVERIFY(link.open());
        QVERIFY(link.waitForLivePasses(1));
        QObject::connect(&link.driver, &Varnok::storeNum, &probe, [&](int, int num) {
            if (num == 5 && !cut) {
                cut = true;
                link.driver.close();
            }
        });
    }
    link.driver.startGetAllStore();
    if (uploading)
        QVERIFY(QTest::qWaitFor([&] { return cut; }, 4 * LinkWaitMs));
    QCOMPARE(probe.state(), int(uploading ? StoreParam::StoreUploading : StoreParam::StoreCounting));

    probe.events.clear();
    const int mark = link.writeCount();
    QVERIFY(link.open());
    QVERIFY(link.waitForWrite("Fetch?\n", mark, 2));
    QCOMPARE(probe.events, QStringList());
    QVERIFY(uploadsIn(link.writesFrom(mark)).isEmpty());
    QCOMPARE(probe.state(), int(StoreParam::StoreIdle));
    QCOMPARE(link.driver.getStoreParam().total, 20);

    // Asked for on this connection, the transfer runs as usual.
    link.driver.startGetAllStore();
    QVERIFY(QTest::qWaitFor([&] { return probe.state() == StoreParam::StoreDone; }, 4 * LinkWaitMs));
    QCOMPARE(probe.events, completeTransfer(20));
}

QTEST_GUILESS_MAIN(TestStoreTransfer)
#include "tst_storetransfer.moc"
