#include "usbnotification.h"

#include <QList>
#include <QSocketNotifier>

#include <libudev.h>
#include <unistd.h>

namespace {

bool isProduct(const QByteArray &product, quint16 vendorId, quint16 productId)
{
    const QList<QByteArray> parts = product.split('/');
    bool vendorOk = false;
    bool productOk = false;
    return parts.size() == 3 && parts.at(0).toUShort(&vendorOk, 16) == vendorId && vendorOk
           && parts.at(1).toUShort(&productOk, 16) == productId && productOk;
}

QByteArray text(const char *value)
{
    return QByteArray(value ? value : "");
}

// The USB device an event's device path belongs to: an interface's path is
// its device's plus one more part.
QByteArray devicePath(const QByteArray &path, const QByteArray &devtype)
{
    return devtype == "usb_interface" ? path.left(path.lastIndexOf('/')) : path;
}

} // namespace

USBNotification::Change USBNotification::changeOf(const QByteArray &action, const QByteArray &devtype,
                                                  const QByteArray &product, quint16 vendorId, quint16 productId)
{
    if (!isProduct(product, vendorId, productId))
        return Change::None;
    // The add comes before the device's interfaces have a driver (and
    // before their device nodes exist); the bind after one took it.
    if (action == "bind")
        return devtype == "usb_device" || devtype == "usb_interface" ? Change::Arrival : Change::None;
    if (devtype != "usb_device")
        return Change::None;
    if (action == "add")
        return Change::Seen;
    return action == "remove" ? Change::Removal : Change::None;
}

USBNotification::USBNotification(quint16 vendorId, quint16 productId, QObject *parent)
    : QObject(parent), m_vendorId(vendorId), m_productId(productId)
{
}

USBNotification::~USBNotification()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

bool USBNotification::isWatching() const
{
    return m_notifier != nullptr;
}

bool USBNotification::start()
{
    if (isWatching())
        return true;
    if (!m_udev)
        m_udev = udev_new();
    if (!m_udev)
        return false;
    // Where a udev daemon runs, its events come once it has set up the
    // device (access rights included); where none runs, the kernel's own.
    const bool daemon = ::access("/run/udev/control", F_OK) == 0;
    m_monitor = udev_monitor_new_from_netlink(m_udev, daemon ? "udev" : "kernel");
    if (!m_monitor)
        return false;
    if (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "usb", nullptr) < 0
        || udev_monitor_enable_receiving(m_monitor) < 0) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return false;
    }
    enumeratePresent();
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &USBNotification::readEvents);
    return true;
}

void USBNotification::enumeratePresent()
{
    udev_enumerate *present = udev_enumerate_new(m_udev);
    if (!present)
        return;
    const QByteArray vendor = QByteArray::number(m_vendorId, 16).rightJustified(4, '0');
    const QByteArray product = QByteArray::number(m_productId, 16).rightJustified(4, '0');
    udev_enumerate_add_match_subsystem(present, "usb");
    udev_enumerate_add_match_sysattr(present, "idVendor", vendor.constData());
    udev_enumerate_add_match_sysattr(present, "idProduct", product.constData());
    udev_enumerate_scan_devices(present);
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(present))
    {
        if (udev_device *device = udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry))) {
            if (text(udev_device_get_devtype(device)) == "usb_device")
                m_serials.insert(text(udev_device_get_devpath(device)),
                                 QString::fromLatin1(udev_device_get_sysattr_value(device, "serial")));
            udev_device_unref(device);
        }
    }
    udev_enumerate_unref(present);
}

void USBNotification::readEvents()
{
    // The socket does not block: every event waiting is read.
    while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
        handle(device);
        udev_device_unref(device);
    }
}

void USBNotification::handle(udev_device *device)
{
    if (text(udev_device_get_subsystem(device)) != "usb")
        return;
    const QByteArray devtype = text(udev_device_get_devtype(device));
    const QByteArray path = devicePath(text(udev_device_get_devpath(device)), devtype);
    switch (changeOf(text(udev_device_get_action(device)), devtype,
                     text(udev_device_get_property_value(device, "PRODUCT")), m_vendorId, m_productId)) {
    case Change::None:
        break;
    case Change::Seen:
        m_serials.insert(path, QString::fromLatin1(udev_device_get_sysattr_value(device, "serial")));
        break;
    case Change::Arrival:
        emit arrival(m_serials.value(path));
        break;
    case Change::Removal:
        emit removed(m_serials.take(path));
        break;
    }
}
