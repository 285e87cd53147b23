#pragma once

#include "simulatedmeter.h"
#include "visa.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>

// A simulated meter listed with the VISA layer and one open session to it:
// the tests talk to the meter only as the transport does, through the VISA
// functions, and use the meter's own API only to set up its inputs and faults.
class MeterBench
{
public:
    static constexpr ViUInt32 AnswerTimeoutMs = 5000;
    // Long enough for an answer that is there, short enough to wait out an
    // answer that never comes.
    static constexpr ViUInt32 NoAnswerTimeoutMs = 300;

    explicit MeterBench(std::shared_ptr<dmmsim::SimulatedMeter> listed = std::make_shared<dmmsim::SimulatedMeter>())
        : m_meter(std::move(listed))
    {
        visa::addInProcessInstrument(m_meter);
        if (viOpenDefaultRM(&m_rm) == VI_SUCCESS) {
            viOpen(m_rm, m_meter->resourceName().c_str(), VI_NO_LOCK, 0, &m_session);
            viSetAttribute(m_session, VI_ATTR_TMO_VALUE, AnswerTimeoutMs);
        }
    }
    ~MeterBench()
    {
        if (m_rm != VI_NULL)
            viClose(m_rm);
        visa::removeInProcessInstrument(m_meter.get());
    }
    MeterBench(const MeterBench &) = delete;
    MeterBench &operator=(const MeterBench &) = delete;

    bool isOpen() const { return m_session != VI_NULL; }
    dmmsim::SimulatedMeter &meter() const { return *m_meter; }
    ViSession session() const { return m_session; }

    // A set command with its line feed; the VISA status of the write.
    ViStatus send(const QString &command) const
    {
        const QByteArray bytes = command.toLatin1() + '\n';
        return viWrite(m_session, reinterpret_cast<const ViByte *>(bytes.constData()),
                       static_cast<ViUInt32>(bytes.size()), VI_NULL);
    }
    // Sends several set commands; false at the first that fails.
    bool sendAll(const QStringList &commands) const
    {
        for (const QString &command : commands) {
            if (send(command) != VI_SUCCESS)
                return false;
        }
        return true;
    }

    // A query as the transport makes it; the answer as received, line feed
    // included, and the VISA status in `status`.
    QString query(const QString &command, ViStatus *status = nullptr) const
    {
        // "%" in a write format must be doubled.
        QByteArray format = command.toLatin1() + '\n';
        format.replace("%", "%%");
        char answer[VI_FIND_BUFLEN] = {};
        const ViStatus result = viQueryf(m_session, format.constData(), "%t", answer);
        if (status)
            *status = result;
        return QString::fromLatin1(answer);
    }
    // The answer without its line feed; empty when there was none.
    QString ask(const QString &command) const
    {
        ViStatus status = VI_SUCCESS;
        QString answer = query(command, &status);
        if (status != VI_SUCCESS || !answer.endsWith('\n'))
            return QString();
        answer.chop(1);
        return answer;
    }
    // The status of a query that is expected to get no answer.
    ViStatus queryExpectingSilence(const QString &command) const
    {
        viSetAttribute(m_session, VI_ATTR_TMO_VALUE, NoAnswerTimeoutMs);
        ViStatus status = VI_SUCCESS;
        query(command, &status);
        viSetAttribute(m_session, VI_ATTR_TMO_VALUE, AnswerTimeoutMs);
        return status;
    }

    // The four numbers of a Fetch? answer: LINE1, LINE2, CH1 and CH2 frequency.
    QList<double> fetch() const
    {
        QList<double> values;
        for (const QString &field : ask("Fetch?").split(','))
            values << field.toDouble();
        return values;
    }

private:
    std::shared_ptr<dmmsim::SimulatedMeter> m_meter;
    ViSession m_rm = VI_NULL;
    ViSession m_session = VI_NULL;
};
