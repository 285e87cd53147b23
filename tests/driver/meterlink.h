#pragma once

// The whole path the program uses, against the simulated meter: the driver
// with its pools and pacing thread, the transport, and the VISA layer, which
// lists the meter as an in-process instrument. Between the layer and the meter
// sits a recorder of the raw bytes of every write, line feeds included; the
// meter's own API serves for faults and observation only.

#include "inprocessinstrument.h"
#include "nokerneldevices.h"
#include "simulatedmeter.h"
#include "tessaly.h"
#include "varnok.h"

#include <QByteArrayList>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Passes the meter's traffic through and keeps every write as it arrived.
class RecordingInstrument : public visa::InProcessInstrument
{
public:
    explicit RecordingInstrument(std::shared_ptr<dmmsim::SimulatedMeter> meter) : meter(std::move(meter)) {}

    QByteArrayList writes() const
    {
        const std::lock_guard lock(mutex);
        return written;
    }

    std::string resourceName() const override { return meter->resourceName(); }
    ViStatus write(const std::string &bytes) override
    {
        {
            const std::lock_guard lock(mutex);
            written << QByteArray::fromStdString(bytes);
        }
        return meter->write(bytes);
    }
    ViStatus read(std::string &message, std::chrono::milliseconds timeout) override
    {
        return meter->read(message, timeout);
    }
    void clear() override { meter->clear(); }
    bool attached() const override { return meter->attached(); }

private:
    std::shared_ptr<dmmsim::SimulatedMeter> meter;
    mutable std::mutex mutex;
    QByteArrayList written;
};

// Generous bounds: a busy machine may run several builds beside the tests.
constexpr int LinkWaitMs = 60000;

// The texts of one live pass, as the meter receives them.
inline const QByteArrayList &livePassTexts()
{
    static const QByteArrayList texts{"SYSTem:REMote?\n", "Fetch?\n", "VOLTage:RANGe:CH1?\n", "VOLTage:RANGe:CH2?\n"};
    return texts;
}

// Keeps the records a signal of the driver hands out, as their receiver must;
// the connection ends with the keeper.
class RecordKeeper : public QObject
{
public:
    template <typename Signal>
    RecordKeeper(Varnok &driver, Signal signal)
    {
        connect(&driver, signal, this, [this](const DmmData *data) { records.emplace_back(data); });
    }
    const DmmData *last() const { return records.empty() ? nullptr : records.back().get(); }

    std::vector<std::unique_ptr<const DmmData>> records;
};

class MeterLink
{
public:
    MeterLink()
        : meter(std::make_shared<dmmsim::SimulatedMeter>()), recorder(std::make_shared<RecordingInstrument>(meter))
    {
        visa::addInProcessInstrument(recorder);
    }
    ~MeterLink()
    {
        driver.close();
        transport.close();
        visa::removeInProcessInstrument(recorder.get());
    }
    MeterLink(const MeterLink &) = delete;
    MeterLink &operator=(const MeterLink &) = delete;

    bool open() { return driver.open(&transport); }

    QByteArrayList writes() const { return recorder->writes(); }
    int writeCount() const { return static_cast<int>(recorder->writes().size()); }
    // Writes from index `from` on.
    QByteArrayList writesFrom(int from) const { return recorder->writes().mid(from); }

    // True once `text` has been written `times` times from index `from` on.
    bool waitForWrite(const QByteArray &text, int from = 0, int times = 1)
    {
        return QTest::qWaitFor([&] { return writesFrom(from).count(text) >= times; }, LinkWaitMs);
    }
    // True once the status pass is over and `passes` live passes have begun.
    bool waitForLivePasses(int passes) { return waitForWrite("Fetch?\n", 0, passes); }

    NoKernelDevices noKernelDevices; // only the simulated meter may be found
    std::shared_ptr<dmmsim::SimulatedMeter> meter;
    std::shared_ptr<RecordingInstrument> recorder;
    Tessaly transport;
    Varnok driver; // after the transport: it goes first
};
