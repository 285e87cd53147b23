// The simulated meter as the transport sees it: every command goes through
// the VISA functions; the meter's own API only sets inputs, seeds and faults.

#include "meterbench.h"
#include "nokerneldevices.h"
#include "stderrcapture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <sys/stat.h>

namespace {

const QString Number = QStringLiteral("[-+]?\\d\\.\\d{5}E[-+]\\d\\d");
const QString FourNumbers = QStringList{Number, Number, Number, Number}.join(',');
const QString NoAnswer = QStringLiteral("<no answer>");
const QString ConnectionLost = QStringLiteral("<connection lost>");

// Every query of a setting: their answers together are the meter's state.
const QStringList SettingQueries{
    "FUNCtion:LINE1?",          "FUNCtion:LINE2?",          "VOLTage:RATE?",
    "VOLTage:RANGe:CH1?",       "VOLTage:RANGe:CH2?",       "SENSe:DB:REFerence:CH1?",
    "SENSe:DB:REFerence:CH2?",  "SENSe:DBM:REFerence:CH1?", "SENSe:DBM:REFerence:CH2?",
    "SENSe:REL:STATe?",         "SENSe:REL:REFerence?",     "SENSe:HOLD:WINDow?",
    "SENSe:HOLD:COUNt?",        "SENSe:HOLD:STATe?",        "CALCulate:PERCent:STATe?",
    "CALCulate:PERCent:REFerence?", "CALCulate:MAXMin:STATe?", "CALCulate:COMPare:STATe?",
    "CALCulate:COMPare:LOWer?", "CALCulate:COMPare:UPPer?", "SYSTem:REMote?",
    "TRIGger:SOURce?",          "SYSTem:FLOAt:CH1?",        "SYSTem:FLOAt:CH2?",
    "MEMory:STORe?"};

// Noise-free inputs, so that readings can be compared with hand-computed values.
void steadyInputs(const MeterBench &bench, double ch1Rms, double ch2Rms = 1.2, double ch1Hz = 1000.0,
                  double ch2Hz = 50.0)
{
    bench.meter().setInput(1, {ch1Rms, ch1Hz, 0.0});
    bench.meter().setInput(2, {ch2Rms, ch2Hz, 0.0});
}

QStringList snapshot(const MeterBench &bench)
{
    QStringList answers;
    for (const QString &query : SettingQueries)
        answers << query + " -> " + bench.ask(query);
    return answers;
}

// Runs commands in order: a query's outcome is its answer, NoAnswer or
// ConnectionLost; a set command's outcome is empty or ConnectionLost.
QStringList outcomes(const MeterBench &bench, const QStringList &commands)
{
    QStringList results;
    for (const QString &command : commands) {
        ViStatus status = VI_SUCCESS;
        QString answer;
        if (command.contains('?')) {
            viSetAttribute(bench.session(), VI_ATTR_TMO_VALUE, MeterBench::NoAnswerTimeoutMs);
            answer = bench.query(command, &status);
            viSetAttribute(bench.session(), VI_ATTR_TMO_VALUE, MeterBench::AnswerTimeoutMs);
            answer.chop(1);
        } else {
            status = bench.send(command);
        }
        if (status == VI_ERROR_TMO)
            answer = NoAnswer;
        else if (status == VI_ERROR_CONN_LOST)
            answer = ConnectionLost;
        else if (status != VI_SUCCESS)
            answer = QString("<status %1>").arg(status, 0, 16);
        results << answer;
    }
    return results;
}

bool near(double actual, double expected)
{
    return std::fabs(actual - expected) <= 1e-6 + 1e-5 * std::fabs(expected);
}

QStringList uploadedFields(const MeterBench &bench, int number)
{
    return bench.ask(QString("MEMory:UPLoad? %1").arg(number)).split(',');
}

// Sets an environment variable for the lifetime of the guard.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name)
    {
        qputenv(name, value);
    }
    ~ScopedEnv() { qunsetenv(m_name); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
};

} // namespace

class TestSimulatedMeter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char *name : {"DMMPANEL_SIMULATOR", "DMMPANEL_SIMULATOR_LOG", "DMMPANEL_SIMULATOR_FAULTS"})
            qunsetenv(name);
        QVERIFY(m_noKernelDevices.isValid());
        // The VISA layer lists no simulated meter of its own: only the
        // programs do, at start, when the environment asks for one.
        ViSession rm = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&rm), VI_SUCCESS);
        QCOMPARE(viFindRsrc(rm, "?*", VI_NULL, VI_NULL, m_name), VI_ERROR_RSRC_NFOUND);
        QCOMPARE(viClose(rm), VI_SUCCESS);
    }

    void cleanup() { QCOMPARE(visa::openObjectCount(), std::size_t(0)); }

    void listedUnderItsResourceName()
    {
        MeterBench bench;
        QVERIFY(bench.isOpen());
        ViSession rm = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&rm), VI_SUCCESS);
        ViUInt32 count = 0;
        QCOMPARE(viFindRsrc(rm, "USB?*INSTR", VI_NULL, &count, m_name), VI_SUCCESS);
        QCOMPARE(count, ViUInt32(1));
        QCOMPARE(QString(m_name), QString("USB0::0x28E9::0x0285::KM4473N-SIM::INSTR"));
        QCOMPARE(viClose(rm), VI_SUCCESS);
    }

    void answerFormats_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("pattern"); // of the answer without its line feed

        // Power-on state with the default bench inputs (CH1 ~123 mV, CH2 ~1.2 V).
        QTest::newRow("function of line 1") << "FUNCtion:LINE1?" << "CH1,VOLT";
        QTest::newRow("function of line 2") << "FUNCtion:LINE2?" << "CH2,VOLT";
        QTest::newRow("range CH1") << "VOLTage:RANGe:CH1?" << "AUTO,380mV";
        QTest::newRow("range CH2") << "VOLTage:RANGe:CH2?" << "AUTO,3\\.8V";
        QTest::newRow("rate") << "VOLTage:RATE?" << "FAST";
        QTest::newRow("dB reference") << "SENSe:DB:REFerence:CH1?" << "1";
        QTest::newRow("dBm reference") << "SENSe:DBM:REFerence:CH2?" << "600";
        QTest::newRow("REL state") << "SENSe:REL:STATe?" << "OFF";
        QTest::newRow("REL reference") << "SENSe:REL:REFerence?" << "0";
        QTest::newRow("hold window with percent sign") << "SENSe:HOLD:WINDow?" << "0\\.1%";
        QTest::newRow("hold count") << "SENSe:HOLD:COUNt?" << "2";
        QTest::newRow("hold state") << "SENSe:HOLD:STATe?" << "OFF";
        QTest::newRow("percent state") << "CALCulate:PERCent:STATe?" << "OFF";
        QTest::newRow("percent reference") << "CALCulate:PERCent:REFerence?" << "1";
        QTest::newRow("percent reading while off: no value") << "CALCulate:PERCent:READ?" << "9\\.91000E\\+37";
        QTest::newRow("max/min state") << "CALCulate:MAXMin:STATe?" << "OFF";
        QTest::newRow("max,min while off: no values") << "CALCulate:MAXMin:ALL?" << "9\\.91000E\\+37,9\\.91000E\\+37";
        QTest::newRow("compare result") << "CALCulate:COMPare:STATe?" << "OFF";
        QTest::newRow("compare lower") << "CALCulate:COMPare:LOWer?" << "0";
        QTest::newRow("compare upper") << "CALCulate:COMPare:UPPer?" << "0";
        QTest::newRow("remote") << "SYSTem:REMote?" << "NO";
        QTest::newRow("trigger source") << "TRIGger:SOURce?" << "IMM";
        QTest::newRow("floating") << "SYSTem:FLOAt:CH2?" << "OFF";
        QTest::newRow("stored count") << "MEMory:STORe?" << "0";
        QTest::newRow("fetch: four numbers") << "Fetch?" << FourNumbers;
        // Headers in short form, any letter case, with a leading colon.
        QTest::newRow("short form, lower case") << "func:line1?" << "CH1,VOLT";
        QTest::newRow("mixed forms") << "VOLT:RANGe:ch2?" << "AUTO,3\\.8V";
        QTest::newRow("leading colon") << ":SYST:REM?" << "NO";
        QTest::newRow("fetch, upper case") << "FETCH?" << FourNumbers;
        QTest::newRow("trailing blanks") << "MEM:STOR?  " << "0";
    }
    void answerFormats()
    {
        QFETCH(QString, query);
        QFETCH(QString, pattern);
        MeterBench bench;
        ViStatus status = VI_ERROR_TMO;
        const QString answer = bench.query(query, &status);
        QCOMPARE(status, VI_SUCCESS);
        const QRegularExpression expected(QRegularExpression::anchoredPattern(pattern + "\n"));
        QVERIFY2(expected.match(answer).hasMatch(), qPrintable(answer));
    }

    void defaultInputsLookLikeABench()
    {
        MeterBench bench;
        const QList<double> values = bench.fetch();
        QCOMPARE(values.size(), 4);
        QVERIFY2(std::fabs(values[0] - 0.123) < 0.123 * 0.01, qPrintable(QString::number(values[0])));
        QVERIFY2(std::fabs(values[1] - 1.2) < 1.2 * 0.01, qPrintable(QString::number(values[1])));
        QVERIFY(std::fabs(values[2] - 1000.0) < 1.0);
        QVERIFY(std::fabs(values[3] - 50.0) < 0.1);
    }

    void settingReadBack_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("answer");

        for (const char *function : {"VOLT", "VPP", "WATT", "DB", "DBM", "DBUV", "DBMV", "DBV"}) {
            QTest::addRow("line 1 on CH2, %s", function)
                << QStringList{QString("FUNCtion:LINE1 CH2,%1").arg(function)} << "FUNCtion:LINE1?"
                << QString("CH2,%1").arg(function);
            QTest::addRow("line 2 on CH1, %s", function)
                << QStringList{QString("FUNCtion:LINE2 CH1,%1").arg(function)} << "FUNCtion:LINE2?"
                << QString("CH1,%1").arg(function);
        }
        QTest::newRow("function in lower case") << QStringList{"func:line2 ch1,dbm"} << "FUNCtion:LINE2?" << "CH1,DBM";
        QTest::newRow("channel only keeps the function")
            << QStringList{"FUNCtion:LINE1 CH1,DBV", "FUNCtion:LINE1 CH2"} << "FUNCtion:LINE1?" << "CH2,DBV";
        QTest::newRow("both lines on one channel")
            << QStringList{"FUNCtion:LINE2 CH1,VPP"} << "FUNCtion:LINE1?" << "CH1,VOLT";

        const QList<QPair<QString, QString>> ranges{{"3.7mV", "3.8mV"}, {"37mV", "38mV"}, {"370mV", "380mV"},
                                                    {"3.7V", "3.8V"},   {"37V", "38V"},   {"370V", "380V"}};
        for (const auto &[sent, shown] : ranges) {
            QTest::addRow("CH1 range %s", qPrintable(sent))
                << QStringList{"VOLTage:RANGe:CH1 " + sent} << "VOLTage:RANGe:CH1?" << "MANU," + shown;
            QTest::addRow("CH2 range %s", qPrintable(sent))
                << QStringList{"VOLTage:RANGe:CH2 " + sent} << "VOLTage:RANGe:CH2?" << "MANU," + shown;
        }
        QTest::newRow("back to auto") << QStringList{"VOLTage:RANGe:CH1 37V", "VOLTage:RANGe:CH1 AUTO"}
                                      << "VOLTage:RANGe:CH1?" << "AUTO,380mV";
        QTest::newRow("one channel's range leaves the other")
            << QStringList{"VOLTage:RANGe:CH1 37V"} << "VOLTage:RANGe:CH2?" << "AUTO,3.8V";

        for (const char *rate : {"MED", "SLOW"})
            QTest::addRow("rate %s", rate) << QStringList{QString("VOLTage:RATE %1").arg(rate)} << "VOLTage:RATE?" << rate;
        QTest::newRow("rate back to FAST") << QStringList{"VOLTage:RATE SLOW", "VOLTage:RATE FAST"} << "VOLTage:RATE?"
                                           << "FAST";

        QTest::newRow("dB reference CH1") << QStringList{"SENSe:DB:REFerence:CH1 0.775"} << "SENSe:DB:REFerence:CH1?"
                                          << "0.775";
        QTest::newRow("dB reference CH2") << QStringList{"SENSe:DB:REFerence:CH2 1000"} << "SENSe:DB:REFerence:CH2?"
                                          << "1000";
        QTest::newRow("dB reference of one channel only")
            << QStringList{"SENSe:DB:REFerence:CH2 0.775"} << "SENSe:DB:REFerence:CH1?" << "1";
        QTest::newRow("dBm reference CH2") << QStringList{"SENSe:DBM:REFerence:CH2 50"} << "SENSe:DBM:REFerence:CH2?"
                                           << "50";
        QTest::newRow("dBm reference lowest") << QStringList{"SENSe:DBM:REFerence:CH1 1"} << "SENSe:DBM:REFerence:CH1?"
                                              << "1";

        QTest::newRow("REL on") << QStringList{"SENSe:REL:STATe ON"} << "SENSe:REL:STATe?" << "ON";
        QTest::newRow("REL off again") << QStringList{"SENSe:REL:STATe ON", "SENSe:REL:STATe OFF"} << "SENSe:REL:STATe?"
                                       << "OFF";
        QTest::newRow("REL reference") << QStringList{"SENSe:REL:REFerence 0.5"} << "SENSe:REL:REFerence?" << "0.5";
        QTest::newRow("REL reference negative") << QStringList{"SENSe:REL:REFerence -0.01"} << "SENSe:REL:REFerence?"
                                                << "-0.01";

        for (const char *window : {"0.01", "0.5", "1.5", "10"}) {
            QTest::addRow("hold window %s%%", window)
                << QStringList{QString("SENSe:HOLD:WINDow %1%").arg(window)} << "SENSe:HOLD:WINDow?"
                << QString("%1%").arg(window);
        }
        for (const char *count : {"2", "10", "100"}) {
            QTest::addRow("hold count %s", count)
                << QStringList{QString("SENSe:HOLD:COUNt %1").arg(count)} << "SENSe:HOLD:COUNt?" << count;
        }
        QTest::newRow("hold on") << QStringList{"SENSe:HOLD:STATe ON"} << "SENSe:HOLD:STATe?" << "ON";

        QTest::newRow("percent on") << QStringList{"CALCulate:PERCent:STATe ON"} << "CALCulate:PERCent:STATe?" << "ON";
        QTest::newRow("percent reference") << QStringList{"CALCulate:PERCent:REFerence 2.5"}
                                           << "CALCulate:PERCent:REFerence?" << "2.5";
        QTest::newRow("percent reference, exponent form")
            << QStringList{"CALCulate:PERCent:REFerence 1.2e-05"} << "CALCulate:PERCent:REFerence?" << "1.2e-05";
        QTest::newRow("max/min on") << QStringList{"CALCulate:MAXMin:STATe ON"} << "CALCulate:MAXMin:STATe?" << "ON";
        QTest::newRow("compare lower") << QStringList{"CALCulate:COMPare:LOWer 0.1"} << "CALCulate:COMPare:LOWer?"
                                       << "0.1";
        QTest::newRow("compare upper") << QStringList{"CALCulate:COMPare:UPPer 0.2"} << "CALCulate:COMPare:UPPer?"
                                       << "0.2";

        for (const char *source : {"MAN", "BUS"}) {
            QTest::addRow("trigger %s", source)
                << QStringList{QString("TRIGger:SOURce %1").arg(source)} << "TRIGger:SOURce?" << source;
        }
        QTest::newRow("trigger back to IMM") << QStringList{"TRIGger:SOURce BUS", "TRIGger:SOURce IMM"}
                                             << "TRIGger:SOURce?" << "IMM";

        QTest::newRow("floating CH1") << QStringList{"SYSTem:FLOAt:CH1 ON"} << "SYSTem:FLOAt:CH1?" << "ON";
        QTest::newRow("floating CH2 leaves CH1") << QStringList{"SYSTem:FLOAt:CH2 ON"} << "SYSTem:FLOAt:CH1?" << "OFF";
        QTest::newRow("floating CH2") << QStringList{"SYSTem:FLOAt:CH2 ON"} << "SYSTem:FLOAt:CH2?" << "ON";

        QTest::newRow("remote") << QStringList{"SYSTem:REMote"} << "SYSTem:REMote?" << "YES";
        QTest::newRow("local") << QStringList{"SYSTem:REMote", "SYSTem:LOCal"} << "SYSTem:REMote?" << "NO";

        QTest::newRow("store one") << QStringList{"MEMory:STORe"} << "MEMory:STORe?" << "1";
        QTest::newRow("store two") << QStringList{"MEMory:STORe", "MEMory:STORe"} << "MEMory:STORe?" << "2";
    }
    void settingReadBack() { answerAfterCommands(); }

    void malformedSetChangesNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("channel 3") << "FUNCtion:LINE1 CH3,DB";
        QTest::newRow("unknown function") << "FUNCtion:LINE1 CH2,FREQ";
        QTest::newRow("function without channel") << "FUNCtion:LINE1 DBM";
        QTest::newRow("line 3") << "FUNCtion:LINE3 CH1";
        QTest::newRow("range shown, not sent") << "VOLTage:RANGe:CH1 380mV";
        QTest::newRow("range missing") << "VOLTage:RANGe:CH1";
        QTest::newRow("range of channel 3") << "VOLTage:RANGe:CH3 AUTO";
        QTest::newRow("unknown rate") << "VOLTage:RATE QUICK";
        QTest::newRow("dB reference not a number") << "SENSe:DB:REFerence:CH1 abc";
        QTest::newRow("dB reference too small") << "SENSe:DB:REFerence:CH1 0.01";
        QTest::newRow("dBm reference zero") << "SENSe:DBM:REFerence:CH2 0";
        QTest::newRow("dBm reference with unit") << "SENSe:DBM:REFerence:CH2 50ohm";
        QTest::newRow("REL state unknown") << "SENSe:REL:STATe MAYBE";
        QTest::newRow("REL reference empty") << "SENSe:REL:REFerence";
        QTest::newRow("hold window too wide") << "SENSe:HOLD:WINDow 50%";
        QTest::newRow("hold window not a number") << "SENSe:HOLD:WINDow x%";
        QTest::newRow("hold count too small") << "SENSe:HOLD:COUNt 1";
        QTest::newRow("hold count fractional") << "SENSe:HOLD:COUNt 2.5";
        QTest::newRow("percent reference two numbers") << "CALCulate:PERCent:REFerence 1 2";
        QTest::newRow("compare limit infinite") << "CALCulate:COMPare:UPPer inf";
        QTest::newRow("unknown trigger source") << "TRIGger:SOURce EXT";
        QTest::newRow("floating YES") << "SYSTem:FLOAt:CH1 YES";
        QTest::newRow("remote with parameter") << "SYSTem:REMote 1";
        QTest::newRow("store with parameter") << "MEMory:STORe 3";
        QTest::newRow("delete missing record") << "MEMory:DELete 5";
        QTest::newRow("delete record 0") << "MEMory:DELete 0";
        QTest::newRow("delete without index") << "MEMory:DELete";
        QTest::newRow("unknown command") << "BOGUS:COMMand 1";
        QTest::newRow("empty node") << "SENSe::REL:STATe ON";
        QTest::newRow("query without question mark") << "MEMory:UPLoad 1";
    }
    void malformedSetChangesNothing()
    {
        QFETCH(QString, command);
        MeterBench bench;
        steadyInputs(bench, 0.123);
        bench.meter().fillMemory(2);
        const QStringList before = snapshot(bench);
        QCOMPARE(bench.send(command), VI_SUCCESS);
        QCOMPARE(snapshot(bench), before);
    }

    void unknownQueryTimesOut_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("unknown header") << "BOGUS?";
        QTest::newRow("line 3") << "FUNCtion:LINE3?";
        QTest::newRow("range of channel 3") << "VOLTage:RANGe:CH3?";
        QTest::newRow("range without channel") << "VOLTage:RANGe?";
        QTest::newRow("fetch with parameter") << "Fetch? 1";
        QTest::newRow("upload of an empty memory") << "MEMory:UPLoad? 1";
        QTest::newRow("upload of record 0") << "MEMory:UPLoad? 0";
        QTest::newRow("upload without index") << "MEMory:UPLoad?";
        QTest::newRow("upload of a word") << "MEMory:UPLoad? first";
        QTest::newRow("set-only command queried") << "SYSTem:LOCal?";
        QTest::newRow("delete queried") << "MEMory:DELete?";
    }
    void unknownQueryTimesOut()
    {
        QFETCH(QString, query);
        MeterBench bench;
        QCOMPARE(bench.queryExpectingSilence(query), VI_ERROR_TMO);
        // Nothing late is left over to answer the next query.
        QCOMPARE(bench.ask("FUNCtion:LINE1?"), QString("CH1,VOLT"));
    }

    void setCommandGetsNoAnswer()
    {
        MeterBench bench;
        QCOMPARE(bench.send("SYSTem:REMote"), VI_SUCCESS);
        viSetAttribute(bench.session(), VI_ATTR_TMO_VALUE, MeterBench::NoAnswerTimeoutMs);
        ViByte buffer[64];
        ViUInt32 got = 99;
        QCOMPARE(viRead(bench.session(), buffer, sizeof buffer, &got), VI_ERROR_TMO);
        QCOMPARE(got, ViUInt32(0));
    }

    void conversions_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QStringList>("references");
        QTest::addColumn<double>("rms");
        QTest::addColumn<double>("expected"); // worked out by hand

        QTest::newRow("VOLT 123 mV") << "VOLT" << QStringList{} << 0.123 << 0.123;
        QTest::newRow("VOLT 20 V") << "VOLT" << QStringList{} << 20.0 << 20.0;
        QTest::newRow("VPP of a 123 mV sine: 2*sqrt2*rms") << "VPP" << QStringList{} << 0.123 << 0.3478965363;
        QTest::newRow("VPP of a 1 V sine") << "VPP" << QStringList{} << 1.0 << 2.8284271247;
        QTest::newRow("WATT 1.2 V into 600 ohm") << "WATT" << QStringList{} << 1.2 << 0.0024;
        QTest::newRow("WATT 1 V into 50 ohm") << "WATT" << QStringList{"SENSe:DBM:REFerence:CH1 50"} << 1.0 << 0.02;
        QTest::newRow("DB at the reference") << "DB" << QStringList{"SENSe:DB:REFerence:CH1 0.775"} << 0.775 << 0.0;
        QTest::newRow("DB twice the reference") << "DB" << QStringList{"SENSe:DB:REFerence:CH1 0.775"} << 1.55
                                                << 6.0205999133;
        QTest::newRow("DB against the default 1 V") << "DB" << QStringList{} << 0.1 << -20.0;
        QTest::newRow("DBM 1 V into 600 ohm") << "DBM" << QStringList{} << 1.0 << 2.2184874962;
        QTest::newRow("DBM 1 mW into 600 ohm") << "DBM" << QStringList{} << 0.7745966692 << 0.0;
        QTest::newRow("DBM 1 V into 50 ohm") << "DBM" << QStringList{"SENSe:DBM:REFerence:CH1 50"} << 1.0
                                             << 13.0102999566;
        QTest::newRow("DBUV 1 mV") << "DBUV" << QStringList{} << 0.001 << 60.0;
        QTest::newRow("DBUV 123 mV") << "DBUV" << QStringList{} << 0.123 << 101.7981022288;
        QTest::newRow("DBMV 10 mV") << "DBMV" << QStringList{} << 0.01 << 20.0;
        QTest::newRow("DBV 100 mV") << "DBV" << QStringList{} << 0.1 << -20.0;
        QTest::newRow("DBV 1.2 V") << "DBV" << QStringList{} << 1.2 << 1.5836249210;
        QTest::newRow("references of the other channel do not count")
            << "DBM" << QStringList{"SENSe:DBM:REFerence:CH2 50", "SENSe:DB:REFerence:CH2 0.775"} << 1.0
            << 2.2184874962;
    }
    void conversions()
    {
        QFETCH(QString, function);
        QFETCH(QStringList, references);
        QFETCH(double, rms);
        QFETCH(double, expected);
        MeterBench bench;
        steadyInputs(bench, rms, 0.5);
        // Both lines show CH1 with the function: each line converts on its own.
        QVERIFY(bench.sendAll(references));
        QVERIFY(bench.sendAll({"FUNCtion:LINE1 CH1," + function, "FUNCtion:LINE2 CH1," + function}));
        const QList<double> values = bench.fetch();
        QCOMPARE(values.size(), 4);
        QVERIFY2(near(values[0], expected), qPrintable(QString::number(values[0], 'g', 12)));
        QVERIFY2(near(values[1], expected), qPrintable(QString::number(values[1], 'g', 12)));
        QCOMPARE(values[2], 1000.0);
    }

    void linesFollowTheirChannels()
    {
        MeterBench bench;
        steadyInputs(bench, 0.123, 1.2, 1000.0, 50.0);
        QVERIFY(bench.sendAll({"FUNCtion:LINE1 CH2,VOLT", "FUNCtion:LINE2 CH1,VPP"}));
        QCOMPARE(bench.ask("Fetch?"), QString("1.20000E+00,3.47897E-01,1.00000E+03,5.00000E+01"));
    }

    void autoRange_data()
    {
        QTest::addColumn<double>("rms");
        QTest::addColumn<QString>("range");
        QTest::newRow("1 mV") << 0.001 << "AUTO,3.8mV";
        QTest::newRow("full scale of the smallest") << 0.0038 << "AUTO,3.8mV";
        QTest::newRow("just above it") << 0.00381 << "AUTO,38mV";
        QTest::newRow("123 mV") << 0.123 << "AUTO,380mV";
        QTest::newRow("1.2 V") << 1.2 << "AUTO,3.8V";
        QTest::newRow("20 V") << 20.0 << "AUTO,38V";
        QTest::newRow("300 V") << 300.0 << "AUTO,380V";
    }
    void autoRange()
    {
        QFETCH(double, rms);
        QFETCH(QString, range);
        MeterBench bench;
        steadyInputs(bench, rms, rms);
        QCOMPARE(bench.ask("VOLTage:RANGe:CH1?"), range);
        QCOMPARE(bench.ask("VOLTage:RANGe:CH2?"), range);
        QVERIFY(near(bench.fetch().value(0), rms));
    }

    void sentinels_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<double>("rms");
        QTest::addColumn<double>("hertz");
        QTest::addColumn<QString>("reading"); // LINE1's field of Fetch?
        QTest::addColumn<QString>("frequency"); // CH1's field

        QTest::newRow("overload on a manual range") << QStringList{"VOLTage:RANGe:CH1 37mV"} << 0.1 << 1000.0
                                                    << "9.90000E+37" << "1.00000E+03";
        QTest::newRow("overload above the largest range") << QStringList{} << 500.0 << 50.0 << "9.90000E+37"
                                                          << "5.00000E+01";
        QTest::newRow("overload in dBm") << QStringList{"FUNCtion:LINE1 CH1,DBM", "VOLTage:RANGe:CH1 3.7V"} << 5.0
                                         << 1000.0 << "9.90000E+37" << "1.00000E+03";
        QTest::newRow("dB of no signal") << QStringList{"FUNCtion:LINE1 CH1,DB"} << 0.0 << 0.0 << "9.91000E+37"
                                         << "9.91000E+37";
        QTest::newRow("frequency of no signal") << QStringList{} << 0.1 << 0.0 << "1.00000E-01" << "9.91000E+37";
        QTest::newRow("below what the range resolves") << QStringList{"VOLTage:RANGe:CH1 370V"} << 0.01 << 1000.0
                                                       << "-9.90000E+37" << "9.91000E+37";
    }
    void sentinels()
    {
        QFETCH(QStringList, commands);
        QFETCH(double, rms);
        QFETCH(double, hertz);
        QFETCH(QString, reading);
        QFETCH(QString, frequency);
        MeterBench bench;
        steadyInputs(bench, rms, 1.2, hertz);
        QVERIFY(bench.sendAll(commands));
        const QStringList fields = bench.ask("Fetch?").split(',');
        QCOMPARE(fields.size(), 4);
        QCOMPARE(fields[0], reading);
        QCOMPARE(fields[2], frequency);
        // The texts read back as exactly the sentinel numbers.
        for (const QString &field : {fields[0], fields[2]}) {
            const double value = field.toDouble();
            if (field.contains("E+37"))
                QVERIFY(value == 9.9e37 || value == -9.9e37 || value == 9.91e37);
        }
    }

    void storedRecordExample()
    {
        // A record as written in the meter's documentation: LINE1 on CH1,
        // auto range, trigger MAN, a frequency on LINE2.
        MeterBench bench;
        dmmsim::StoredRecord record;
        record.flags = 4113;
        record.line1 = {0.12345, "V"};
        record.line2 = {50.0, "Hz"};
        QVERIFY(bench.meter().appendStoredRecord(record));
        QCOMPARE(bench.ask("MEMory:STORe?"), QString("1"));
        ViStatus status = VI_ERROR_TMO;
        QCOMPARE(bench.query("MEMory:UPLoad? 1", &status), QString("4113,1.2345E-01V,5.0000E+01Hz,0,0\n"));
        QCOMPARE(status, VI_SUCCESS);
    }

    void storedRecordOfThePresentReading()
    {
        MeterBench bench;
        steadyInputs(bench, 0.12345, 1.2);
        QVERIFY(bench.sendAll({"TRIGger:SOURce MAN", "MEMory:STORe"}));
        QCOMPARE(bench.ask("MEMory:UPLoad? 1"), QString("4113,1.2345E-01V,1.2000E+00V,0,0"));
    }

    void storedFlags_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("flags");
        // Power-on: LINE1 on CH1 (bit 0), LINE2 on CH2, CH1 auto-ranging (bit 4).
        QTest::newRow("power-on") << QStringList{} << 17;
        QTest::newRow("LINE1 on CH2, CH2 auto") << QStringList{"FUNCtion:LINE1 CH2"} << 16;
        QTest::newRow("LINE2 on CH1") << QStringList{"FUNCtion:LINE2 CH1"} << 19;
        QTest::newRow("CH1 floating") << QStringList{"SYSTem:FLOAt:CH1 ON"} << 21;
        QTest::newRow("CH2 floating") << QStringList{"SYSTem:FLOAt:CH2 ON"} << 25;
        QTest::newRow("CH1 manual range") << QStringList{"VOLTage:RANGe:CH1 370mV"} << 1;
        QTest::newRow("range bit follows LINE1's channel")
            << QStringList{"VOLTage:RANGe:CH1 370mV", "FUNCtion:LINE1 CH2"} << 16;
        QTest::newRow("REL") << QStringList{"SENSe:REL:STATe ON"} << 49;
        QTest::newRow("MAX/MIN") << QStringList{"CALCulate:MAXMin:STATe ON"} << 81;
        QTest::newRow("HOLD") << QStringList{"SENSe:HOLD:STATe ON"} << 145;
        const QStringList limits{"CALCulate:COMPare:LOWer 0.1", "CALCulate:COMPare:UPPer 0.2"};
        QTest::newRow("compare limits set, compare off") << limits << 17;
        QTest::newRow("compare IN") << limits + QStringList{"CALCulate:COMPare:STATe ON"} << 17 + (2 << 8);
        QTest::newRow("compare HI") << QStringList{"CALCulate:COMPare:UPPer 0.11", "CALCulate:COMPare:STATe ON"}
                                    << 17 + (1 << 8);
        QTest::newRow("compare LO") << QStringList{"CALCulate:COMPare:LOWer 0.13", "CALCulate:COMPare:UPPer 0.2",
                                                   "CALCulate:COMPare:STATe ON"}
                                    << 17 + (3 << 8);
        QTest::newRow("rate MED") << QStringList{"VOLTage:RATE MED"} << 17 + (1 << 10);
        QTest::newRow("rate SLOW") << QStringList{"VOLTage:RATE SLOW"} << 17 + (2 << 10);
        QTest::newRow("trigger MAN") << QStringList{"TRIGger:SOURce MAN"} << 17 + (1 << 12);
        QTest::newRow("trigger BUS") << QStringList{"TRIGger:SOURce BUS"} << 17 + (2 << 12);
    }
    void storedFlags()
    {
        QFETCH(QStringList, commands);
        QFETCH(int, flags);
        MeterBench bench;
        steadyInputs(bench, 0.123);
        QVERIFY(bench.sendAll(commands + QStringList{"MEMory:STORe"}));
        const QStringList fields = uploadedFields(bench, 1);
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields[0], QString::number(flags));
    }

    void storedUnits_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("unit");
        QTest::newRow("VOLT") << "VOLT" << "V";
        QTest::newRow("VPP") << "VPP" << "VPP";
        QTest::newRow("WATT") << "WATT" << "W";
        for (const char *decibel : {"DB", "DBM", "DBUV", "DBMV", "DBV"})
            QTest::newRow(decibel) << decibel << decibel;
    }
    void storedUnits()
    {
        QFETCH(QString, function);
        QFETCH(QString, unit);
        MeterBench bench;
        steadyInputs(bench, 0.123, 1.2);
        QVERIFY(bench.sendAll({"FUNCtion:LINE1 CH1," + function, "MEMory:STORe"}));
        const double shown = bench.fetch().value(0);
        const QStringList fields = uploadedFields(bench, 1);
        QCOMPARE(fields.size(), 5);
        const QRegularExpression field(QRegularExpression::anchoredPattern("([-+]?\\d\\.\\d{4}E[-+]\\d\\d)([A-Za-z]+)"));
        const QRegularExpressionMatch line1 = field.match(fields[1]);
        QVERIFY2(line1.hasMatch(), qPrintable(fields[1]));
        QCOMPARE(line1.captured(2), unit);
        QVERIFY2(std::fabs(line1.captured(1).toDouble() - shown) <= 1e-4 * std::fabs(shown), qPrintable(fields[1]));
        QCOMPARE(fields[2], QString("1.2000E+00V"));
        QCOMPARE(fields[3], QString("0"));
        QCOMPARE(fields[4], QString("0"));
    }

    void storedMaxMin()
    {
        MeterBench bench;
        steadyInputs(bench, 0.1);
        QVERIFY(bench.sendAll({"TRIGger:SOURce BUS", "CALCulate:MAXMin:STATe ON", "*TRG"}));
        bench.meter().setInput(1, {0.2, 1000.0, 0.0});
        QVERIFY(bench.sendAll({"*TRG"}));
        bench.meter().setInput(1, {0.05, 1000.0, 0.0});
        QVERIFY(bench.sendAll({"*TRG", "MEMory:STORe"}));
        QCOMPARE(bench.ask("MEMory:UPLoad? 1"), QString("8273,5.0000E-02V,1.2000E+00V,2.0000E-01V,5.0000E-02V"));
    }

    void memoryDeleteRenumbers()
    {
        MeterBench bench;
        for (int i = 1; i <= 5; ++i) {
            dmmsim::StoredRecord record;
            record.flags = 17;
            record.line1 = {double(i), "V"};
            record.line2 = {0.5, "V"};
            QVERIFY(bench.meter().appendStoredRecord(record));
        }
        const auto line1s = [&bench] {
            QStringList values;
            const int count = bench.ask("MEMory:STORe?").toInt();
            for (int n = 1; n <= count; ++n)
                values << uploadedFields(bench, n).value(1);
            return values;
        };
        QVERIFY(bench.sendAll({"MEMory:DELete 2"}));
        QCOMPARE(line1s(), (QStringList{"1.0000E+00V", "3.0000E+00V", "4.0000E+00V", "5.0000E+00V"}));
        QCOMPARE(bench.queryExpectingSilence("MEMory:UPLoad? 5"), VI_ERROR_TMO);
        QVERIFY(bench.sendAll({"MEMory:DELete 4", "MEMory:DELete 1"}));
        QCOMPARE(line1s(), (QStringList{"3.0000E+00V", "4.0000E+00V"}));
        QVERIFY(bench.sendAll({"MEMory:DELete ALL"}));
        QCOMPARE(bench.ask("MEMory:STORe?"), QString("0"));
        QCOMPARE(bench.queryExpectingSilence("MEMory:UPLoad? 1"), VI_ERROR_TMO);
        QVERIFY(bench.sendAll({"mem:del all"})); // empty already: still fine
        QCOMPARE(bench.ask("MEMory:STORe?"), QString("0"));
    }

    void memoryCapacity()
    {
        MeterBench bench;
        bench.meter().fillMemory(999);
        QVERIFY(bench.sendAll({"MEMory:STORe"}));
        QCOMPARE(bench.ask("MEMory:STORe?"), QString("1000"));
        const QString last = bench.ask("MEMory:UPLoad? 1000");
        // A full memory refuses a new reading and keeps the ones it has.
        steadyInputs(bench, 0.3);
        QVERIFY(bench.sendAll({"MEMory:STORe"}));
        QCOMPARE(bench.ask("MEMory:STORe?"), QString("1000"));
        QCOMPARE(bench.ask("MEMory:UPLoad? 1000"), last);
        QCOMPARE(bench.queryExpectingSilence("MEMory:UPLoad? 1001"), VI_ERROR_TMO);
    }

    void measuringFunctions_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("answer");
        // CH1 steady at 123 mV on LINE1.
        QTest::newRow("REL subtracts the reference")
            << QStringList{"SENSe:REL:REFerence 0.1", "SENSe:REL:STATe ON"} << "Fetch?"
            << "2.30000E-02,1.20000E+00,1.00000E+03,5.00000E+01";
        QTest::newRow("REL leaves LINE2 alone")
            << QStringList{"FUNCtion:LINE2 CH1", "SENSe:REL:REFerence 0.1", "SENSe:REL:STATe ON"} << "Fetch?"
            << "2.30000E-02,1.23000E-01,1.00000E+03,5.00000E+01";
        QTest::newRow("percent of the reference")
            << QStringList{"CALCulate:PERCent:REFerence 0.246", "CALCulate:PERCent:STATe ON"} << "CALCulate:PERCent:READ?"
            << "5.00000E+01";
        QTest::newRow("max,min from the moment it is on") << QStringList{"CALCulate:MAXMin:STATe ON"}
                                                          << "CALCulate:MAXMin:ALL?" << "1.23000E-01,1.23000E-01";
        QTest::newRow("compare IN") << QStringList{"CALCulate:COMPare:LOWer 0.1", "CALCulate:COMPare:UPPer 0.2",
                                                   "CALCulate:COMPare:STATe ON"}
                                    << "CALCulate:COMPare:STATe?" << "IN";
        QTest::newRow("compare HI") << QStringList{"CALCulate:COMPare:UPPer 0.12", "CALCulate:COMPare:STATe ON"}
                                    << "CALCulate:COMPare:STATe?" << "HI";
        QTest::newRow("compare LO") << QStringList{"CALCulate:COMPare:LOWer 0.2", "CALCulate:COMPare:UPPer 0.3",
                                                   "CALCulate:COMPare:STATe ON"}
                                    << "CALCulate:COMPare:STATe?" << "LO";
        QTest::newRow("compare off again") << QStringList{"CALCulate:COMPare:UPPer 0.12", "CALCulate:COMPare:STATe ON",
                                                          "CALCulate:COMPare:STATe OFF"}
                                           << "CALCulate:COMPare:STATe?" << "OFF";
    }
    void measuringFunctions() { answerAfterCommands(); }

    void maxMinTracksReadings()
    {
        MeterBench bench;
        steadyInputs(bench, 0.1);
        QVERIFY(bench.sendAll({"TRIGger:SOURce BUS", "CALCulate:MAXMin:STATe ON", "*TRG"}));
        for (double rms : {0.2, 0.05, 0.15}) {
            bench.meter().setInput(1, {rms, 1000.0, 0.0});
            QVERIFY(bench.sendAll({"*TRG"}));
        }
        QCOMPARE(bench.ask("CALCulate:MAXMin:ALL?"), QString("2.00000E-01,5.00000E-02"));
        // Switched off and on it starts over from the present reading.
        QVERIFY(bench.sendAll({"CALCulate:MAXMin:STATe OFF", "CALCulate:MAXMin:STATe ON"}));
        QCOMPARE(bench.ask("CALCulate:MAXMin:ALL?"), QString("1.50000E-01,1.50000E-01"));
    }

    void holdFreezesAfterCountAgreeingReadings()
    {
        MeterBench bench;
        steadyInputs(bench, 0.1);
        QVERIFY(bench.sendAll({"TRIGger:SOURce BUS", "SENSe:HOLD:WINDow 1%", "SENSe:HOLD:COUNt 3",
                               "SENSe:HOLD:STATe ON", "*TRG", "*TRG"}));
        QCOMPARE(bench.fetch().value(0), 0.1);
        bench.meter().setInput(1, {0.2, 1000.0, 0.0});
        // Two readings of the new level are not enough: the shown one stays.
        for (int i = 0; i < 2; ++i) {
            QVERIFY(bench.sendAll({"*TRG"}));
            QCOMPARE(bench.fetch().value(0), 0.1);
        }
        QVERIFY(bench.sendAll({"*TRG"}));
        QCOMPARE(bench.fetch().value(0), 0.2);
        // Without HOLD the line follows every reading.
        bench.meter().setInput(1, {0.3, 1000.0, 0.0});
        QVERIFY(bench.sendAll({"SENSe:HOLD:STATe OFF", "*TRG"}));
        QCOMPARE(bench.fetch().value(0), 0.3);
    }

    void triggerSources()
    {
        MeterBench bench;
        steadyInputs(bench, 0.1);
        QVERIFY(bench.sendAll({"TRIGger:SOURce MAN"}));
        bench.meter().setInput(1, {0.2, 1000.0, 0.0});
        QCOMPARE(bench.fetch().value(0), 0.1); // waits for the TRIG key
        bench.meter().pressTrigger();
        QCOMPARE(bench.fetch().value(0), 0.2);

        QVERIFY(bench.sendAll({"TRIGger:SOURce BUS"}));
        bench.meter().setInput(1, {0.3, 1000.0, 0.0});
        bench.meter().pressTrigger(); // not the selected source
        QCOMPARE(bench.fetch().value(0), 0.2);
        QVERIFY(bench.sendAll({"*TRG"}));
        QCOMPARE(bench.fetch().value(0), 0.3);

        QVERIFY(bench.sendAll({"TRIGger:SOURce IMM"}));
        bench.meter().setInput(1, {0.4, 1000.0, 0.0});
        QCOMPARE(bench.fetch().value(0), 0.4);
    }

    void slowerRatesAreQuieter()
    {
        // The same seed draws the same noise; SLOW scales it to a quarter of FAST.
        MeterBench bench;
        bench.meter().setInput(1, {0.1, 1000.0, 0.05});
        const auto deviation = [&bench](const char *rate) {
            bench.sendAll({QString("VOLTage:RATE %1").arg(rate), "TRIGger:SOURce BUS"});
            bench.meter().setSeed(11);
            bench.sendAll({"*TRG"});
            return bench.fetch().value(0) - 0.1;
        };
        const double fast = deviation("FAST");
        const double slow = deviation("SLOW");
        QVERIFY2(std::fabs(fast) > 1e-3, qPrintable(QString::number(fast)));
        QVERIFY2(std::fabs(fast / slow - 4.0) < 0.05, qPrintable(QString("%1 %2").arg(fast).arg(slow)));
    }

    void seedReproducesReadings()
    {
        const auto readings = [](const std::string &resource, std::uint32_t seed) {
            MeterBench bench(std::make_shared<dmmsim::SimulatedMeter>(resource));
            bench.meter().setInput(1, {0.1, 1000.0, 0.01});
            bench.meter().setInput(2, {1.0, 50.0, 0.01});
            bench.sendAll({"TRIGger:SOURce BUS"});
            bench.meter().setSeed(seed);
            QStringList answers;
            for (int i = 0; i < 5; ++i) {
                bench.sendAll({"*TRG"});
                answers << bench.ask("Fetch?");
            }
            return answers;
        };
        const QStringList first = readings("USB0::0x28E9::0x0285::SEED-A::INSTR", 42);
        QCOMPARE(first.size(), 5);
        QStringList distinct = first;
        QCOMPARE(distinct.removeDuplicates(), 0); // noisy: every reading differs
        QCOMPARE(readings("USB0::0x28E9::0x0285::SEED-B::INSTR", 42), first);
        QVERIFY(readings("USB0::0x28E9::0x0285::SEED-C::INSTR", 43) != first);
    }

    void answerDelay()
    {
        MeterBench bench;
        bench.meter().setAnswerDelay(std::chrono::milliseconds(400));
        viSetAttribute(bench.session(), VI_ATTR_TMO_VALUE, 100);
        ViStatus status = VI_SUCCESS;
        bench.query("SYSTem:REMote?", &status);
        QCOMPARE(status, VI_ERROR_TMO);
        viSetAttribute(bench.session(), VI_ATTR_TMO_VALUE, MeterBench::AnswerTimeoutMs);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(bench.query("FUNCtion:LINE1?", &status), QString("CH1,VOLT\n")); // not the late answer
        QCOMPARE(status, VI_SUCCESS);
        QVERIFY(timer.elapsed() >= 400);
    }

    void frontPanelLocal()
    {
        MeterBench bench;
        QVERIFY(bench.sendAll({"SYSTem:REMote"}));
        QCOMPARE(bench.ask("SYSTem:REMote?"), QString("YES"));
        bench.meter().pressLocal();
        QCOMPARE(bench.ask("SYSTem:REMote?"), QString("NO"));
        QVERIFY(!bench.meter().isRemote());

        QVERIFY(bench.sendAll({"SYSTem:REMote"}));
        bench.meter().pressLocalAfter(2);
        QCOMPARE(outcomes(bench, {"SYSTem:REMote?", "SYSTem:REMote?", "SYSTem:REMote?"}),
                 (QStringList{"YES", "YES", "NO"}));
    }

    void silentAfter()
    {
        MeterBench bench;
        bench.meter().goSilentAfter(2);
        QCOMPARE(outcomes(bench, {"FUNCtion:LINE1?", "SYSTem:REMote", "FUNCtion:LINE1?", "MEMory:STORe?"}),
                 (QStringList{"CH1,VOLT", "", NoAnswer, NoAnswer}));
    }

    void unplug()
    {
        MeterBench bench;
        QCOMPARE(bench.send("Fetch?"), VI_SUCCESS);
        bench.meter().unplug();
        // The answer in flight is lost with the cable, and so is every later call.
        ViByte buffer[64];
        QCOMPARE(viRead(bench.session(), buffer, sizeof buffer, VI_NULL), VI_ERROR_CONN_LOST);
        QCOMPARE(outcomes(bench, {"SYSTem:REMote", "SYSTem:REMote?"}), (QStringList{ConnectionLost, ConnectionLost}));

        // Gone from the bus: neither found nor opened again.
        ViSession rm = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&rm), VI_SUCCESS);
        ViFindList list = VI_NULL;
        ViUInt32 count = 0;
        QCOMPARE(viFindRsrc(rm, "USB?*INSTR", &list, &count, m_name), VI_ERROR_RSRC_NFOUND);
        ViSession again = VI_NULL;
        const std::string name = bench.meter().resourceName();
        QCOMPARE(viOpen(rm, name.c_str(), VI_NO_LOCK, 0, &again), VI_ERROR_RSRC_NFOUND);
        viClose(rm);
    }

    void unplugAfter()
    {
        MeterBench bench;
        bench.meter().unplugAfter(2);
        QCOMPARE(outcomes(bench, {"SYSTem:REMote", "SYSTem:REMote?", "SYSTem:REMote?", "SYSTem:LOCal"}),
                 (QStringList{"", "YES", ConnectionLost, ConnectionLost}));
    }

    void faultList_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("outcomes");

        const QStringList probe{"SYSTem:REMote", "MEMory:STORe?", "SYSTem:REMote?", "SYSTem:REMote?"};
        QTest::newRow("empty") << "" << true << probe << QStringList{"", "0", "YES", "YES"};
        QTest::newRow("stored") << "stored=3" << true << probe << QStringList{"", "3", "YES", "YES"};
        QTest::newRow("stored beyond capacity") << "stored=5000" << true << probe << QStringList{"", "1000", "YES", "YES"};
        QTest::newRow("silent-after") << "silent-after=2" << true << probe << QStringList{"", "0", NoAnswer, NoAnswer};
        QTest::newRow("local-after") << "local-after=2" << true << probe << QStringList{"", "0", "NO", "NO"};
        QTest::newRow("unplug-after") << "unplug-after=3" << true << probe
                                      << QStringList{"", "0", "YES", ConnectionLost};
        QTest::newRow("unplug-after=0") << "unplug-after=0" << true << probe
                                        << QStringList{ConnectionLost, ConnectionLost, ConnectionLost, ConnectionLost};
        QTest::newRow("several, with blanks") << " stored = 2 , local-after=3 " << true << probe
                                              << QStringList{"", "2", "YES", "NO"};
        QTest::newRow("trailing comma") << "stored=1," << true << probe << QStringList{"", "1", "YES", "YES"};
        QTest::newRow("crlf: answers end in CR LF") << "stored=2, crlf" << true << probe
                                                    << QStringList{"", "2\r", "YES\r", "YES\r"};
        // A list not understood applies nothing at all.
        const QStringList untouched{"", "0", "YES", "YES"};
        QTest::newRow("unknown fault") << "stored=2,explode=1" << false << probe << untouched;
        QTest::newRow("negative count") << "stored=-1" << false << probe << untouched;
        QTest::newRow("count not a number") << "stored=two" << false << probe << untouched;
        QTest::newRow("no count") << "stored" << false << probe << untouched;
        QTest::newRow("repeated fault") << "stored=1,stored=2" << false << probe << untouched;
        QTest::newRow("crlf with a count") << "crlf=1" << false << probe << untouched;
        QTest::newRow("empty item") << "stored=1,,local-after=1" << false << probe << untouched;
        QTest::newRow("wrong separator") << "stored=1;local-after=1" << false << probe << untouched;
        QTest::newRow("silent-for without silent-after") << "silent-for=10" << false << probe << untouched;
        QTest::newRow("replug-after without unplug-after") << "replug-after=10" << false << probe << untouched;
    }
    void faultList()
    {
        QFETCH(QString, list);
        QFETCH(bool, accepted);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, outcomes);
        MeterBench bench;
        QCOMPARE(bench.meter().applyFaults(list.toStdString()), accepted);
        QCOMPARE(::outcomes(bench, commands), outcomes);
    }

    // A silence that ends and a cable plugged back in, seen before and after
    // a pause longer than the short faults and far shorter than the long ones.
    void faultsThatEnd_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<bool>("listedAfter");

        const QStringList answered{"0", "0"};
        QTest::newRow("silent-for, over") << "silent-after=1,silent-for=100" << QStringList{"0", NoAnswer}
                                          << answered << true;
        QTest::newRow("silent-for, not over") << "silent-after=1,silent-for=60000" << QStringList{"0", NoAnswer}
                                              << QStringList{NoAnswer, NoAnswer} << true;
        QTest::newRow("replug-after, back") << "unplug-after=1,replug-after=100"
                                            << QStringList{"0", ConnectionLost} << answered << true;
        QTest::newRow("replug-after, not yet") << "unplug-after=1,replug-after=60000"
                                               << QStringList{"0", ConnectionLost}
                                               << QStringList{ConnectionLost, ConnectionLost} << false;
    }
    void faultsThatEnd()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(bool, listedAfter);
        MeterBench bench;
        QVERIFY(bench.meter().applyFaults(list.toStdString()));
        const QStringList probe{"MEMory:STORe?", "MEMory:STORe?"};
        QCOMPARE(outcomes(bench, probe), before);
        QThread::msleep(400);
        QCOMPARE(outcomes(bench, probe), after);

        ViSession rm = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&rm), VI_SUCCESS);
        ViFindList found = VI_NULL;
        ViUInt32 count = 0;
        QCOMPARE(viFindRsrc(rm, "USB?*INSTR", &found, &count, m_name) == VI_SUCCESS, listedAfter);
        viClose(rm);
    }

    void commandLog()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("commands.log");
        {
            QFile earlier(path);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("from an earlier run\n");
        }
        MeterBench bench;
        bench.meter().setLogFile(path.toStdString());
        QCOMPARE(bench.send("SYSTem:REMote"), VI_SUCCESS);
        QCOMPARE(bench.ask("Fetch?").count(','), 3);
        QCOMPARE(bench.send("BOGUS 1"), VI_SUCCESS); // refused, but received
        const QByteArray twoInOne = "FUNCtion:LINE1 CH2\r\n  \nVOLTage:RATE SLOW\n";
        QCOMPARE(viWrite(bench.session(), reinterpret_cast<const ViByte *>(twoInOne.constData()),
                         ViUInt32(twoInOne.size()), VI_NULL),
                 VI_SUCCESS);
        const QStringList received{"SYSTem:REMote", "Fetch?", "BOGUS 1", "FUNCtion:LINE1 CH2", "VOLTage:RATE SLOW"};

        QStringList logged;
        for (const std::string &line : bench.meter().commandLog())
            logged << QString::fromStdString(line);
        QCOMPARE(logged, received);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(file.readAll()), "from an earlier run\n" + received.join('\n') + '\n');
    }

    // A log that cannot be written is reported once and never holds the
    // meter up; a FIFO without a reader would block an ordinary open.
    void commandLogThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("reported");
        QTest::newRow("directory missing") << "missing" << QByteArray("cannot open");
        QTest::newRow("FIFO without a reader") << "fifo" << QByteArray("cannot open");
        QTest::newRow("device that is full") << "full" << QByteArray("cannot write");
    }
    void commandLogThatCannotBeWritten()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, reported);
        QTemporaryDir dir;
        QString path = dir.filePath("missing/commands.log");
        if (kind == "fifo") {
            path = dir.filePath("commands.fifo");
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == "full") {
            path = "/dev/full";
        }
        MeterBench bench;
        StderrCapture err;
        bench.meter().setLogFile(path.toStdString());
        QCOMPARE(outcomes(bench, {"SYSTem:REMote", "SYSTem:REMote?", "SYSTem:REMote?"}), (QStringList{"", "YES", "YES"}));
        const QByteArray text = err.text();
        QCOMPARE(text.count("Simulated meter:"), 1);
        QVERIFY2(text.contains(reported + " the command log file " + QFile::encodeName(path)), text.constData());
    }

    void createdFromEnvironment_data()
    {
        QTest::addColumn<QByteArray>("simulator"); // null: not set
        QTest::addColumn<bool>("created");
        QTest::newRow("not set") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("yes") << QByteArray("yes") << false;
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("3") << QByteArray("3") << true;
        QTest::newRow("17") << QByteArray("17") << false;
        QTest::newRow("03") << QByteArray("03") << false;
    }
    void createdFromEnvironment()
    {
        QFETCH(QByteArray, simulator);
        QFETCH(bool, created);
        std::unique_ptr<ScopedEnv> env;
        if (!simulator.isNull())
            env = std::make_unique<ScopedEnv>("DMMPANEL_SIMULATOR", simulator);
        const auto meter = dmmsim::createFromEnvironment();
        QCOMPARE(meter != nullptr, created);
        if (meter)
            QCOMPARE(QString::fromStdString(meter->resourceName()), QString("USB0::0x28E9::0x0285::KM4473N-SIM::INSTR"));
    }

    // Several meters: each its own serial number and a signal of its own.
    void severalFromEnvironment()
    {
        const ScopedEnv simulator("DMMPANEL_SIMULATOR", "3");
        QCOMPARE(dmmsim::simulatedMeterCount(), 3);
        QVERIFY(!dmmsim::createFromEnvironment(4));
        const auto third = dmmsim::createFromEnvironment(3);
        QCOMPARE(QString::fromStdString(third->resourceName()), QString("USB0::0x28E9::0x0285::KM4473N-SIM3::INSTR"));
        QVERIFY(third->input(1).rms > dmmsim::createFromEnvironment(1)->input(1).rms);
    }

    void environmentFaultsAndLog()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("sim.log");
        const ScopedEnv simulator("DMMPANEL_SIMULATOR", "1");
        const ScopedEnv log("DMMPANEL_SIMULATOR_LOG", path.toLocal8Bit());
        const ScopedEnv faults("DMMPANEL_SIMULATOR_FAULTS", "stored=3,local-after=2");
        MeterBench bench(dmmsim::createFromEnvironment());
        QCOMPARE(outcomes(bench, {"SYSTem:REMote", "MEMory:STORe?", "SYSTem:REMote?"}), (QStringList{"", "3", "NO"}));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("SYSTem:REMote\nMEMory:STORe?\nSYSTem:REMote?\n"));
    }

    void environmentFaultsNotUnderstood()
    {
        const ScopedEnv simulator("DMMPANEL_SIMULATOR", "1");
        const ScopedEnv faults("DMMPANEL_SIMULATOR_FAULTS", "stored=3,silent-after=soon");
        MeterBench bench(dmmsim::createFromEnvironment());
        QCOMPARE(outcomes(bench, {"MEMory:STORe?", "MEMory:STORe?", "MEMory:STORe?"}), (QStringList{"0", "0", "0"}));
    }

    void visaqueryByHand_data()
    {
        QTest::addColumn<QByteArray>("simulator");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        const QString sim = "*KM4473N-SIM*";
        QTest::newRow("listed") << QByteArray("1") << QStringList{"--list"}
                                << 0 << "USB0::0x28E9::0x0285::KM4473N-SIM::INSTR\n";
        QTest::newRow("queries") << QByteArray("1")
                                 << QStringList{"--resource", sim, "FUNCtion:LINE2 CH1,DBM", "FUNC:LINE2?",
                                                "MEMory:STORe?"}
                                 << 0 << "CH1,DBM\n2\n";
        QTest::newRow("not asked for") << QByteArray("") << QStringList{"--resource", sim, "FUNC:LINE1?"} << 1
                                       << QString();
    }
    void visaqueryByHand()
    {
        QFETCH(QByteArray, simulator);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DMMPANEL_SIMULATOR", simulator);
        env.insert("DMMPANEL_SIMULATOR_FAULTS", "stored=2");
        env.insert("DMMPANEL_SIMULATOR_LOG", dir.filePath("sim.log"));
        QProcess visaquery;
        visaquery.setProcessEnvironment(env);
        visaquery.start(VISAQUERY_PATH, args);
        QVERIFY(visaquery.waitForFinished(60000));
        QCOMPARE(visaquery.exitStatus(), QProcess::NormalExit);
        QCOMPARE(visaquery.exitCode(), exitCode);
        // Kernel devices, if any, are listed after the simulated meter.
        const QString output = QString::fromLatin1(visaquery.readAllStandardOutput());
        QVERIFY2(output.startsWith(out), qPrintable(output));
        QFile log(dir.filePath("sim.log"));
        if (args.size() > 2 && exitCode == 0) {
            QVERIFY(log.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromLatin1(log.readAll()), args.mid(2).join('\n') + '\n');
        } else {
            QVERIFY(!log.exists() || log.size() == 0);
        }
    }

private:
    // The row's set commands, then its query, against a meter with steady inputs.
    void answerAfterCommands()
    {
        QFETCH(QStringList, commands);
        QFETCH(QString, query);
        QFETCH(QString, answer);
        MeterBench bench;
        steadyInputs(bench, 0.123);
        QVERIFY(bench.sendAll(commands));
        QCOMPARE(bench.ask(query), answer);
    }

    NoKernelDevices m_noKernelDevices;
    ViChar m_name[VI_FIND_BUFLEN] = {};
};

QTEST_GUILESS_MAIN(TestSimulatedMeter)
#include "tst_simulatedmeter.moc"
