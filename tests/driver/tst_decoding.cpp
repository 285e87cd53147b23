// The answer dispatcher: status rows, live rows, the remote-state rule, and the
// conversion of a record into display texts. Answers are fed straight to the
// decoder, as the engine does after each query.
#include "varnoktestaccess.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Everything a record holds, as text, to show that an answer changed nothing.
QString snapshot(const DmmData &data)
{
    QStringList parts{data.rate, data.triggerSource};
    for (const LineData *line : data.lines) {
        parts << QString::number(data.channels.indexOf(line->channel))
              << QString::number(line->relState) << QString::number(line->relReference)
              << QString::number(line->holdState) << QString::number(line->holdWindow)
              << QString::number(line->holdCount) << QString::number(line->percentState)
              << QString::number(line->percentReference) << QString::number(line->percentValue)
              << QString::number(line->maxMinState) << QString::number(line->maxValue)
              << QString::number(line->minValue) << line->compareState
              << QString::number(line->compareLower) << QString::number(line->compareUpper);
    }
    for (const ChannelData *ch : data.channels) {
        parts << ch->functions << ch->valueTexts << ch->unitTexts << ch->rangeMode << ch->rangeValue
              << ch->rangeUnit << QString::number(ch->frequency) << QString::number(ch->dbReference)
              << QString::number(ch->dbmReference) << QString::number(ch->floating);
        for (int i = 0; i < 2; ++i)
            parts << QString::number(ch->values[i]) << QString::number(ch->valueModes[i]);
    }
    return parts.join(QLatin1Char('|'));
}

// One field of the record by name, for the table of status rows.
QVariant field(const DmmData &data, const QString &name)
{
    const LineData &line = *data.lines[0];
    const ChannelData &ch1 = *data.channels[0];
    const ChannelData &ch2 = *data.channels[1];
    const QHash<QString, QVariant> fields{
        {"rate", data.rate},
        {"triggerSource", data.triggerSource},
        {"ch1.dbReference", ch1.dbReference},
        {"ch2.dbReference", ch2.dbReference},
        {"ch1.dbmReference", ch1.dbmReference},
        {"ch2.dbmReference", ch2.dbmReference},
        {"ch1.floating", ch1.floating},
        {"ch2.floating", ch2.floating},
        {"relState", line.relState},
        {"relReference", line.relReference},
        {"holdState", line.holdState},
        {"holdWindow", line.holdWindow},
        {"holdCount", line.holdCount},
        {"percentState", line.percentState},
        {"percentReference", line.percentReference},
        {"percentValue", line.percentValue},
        {"maxMinState", line.maxMinState},
        {"maxValue", line.maxValue},
        {"minValue", line.minValue},
        {"compareState", line.compareState},
        {"compareLower", line.compareLower},
        {"compareUpper", line.compareUpper},
    };
    Q_ASSERT(fields.contains(name));
    return fields.value(name);
}

} // namespace

class TestDecoding : public QObject
{
    Q_OBJECT
private slots:
    void statusRow_data();
    void statusRow();
    void ignoredAnswer_data();
    void ignoredAnswer();
    void function_data();
    void function();
    void range_data();
    void range();
    void fetch();
    void fetchBothLinesOnOneChannel();
    void fetchBeforeLinesAreBound();
    void noLiveRecordNoDecoding();
    void remoteStateReportsChangesWhileOpen();
    void remoteStateSilentWhenNotOpen_data();
    void remoteStateSilentWhenNotOpen();
    void convertReading_data();
    void convertReading();
    void convertSentinelsOnOneChannel();
    void convertFrequency_data();
    void convertFrequency();
    void convertUnboundLines();
    void copyCarriesWhatTheWindowShows();
    void malformedAnswerLogged_data();
    void malformedAnswerLogged();
};

void TestDecoding::statusRow_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("before"); // answer decoded first, if any
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("rate") << QByteArray("VOLTage:RATE?") << QByteArray() << QByteArray("FAST") << "rate" << QVariant("FAST");
    QTest::newRow("rate as received") << QByteArray("VOLTage:RATE?") << QByteArray() << QByteArray("fast ") << "rate" << QVariant("fast ");
    QTest::newRow("db ref CH1") << QByteArray("SENSe:DB:REFerence:CH1?") << QByteArray() << QByteArray("0.775") << "ch1.dbReference" << QVariant(0.775);
    QTest::newRow("db ref CH2") << QByteArray("SENSe:DB:REFerence:CH2?") << QByteArray() << QByteArray("1.5") << "ch2.dbReference" << QVariant(1.5);
    QTest::newRow("db ref CH2 leaves CH1") << QByteArray("SENSe:DB:REFerence:CH2?") << QByteArray() << QByteArray("1.5") << "ch1.dbReference" << QVariant(0.0);
    QTest::newRow("dbm ref CH2") << QByteArray("SENSe:DBM:REFerence:CH2?") << QByteArray() << QByteArray("600") << "ch2.dbmReference" << QVariant(600.0);
    QTest::newRow("dbm ref is not a db ref") << QByteArray("SENSe:DBM:REFerence:CH1?") << QByteArray() << QByteArray("600") << "ch1.dbReference" << QVariant(0.0);
    QTest::newRow("number not parsing gives 0") << QByteArray("SENSe:DB:REFerence:CH1?") << QByteArray("5") << QByteArray("abc") << "ch1.dbReference" << QVariant(0.0);
    QTest::newRow("empty number gives 0") << QByteArray("SENSe:DBM:REFerence:CH1?") << QByteArray("5") << QByteArray() << "ch1.dbmReference" << QVariant(0.0);
    QTest::newRow("nan gives 0") << QByteArray("SENSe:REL:REFerence?") << QByteArray("5") << QByteArray("nan") << "relReference" << QVariant(0.0);
    QTest::newRow("too large gives 0") << QByteArray("SENSe:REL:REFerence?") << QByteArray("5") << QByteArray("1e999") << "relReference" << QVariant(0.0);
    QTest::newRow("spaces around a number") << QByteArray("SENSe:REL:REFerence?") << QByteArray() << QByteArray(" 2.5 ") << "relReference" << QVariant(2.5);
    QTest::newRow("rel OFF") << QByteArray("SENSe:REL:STATe?") << QByteArray("ON") << QByteArray("OFF") << "relState" << QVariant(false);
    QTest::newRow("rel on, upper-cased") << QByteArray("SENSe:REL:STATe?") << QByteArray() << QByteArray("on") << "relState" << QVariant(true);
    QTest::newRow("hold on, exact") << QByteArray("SENSe:HOLD:STATe?") << QByteArray() << QByteArray("on") << "holdState" << QVariant(false);
    QTest::newRow("hold ON") << QByteArray("SENSe:HOLD:STATe?") << QByteArray() << QByteArray("ON") << "holdState" << QVariant(true);
    QTest::newRow("hold window") << QByteArray("SENSe:HOLD:WINDow?") << QByteArray() << QByteArray("50%") << "holdWindow" << QVariant(50.0);
    QTest::newRow("hold window fraction") << QByteArray("SENSe:HOLD:WINDow?") << QByteArray() << QByteArray("0.5%") << "holdWindow" << QVariant(0.5);
    QTest::newRow("hold window without its sign") << QByteArray("SENSe:HOLD:WINDow?") << QByteArray() << QByteArray("50") << "holdWindow" << QVariant(50.0);
    QTest::newRow("hold window empty") << QByteArray("SENSe:HOLD:WINDow?") << QByteArray("50%") << QByteArray() << "holdWindow" << QVariant(0.0);
    QTest::newRow("hold count") << QByteArray("SENSe:HOLD:COUNt?") << QByteArray() << QByteArray("4") << "holdCount" << QVariant(4);
    QTest::newRow("hold count text") << QByteArray("SENSe:HOLD:COUNt?") << QByteArray("4") << QByteArray("x") << "holdCount" << QVariant(0);
    QTest::newRow("percent ON") << QByteArray("CALCulate:PERCent:STATe?") << QByteArray() << QByteArray("ON") << "percentState" << QVariant(true);
    QTest::newRow("percent on, exact") << QByteArray("CALCulate:PERCent:STATe?") << QByteArray() << QByteArray("on") << "percentState" << QVariant(false);
    QTest::newRow("percent ref") << QByteArray("CALCulate:PERCent:REFerence?") << QByteArray() << QByteArray("1.5") << "percentReference" << QVariant(1.5);
    QTest::newRow("percent read") << QByteArray("CALCulate:PERCent:READ?") << QByteArray() << QByteArray("-12.5") << "percentValue" << QVariant(-12.5);
    QTest::newRow("maxmin ON") << QByteArray("CALCulate:MAXMin:STATe?") << QByteArray() << QByteArray("ON") << "maxMinState" << QVariant(true);
    QTest::newRow("max") << QByteArray("CALCulate:MAXMin:ALL?") << QByteArray() << QByteArray("1.5,0.25") << "maxValue" << QVariant(1.5);
    QTest::newRow("min") << QByteArray("CALCulate:MAXMin:ALL?") << QByteArray() << QByteArray("1.5,0.25") << "minValue" << QVariant(0.25);
    QTest::newRow("maxmin without comma keeps max") << QByteArray("CALCulate:MAXMin:ALL?") << QByteArray("1.5,0.25") << QByteArray("7") << "maxValue" << QVariant(1.5);
    QTest::newRow("maxmin without comma keeps min") << QByteArray("CALCulate:MAXMin:ALL?") << QByteArray("1.5,0.25") << QByteArray("7") << "minValue" << QVariant(0.25);
    QTest::newRow("maxmin longer answer") << QByteArray("CALCulate:MAXMin:ALL?") << QByteArray() << QByteArray("1,2,3") << "minValue" << QVariant(2.0);
    QTest::newRow("compare as received") << QByteArray("CALCulate:COMPare:STATe?") << QByteArray() << QByteArray("in") << "compareState" << QVariant("in");
    QTest::newRow("compare lower") << QByteArray("CALCulate:COMPare:LOWer?") << QByteArray() << QByteArray("0.1") << "compareLower" << QVariant(0.1);
    QTest::newRow("compare upper") << QByteArray("CALCulate:COMPare:UPPer?") << QByteArray() << QByteArray("0.2") << "compareUpper" << QVariant(0.2);
    QTest::newRow("trigger") << QByteArray("TRIGger:SOURce?") << QByteArray() << QByteArray("BUS") << "triggerSource" << QVariant("BUS");
    QTest::newRow("float CH2") << QByteArray("SYSTem:FLOAt:CH2?") << QByteArray() << QByteArray("ON") << "ch2.floating" << QVariant(true);
    QTest::newRow("float CH2 leaves CH1") << QByteArray("SYSTem:FLOAt:CH2?") << QByteArray() << QByteArray("ON") << "ch1.floating" << QVariant(false);
    QTest::newRow("float on, exact") << QByteArray("SYSTem:FLOAt:CH1?") << QByteArray() << QByteArray("on") << "ch1.floating" << QVariant(false);
}

void TestDecoding::statusRow()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, answer);
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    DecoderBench bench;
    if (!before.isEmpty())
        bench.decode(command, before);
    bench.decode(command, answer);
    QCOMPARE(::field(bench.live(), field), value);
}

void TestDecoding::ignoredAnswer_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("display") << QByteArray("DISPlay:TEXT?") << QByteArray("CH1,VOLT");
    QTest::newRow("unknown command") << QByteArray("*IDN?") << QByteArray("AUTO,3V");
    QTest::newRow("prefixes are case-sensitive") << QByteArray("fetch?") << QByteArray("1,2,3,4");
    QTest::newRow("function without comma") << QByteArray("FUNCtion:LINE1?") << QByteArray("CH2");
    QTest::newRow("function empty") << QByteArray("FUNCtion:LINE2?") << QByteArray();
    QTest::newRow("range without comma") << QByteArray("VOLTage:RANGe:CH1?") << QByteArray("MANU");
    QTest::newRow("fetch with three fields") << QByteArray("Fetch?") << QByteArray("1,2,3");
    QTest::newRow("fetch empty") << QByteArray("Fetch?") << QByteArray();
    QTest::newRow("maxmin empty") << QByteArray("CALCulate:MAXMin:ALL?") << QByteArray();
}

// Answers that match no row, or lack fields, leave the record as it was.
void TestDecoding::ignoredAnswer()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    DecoderBench bench;
    bench.bindLines("CH1,VOLT", "CH2,DBM");
    bench.decode("VOLTage:RANGe:CH1?", "AUTO,300mV");
    bench.decode("Fetch?", "0.1,0.2,1000,50");
    bench.decode("CALCulate:MAXMin:ALL?", "1,2");
    const QString before = snapshot(bench.live());
    bench.decode(command, answer);
    QCOMPARE(snapshot(bench.live()), before);
}

void TestDecoding::function_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("function");
    QTest::newRow("line 2 on CH1") << QByteArray("FUNCtion:LINE2?") << QByteArray("CH1,DBM") << 1 << 0 << "DBM";
    QTest::newRow("line 1 on CH2") << QByteArray("FUNCtion:LINE1?") << QByteArray("CH2,VOLT") << 0 << 1 << "VOLT";
    QTest::newRow("other channel number is CH2") << QByteArray("FUNCtion:LINE1?") << QByteArray("CH7,VPP") << 0 << 1 << "VPP";
    QTest::newRow("no channel number is CH2") << QByteArray("FUNCtion:LINE1?") << QByteArray("X,WATT") << 0 << 1 << "WATT";
    QTest::newRow("function as received") << QByteArray("FUNCtion:LINE1?") << QByteArray("CH1,volt") << 0 << 0 << "volt";
    QTest::newRow("extra field ignored") << QByteArray("FUNCtion:LINE2?") << QByteArray("CH2,DB,junk") << 1 << 1 << "DB";
}

void TestDecoding::function()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(int, line);
    QFETCH(int, channel);
    QFETCH(QString, function);
    DecoderBench bench;
    bench.decode(command, answer);
    DmmData &data = bench.live();
    QCOMPARE(data.lines[line]->channel, data.channels[channel]);
    QCOMPARE(data.channels[channel]->functions[line], function);
    QCOMPARE(data.channels[channel]->functions[1 - line], QString());
    QCOMPARE(data.lines[1 - line]->channel, nullptr);
}

void TestDecoding::range_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("unit");
    QTest::newRow("CH1 auto 300mV") << QByteArray("VOLTage:RANGe:CH1?") << QByteArray("AUTO,300mV") << 0 << "AUTO" << "300" << "mV";
    QTest::newRow("CH2 manual 3V") << QByteArray("VOLTage:RANGe:CH2?") << QByteArray("MANU,3V") << 1 << "MANU" << "3" << "V";
    QTest::newRow("decimal point") << QByteArray("VOLTage:RANGe:CH1?") << QByteArray("AUTO,1.5V") << 0 << "AUTO" << "1.5" << "V";
    QTest::newRow("unit only") << QByteArray("VOLTage:RANGe:CH1?") << QByteArray("AUTO,V") << 0 << "AUTO" << "" << "V";
    QTest::newRow("empty range") << QByteArray("VOLTage:RANGe:CH1?") << QByteArray("AUTO,") << 0 << "AUTO" << "" << "";
    QTest::newRow("number only") << QByteArray("VOLTage:RANGe:CH2?") << QByteArray("MANU,30") << 1 << "MANU" << "30" << "";
    QTest::newRow("extra field ignored") << QByteArray("VOLTage:RANGe:CH1?") << QByteArray("AUTO,300mV,x") << 0 << "AUTO" << "300" << "mV";
}

void TestDecoding::range()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(int, channel);
    QFETCH(QString, mode);
    QFETCH(QString, value);
    QFETCH(QString, unit);
    DecoderBench bench;
    bench.decode(command, answer);
    const ChannelData &ch = *bench.live().channels[channel];
    QCOMPARE(ch.rangeMode, mode);
    QCOMPARE(ch.rangeValue, value);
    QCOMPARE(ch.rangeUnit, unit);
    QCOMPARE(bench.live().channels[1 - channel]->rangeMode, QString());
}

void TestDecoding::fetch()
{
    DecoderBench bench;
    bench.bindLines("CH1,VOLT", "CH2,WATT");
    bench.decode("Fetch?", "0.1,2.5E-03,1234.5,abc");
    const DmmData &data = bench.live();
    QCOMPARE(data.channels[0]->values, (QList<double>{0.1, 0.0}));
    QCOMPARE(data.channels[1]->values, (QList<double>{0.0, 0.0025}));
    QCOMPARE(data.channels[0]->frequency, 1234.5);
    QCOMPARE(data.channels[1]->frequency, 0.0); // text where a number belongs
}

void TestDecoding::fetchBothLinesOnOneChannel()
{
    DecoderBench bench;
    bench.bindLines("CH2,VOLT", "CH2,DBM");
    bench.decode("Fetch?", "1,2,3,4");
    bench.bindLines("CH1,VOLT", "CH1,DBM");
    bench.decode("Fetch?", "0.5,-3.5,50,60");
    const DmmData &data = bench.live();
    QCOMPARE(data.channels[0]->values, (QList<double>{0.5, -3.5}));
    QCOMPARE(data.channels[1]->values, (QList<double>{1.0, 2.0})); // previous contents
    QCOMPARE(data.channels[1]->frequency, 60.0);
}

void TestDecoding::fetchBeforeLinesAreBound()
{
    DecoderBench bench;
    bench.decode("Fetch?", "1,2,3,4");
    QCOMPARE(bench.live().channels[0]->values, (QList<double>{0.0, 0.0}));
    QCOMPARE(bench.live().channels[0]->frequency, 3.0);
}

void TestDecoding::noLiveRecordNoDecoding()
{
    Varnok driver;
    VarnokTestAccess::state(driver) = 1;
    QSignalSpy remote(&driver, &Varnok::remoteStateUpdate);
    VarnokTestAccess::decode(driver, "SYSTem:REMote?", "YES");
    VarnokTestAccess::decode(driver, "Fetch?", "1,2,3,4");
    QCOMPARE(remote.count(), 0);
    QCOMPARE(VarnokTestAccess::remote(driver), false);
    VarnokTestAccess::state(driver) = 0;
}

void TestDecoding::remoteStateReportsChangesWhileOpen()
{
    DecoderBench bench;
    VarnokTestAccess::state(bench.driver) = 1;
    QSignalSpy spy(&bench.driver, &Varnok::remoteStateUpdate);
    bench.decode("SYSTem:REMote?", "YES");
    bench.decode("SYSTem:REMote?", "1");
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    bench.decode("SYSTem:REMote?", "NO");
    bench.decode("SYSTem:REMote?", "NO");
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    bench.decode("SYSTem:REMote?", "no"); // only the exact "NO" is local
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(2).at(0).toBool(), true);
    VarnokTestAccess::state(bench.driver) = 0;
}

void TestDecoding::remoteStateSilentWhenNotOpen_data()
{
    QTest::addColumn<int>("state");
    QTest::newRow("idle") << 0;
    QTest::newRow("closing") << 2;
    QTest::newRow("closed") << 3;
}

void TestDecoding::remoteStateSilentWhenNotOpen()
{
    QFETCH(int, state);
    DecoderBench bench;
    VarnokTestAccess::state(bench.driver) = state;
    QSignalSpy spy(&bench.driver, &Varnok::remoteStateUpdate);
    bench.decode("SYSTem:REMote?", "YES");
    QCOMPARE(VarnokTestAccess::remote(bench.driver), true);
    QCOMPARE(spy.count(), 0);
    VarnokTestAccess::state(bench.driver) = 0;
}

void TestDecoding::convertReading_data()
{
    QTest::addColumn<QByteArray>("function");
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<QByteArray>("reading");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("value");

    const QString micro(QChar(0x03BC));
    QTest::newRow("volt on 300mV") << QByteArray("VOLT") << QByteArray("AUTO,300mV") << QByteArray("0.0123456") << "12.35" << "mV" << 0 << 0.0123456;
    QTest::newRow("volt on 3V") << QByteArray("VOLT") << QByteArray("AUTO,3V") << QByteArray("1.23456") << "1.2346" << "V" << 0 << 1.23456;
    QTest::newRow("vpp on 30mV") << QByteArray("VPP") << QByteArray("MANU,30mV") << QByteArray("0.01") << "10.000" << "mVp-p" << 0 << 0.01;
    QTest::newRow("volt on 300uV") << QByteArray("VOLT") << QByteArray("MANU,300uV") << QByteArray("0.000123") << "123.00" << micro + "V" << 0 << 0.000123;
    QTest::newRow("volt zero") << QByteArray("VOLT") << QByteArray("MANU,3V") << QByteArray("0") << "0.0000" << "V" << 0 << 0.0;
    QTest::newRow("volt overload") << QByteArray("VOLT") << QByteArray("AUTO,300mV") << QByteArray("9.9E+37") << "  OL " << "mV" << 2 << 0.0;
    QTest::newRow("vpp low") << QByteArray("VPP") << QByteArray("AUTO,3V") << QByteArray("-9.9E+37") << "  Lo " << "V" << 1 << 0.0;
    QTest::newRow("watt") << QByteArray("WATT") << QByteArray("AUTO,3V") << QByteArray("0.0025") << "2.5000" << "mW" << 0 << 0.0025;
    QTest::newRow("watt kilo") << QByteArray("WATT") << QByteArray("AUTO,3V") << QByteArray("12500") << "12.500" << "kW" << 0 << 12500.0;
    QTest::newRow("watt micro") << QByteArray("WATT") << QByteArray("AUTO,3V") << QByteArray("3.5e-7") << "0.3500" << micro + "W" << 0 << 3.5e-7;
    QTest::newRow("watt none") << QByteArray("WATT") << QByteArray("AUTO,3V") << QByteArray("9.91E+37") << "-----" << "W" << 3 << 0.0;
    QTest::newRow("dbm") << QByteArray("DBM") << QByteArray("AUTO,3V") << QByteArray("1.23456") << "1.235" << "dBm" << 0 << 1.23456;
    QTest::newRow("dbm none") << QByteArray("DBM") << QByteArray("AUTO,3V") << QByteArray("9.91E+37") << "-----" << "dBm" << 3 << 0.0;
    QTest::newRow("dbm overload") << QByteArray("DBM") << QByteArray("AUTO,3V") << QByteArray("9.9E+37") << "  OL " << "dBm" << 2 << 0.0;
    QTest::newRow("db") << QByteArray("DB") << QByteArray("AUTO,3V") << QByteArray("-3.5") << "-3.500" << "dB" << 0 << -3.5;
    QTest::newRow("dbv") << QByteArray("DBV") << QByteArray("AUTO,3V") << QByteArray("2") << "2.000" << "dBV" << 0 << 2.0;
    QTest::newRow("dbuv") << QByteArray("DBUV") << QByteArray("AUTO,3V") << QByteArray("2") << "2.000" << "dB" + micro + "V" << 0 << 2.0;
    QTest::newRow("function upper-cased") << QByteArray("dbm") << QByteArray("AUTO,3V") << QByteArray("2") << "2.000" << "dBm" << 0 << 2.0;
    QTest::newRow("other function") << QByteArray("FREQ") << QByteArray("AUTO,3V") << QByteArray("1234.5") << "1234.5" << "" << 0 << 1234.5;
    QTest::newRow("other function none") << QByteArray("FREQ") << QByteArray("AUTO,3V") << QByteArray("9.91E+37") << "-----" << "" << 3 << 0.0;
}

void TestDecoding::convertReading()
{
    QFETCH(QByteArray, function);
    QFETCH(QByteArray, range);
    QFETCH(QByteArray, reading);
    QFETCH(QString, text);
    QFETCH(QString, unit);
    QFETCH(int, mode);
    QFETCH(double, value);

    // The same reading on LINE1 (CH1) and on LINE2 (CH2).
    DecoderBench bench;
    bench.bindLines("CH1," + function, "CH2," + function);
    bench.decode("VOLTage:RANGe:CH1?", range);
    bench.decode("VOLTage:RANGe:CH2?", range);
    bench.decode("Fetch?", reading + ',' + reading + ",0,0");
    DmmData copy(bench.live());
    VarnokTestAccess::convert(bench.driver, &copy);
    for (int line = 0; line < 2; ++line) {
        const ChannelData &ch = *copy.lines[line]->channel;
        QCOMPARE(ch.number, line + 1);
        QCOMPARE(ch.valueTexts[line], text);
        QCOMPARE(ch.unitTexts[line], unit);
        QCOMPARE(ch.valueModes[line], mode);
        QCOMPARE(ch.values[line], value);
    }
    // The live record keeps the raw reading.
    QCOMPARE(bench.live().channels[0]->valueTexts[0], QString());
}

// Both lines on CH1 with sentinel readings (a case the answer fuzzer found):
// in a copy both lines show the copy's own CH1, which may keep no raw
// sentinel as a reading and miss no text.
void TestDecoding::convertSentinelsOnOneChannel()
{
    DecoderBench bench;
    bench.bindLines("CH1,WATT", "CH1,VPP");
    bench.decode("VOLTage:RANGe:CH1?", "AUTO,30mV");
    bench.decode("Fetch?", "9.9E+37,9.91E+37,9.91E+37,0");
    DmmData copy(bench.live());
    VarnokTestAccess::convert(bench.driver, &copy);

    const QList<const ChannelData *> entries{copy.channels[0], copy.lines[0]->channel, copy.lines[1]->channel};
    for (const ChannelData *ch : entries) {
        QCOMPARE(ch->number, 1);
        QCOMPARE(ch->valueModes, (QList<int>{DmmData::ValueOverload, DmmData::ValueNone}));
        QCOMPARE(ch->values, (QList<double>{0.0, 0.0}));
        QCOMPARE(ch->valueTexts, (QStringList{"  OL ", "-----"}));
        QCOMPARE(ch->unitTexts, (QStringList{"W", "mV"}));
        QCOMPARE(ch->frequencyText, QStringLiteral("-----"));
        QCOMPARE(ch->frequencyUnit, QStringLiteral("Hz"));
    }
    QCOMPARE(copy.channels[1]->frequencyText, QStringLiteral("0.0"));
    QCOMPARE(copy.channels[1]->valueTexts, (QStringList{QString(), QString()})); // shown by no line
}

void TestDecoding::convertFrequency_data()
{
    QTest::addColumn<QByteArray>("frequency");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unit");
    QTest::newRow("kilo, two decimals") << QByteArray("1234.5") << "1.23" << "kHz";
    QTest::newRow("kilo, one decimal") << QByteArray("123456") << "123.5" << "kHz";
    QTest::newRow("mega") << QByteArray("2500000") << "2.50" << "MHz";
    QTest::newRow("hertz") << QByteArray("50") << "50.0" << "Hz";
    QTest::newRow("zero") << QByteArray("0") << "0.0" << "Hz";
    QTest::newRow("below one hertz") << QByteArray("0.5") << "500.0" << "mHz";
    QTest::newRow("none") << QByteArray("9.91E+37") << "-----" << "Hz";
    QTest::newRow("overload") << QByteArray("9.9E+37") << "OL" << "Hz";
}

void TestDecoding::convertFrequency()
{
    QFETCH(QByteArray, frequency);
    QFETCH(QString, text);
    QFETCH(QString, unit);
    DecoderBench bench;
    bench.bindLines("CH1,VOLT", "CH2,VOLT");
    bench.decode("Fetch?", "0,0,7," + frequency);
    DmmData copy(bench.live());
    VarnokTestAccess::convert(bench.driver, &copy);
    QCOMPARE(copy.channels[1]->frequencyText, text);
    QCOMPARE(copy.channels[1]->frequencyUnit, unit);
    QCOMPARE(copy.channels[1]->frequency, frequency.toDouble()); // stays unchanged
    QCOMPARE(copy.channels[0]->frequencyText, QStringLiteral("7.0"));
}

// Before the first function answer no line has a channel; converting such a
// record must leave the readings alone rather than fail.
void TestDecoding::convertUnboundLines()
{
    DecoderBench bench;
    bench.decode("Fetch?", "1,2,50,60");
    DmmData copy(bench.live());
    VarnokTestAccess::convert(bench.driver, &copy);
    QCOMPARE(copy.channels[0]->valueTexts, (QStringList{QString(), QString()}));
    QCOMPARE(copy.channels[0]->frequencyText, QStringLiteral("50.0"));
}

// The copy handed to the window is all it learns of the meter: the trigger
// source must travel with it like the rate, or the control panel could never
// show the meter's source. Each line shows the copy's own entry of its
// channel, never the live record's.
void TestDecoding::copyCarriesWhatTheWindowShows()
{
    DecoderBench bench;
    bench.bindLines("CH2,VOLT", "CH1,DBM");
    bench.decode("VOLTage:RANGe:CH2?", "MANU,3V");
    bench.decode("VOLTage:RATE?", "SLOW");
    bench.decode("TRIGger:SOURce?", "BUS");
    bench.decode("SENSe:HOLD:STATe?", "ON");
    bench.live().setTime(QDateTime::currentDateTime());
    bench.live().setIsStore(true);

    const DmmData copy(bench.live());
    QCOMPARE(copy.triggerSource, QStringLiteral("BUS"));
    QCOMPARE(copy.rate, QStringLiteral("SLOW"));
    QVERIFY(copy.lines[0]->holdState);
    QVERIFY(!copy.time.isValid());
    QVERIFY(!copy.isStore);
    for (int line = 0; line < 2; ++line) {
        ChannelData *own = copy.lines[line]->channel;
        const ChannelData *source = bench.live().lines[line]->channel;
        QVERIFY(own);
        QCOMPARE(own, copy.channels[source->number - 1]);
        QVERIFY(own != source);
        QCOMPARE(own->number, source->number);
        QCOMPARE(own->functions, source->functions);
        QCOMPARE(own->rangeUnit, source->rangeUnit);
    }
}

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"

void TestDecoding::malformedAnswerLogged_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("malformed");
    QTest::newRow("reading") << QByteArray("Fetch?") << QByteArray("1.2E-01,9.9E+37,1000,50") << false;
    QTest::newRow("reading, a field short") << QByteArray("Fetch?") << QByteArray("1,2,3") << true;
    QTest::newRow("reading, text for a number") << QByteArray("Fetch?") << QByteArray("1,2,3,abc") << true;
    QTest::newRow("function") << QByteArray("FUNCtion:LINE1?") << QByteArray("CH2,DBM") << false;
    QTest::newRow("function, no channel") << QByteArray("FUNCtion:LINE1?") << QByteArray("X,WATT") << true;
    QTest::newRow("range") << QByteArray("VOLTage:RANGe:CH1?") << QByteArray("AUTO,380mV") << false;
    QTest::newRow("range without comma") << QByteArray("VOLTage:RANGe:CH1?") << QByteArray("MANU") << true;
    QTest::newRow("state") << QByteArray("SENSe:HOLD:STATe?") << QByteArray("OFF") << false;
    QTest::newRow("state with a CR") << QByteArray("SENSe:HOLD:STATe?") << QByteArray("ON\r") << true;
    QTest::newRow("number") << QByteArray("SENSe:REL:REFerence?") << QByteArray("-2.5E-03") << false;
    QTest::newRow("number that is none") << QByteArray("SENSe:REL:REFerence?") << QByteArray("nan") << true;
    QTest::newRow("hold window") << QByteArray("SENSe:HOLD:WINDow?") << QByteArray("0.1%") << false;
    QTest::newRow("remote") << QByteArray("SYSTem:REMote?") << QByteArray("NO") << false;
    QTest::newRow("remote, neither yes nor no") << QByteArray("SYSTem:REMote?") << QByteArray("MAYBE") << true;
    QTest::newRow("trigger source") << QByteArray("TRIGger:SOURce?") << QByteArray("LATER") << true;
    QTest::newRow("stored count") << QByteArray("MEMory:STORe?") << QByteArray("-5") << true;
    QTest::newRow("unknown command: nothing to judge") << QByteArray("*IDN?") << QByteArray("x") << false;
}

// Each malformed answer is logged in the driver's category, which is off
// until the logging rules switch it on.
void TestDecoding::malformedAnswerLogged()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(bool, malformed);
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context,
                                                                const QString &text) {
        if (QByteArray(context.category) == "dmmpanel.driver")
            logged << text;
    });
    DecoderBench bench;
    bench.decode(command, answer);
    const QStringList byDefault = logged;
    QLoggingCategory::setFilterRules(QStringLiteral("dmmpanel.driver.debug=true"));
    bench.decode(command, answer);
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);

    QCOMPARE(byDefault, QStringList());
    QCOMPARE(logged.size(), malformed ? 1 : 0);
    if (malformed)
        QVERIFY2(logged.first().startsWith("malformed answer to \"" + command + "\""), qPrintable(logged.first()));
}
