// The device-object base: the open flag and who announces it.

#include "kelbrin.h"
#include "orrin.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// Announces its state the way the transport and the driver do.
class AnnouncingDevice : public Orrin
{
public:
    bool open() override
    {
        const bool result = Orrin::open();
        emit opened();
        return result;
    }
    void close() override
    {
        Orrin::close();
        emit closed();
    }
};

} // namespace

class TestOrrin : public QObject
{
    Q_OBJECT

private slots:
    void baseKeepsTheFlagSilently()
    {
        QObject parent;
        auto *device = new Orrin(&parent);
        QCOMPARE(device->parent(), &parent);
        QVERIFY(!device->actived());
        QSignalSpy openedSpy(device, &Orrin::opened);
        QSignalSpy closedSpy(device, &Orrin::closed);
        QVERIFY(device->open());
        QVERIFY(device->actived());
        QVERIFY(device->open()); // harmless when open already
        device->close();
        QVERIFY(!device->actived());
        device->setActived(true);
        QVERIFY(device->actived());
        device->setActived(false);
        QVERIFY(!device->actived());
        QCOMPARE(openedSpy.count(), 0);
        QCOMPARE(closedSpy.count(), 0);
    }

    void receiversSeeTheStateAlreadySet()
    {
        AnnouncingDevice device;
        QList<bool> seen;
        connect(&device, &Orrin::opened, this, [&] { seen << device.actived(); });
        connect(&device, &Orrin::closed, this, [&] { seen << device.actived(); });
        QVERIFY(device.open());
        device.close();
        QCOMPARE(seen, (QList<bool>{true, false}));
    }

    void metaObjects()
    {
        QCOMPARE(Orrin::staticMetaObject.className(), "Orrin");
        QCOMPARE(Orrin::staticMetaObject.superClass(), &Pavlane::staticMetaObject);
        QCOMPARE(Kelbrin::staticMetaObject.superClass(), &Orrin::staticMetaObject);
        const QMetaObject &meta = Orrin::staticMetaObject;
        QCOMPARE(meta.method(meta.methodOffset()).methodSignature(), QByteArray("opened()"));
        QCOMPARE(meta.method(meta.methodOffset() + 1).methodSignature(), QByteArray("closed()"));
        AnnouncingDevice device;
        QVERIFY(qobject_cast<Pavlane *>(&device));
    }
};

QTEST_GUILESS_MAIN(TestOrrin)
#include "tst_orrin.moc"
