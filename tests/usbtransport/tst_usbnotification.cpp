#include "usbnotification.h"

#include <QtTest>

using Change = USBNotification::Change;
Q_DECLARE_METATYPE(USBNotification::Change)

// What the bus watcher makes of the kernel's events (the real bus is
// watched in the USB virtual machine, tests/usbkernel).
class TestUsbNotification : public QObject
{
    Q_OBJECT

private slots:
    void changeOfEvent_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<QByteArray>("devtype");
        QTest::addColumn<QByteArray>("product");
        QTest::addColumn<Change>("change");
        QTest::newRow("meter added") << QByteArray("add") << QByteArray("usb_device") << QByteArray("28e9/285/100")
                                     << Change::Seen;
        QTest::newRow("driver took it") << QByteArray("bind") << QByteArray("usb_device")
                                        << QByteArray("28e9/285/100") << Change::Arrival;
        QTest::newRow("driver took its interface") << QByteArray("bind") << QByteArray("usb_interface")
                                                   << QByteArray("28e9/285/100") << Change::Arrival;
        QTest::newRow("meter removed") << QByteArray("remove") << QByteArray("usb_device")
                                       << QByteArray("28E9/0285/0") << Change::Removal;
        QTest::newRow("its interface added") << QByteArray("add") << QByteArray("usb_interface")
                                             << QByteArray("28e9/285/100") << Change::None;
        QTest::newRow("its interface removed") << QByteArray("remove") << QByteArray("usb_interface")
                                               << QByteArray("28e9/285/100") << Change::None;
        QTest::newRow("driver let go") << QByteArray("unbind") << QByteArray("usb_device")
                                       << QByteArray("28e9/285/100") << Change::None;
        QTest::newRow("another product") << QByteArray("bind") << QByteArray("usb_device")
                                         << QByteArray("28e9/286/100") << Change::None;
        QTest::newRow("another vendor") << QByteArray("remove") << QByteArray("usb_device")
                                        << QByteArray("1234/285/100") << Change::None;
        QTest::newRow("no product") << QByteArray("remove") << QByteArray("usb_device") << QByteArray()
                                    << Change::None;
        QTest::newRow("not hexadecimal") << QByteArray("bind") << QByteArray("usb_device")
                                         << QByteArray("28e9/28x/100") << Change::None;
    }
    void changeOfEvent()
    {
        QFETCH(QByteArray, action);
        QFETCH(QByteArray, devtype);
        QFETCH(QByteArray, product);
        QFETCH(Change, change);
        QCOMPARE(USBNotification::changeOf(action, devtype, product, 0x28E9, 0x0285), change);
    }
};

QTEST_GUILESS_MAIN(TestUsbNotification)
#include "tst_usbnotification.moc"
