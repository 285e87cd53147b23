// The USB transport against scripted in-process instruments through the VISA layer.

#include "nokerneldevices.h"
#include "scriptedinstrument.h"
#include "tessaly.h"

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

const char *const Meter = "USB0::0x28E9::0x0285::KM4473N001::INSTR";
const char *const SecondMeter = "USB0::0x28E9::0x0285::KM4475N002::INSTR";
const char *const Scope = "USB0::0x1AB1::0x04CE::DS1ZA0001::INSTR";

// Attached for the search only, as a meter whose cable is pulled just then.
class VanishingInstrument : public ScriptedInstrument
{
public:
    using ScriptedInstrument::ScriptedInstrument;
    bool attached() const override { return !m_searched.exchange(true); }

private:
    mutable std::atomic<bool> m_searched{false};
};

} // namespace

class TestTessaly : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Only the scripted instruments may be found, not this machine's devices.
        QVERIFY(m_noKernelDevices.isValid());
    }

    void cleanup() { QCOMPARE(visa::openObjectCount(), std::size_t(0)); }

    void constants()
    {
        QCOMPARE(Tessaly::VID, quint16(0x28E9));
        QCOMPARE(Tessaly::PID, quint16(0x0285));
        QCOMPARE(Tessaly::staticMetaObject.className(), "Tessaly");
        QCOMPARE(Tessaly::staticMetaObject.superClass(), &Kelbrin::staticMetaObject);
    }

    void openFindsTheMeter_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("opened"); // empty: open fails
        QTest::addColumn<int>("matches");
        QTest::addColumn<int>("failure"); // Tessaly::OpenFailure::Reason
        QTest::addColumn<QString>("wanted");
        const int none = Tessaly::OpenFailure::None;
        const int noMatch = Tessaly::OpenFailure::NoMatchingInstrument;
        const QString any;
        QTest::newRow("no instrument at all") << QStringList{} << QString() << 0 << noMatch << any;
        QTest::newRow("none carries the model")
            << QStringList{Scope, "USB0::0x28E9::0x0285::KM4463N1::INSTR"} << QString() << 0 << noMatch << any;
        QTest::newRow("model in lower case")
            << QStringList{Scope, QString(Meter).toLower()} << QString(Meter).toLower() << 1 << none << any;
        QTest::newRow("two meters: the first found")
            << QStringList{Scope, SecondMeter, Meter} << QString(SecondMeter) << 2 << none << any;
        // Coming back to the meter that was open, or the one named: that one, whatever else is listed.
        QTest::newRow("wanted: the second of two")
            << QStringList{Scope, SecondMeter, Meter} << QString(Meter) << 2 << none << QString(Meter);
        const QString otherBoard = "USB1::0x28e9::0x0285::KM4473N001::INSTR";
        QTest::newRow("wanted: its serial on another board")
            << QStringList{otherBoard} << otherBoard << 1 << none << QString(Meter);
        QTest::newRow("wanted: its serial alone")
            << QStringList{Scope, SecondMeter, Meter} << QString(Meter) << 2 << none << QString("km4473n001");
        QTest::newRow("wanted: not there") << QStringList{SecondMeter} << QString() << 1 << noMatch << QString(Meter);
    }
    void openFindsTheMeter()
    {
        QFETCH(QStringList, listed);
        QFETCH(QString, opened);
        QFETCH(int, matches);
        QFETCH(int, failure);
        QFETCH(QString, wanted);
        std::vector<std::unique_ptr<ListedInstrument>> instruments;
        for (const QString &name : listed) {
            instruments.push_back(std::make_unique<ListedInstrument>(name.toStdString()));
            (*instruments.back())->answer("*IDN?", name.toStdString() + "\n");
        }
        Tessaly transport;
        transport.setWantedResource(wanted);
        QSignalSpy openedSpy(&transport, &Orrin::opened);
        QCOMPARE(transport.open(), !opened.isEmpty());
        QCOMPARE(transport.actived(), !opened.isEmpty());
        QCOMPARE(openedSpy.count(), opened.isEmpty() ? 0 : 1);
        QCOMPARE(transport.usbs().size(), matches);
        // Why it failed: every instrument seen counts, matching or not.
        const Tessaly::OpenFailure why = transport.openFailure();
        QCOMPARE(int(why.reason), failure);
        QCOMPARE(why.instrumentsSeen, failure == Tessaly::OpenFailure::None ? 0 : listed.size());
        QCOMPARE(transport.isInProcess(), !opened.isEmpty());
        if (opened.isEmpty()) {
            // A failed open holds no resource-manager session.
            QCOMPARE(visa::openObjectCount(), std::size_t(0));
            return;
        }
        QCOMPARE(transport.usb()->resource, opened);
        QByteArray answer;
        QVERIFY(transport.queryAny("*IDN?\n", &answer));
        QCOMPARE(answer, opened.toLatin1() + "\n");
        transport.close();
    }

    void openFailureNamesTheMeterAndTheStatus()
    {
        // Listed when searched for, gone when opened: the cable was pulled
        // in between, or the device node refused us.
        auto vanishing = std::make_shared<VanishingInstrument>(Meter);
        visa::addInProcessInstrument(vanishing);
        ListedInstrument scope(Scope);
        Tessaly transport;
        QVERIFY(!transport.open());
        visa::removeInProcessInstrument(vanishing.get());

        const Tessaly::OpenFailure why = transport.openFailure();
        QCOMPARE(why.reason, Tessaly::OpenFailure::CannotOpen);
        QCOMPARE(why.instrumentsSeen, 2);
        QCOMPARE(why.resource, QString(Meter));
        QCOMPARE(why.status, ViStatus(VI_ERROR_RSRC_NFOUND));
        QVERIFY2(why.statusText.startsWith("VI_ERROR_RSRC_NFOUND: "), qPrintable(why.statusText));
        QVERIFY(!transport.isInProcess());
    }

    void searchWithoutMatchIsNotAFailure()
    {
        ListedInstrument scope(Scope);
        Tessaly transport;
        QVERIFY(transport.refreshUsbs("km447"));
        QVERIFY(transport.usbs().isEmpty());
        QCOMPARE(transport.usb(), nullptr);
        transport.close();
    }

    void searchWithNothingListedFails()
    {
        Tessaly transport;
        QVERIFY(!transport.refreshUsbs("KM447"));
        QCOMPARE(visa::openObjectCount(), std::size_t(0));
    }

    void idsFromTheResourceName_data()
    {
        QTest::addColumn<QString>("resource");
        QTest::addColumn<int>("vendorId");
        QTest::addColumn<int>("productId");
        QTest::newRow("lower-case hex") << "USB0::0x28e9::0x0285::KM4473N1::INSTR" << 0x28E9 << 0x0285;
        QTest::newRow("upper-case hex") << "USB0::0X28E9::0X0285::KM4473N1::INSTR" << 0x28E9 << 0x0285;
        QTest::newRow("without 0x") << "USB0::28E9::285::KM4473N1::INSTR" << 0x28E9 << 0x0285;
        QTest::newRow("not hex") << "USB0::0xZZ::0x0285::KM4473N1::INSTR" << 0 << 0x0285;
    }
    void idsFromTheResourceName()
    {
        QFETCH(QString, resource);
        QFETCH(int, vendorId);
        QFETCH(int, productId);
        ListedInstrument meter(resource.toStdString());
        Tessaly transport;
        QVERIFY(transport.refreshUsbs("KM447"));
        QCOMPARE(transport.usbs().size(), 1);
        const USB *usb = transport.usb();
        QCOMPARE(usb->index, 0);
        QCOMPARE(usb->vendorId, quint16(vendorId));
        QCOMPARE(usb->productId, quint16(productId));
        QVERIFY(usb->manufacturer.isEmpty() && usb->serialNumber.isEmpty());
        QCOMPARE(usb->resource, resource);
        transport.close();
    }

    void openWhileOpenChangesNothing()
    {
        ListedInstrument meter(Meter);
        Tessaly transport;
        QVERIFY(transport.open());
        USB *usb = transport.usb();
        QSignalSpy openedSpy(&transport, &Orrin::opened);
        QVERIFY(!transport.open());
        QVERIFY(!transport.refreshUsbs("KM447"));
        QCOMPARE(transport.usb(), usb);
        QCOMPARE(openedSpy.count(), 0);
        QCOMPARE(visa::openObjectCount(), std::size_t(2));
        transport.close();
    }

    void receiverOfOpenedSeesItOpen()
    {
        ListedInstrument meter(Meter);
        Tessaly transport;
        bool activeWhenOpened = false;
        connect(&transport, &Orrin::opened, this, [&] { activeWhenOpened = transport.actived(); });
        QVERIFY(transport.open());
        QVERIFY(activeWhenOpened);
        transport.close();
    }

    void closeAlwaysEmitsClosed()
    {
        ListedInstrument meter(Meter);
        Tessaly transport;
        QSignalSpy closedSpy(&transport, &Orrin::closed);
        QVERIFY(transport.open());
        transport.close();
        QVERIFY(!transport.actived());
        QCOMPARE(visa::openObjectCount(), std::size_t(0));
        transport.close();
        QCOMPARE(closedSpy.count(), 2);
        // The list survives close and is rebuilt by the next open.
        QCOMPARE(transport.usbs().size(), 1);
        QVERIFY(transport.open());
        transport.close();
    }

    void destructionClosesTheSessions()
    {
        ListedInstrument meter(Meter);
        auto transport = std::make_unique<Tessaly>();
        QSignalSpy closedSpy(transport.get(), &Orrin::closed);
        QVERIFY(transport->open());
        transport.reset();
        QCOMPARE(closedSpy.count(), 1);
        QCOMPARE(visa::openObjectCount(), std::size_t(0));
    }

    void queryAnyWhenClosed()
    {
        ListedInstrument meter(Meter);
        meter->answer("*IDN?", "KM4473N\n");
        Tessaly transport;
        QByteArray answer("untouched");
        QVERIFY(!transport.queryAny("*IDN?\n", &answer));
        QCOMPARE(answer, QByteArray("untouched"));
        QVERIFY(transport.open());
        transport.close();
        QVERIFY(!transport.queryAny("*IDN?\n", &answer));
        QCOMPARE(answer, QByteArray("untouched"));
        QCOMPARE(transport.write("*IDN?\n"), -1);
        QCOMPARE(transport.read(answer), -1);
        QCOMPARE(transport.read2(), QByteArray());
        QVERIFY(meter->received().empty());
    }

    void queryAny_data()
    {
        QTest::addColumn<QByteArray>("reply"); // to "Q?"
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("answer with its line feed") << QByteArray("1.234E-1\n") << true << QByteArray("1.234E-1\n");
        QTest::newRow("empty answer") << QByteArray() << false << QByteArray();
        QTest::newRow("answer starting with NUL") << QByteArray("\0abc\n", 5) << false << QByteArray();
        QTest::newRow("no answer at all") << QByteArray("<silent>") << false << QByteArray();
        QTest::newRow("300 bytes cut to 255") << QByteArray(299, 'x') + '\n' << true << QByteArray(255, 'x');
        QTest::newRow("endless answer fails") << QByteArray(3 << 20, 'x') << false << QByteArray();
    }
    void queryAny()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        QFETCH(QByteArray, answer);
        ListedInstrument meter(Meter);
        if (reply != "<silent>")
            meter->answer("Q?", reply.toStdString());
        meter->answer("NEXT?", "next\n");
        Tessaly transport;
        QVERIFY(transport.open());
        QByteArray received("stale");
        QCOMPARE(transport.queryAny("Q?\n", &received), ok);
        QCOMPARE(received, answer);
        // Whatever happened, the next query gets its own answer.
        QVERIFY(transport.queryAny("NEXT?\n", &received));
        QCOMPARE(received, QByteArray("next\n"));
        transport.close();
    }

    void percentSignGoesOutAsItIs()
    {
        ListedInstrument meter(Meter);
        meter->answer("CALC:PERC 5%", "ok\n");
        Tessaly transport;
        QVERIFY(transport.open());
        QByteArray answer;
        QVERIFY(transport.queryAny("CALC:PERC 5%\n", &answer));
        QCOMPARE(transport.write("A%d\n"), 4);
        QCOMPARE(meter->received(), (std::vector<std::string>{"CALC:PERC 5%", "A%d"}));
        transport.close();
    }

    void readDeliversThroughReadData()
    {
        ListedInstrument meter(Meter);
        meter->answer("A?", "0.5\n");
        Tessaly transport;
        QVERIFY(transport.open());
        QSignalSpy readSpy(&transport, &Kelbrin::readData);
        QCOMPARE(transport.write("A?\n"), 3);
        QByteArray argument("untouched");
        QCOMPARE(transport.read(argument), 4);
        QCOMPARE(argument, QByteArray("untouched"));
        QCOMPARE(readSpy.count(), 1);
        QCOMPARE(readSpy.first().first().toByteArray(), QByteArray("0.5\n"));
        transport.close();
    }

    void readReturnsCompletionCodesUnchanged()
    {
        ListedInstrument meter(Meter);
        meter->answer("LONG?", std::string(300, 'y') + "\n");
        Tessaly transport;
        QVERIFY(transport.open());
        QSignalSpy readSpy(&transport, &Kelbrin::readData);
        QByteArray data;
        QCOMPARE(transport.write("LONG?\n"), 6);
        QCOMPARE(transport.read(data), int(VI_SUCCESS_MAX_CNT));
        QCOMPARE(readSpy.count(), 0);
        // The remaining 46 bytes end the message.
        QCOMPARE(transport.read(data), 46);
        QCOMPARE(readSpy.count(), 1);
        QCOMPARE(transport.read(data), int(VI_ERROR_TMO));
        QCOMPARE(readSpy.count(), 1);
        transport.close();
    }

    void read2ReturnsTheBytesWithoutSignal()
    {
        ListedInstrument meter(Meter);
        meter->answer("A?", "0.5\n");
        meter->answer("LONG?", std::string(300, 'y') + "\n");
        Tessaly transport;
        QVERIFY(transport.open());
        QSignalSpy readSpy(&transport, &Kelbrin::readData);
        transport.write("A?\n");
        QCOMPARE(transport.read2(), QByteArray("0.5\n"));
        transport.write("LONG?\n");
        QCOMPARE(transport.read2(), QByteArray()); // a full buffer is a completion code, not an answer
        QCOMPARE(transport.read2(), QByteArray(45, 'y') + '\n');
        QCOMPARE(transport.read2(), QByteArray()); // time-out
        QCOMPARE(readSpy.count(), 0);
        transport.close();
    }

    void lostConnection()
    {
        ListedInstrument meter(Meter);
        Tessaly transport;
        QVERIFY(transport.open());
        meter->unplug();
        QByteArray answer;
        QCOMPARE(transport.write("A?\n"), -1);
        QCOMPARE(transport.read(answer), int(VI_ERROR_CONN_LOST));
        QVERIFY(!transport.queryAny("A?\n", &answer));
        transport.close();
    }

    void signalsInOrder()
    {
        const QMetaObject &meta = Tessaly::staticMetaObject;
        QCOMPARE(meta.method(meta.methodOffset()).methodSignature(), QByteArray("removed()"));
        QCOMPARE(meta.method(meta.methodOffset() + 1).methodSignature(), QByteArray("arrival()"));
    }

private:
    NoKernelDevices m_noKernelDevices;
};

QTEST_GUILESS_MAIN(TestTessaly)
#include "tst_tessaly.moc"
