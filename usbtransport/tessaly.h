#pragma once

#include "kelbrin.h"
#include "visa.h"

#include <QByteArray>
#include <QList>
#include <QString>

class USBNotification;

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

    // Why the last open() failed.
    struct OpenFailure
    {
        enum Reason {
            None,                 // it did not fail
            NoMatchingInstrument, // none of the USB instruments seen is the model
            CannotOpen,           // the matching instrument would not open
            VisaError,            // the VISA library failed otherwise
        };
        Reason reason = None;
        int instrumentsSeen = 0;      // USB instruments the search listed
        QString resource;             // the matching instrument, when there was one
        ViStatus status = VI_SUCCESS; // what VISA answered
        QString statusText;           // that answer in words
    };

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

    // Limits open() to one instrument: the one with this serial number when
    // the name carries one or is one (on whichever board number it is listed), else the
    // one of exactly this name. Empty, the first meter found, as before.
    void setWantedResource(const QString &resource);
    QString wantedResource() const;
    // Whether two resource names name the same instrument in that sense.
    static bool sameInstrument(const QString &wanted, const QString &resource);

    OpenFailure openFailure() const;
    // Whether the open instrument is a software one in this process rather
    // than a device on the bus.
    bool isInProcess() const;

signals:
    // The current instrument (open, or last opened) left the bus.
    void removed();
    // A meter arrived on the bus and can be opened. Both are watched for
    // from the first open of a device on the bus on.
    void arrival();

private:
    // Fills the list with the instruments whose name contains `filter`: the
    // VISA status of the search.
    ViStatus search(const QString &filter);
    // Records why open() failed and lets go of the resource manager; false.
    bool failOpen(OpenFailure::Reason reason, ViStatus status);
    // Opens a default resource manager into m_resourceManager, closing one
    // held there first.
    ViStatus openResourceManager();
    // Closes the held resource manager and with it every session and find
    // list opened through it.
    void closeResourceManager();
    // Reads one piece of an answer; the VISA status, with the bytes in `bytes`.
    ViStatus readPiece(QByteArray &bytes);
    // Whether the device with this serial number (empty: not known) may be
    // the current instrument.
    bool mayBeCurrent(const QString &serialNumber) const;

    ViSession m_instrument = VI_NULL;
    ViSession m_resourceManager = VI_NULL;
    QList<USB *> m_usbs;
    USB *m_usb = nullptr;
    QByteArray m_lastAnswer;
    int m_instrumentsSeen = 0; // by the last search, matching or not
    OpenFailure m_openFailure;
    QString m_wantedResource;
    USBNotification *m_notification;
};
