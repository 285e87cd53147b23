#pragma once

#include "orrin.h"

#include <QByteArray>
#include <QString>

class Kelbrin;
class DmmData;

// Abstract meter driver: holds the link to a transport, forwards its opened
// and closed signals, and declares display() by which readings leave.
class Dmm : public Orrin
{
    Q_OBJECT
public:
    explicit Dmm(QObject *parent = nullptr);
    ~Dmm() override;

    using Orrin::open;
    void close() override;
    virtual Dmm *self();
    virtual bool open(Kelbrin *device);

signals:
    void opened();
    void closed();
    void message(QString msg);
    void display(const DmmData *data);

public slots:
    virtual void slotReadData(const QByteArray &data) = 0;

protected:
    virtual void decodeFrame(const QByteArray &frame) = 0;

    Kelbrin *device = nullptr;

private:
    void detach();

    QMetaObject::Connection openedLink;
    QMetaObject::Connection closedLink;
    QMetaObject::Connection readLink;
};
