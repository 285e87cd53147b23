// The visaquery command line against scripted in-process instruments.

#include "nokerneldevices.h"
#include "scriptedinstrument.h"
#include "visaquerytool.h"

#include <QtTest>

#include <sstream>

class TestVisaQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_noKernelDevices.isValid());
    }

    void cleanup() { QCOMPARE(visa::openObjectCount(), std::size_t(0)); }

    void run_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("errContains");
        QTest::addColumn<QStringList>("received"); // by the first meter
        const QString first = "USB0::0x28E9::0x0285::KM4473N001::INSTR";
        const QString second = "USB0::0x28E9::0x0285::KM4475N002::INSTR";
        QTest::newRow("list, control bytes escaped")
            << QStringList{"--list"} << 0 << first + "\n" + second + "\nUSB0::0x1234::0x0001::S\\x07\\tN::INSTR\n"
            << QString() << QStringList{};
        QTest::newRow("queries answered, settings not read back")
            << QStringList{"*IDN?", "FUNC1 VOLT", "MEAS1?"} << 0 << "KM4473N,001\n0.1230\n" << QString()
            << QStringList{"*IDN?", "FUNC1 VOLT", "MEAS1?"};
        QTest::newRow("pattern picks the meter") << QStringList{"--resource", "*KM4475N*", "*IDN?"} << 0 << "KM4475N,002\n"
                                                 << QString() << QStringList{};
        QTest::newRow("no match") << QStringList{"--resource", "*KM9*", "*IDN?"} << 1 << QString()
                                  << "no matching resource" << QStringList{};
        QTest::newRow("silent meter") << QStringList{"--timeout", "100", "SILENT?"} << 1 << QString() << "time-out"
                                      << QStringList{"SILENT?"};
        QTest::newRow("answer: line end dropped, control bytes escaped")
            << QStringList{"CTRL?", "CRLF?"} << 0 << "A\\x1b[2J\\tB\\\\C\\r\nYES\n" << QString()
            << QStringList{"CTRL?", "CRLF?"};
        QTest::newRow("command with a line feed: nothing sent")
            << QStringList{"*IDN?", "FUNC1 VOLT\nMEAS1?"} << 1 << QString() << "FUNC1 VOLT\\nMEAS1?" << QStringList{};
        QTest::newRow("unknown option") << QStringList{"-x", "*IDN?"} << 1 << QString() << "bad option or missing value: -x"
                                        << QStringList{};
        QTest::newRow("pattern escaped in the error") << QStringList{"--resource", "*\x1b]0;*", "*IDN?"} << 1 << QString()
                                                      << "finding \"*\\x1b]0;*\"" << QStringList{};
        QTest::newRow("endless answer") << QStringList{"BABBLE?"} << 1 << QString() << "I/O error"
                                        << QStringList{"BABBLE?"};
        QTest::newRow("stops at the first failure") << QStringList{"SILENT?", "*IDN?"} << 1 << QString() << "SILENT?"
                                                    << QStringList{"SILENT?"};
        QTest::newRow("neither list nor command") << QStringList{} << 1 << QString() << "usage" << QStringList{};
        QTest::newRow("list and command") << QStringList{"--list", "*IDN?"} << 1 << QString() << "usage" << QStringList{};
        QTest::newRow("bad time-out") << QStringList{"--timeout", "soon", "*IDN?"} << 1 << QString() << "--timeout"
                                      << QStringList{};
        QTest::newRow("missing pattern") << QStringList{"*IDN?", "--resource"} << 1 << QString() << "--resource"
                                         << QStringList{};
    }
    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, errContains);
        QFETCH(QStringList, received);
        ListedInstrument first("USB0::0x28E9::0x0285::KM4473N001::INSTR");
        ListedInstrument second("USB0::0x28E9::0x0285::KM4475N002::INSTR");
        first->answer("*IDN?", "KM4473N,001\n");
        first->answer("MEAS1?", "0.1230\n");
        first->answer("BABBLE?", std::string(3 << 20, 'x'));
        first->answer("CTRL?", "A\x1b[2J\tB\\C\r\r\n");
        first->answer("CRLF?", "YES\r\n");
        second->answer("*IDN?", "KM4475N,002\n");
        ListedInstrument third("USB0::0x1234::0x0001::S\a\tN::INSTR");

        std::vector<std::string> argv;
        for (const QString &arg : args)
            argv.push_back(arg.toStdString());
        std::ostringstream stdoutText;
        std::ostringstream stderrText;
        QCOMPARE(runVisaQuery(argv, stdoutText, stderrText), exitCode);
        QCOMPARE(QString::fromStdString(stdoutText.str()), out);
        const QString err = QString::fromStdString(stderrText.str());
        QVERIFY2(errContains.isEmpty() ? err.isEmpty() : err.contains(errContains), qPrintable(err));
        QStringList sent;
        for (const auto &command : first->received())
            sent << QString::fromStdString(command);
        QCOMPARE(sent, received);
    }

    void listWithNothingFound()
    {
        std::ostringstream stdoutText;
        std::ostringstream stderrText;
        QCOMPARE(runVisaQuery({"--list"}, stdoutText, stderrText), 0);
        QVERIFY(stdoutText.str().empty());
        QVERIFY(QString::fromStdString(stderrText.str()).contains("no resources found"));
    }

private:
    NoKernelDevices m_noKernelDevices;
};

QTEST_GUILESS_MAIN(TestVisaQuery)
#include "tst_visaquery.moc"
