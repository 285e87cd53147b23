#include "tessaly.h"

#include "inprocessinstrument.h"
#include "usbnotification.h"

#include <QStringList>

namespace {

// Found by the model text carried in the serial-number part of the name.
const char *const ModelPrefix = "KM447";
const ViUInt32 TimeoutMs = 2000;
// Room for the longest answer piece plus the NUL of a text answer.
constexpr int AnswerBufferSize = 256;

USB *usbFromResource(const QString &resource)
{
    const QStringList parts = resource.split(QStringLiteral("::"));
    auto *usb = new USB;
    usb->resource = resource;
    // toUShort(nullptr, 16) accepts the leading "0x".
    usb->vendorId = parts.value(1).toUShort(nullptr, 16);
    usb->productId = parts.value(2).toUShort(nullptr, 16);
    return usb;
}

} // namespace

const quint16 Tessaly::VID = 0x28E9;
const quint16 Tessaly::PID = 0x0285;

Tessaly::Tessaly(QObject *parent) : Kelbrin(parent), m_notification(new USBNotification(VID, PID, this))
{
    connect(m_notification, &USBNotification::arrival, this, &Tessaly::arrival);
    connect(m_notification, &USBNotification::removed, this, [this](const QString &serialNumber) {
        // The driver may have closed on the failed exchange already; the
        // instrument it was open on is still the current one.
        if (!isInProcess() && mayBeCurrent(serialNumber))
            emit removed();
    });
}

Tessaly::~Tessaly()
{
    close();
    qDeleteAll(m_usbs);
}

bool Tessaly::refreshUsbs(const QString &filter)
{
    if (actived())
        return false;
    return search(filter) == VI_SUCCESS;
}

ViStatus Tessaly::search(const QString &filter)
{
    qDeleteAll(m_usbs);
    m_usbs.clear();
    m_usb = nullptr;
    m_instrumentsSeen = 0;
    ViStatus status = openResourceManager();
    if (status < VI_SUCCESS)
        return status;

    ViFindList found = VI_NULL;
    ViUInt32 count = 0;
    ViChar name[VI_FIND_BUFLEN];
    status = viFindRsrc(m_resourceManager, "USB?*INSTR", &found, &count, name);
    if (status < VI_SUCCESS) {
        closeResourceManager();
        return status;
    }
    m_instrumentsSeen = static_cast<int>(count);
    const QString wanted = filter.toLower();
    for (ViUInt32 i = 0; i < count; ++i) {
        if (i > 0 && viFindNext(found, name) < VI_SUCCESS)
            break;
        const QString resource = QString::fromLatin1(name);
        if (resource.toLower().contains(wanted))
            m_usbs.append(usbFromResource(resource));
    }
    if (!m_usbs.isEmpty())
        m_usb = m_usbs.first();
    return VI_SUCCESS;
}

QList<USB *> Tessaly::usbs() const
{
    return m_usbs;
}

USB *Tessaly::usb() const
{
    return m_usb;
}

bool Tessaly::open()
{
    if (actived())
        return false;
    m_openFailure = OpenFailure();
    // A failed open keeps no resource-manager session.
    const ViStatus found = search(QString::fromLatin1(ModelPrefix));
    if (found < VI_SUCCESS && found != VI_ERROR_RSRC_NFOUND)
        return failOpen(OpenFailure::VisaError, found);
    if (!m_wantedResource.isEmpty()) {
        m_usb = nullptr;
        for (USB *usb : qAsConst(m_usbs)) {
            if (sameInstrument(m_wantedResource, usb->resource)) {
                m_usb = usb;
                break;
            }
        }
    }
    if (!m_usb)
        return failOpen(OpenFailure::NoMatchingInstrument, VI_ERROR_RSRC_NFOUND);
    ViStatus status = openResourceManager();
    if (status < VI_SUCCESS)
        return failOpen(OpenFailure::VisaError, status);
    const QByteArray resource = m_usb->resource.toLatin1();
    status = viOpen(m_resourceManager, resource.constData(), VI_NO_LOCK, TimeoutMs, &m_instrument);
    if (status < VI_SUCCESS)
        return failOpen(OpenFailure::CannotOpen, status);
    status = viSetAttribute(m_instrument, VI_ATTR_TMO_VALUE, TimeoutMs);
    if (status < VI_SUCCESS)
        return failOpen(OpenFailure::VisaError, status);
    // A software instrument never leaves a bus; a meter that can leave one
    // is watched from now on, to say so at once and to say when it is back.
    if (!visa::isInProcessSession(m_instrument))
        m_notification->start();
    const bool result = Orrin::open();
    emit opened();
    return result;
}

bool Tessaly::failOpen(OpenFailure::Reason reason, ViStatus status)
{
    closeResourceManager();
    m_openFailure.reason = reason;
    m_openFailure.instrumentsSeen = m_instrumentsSeen;
    m_openFailure.resource = m_usb ? m_usb->resource : QString();
    m_openFailure.status = status;
    ViChar text[VI_FIND_BUFLEN];
    viStatusDesc(VI_NULL, status, text);
    m_openFailure.statusText = QString::fromLatin1(text);
    return false;
}

void Tessaly::setWantedResource(const QString &resource)
{
    m_wantedResource = resource;
}

QString Tessaly::wantedResource() const
{
    return m_wantedResource;
}

bool Tessaly::sameInstrument(const QString &wanted, const QString &resource)
{
    // USB<board>::<vendor>::<product>::<serial>::INSTR
    const QStringList a = wanted.split(QStringLiteral("::"));
    const QStringList b = resource.split(QStringLiteral("::"));
    // A serial number alone names the meter that has it.
    if (a.size() == 1 && b.size() == 5)
        return wanted.compare(b.at(3), Qt::CaseInsensitive) == 0;
    if (a.size() != 5 || b.size() != 5 || a.at(3).isEmpty())
        return wanted.compare(resource, Qt::CaseInsensitive) == 0;
    for (int i = 1; i < 4; ++i) {
        if (a.at(i).compare(b.at(i), Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

bool Tessaly::mayBeCurrent(const QString &serialNumber) const
{
    if (!m_usb)
        return false;
    const QStringList parts = m_usb->resource.split(QStringLiteral("::"));
    const QString openSerial = parts.size() == 5 ? parts.at(3) : QString();
    return serialNumber.isEmpty() || openSerial.isEmpty() || serialNumber.compare(openSerial, Qt::CaseInsensitive) == 0;
}

Tessaly::OpenFailure Tessaly::openFailure() const
{
    return m_openFailure;
}

bool Tessaly::isInProcess() const
{
    return actived() && visa::isInProcessSession(m_instrument);
}

void Tessaly::close()
{
    closeResourceManager();
    Orrin::close();
    emit closed();
}

int Tessaly::write(const QByteArray &data)
{
    if (!actived() || m_instrument == VI_NULL)
        return -1;
    ViUInt32 written = 0;
    if (viWrite(m_instrument, reinterpret_cast<const ViByte *>(data.constData()), static_cast<ViUInt32>(data.size()),
                &written)
        < VI_SUCCESS)
        return -1;
    return static_cast<int>(written);
}

ViStatus Tessaly::readPiece(QByteArray &bytes)
{
    ViByte buffer[AnswerBufferSize];
    ViUInt32 count = 0;
    const ViStatus status = viRead(m_instrument, buffer, AnswerBufferSize - 1, &count);
    if (status == VI_SUCCESS)
        bytes = QByteArray(reinterpret_cast<const char *>(buffer), static_cast<int>(count));
    return status;
}

int Tessaly::read(QByteArray &)
{
    if (!actived() || m_instrument == VI_NULL)
        return -1;
    QByteArray bytes;
    const ViStatus status = readPiece(bytes);
    if (status != VI_SUCCESS)
        return status;
    if (bytes.isEmpty())
        return -1;
    m_lastAnswer = bytes;
    emit readData(m_lastAnswer);
    return m_lastAnswer.size();
}

QByteArray Tessaly::read2()
{
    if (!actived() || m_instrument == VI_NULL)
        return {};
    QByteArray bytes;
    return readPiece(bytes) == VI_SUCCESS ? bytes : QByteArray();
}

bool Tessaly::queryAny(const QByteArray &command, QByteArray *answer)
{
    if (!actived() || m_instrument == VI_NULL || !answer)
        return false;
    answer->clear();
    // The command is the write format: a '%' in it must go out as itself.
    QByteArray format = command;
    format.replace('%', "%%");
    char buffer[AnswerBufferSize];
    // "%t" stores at most 255 characters and a NUL; a longer answer is cut
    // there and its rest discarded.
    if (viQueryf(m_instrument, format.constData(), "%t", buffer) != VI_SUCCESS)
        return false;
    const QByteArray text(buffer); // up to the first NUL
    if (text.isEmpty())
        return false;
    m_lastAnswer = text;
    *answer = m_lastAnswer;
    return true;
}

ViStatus Tessaly::openResourceManager()
{
    closeResourceManager();
    ViSession session = VI_NULL;
    const ViStatus status = viOpenDefaultRM(&session);
    if (status >= VI_SUCCESS)
        m_resourceManager = session;
    return status;
}

void Tessaly::closeResourceManager()
{
    if (m_resourceManager != VI_NULL)
        viClose(m_resourceManager);
    m_resourceManager = VI_NULL;
    m_instrument = VI_NULL;
}
