#include "metersession.h"

#include "dmmdata.h"
#include "limitwatcher.h"
#include "linktexts.h"
#include "reconnector.h"
#include "tessaly.h"
#include "varnok.h"

#include <QMetaObject>

const QString MeterSession::ModelName = QStringLiteral("KM4473N/KM4475N");

MeterSession::MeterSession(const QString &program, QObject *parent)
    : QObject(parent), program(program)
{
    m_transport = std::make_unique<Tessaly>();
    m_driver = std::make_unique<Varnok>();
    reconnector = std::make_unique<Reconnector>(*m_driver, *m_transport);
    // Connected before any front end's: the state is settled when they hear of a close.
    connect(m_driver.get(), &Dmm::closed, this, &MeterSession::onDriverClosed);
    connect(m_driver.get(), &Varnok::communicationTimeout, this, &MeterSession::onCommunicationTimeout);
    connect(reconnector.get(), &Reconnector::linkLost, this, &MeterSession::onLinkLost);
    connect(reconnector.get(), &Reconnector::linkRestored, this, &MeterSession::onLinkRestored);
    connect(&forwarding, &RecordingForwarder::message, this, &MeterSession::message);
}

MeterSession::~MeterSession()
{
    endJournal();
    m_driver->disconnect(this);
    reconnector.reset();
    m_driver.reset(); // before the transport it talks through
    m_transport.reset();
}

Varnok &MeterSession::driver() const
{
    return *m_driver;
}

Tessaly &MeterSession::transport() const
{
    return *m_transport;
}

bool MeterSession::open()
{
    if (!m_driver->open(m_transport.get()))
        return false;
    linkResource = m_transport->usb() ? m_transport->usb()->resource : QString();
    if (reconnecting)
        reconnector->start();
    return true;
}

QString MeterSession::openFailureText() const
{
    return LinkTexts::openFailure(m_transport->openFailure(), ModelName);
}

void MeterSession::close()
{
    endReconnect();
    stopRecording();
    // Nothing read from here on is the meter's.
    setRecording(Recording::Closing);
    m_driver->close();
    setRecording(Recording::Idle);
}

bool MeterSession::isOpen() const
{
    return m_driver->actived();
}

QString MeterSession::resource() const
{
    const USB *usb = isOpen() ? m_transport->usb() : nullptr;
    return usb ? usb->resource : QString();
}

void MeterSession::setAutoReconnect(bool on)
{
    reconnecting = on;
    if (!on)
        endReconnect();
    else if (isOpen())
        reconnector->start();
}

bool MeterSession::autoReconnect() const
{
    return reconnecting;
}

void MeterSession::endReconnect()
{
    reconnector->stop();
    if (state == Recording::PausedByLoss)
        stopRecording();
}

MeterSession::Recording MeterSession::recording() const
{
    return state;
}

bool MeterSession::isRecording() const
{
    return state == Recording::Recording;
}

QObject *MeterSession::target() const
{
    return state == Recording::Recording || state == Recording::PausedByLoss ? recordTarget.data() : nullptr;
}

void MeterSession::startRecording(QObject *target, const QString &name)
{
    if (!target || state == Recording::Closing)
        return;
    stopRecording();
    endJournal(); // one a lost link left to say why it ended
    recordTarget = target;
    targetName = name;
    // A target that goes takes its recording with it.
    connect(target, &QObject::destroyed, this, &MeterSession::stopRecording);
    setRecording(Recording::Recording);
}

void MeterSession::stopRecording()
{
    if (leaveTarget())
        endJournal();
}

bool MeterSession::leaveTarget()
{
    if (state != Recording::Recording && state != Recording::PausedByLoss)
        return false;
    if (recordTarget)
        recordTarget->disconnect(this);
    recordTarget = nullptr;
    targetName.clear();
    lastKept = gapFrom = QDateTime();
    setRecording(Recording::Idle);
    return true;
}

void MeterSession::keep(const DmmData &record)
{
    if (state != Recording::Recording)
        return;
    if (!journal && opener) {
        journal = opener(journalHeader(targetName));
        if (journal) {
            connect(journal.get(), &RecordSink::message, this, &MeterSession::message);
            connect(journal.get(), &RecordSink::broken, this, &MeterSession::journalBroken);
            connect(journal.get(), &RecordSink::fileStarted, &forwarding, &RecordingForwarder::journalStarted);
            connect(journal.get(), &RecordSink::fileStarted, this, &MeterSession::journalFileStarted);
            // Raised before the recording began: its journal would otherwise
            // tell only of the alarm's clearing.
            for (const std::optional<AlarmEvent> &alarm : standingAlarms) {
                if (alarm)
                    journal->appendAlarm(*alarm);
            }
        }
    }
    if (journal) {
        // The gap runs from the last reading before the loss to this one.
        if (gapFrom.isValid())
            journal->appendComment(tr("Link lost: %1; resumed: %2")
                                       .arg(QString::fromLatin1(JournalFormat::isoTime(gapFrom)),
                                            QString::fromLatin1(JournalFormat::isoTime(record.time))));
        journal->append(record);
        statistics.add(record);
    }
    gapFrom = QDateTime();
    lastKept = record.time;
    emit readingKept(record);
}

void MeterSession::note(const QString &text)
{
    if (journal)
        journal->appendComment(text);
}

void MeterSession::noteAlarm(const AlarmEvent &event)
{
    standingAlarms[event.line] = event.raised ? std::optional<AlarmEvent>(event) : std::nullopt;
    if (journal)
        journal->appendAlarm(event);
}

void MeterSession::restartJournal()
{
    endJournal();
    gapFrom = QDateTime();
}

void MeterSession::setJournalOpener(JournalOpener newOpener)
{
    opener = std::move(newOpener);
    if (!opener)
        endJournal();
}

bool MeterSession::writesJournal() const
{
    return bool(opener);
}

JournalHeader MeterSession::journalHeader(const QString &name) const
{
    JournalHeader header;
    header.program = program;
    header.resource = resource();
    header.simulated = !header.resource.isEmpty() && m_transport->isInProcess();
    header.itemName = name;
    header.started = QDateTime::currentDateTime();
    header.sampleRateMs = m_driver->getSampleRate();
    header.samplePoints = m_driver->getSamplePoints();
    header.unlimited = m_driver->getOptInifinite();
    return header;
}

qint64 MeterSession::notWritten() const
{
    return lost + (journal ? journal->notWritten() : 0);
}

qint64 MeterSession::lastJournalLine() const
{
    return journal ? journal->lastReadingAt() : -1;
}

void MeterSession::setRecording(Recording newState)
{
    if (state == newState)
        return;
    state = newState;
    emit recordingChanged(state);
}

void MeterSession::endJournal()
{
    if (!journal)
        return;
    journal->appendStatistics(statistics);
    statistics = LineStatistics();
    journal->close();
    lost += journal->notWritten();
    journal.reset();
    forwarding.journalEnded();
    emit journalEnded();
}

void MeterSession::onDriverClosed()
{
    // The driver closed itself while a reconnect watches the link: a loss
    // the reconnect may bridge, in the same journal. A reopened link that
    // fails again is the same loss.
    const bool loss = reconnector->isWatching();
    if (state == Recording::Recording && loss) {
        setRecording(Recording::PausedByLoss);
    } else if (!(state == Recording::PausedByLoss && loss) && state != Recording::Closing) {
        // Its journal ends once the driver has said why it closed, which
        // the journal says last.
        RecordSink *const ending = journal.get();
        leaveTarget();
        QMetaObject::invokeMethod(this, [this, ending] {
            if (journal.get() == ending)
                endJournal();
        }, Qt::QueuedConnection);
    }
}

void MeterSession::onCommunicationTimeout()
{
    // Decided now: the front end may end the reconnect before the queued
    // report would come.
    if (reconnector->isWatching())
        return;
    const bool unplugged = !meterListed();
    const QString why = LinkTexts::linkDropped(unplugged);
    note(why.left(1).toUpper() + why.mid(1));
    QMetaObject::invokeMethod(this, [this, unplugged] { emit linkDropped(unplugged); }, Qt::QueuedConnection);
}

void MeterSession::onLinkLost(const QDateTime &noticed)
{
    // A silent meter is noticed seconds after its last reading.
    const QDateTime from = lastKept.isValid() ? lastKept : noticed;
    if (state == Recording::PausedByLoss)
        gapFrom = lastKept;
    emit linkLost(LinkTexts::linkLost(from));
}

void MeterSession::onLinkRestored(const QDateTime &lostAt, const QDateTime &backAt)
{
    const bool resumed = state == Recording::PausedByLoss && recordTarget;
    if (resumed)
        setRecording(Recording::Recording);
    else
        stopRecording();
    emit linkRestored(LinkTexts::linkRestored(lastKept.isValid() ? lastKept : lostAt, backAt, resumed));
}

bool MeterSession::meterListed() const
{
    Tessaly probe;
    if (linkResource.isEmpty() || !probe.refreshUsbs(QString()))
        return false;
    for (const USB *usb : probe.usbs()) {
        if (Tessaly::sameInstrument(linkResource, usb->resource))
            return true;
    }
    return false;
}
