#include "logsession.h"

#include "console.h"
#include "dmmdata.h"
#include "journalformat.h"
#include "journalsink.h"
#include "linktexts.h"
#include "streamsink.h"

#include <QFileInfo>
#include <QTime>

#include <cstdio>
#include <limits>
#include <unistd.h>

namespace {

const QString ModelName = QStringLiteral("KM4473N/KM4475N");

QString lineText(const DmmData &record, int line)
{
    const ChannelData *channel = record.lines.at(line)->channel;
    return channel->valueTexts.value(line).trimmed() + QLatin1Char(' ') + channel->unitTexts.value(line);
}

} // namespace

LogSession::LogSession(const LogOptions &options, Console &console, QObject *parent)
    : QObject(parent), m_options(options), m_console(console), m_reconnector(m_driver, m_transport)
{
    m_duration.setSingleShot(true);
    connect(&m_duration, &QTimer::timeout, this, &LogSession::stop);
    connect(&m_driver, &Dmm::display, this, &LogSession::onReading);
    // Queued: the driver is closed only after it has finished the command
    // that reported the loss.
    connect(&m_driver, &Varnok::communicationTimeout, this, &LogSession::onCommunicationTimeout, Qt::QueuedConnection);
    connect(&m_reconnector, &Reconnector::linkLost, this, &LogSession::onLinkLost);
    connect(&m_reconnector, &Reconnector::linkRestored, this, &LogSession::onLinkRestored);
    connect(&m_driver, &Varnok::remoteStateUpdate, this, [this](bool remote) {
        if (!remote)
            end(LinkLost, QStringLiteral("the meter has left remote mode (its LOCAL key?); logging ends"));
    }, Qt::QueuedConnection);
}

LogSession::~LogSession()
{
    m_driver.disconnect(this);
    m_driver.close();
}

void LogSession::start()
{
    if (!openOutput())
        return;
    m_transport.setWantedResource(m_options.resource);
    m_driver.setSampleRate(m_options.intervalMs);
    if (!m_driver.open(&m_transport)) {
        const Tessaly::OpenFailure failure = m_transport.openFailure();
        const bool named =
            !m_options.resource.isEmpty() && failure.reason == Tessaly::OpenFailure::NoMatchingInstrument;
        end(NoMeter, named ? QStringLiteral("no meter %1 found (dmmlog --list lists what there is)")
                                 .arg(m_options.resource)
                           : LinkTexts::openFailure(failure, ModelName));
        return;
    }
    for (const SettingRequest &setting : m_options.settings)
        setting.send(m_driver);
    if (m_options.reconnect)
        m_reconnector.start();
    openSink();
    m_clock.start();
    if (m_options.durationMs > 0)
        m_duration.start(std::chrono::milliseconds(m_options.durationMs));
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
        end(BadArguments, QStringLiteral("cannot create %1: %2").arg(path, m_stream->errorString()));
        return false;
    }
    m_created = path;
    if (!path.isEmpty() && m_options.format == LogOptions::Format::Csv)
        m_stream.reset(); // the journal's writer takes the file as it is, empty
    return true;
}

void LogSession::openSink()
{
    JournalHeader header;
    header.program = QCoreApplication::applicationName();
    header.resource = m_transport.usb() ? m_transport.usb()->resource : QString();
    header.simulated = m_transport.isInProcess();
    header.itemName =
        m_options.outputPath.isEmpty() ? header.program : QFileInfo(m_options.outputPath).completeBaseName();
    header.started = QDateTime::currentDateTime();
    header.sampleRateMs = m_options.intervalMs;
    header.samplePoints = int(qMin<qint64>(m_options.samples, std::numeric_limits<int>::max()));
    header.unlimited = m_options.samples == 0;
    if (m_stream)
        m_sink = std::make_unique<StreamSink>(m_stream.release(), m_options.format, header);
    else
        m_sink = std::make_unique<JournalSink>(m_options.outputPath, header);
    connect(m_sink.get(), &LogSink::message, this, [this](const QString &text) { m_console.message(text); });
    connect(m_sink.get(), &LogSink::broken, this, [this](const QString &text) { end(LinkLost, text); });
    if (m_options.forward.isEmpty())
        return;
    m_forwarding = std::make_unique<ForwarderGroup>(m_options.outputPath, m_options.forward);
    connect(m_forwarding.get(), &ForwarderGroup::message, this, [this](const QString &text) { m_console.message(text); });
    m_forwarding->start();
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
    ++m_readings;
    m_sink->append(*record);
    if (m_ending) // the output broke
        return;
    showStatus(*record);
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
                         .arg(lineText(record, 0), lineText(record, 1), elapsed.toString(QStringLiteral("HH:mm:ss"))));
}

void LogSession::onCommunicationTimeout()
{
    if (!m_reconnector.isWatching())
        end(LinkLost, QStringLiteral("lost the link: the meter stopped answering"));
}

void LogSession::onLinkLost(const QDateTime &at)
{
    const QString text =
        QStringLiteral("Link lost at %1; waiting for the meter").arg(QString::fromLatin1(JournalFormat::isoTime(at)));
    m_console.message(text);
    m_sink->appendComment(text);
}

void LogSession::onLinkRestored(const QDateTime &lostAt, const QDateTime &backAt)
{
    const QString text = QStringLiteral("Link back at %1 (lost at %2)")
                             .arg(QString::fromLatin1(JournalFormat::isoTime(backAt)),
                                  QString::fromLatin1(JournalFormat::isoTime(lostAt)));
    m_console.message(text);
    m_sink->appendComment(text);
    // A meter switched off and on has forgotten them: made again, and the
    // next reading checked again, before the status pass of the new link.
    for (const SettingRequest &setting : m_options.settings)
        setting.send(m_driver);
    m_checked = false;
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
    if (status == LinkLost && m_sink && m_readings > 0)
        m_sink->appendComment(message.left(1).toUpper() + message.mid(1));
    // Not inside the driver's own signal: it closes once that has returned.
    QTimer::singleShot(0, this, [this, status] { close(status); });
}

void LogSession::close(int status)
{
    m_reconnector.stop();
    m_driver.close(); // the meter back to local
    if (m_sink)
        m_sink->close();
    m_sink.reset();
    // A run that never logged a line leaves no empty file behind, as a
    // service retrying for a meter not yet plugged in would.
    if (!m_created.isEmpty() && QFileInfo(m_created).size() == 0)
        QFile::remove(m_created);
    if (!m_forwarding) {
        emit finished(status);
        return;
    }
    // Readings left unsent end the run as a failure; they stay in the journal.
    connect(m_forwarding.get(), &ForwarderGroup::finished, this,
            [this, status](qint64 unsent) { emit finished(unsent > 0 ? int(LinkLost) : status); });
    m_forwarding->finish(m_options.flushTimeoutMs);
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
