#include "logsession.h"

#include "console.h"
#include "dmmdata.h"
#include "engprefix.h"
#include "journalsink.h"
#include "linktexts.h"
#include "streamsink.h"
#include "tessaly.h"
#include "varnok.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <unistd.h>

namespace {

// The longest single wait towards the deadline.
constexpr qint64 DurationStepMs = 3600 * 1000;

// The last reading, and the mean and extremes of the line's readings so far.
QString lineText(const DmmData &record, int line, const LineStatistics &statistics)
{
    const ChannelData *channel = record.lines.at(line)->channel;
    QString text = channel->valueTexts.value(line).trimmed() + QLatin1Char(' ') + channel->unitTexts.value(line);
    const LineStatistics::Entry *entry = statistics.latest(line);
    if (entry && !entry->moments.isEmpty()) {
        const QString unit = EngPrefix::baseUnit(entry->function);
        text += QStringLiteral(" (mean %1, min %2, max %3)")
                    .arg(EngPrefix::prefixedText(entry->moments.mean, unit),
                         EngPrefix::prefixedText(entry->moments.min, unit),
                         EngPrefix::prefixedText(entry->moments.max, unit));
    }
    return text;
}

} // namespace

LogSession::LogSession(const LogOptions &options, Console &console, QObject *parent)
    : QObject(parent), m_options(options), m_console(console), m_session(QCoreApplication::applicationName())
{
    for (int line = 0; line < 2; ++line)
        m_watch.limits().setLimits(line, options.limits[line]);
    m_watch.setStopConditions(options.stopConditions);
    m_duration.setSingleShot(true);
    m_duration.setTimerType(Qt::PreciseTimer);
    connect(&m_duration, &QTimer::timeout, this, &LogSession::onDurationTick);
    Varnok &driver = m_session.driver();
    connect(&driver, &Dmm::display, this, &LogSession::onReading);
    connect(&m_session, &MeterSession::readingKept, this, &LogSession::onKept);
    connect(&m_session, &MeterSession::message, this, [this](const QString &text) { m_console.message(text); });
    connect(&m_session, &MeterSession::journalBroken, this, [this](const QString &text) { end(OutputFailed, text); });
    connect(&m_session, &MeterSession::linkLost, this, [this](const QString &text) { m_console.message(text); });
    connect(&m_session, &MeterSession::linkRestored, this, &LogSession::onLinkRestored);
    connect(&m_session, &MeterSession::linkDropped, this, [this](bool unplugged) {
        end(LinkLost, LinkTexts::linkDropped(unplugged));
    });
    connect(&driver, &Varnok::remoteStateUpdate, this, [this](bool remote) {
        if (!remote)
            end(LinkLost, QStringLiteral("the meter has left remote mode (its LOCAL key?); logging ends"));
    }, Qt::QueuedConnection);
}

LogSession::~LogSession()
{
    m_session.driver().disconnect(this);
    m_session.close();
}

void LogSession::start()
{
    if (!openOutput())
        return;
    Varnok &driver = m_session.driver();
    m_session.transport().setWantedResource(m_options.resource);
    driver.setSampleRate(m_options.intervalMs);
    // What the log's header says of the limit.
    driver.setSamplePoints(int(qMin<qint64>(m_options.samples, std::numeric_limits<int>::max())));
    driver.setOptInifinite(m_options.samples == 0);
    m_session.setAutoReconnect(m_options.reconnect);
    if (!m_session.open()) {
        const Tessaly::OpenFailure failure = m_session.transport().openFailure();
        const bool named =
            !m_options.resource.isEmpty() && failure.reason == Tessaly::OpenFailure::NoMatchingInstrument;
        end(NoMeter, named ? QStringLiteral("no meter %1 found (dmmlog --list lists what there is)")
                                 .arg(m_options.resource)
                           : m_session.openFailureText());
        return;
    }
    for (const SettingRequest &setting : m_options.settings)
        setting.send(driver);
    m_session.setJournalOpener([this](const JournalHeader &header) { return openSink(header); });
    if (!m_options.forward.isEmpty())
        connect(&m_session, &MeterSession::journalFileStarted, this, &LogSession::forwardFrom);
    m_session.startRecording(this, m_options.outputPath.isEmpty() ? QCoreApplication::applicationName()
                                                                   : QFileInfo(m_options.outputPath).completeBaseName());
    m_clock.start();
    if (m_options.durationMs > 0) {
        m_deadline = QDeadlineTimer(m_options.durationMs, Qt::PreciseTimer);
        onDurationTick();
    }
}

bool LogSession::openOutput()
{
    const QString &path = m_options.outputPath;
    m_stream = std::make_unique<QFile>(path);
    bool opened = false;
    if (path.isEmpty()) {
        opened = m_stream->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    } else if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        // It holds an earlier log, or something that is no log at all.
        end(BadArguments, QStringLiteral("%1 exists; dmmlog writes a new file and never overwrites one").arg(path));
        return false;
    } else {
        // Made now, so that a folder that cannot take it fails before the
        // meter is touched.
        opened = m_stream->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    if (!opened) {
        end(OutputFailed, QStringLiteral("cannot create %1: %2").arg(path, m_stream->errorString()));
        return false;
    }
    m_created = path;
    if (!path.isEmpty() && m_options.format == LogOptions::Format::Csv)
        m_stream.reset(); // the journal's writer takes the file as it is, empty
    return true;
}

std::unique_ptr<RecordSink> LogSession::openSink(const JournalHeader &header)
{
    if (m_stream)
        return std::make_unique<StreamSink>(m_stream.release(), m_options.format, header);
    if (m_created.isEmpty())
        return nullptr; // standard output was taken by an earlier sink
    // The writer's own words speak of the window's memory, which a logger
    // does not have.
    return std::make_unique<JournalSink>(
        m_created, header,
        QStringLiteral("%1 can not be written; readings are lost until it can, and it will name them").arg(m_created));
}

void LogSession::stop()
{
    end(CleanEnd);
}

void LogSession::onReading(const DmmData *data)
{
    const std::unique_ptr<const DmmData> record(data);
    // A line the meter never named the channel of has nothing to log.
    if (m_ending || !record->lines.at(0)->channel || !record->lines.at(1)->channel)
        return;
    if (!m_checked) {
        // The settings went out before the first status pass, so this first
        // reading shows what the meter made of them.
        if (!checkSettings(*record))
            return;
        m_checked = true;
    }
    m_session.keep(*record);
}

void LogSession::onKept(const DmmData &record)
{
    ++m_readings;
    if (m_ending) // the output broke
        return;
    showStatus(record);
    watch(record);
    if (m_options.samples > 0 && m_readings >= m_options.samples)
        end(CleanEnd);
}

bool LogSession::checkSettings(const DmmData &state)
{
    for (const SettingRequest &setting : m_options.settings) {
        const QString refusal = setting.refusal(state);
        if (!refusal.isEmpty()) {
            end(BadArguments, QStringLiteral("the meter did not take %1: %2").arg(setting.optionText(), refusal));
            return false;
        }
    }
    return true;
}

void LogSession::showStatus(const DmmData &record)
{
    const QTime elapsed = QTime(0, 0).addMSecs(int(m_clock.elapsed() % (24 * 3600 * 1000)));
    m_console.status(QStringLiteral("%1 %2, last %3 | %4, %5 elapsed")
                         .arg(m_readings)
                         .arg(m_readings == 1 ? QStringLiteral("reading") : QStringLiteral("readings"))
                         .arg(lineText(record, 0, m_session.journalStatistics()),
                              lineText(record, 1, m_session.journalStatistics()), elapsed.toString(QStringLiteral("HH:mm:ss"))));
}

void LogSession::watch(const DmmData &record)
{
    const ReadingWatch::Verdict verdict = m_watch.check(record);
    for (const AlarmEvent &event : verdict.alarms) {
        m_session.noteAlarm(event);
        m_console.message(event.journalText());
        if (!m_forwarding.empty())
            m_forwarding.back()->sendAlarm(event.json());
    }
    if (!verdict.stopReason.isEmpty()) {
        const QString text = QStringLiteral("Stopped: ") + verdict.stopReason;
        m_session.note(text);
        m_console.message(text);
        end(CleanEnd);
    }
}

void LogSession::onLinkRestored(const QString &text)
{
    m_console.message(text);
    // A meter switched off and on has forgotten them: made again, and the
    // next reading checked again, before the status pass of the new link.
    for (const SettingRequest &setting : m_options.settings)
        setting.send(m_session.driver());
    m_checked = false;
}

void LogSession::onDurationTick()
{
    if (m_deadline.hasExpired()) {
        stop();
        return;
    }
    m_duration.start(std::chrono::milliseconds(std::min(m_deadline.remainingTime(), DurationStepMs)));
}

void LogSession::end(int status, const QString &message)
{
    if (m_ending)
        return;
    m_ending = true;
    m_duration.stop();
    if (!message.isEmpty())
        m_console.message(message);
    // A log cut short says why, where its reader looks.
    if (status == LinkLost && m_readings > 0)
        m_session.note(message.left(1).toUpper() + message.mid(1));
    // Nothing was logged: the file goes now, not after the meter is back in
    // local, so that a second Ctrl+C meanwhile leaves nothing behind.
    if (m_readings == 0)
        removeEmptyOutput();
    // Not inside the driver's own signal: it closes once that has returned.
    QTimer::singleShot(0, this, [this, status] { close(status); });
}

void LogSession::close(int status)
{
    m_session.close(); // the log complete, the meter back to local
    if (const qint64 missing = m_session.notWritten()) {
        m_console.message(QStringLiteral("%1 of %2 readings were not written to %3")
                              .arg(missing)
                              .arg(m_readings)
                              .arg(m_created.isEmpty() ? QStringLiteral("standard output") : m_created));
        if (status == CleanEnd)
            status = OutputFailed;
    }
    // A run that never logged a line leaves no empty file behind, as a
    // service retrying for a meter not yet plugged in would.
    removeEmptyOutput();
    if (m_forwarding.empty()) {
        emit finished(status);
        return;
    }
    m_status = status;
    m_forwarding.back()->finish(m_options.flushTimeoutMs);
}

void LogSession::forwardFrom(const QString &path)
{
    if (!m_forwarding.empty())
        m_forwarding.back()->finish(m_options.flushTimeoutMs);
    auto group = std::make_unique<ForwarderGroup>(path, m_options.forward);
    connect(group.get(), &ForwarderGroup::message, this, [this](const QString &text) { m_console.message(text); });
    connect(group.get(), &ForwarderGroup::finished, this, &LogSession::onForwardingFinished);
    group->start();
    m_forwarding.push_back(std::move(group));
}

void LogSession::onForwardingFinished(qint64 unsent)
{
    m_unsent += unsent;
    // Readings left unsent end the run as a failure; they stay in the journal.
    if (++m_forwardingDone == m_forwarding.size() && m_status >= 0)
        emit finished(m_unsent > 0 ? int(LinkLost) : m_status);
}

void LogSession::removeEmptyOutput()
{
    if (!m_created.isEmpty() && QFileInfo(m_created).size() == 0)
        QFile::remove(m_created);
}

int listInstruments(Console &console)
{
    Tessaly transport;
    // Every USB instrument, so that a missing meter shows what is there instead.
    if (!transport.refreshUsbs(QString()) || transport.usbs().isEmpty()) {
        console.message(QStringLiteral("no USB instrument found"));
        return NoMeter;
    }
    for (const USB *usb : transport.usbs())
        std::printf("%s\n", usb->resource.toLocal8Bit().constData());
    return CleanEnd;
}
