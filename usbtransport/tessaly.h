#pragma once

#include "kelbrin.h"
#include "visa.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One USB instrument found by the search, from a resource string of the form
// USB0::0x28E9::0x0285::serial::INSTR.
struct USB
{
    int index = 0;
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString manufacturer;
    QString serialNumber;
    QString resource;
};

// The transport to the meter: finds it among the VISA USB instruments, opens a
// session and offers raw write, raw read and a query.
class Tessaly : public Kelbrin
{
    Q_OBJECT
public:
    static const quint16 VID;
    static const quint16 PID;

    explicit Tessaly(QObject *parent = nullptr);
    ~Tessaly() override;

    bool refreshUsbs(const QString &filter);
    QList<USB *> usbs() const;
    USB *usb() const;

    bool open() override;
    void close() override;
    int write(const QByteArray &data) override;
    int read(QByteArray &data) override;
    QByteArray read2();
    bool queryAny(const QByteArray &command, QByteArray *answer);

signals:
    void removed();
    void arrival();

private:
    // Opens a default resource manager into m_resourceManager, closing one
    // held there first.
    bool openResourceManager();
    // Closes the held resource manager and with it every session and find
    // list opened through it.
    void closeResourceManager();
    // Reads one piece of an answer; the VISA status, with the bytes in `bytes`.
    ViStatus readPiece(QByteArray &bytes);

    ViSession m_instrument = VI_NULL;
    ViSession m_resourceManager = VI_NULL;
    QList<USB *> m_usbs;
    USB *m_usb = nullptr;
    QByteArray m_lastAnswer;
};
