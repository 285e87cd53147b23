// Stored readings: decoding of one stored record, and the transfer's state
// machine driven by count and upload answers fed straight to the decoder.
#include "varnoktestaccess.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

const QByteArray exampleRecord = "4113,1.2345E-01V,5.0000E+01Hz,0,0";

// Collects what a transfer reports, in order, and owns the stored records.
struct TransferLog
{
    QStringList events;
    std::vector<std::unique_ptr<const DmmData>> records;

    explicit TransferLog(Varnok &driver)
    {
        QObject::connect(&driver, &Varnok::storeCount, [this](int n) { events << QStringLiteral("count %1").arg(n); });
        QObject::connect(&driver, &Varnok::storeNum,
                         [this](int total, int num) { events << QStringLiteral("num %1/%2").arg(num).arg(total); });
        QObject::connect(&driver, &Varnok::displayStore, [this](const DmmData *data) {
            records.emplace_back(data);
            events << QStringLiteral("record");
        });
    }
};

} // namespace

class TestStoreData : public QObject
{
    Q_OBJECT
private slots:
    void exampleRecord();
    void reading_data();
    void reading();
    void flags_data();
    void flags();
    void maxMin_data();
    void maxMin();
    void wrongFieldCount_data();
    void wrongFieldCount();

    void emptyMemory();
    void threeReadings();
    void stopAfterSecondRecord();
    void stopFromProgressSlotQueuesNothing();
    void stopWhileCountingWins();
    void countWithoutTransferOnlyUpdatesTotal();
    void rejectedRecordStillCounts();
    void badCountEndsTransfer_data();
    void badCountEndsTransfer();
    void lowerCountMidTransferStillEnds();
    void recordWithoutReceiverIsNotLeaked();
};

void TestStoreData::exampleRecord()
{
    Varnok driver;
    const auto data = VarnokTestAccess::makeStoreData(driver, ::exampleRecord);
    QVERIFY(data);
    QVERIFY(data->isStore);
    QVERIFY(!data->time.isValid());
    QCOMPARE(data->lines[0]->channel, data->channels[0]);
    QCOMPARE(data->lines[1]->channel, data->channels[1]);
    const ChannelData &ch1 = *data->channels[0];
    const ChannelData &ch2 = *data->channels[1];
    QCOMPARE(ch1.functions[0], QStringLiteral("VOLT"));
    QCOMPARE(ch1.valueTexts[0], QStringLiteral("123.45"));
    QCOMPARE(ch1.unitTexts[0], QStringLiteral("mV"));
    QCOMPARE(ch1.values[0], 0.12345);
    QCOMPARE(ch1.rangeMode, QStringLiteral("AUTO"));
    QCOMPARE(ch2.functions[1], QStringLiteral("FREQ"));
    QCOMPARE(ch2.valueTexts[1], QStringLiteral("50.000"));
    QCOMPARE(ch2.unitTexts[1], QStringLiteral(" Hz"));
    QCOMPARE(ch2.rangeMode, QString());
    QCOMPARE(data->triggerSource, QStringLiteral("MAN"));
    QCOMPARE(data->rate, QStringLiteral("FAST"));
    QCOMPARE(data->lines[0]->compareState, QStringLiteral("OFF"));
    // The other slots keep their defaults.
    QCOMPARE(ch1.functions[1], QString());
    QCOMPARE(ch2.functions[0], QString());
}

void TestStoreData::reading_data()
{
    const QString micro(QChar(0x03BC));
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("value");
    QTest::newRow("overload") << QByteArray("9.9E+37V") << "VOLT" << "OL" << "V" << 2 << 0.0;
    QTest::newRow("low") << QByteArray("-9.9E+37V") << "VOLT" << "Lo" << "V" << 1 << 0.0;
    QTest::newRow("none") << QByteArray("9.91E+37W") << "WATT" << "-----" << "W" << 3 << 0.0;
    QTest::newRow("plain volts") << QByteArray("1.5V") << "VOLT" << "1.5000" << " V" << 0 << 1.5;
    QTest::newRow("zero has no prefix") << QByteArray("0V") << "VOLT" << "0.0000" << " V" << 0 << 0.0;
    QTest::newRow("negative milli") << QByteArray("-0.5V") << "VOLT" << "-500.00" << "mV" << 0 << -0.5;
    QTest::newRow("micro sign") << QByteArray("2.5E-06V") << "VOLT" << "2.5000" << micro + "V" << 0 << 2.5e-6;
    QTest::newRow("below pico") << QByteArray("1E-15V") << "VOLT" << "0.0010000" << "pV" << 0 << 1e-15;
    QTest::newRow("tera") << QByteArray("2E+13W") << "WATT" << "20.000" << "TW" << 0 << 2e13;
    QTest::newRow("vpp") << QByteArray("0.01Vpp") << "VPP" << "10.000" << "mVp-p" << 0 << 0.01;
    QTest::newRow("unit case ignored") << QByteArray("0.01VPP") << "VPP" << "10.000" << "mVp-p" << 0 << 0.01;
    QTest::newRow("kilohertz") << QByteArray("1.5E+03Hz") << "FREQ" << "1.5000" << "kHz" << 0 << 1500.0;
    QTest::newRow("dbm, three decimals") << QByteArray("1.23456DBM") << "DBM" << "1.235" << "dBm" << 0 << 1.23456;
    QTest::newRow("dbm scaled") << QByteArray("-12.5DBM") << "DBM" << "-12.500" << "dBm" << 0 << -12.5;
    QTest::newRow("dbm none") << QByteArray("9.91E+37DBM") << "DBM" << "-----" << "dBm" << 3 << 0.0;
    QTest::newRow("db") << QByteArray("3DB") << "DB" << "3.000" << "dB" << 0 << 3.0;
    QTest::newRow("dbv") << QByteArray("3dBV") << "DBV" << "3.000" << "dBV" << 0 << 3.0;
    QTest::newRow("unknown unit") << QByteArray("5Ohm") << "OHM" << "5.0000" << "  " << 0 << 5.0;
    QTest::newRow("no unit") << QByteArray("5") << "" << "5.0000" << "  " << 0 << 5.0;
    QTest::newRow("number part not a number") << QByteArray("x.y9V") << "VOLT" << "0.0000" << " V" << 0 << 0.0;
}

void TestStoreData::reading()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, function);
    QFETCH(QString, text);
    QFETCH(QString, unit);
    QFETCH(int, mode);
    QFETCH(double, value);
    Varnok driver;
    // Flags 3: both lines on CH1, so LINE1 and LINE2 fill the two slots of CH1.
    const auto data = VarnokTestAccess::makeStoreData(driver, "3,1V," + field + ",0,0");
    QVERIFY(data);
    const ChannelData &ch = *data->channels[0];
    QCOMPARE(ch.functions[1], function);
    QCOMPARE(ch.valueTexts[1], text);
    QCOMPARE(ch.unitTexts[1], unit);
    QCOMPARE(ch.valueModes[1], mode);
    QCOMPARE(ch.values[1], value);
    QCOMPARE(ch.valueTexts[0], QStringLiteral("1.0000"));
}

void TestStoreData::flags_data()
{
    QTest::addColumn<QByteArray>("flags");
    QTest::addColumn<QStringList>("expected"); // line1 ch, line2 ch, float1, float2, range, rel, maxmin, hold, compare, rate, trigger
    QTest::newRow("all clear") << QByteArray("0") << QStringList{"2", "2", "0", "0", "MANU", "0", "0", "0", "OFF", "FAST", "IMM"};
    QTest::newRow("channels") << QByteArray("1") << QStringList{"1", "2", "0", "0", "MANU", "0", "0", "0", "OFF", "FAST", "IMM"};
    QTest::newRow("line 2 on CH1") << QByteArray("2") << QStringList{"2", "1", "0", "0", "MANU", "0", "0", "0", "OFF", "FAST", "IMM"};
    QTest::newRow("floating") << QByteArray("12") << QStringList{"2", "2", "1", "1", "MANU", "0", "0", "0", "OFF", "FAST", "IMM"};
    QTest::newRow("functions") << QByteArray("240") << QStringList{"2", "2", "0", "0", "AUTO", "1", "1", "1", "OFF", "FAST", "IMM"};
    QTest::newRow("compare HI, MED, BUS") << QByteArray(QByteArray::number((1 << 8) | (1 << 10) | (2 << 12)))
                                          << QStringList{"2", "2", "0", "0", "MANU", "0", "0", "0", "HI", "MED", "BUS"};
    QTest::newRow("compare IN, SLOW") << QByteArray(QByteArray::number((2 << 8) | (2 << 10)))
                                      << QStringList{"2", "2", "0", "0", "MANU", "0", "0", "0", "IN", "SLOW", "IMM"};
    QTest::newRow("unnamed codes 3") << QByteArray(QByteArray::number((3 << 8) | (3 << 10) | (3 << 12)))
                                     << QStringList{"2", "2", "0", "0", "MANU", "0", "0", "0", "LO", "", ""};
    QTest::newRow("every bit") << QByteArray("-1") << QStringList{"1", "1", "1", "1", "AUTO", "1", "1", "1", "LO", "", ""};
    QTest::newRow("not a number") << QByteArray("abc") << QStringList{"2", "2", "0", "0", "MANU", "0", "0", "0", "OFF", "FAST", "IMM"};
}

void TestStoreData::flags()
{
    QFETCH(QByteArray, flags);
    QFETCH(QStringList, expected);
    Varnok driver;
    const auto data = VarnokTestAccess::makeStoreData(driver, flags + ",1V,2V,3V,4V");
    QVERIFY(data);
    const LineData &line1 = *data->lines[0];
    const QStringList got{
        QString::number(line1.channel->number),
        QString::number(data->lines[1]->channel->number),
        QString::number(data->channels[0]->floating),
        QString::number(data->channels[1]->floating),
        line1.channel->rangeMode,
        QString::number(line1.relState),
        QString::number(line1.maxMinState),
        QString::number(line1.holdState),
        line1.compareState,
        data->rate,
        data->triggerSource,
    };
    QCOMPARE(got, expected);
}

void TestStoreData::maxMin_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("min");
    QTest::newRow("on") << QByteArray("64,1V,1V,2.5V,0.5mV") << 2.5 << 0.5;
    QTest::newRow("off") << QByteArray("0,1V,1V,2.5V,0.5mV") << 0.0 << 0.0;
    QTest::newRow("on, no digits") << QByteArray("64,1V,1V,V,-----") << 0.0 << 0.0;
}

void TestStoreData::maxMin()
{
    QFETCH(QByteArray, record);
    QFETCH(double, max);
    QFETCH(double, min);
    Varnok driver;
    const auto data = VarnokTestAccess::makeStoreData(driver, record);
    QVERIFY(data);
    QCOMPARE(data->lines[0]->maxValue, max);
    QCOMPARE(data->lines[0]->minValue, min);
}

void TestStoreData::wrongFieldCount_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("four fields") << QByteArray("1,1V,2V,3V");
    QTest::newRow("six fields") << QByteArray("1,1V,2V,3V,4V,5V");
    QTest::newRow("text") << QByteArray("garbage");
}

void TestStoreData::wrongFieldCount()
{
    QFETCH(QByteArray, record);
    Varnok driver;
    QVERIFY(!VarnokTestAccess::makeStoreData(driver, record));
}

void TestStoreData::emptyMemory()
{
    DecoderBench bench;
    TransferLog log(bench.driver);
    bench.driver.startGetAllStore();
    QCOMPARE(VarnokTestAccess::queued(bench.driver), (QList<QByteArray>{"MEMory:STORe?"}));
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreCounting));
    bench.decode("MEMory:STORe?", "0");
    QCOMPARE(log.events, (QStringList{"num 0/0"}));
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreDone));
}

void TestStoreData::threeReadings()
{
    DecoderBench bench;
    TransferLog log(bench.driver);
    bench.driver.startGetAllStore();
    VarnokTestAccess::clearQueued(bench.driver);
    bench.decode("MEMory:STORe?", "3");
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreUploading));
    for (int n = 1; n <= 3; ++n) {
        const QByteArray upload = "MEMory:UPLoad? " + QByteArray::number(n);
        QCOMPARE(VarnokTestAccess::queued(bench.driver), QList<QByteArray>{upload});
        VarnokTestAccess::clearQueued(bench.driver);
        bench.decode(upload, ::exampleRecord);
    }
    QCOMPARE(log.events, (QStringList{"count 3", "record", "num 1/3", "record", "num 2/3", "record", "num 3/3"}));
    QCOMPARE(VarnokTestAccess::queued(bench.driver), QList<QByteArray>());
    const StoreParam &param = bench.driver.getStoreParam();
    QCOMPARE(param.transferState, int(StoreParam::StoreDone));
    QCOMPARE(param.total, 3);
    QCOMPARE(param.num, 3);
    QCOMPARE(log.records.size(), size_t(3));
    QVERIFY(log.records[2]->isStore);
}

void TestStoreData::stopAfterSecondRecord()
{
    DecoderBench bench;
    TransferLog log(bench.driver);
    bench.driver.startGetAllStore();
    bench.decode("MEMory:STORe?", "5");
    bench.decode("MEMory:UPLoad? 1", ::exampleRecord);
    bench.decode("MEMory:UPLoad? 2", ::exampleRecord);
    bench.driver.stopGetStore();
    bench.decode("MEMory:UPLoad? 3", ::exampleRecord); // the one in flight
    QCOMPARE(log.events, (QStringList{"count 5", "record", "num 1/5", "record", "num 2/5"}));
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreIdle));
    bench.driver.stopGetStore();
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreIdle));
}

// A download dialog cancelling from its progress slot must not leave one
// more upload queued behind it.
void TestStoreData::stopFromProgressSlotQueuesNothing()
{
    DecoderBench bench;
    TransferLog log(bench.driver);
    QObject::connect(&bench.driver, &Varnok::storeNum, &bench.driver, [&bench](int, int num) {
        if (num == 2)
            bench.driver.stopGetStore();
    });
    bench.driver.startGetAllStore();
    bench.decode("MEMory:STORe?", "5");
    bench.decode("MEMory:UPLoad? 1", ::exampleRecord);
    VarnokTestAccess::clearQueued(bench.driver);
    bench.decode("MEMory:UPLoad? 2", ::exampleRecord);
    QCOMPARE(VarnokTestAccess::queued(bench.driver), QList<QByteArray>());
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreIdle));
}

// Cancel before the meter has said how many it holds: the count only
// updates the total, and no upload starts with nobody watching.
void TestStoreData::stopWhileCountingWins()
{
    DecoderBench bench;
    TransferLog log(bench.driver);
    bench.driver.startGetAllStore();
    bench.driver.stopGetStore();
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreIdle));
    VarnokTestAccess::clearQueued(bench.driver);
    bench.decode("MEMory:STORe?", "4");
    QCOMPARE(log.events, QStringList());
    QCOMPARE(VarnokTestAccess::queued(bench.driver), QList<QByteArray>());
    QCOMPARE(bench.driver.getStoreParam().total, 4);
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreIdle));
}

void TestStoreData::countWithoutTransferOnlyUpdatesTotal()
{
    DecoderBench bench;
    TransferLog log(bench.driver);
    bench.decode("MEMory:STORe?", "7");
    bench.decode("MEMory:UPLoad? 1", ::exampleRecord);
    QCOMPARE(log.events, QStringList());
    QCOMPARE(VarnokTestAccess::queued(bench.driver), QList<QByteArray>());
    const StoreParam &param = bench.driver.getStoreParam();
    QCOMPARE(param.transferState, int(StoreParam::StoreIdle));
    QCOMPARE(param.total, 7);
    QCOMPARE(param.num, 0);
}

void TestStoreData::rejectedRecordStillCounts()
{
    DecoderBench bench;
    TransferLog log(bench.driver);
    bench.driver.startGetAllStore();
    bench.decode("MEMory:STORe?", "2");
    bench.decode("MEMory:UPLoad? 1", "1,2,3");
    bench.decode("MEMory:UPLoad? 2", ::exampleRecord);
    QCOMPARE(log.events, (QStringList{"count 2", "num 1/2", "record", "num 2/2"}));
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreDone));
}

void TestStoreData::badCountEndsTransfer_data()
{
    QTest::addColumn<QByteArray>("count");
    QTest::newRow("text") << QByteArray("many");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("negative") << QByteArray("-5");
    QTest::newRow("fraction") << QByteArray("2.5");
}

// A count that is no count ends the transfer as an empty memory would,
// instead of uploading for ever.
void TestStoreData::badCountEndsTransfer()
{
    QFETCH(QByteArray, count);
    DecoderBench bench;
    TransferLog log(bench.driver);
    bench.driver.startGetAllStore();
    bench.decode("MEMory:STORe?", count);
    QCOMPARE(log.events, (QStringList{"num 0/0"}));
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreDone));
    QCOMPARE(bench.driver.getStoreParam().total, 0);
}

void TestStoreData::lowerCountMidTransferStillEnds()
{
    DecoderBench bench;
    TransferLog log(bench.driver);
    bench.driver.startGetAllStore();
    bench.decode("MEMory:STORe?", "3");
    bench.decode("MEMory:UPLoad? 1", ::exampleRecord);
    bench.decode("MEMory:UPLoad? 2", ::exampleRecord);
    bench.decode("MEMory:STORe?", "1"); // someone deleted readings meanwhile
    VarnokTestAccess::clearQueued(bench.driver);
    bench.decode("MEMory:UPLoad? 3", ::exampleRecord);
    QCOMPARE(bench.driver.getStoreParam().transferState, int(StoreParam::StoreDone));
    QCOMPARE(VarnokTestAccess::queued(bench.driver), QList<QByteArray>());
}

void TestStoreData::recordWithoutReceiverIsNotLeaked()
{
    DecoderBench bench;
    QSignalSpy progress(&bench.driver, &Varnok::storeNum);
    bench.driver.startGetAllStore();
    bench.decode("MEMory:STORe?", "1");
    bench.decode("MEMory:UPLoad? 1", ::exampleRecord);
    QCOMPARE(progress.count(), 1); // the leak checker does the rest
}

QTEST_GUILESS_MAIN(TestStoreData)
#include "tst_storedata.moc"
