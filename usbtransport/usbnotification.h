#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QSocketNotifier;
struct udev;
struct udev_device;
struct udev_monitor;

// Watches the USB bus for one kind of device (a vendor and product) arriving
// and leaving, through the kernel's device events (libudev), in the event
// loop of the thread it lives in.
class USBNotification : public QObject
{
    Q_OBJECT
public:
    // What one event of the usb subsystem means for the watched device.
    enum class Change {
        None,    // another device, or nothing to act on
        Seen,    // the device was added: its serial number can be read now
        Arrival, // a driver took it (or one of its interfaces): it can be opened
        Removal, // it left the bus
    };
    // `product` is the event's PRODUCT value, "vendor/product/release" in hex.
    static Change changeOf(const QByteArray &action, const QByteArray &devtype, const QByteArray &product,
                           quint16 vendorId, quint16 productId);

    USBNotification(quint16 vendorId, quint16 productId, QObject *parent = nullptr);
    ~USBNotification() override;

    // Starts watching; false where device events cannot be had (then nothing
    // is emitted). Watching already is true.
    bool start();
    bool isWatching() const;

signals:
    // The serial number is empty when the device has none or it is unknown.
    void removed(const QString &serialNumber);
    void arrival(const QString &serialNumber);

private:
    void readEvents();
    void handle(udev_device *device);
    // Remembers the serial numbers of the devices plugged in before the watch.
    void enumeratePresent();

    const quint16 m_vendorId;
    const quint16 m_productId;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    // Serial numbers by device path: a removed device's attributes are gone.
    QHash<QByteArray, QString> m_serials;
};
