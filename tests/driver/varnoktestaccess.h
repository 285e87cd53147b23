#pragma once

// Reaches the driver's private decoders for tests and fuzz targets. A
// DecoderBench gives a closed driver a live record so that answers can be fed
// to the dispatcher directly, without pools, thread or transport.

#include "command.h"
#include "commandpool.h"
#include "varnok.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

class VarnokTestAccess
{
public:
    static DmmData *&liveData(Varnok &driver) { return driver.liveData; }
    static int &state(Varnok &driver) { return driver.state; }
    static bool &remote(Varnok &driver) { return driver.remote; }
    static StoreParam &storeParam(Varnok &driver) { return driver.storeParam; }
    static LoopCommandPool &loopPool(Varnok &driver) { return *driver.loopPool; }

    // Texts waiting in the command pool, each without its line feed.
    static QList<QByteArray> queued(const Varnok &driver)
    {
        QList<QByteArray> texts;
        for (const Command *command : driver.commandPool->commands())
            texts << command->text().chopped(command->text().endsWith('\n') ? 1 : 0);
        return texts;
    }
    static void clearQueued(Varnok &driver) { driver.commandPool->reset(); }

    // Back to the state of a driver just built, with a fresh live record:
    // lets a fuzz target reuse one driver for every input.
    static void resetSession(Varnok &driver)
    {
        delete driver.liveData;
        driver.liveData = new DmmData;
        driver.remote = false;
        driver.localReported = false;
        driver.readingDecoded = false;
        driver.state = 0;
        driver.receiveBuffer.clear();
        driver.storeParam = StoreParam();
        driver.sampleDue = true;
        driver.commandPool->reset();
        driver.statusPool->reset();
    }

    // Hands `answer` to the dispatcher as the answer to `command` (given
    // without its line feed, as it is queued).
    static void decode(Varnok &driver, const QByteArray &command, const QByteArray &answer)
    {
        Command current(command + '\n', true, QVariant(0));
        driver.currentCommand = &current;
        driver.decodeLiveData(answer);
        driver.currentCommand = nullptr;
    }

    static void convert(Varnok &driver, DmmData *data) { driver.convertDmmDataValues(data); }
    static std::unique_ptr<DmmData> makeStoreData(Varnok &driver, const QByteArray &record)
    {
        return std::unique_ptr<DmmData>(driver.makeStoreData(record));
    }

    static void convertValue(double *value, QString *prefix) { Varnok::convertValue(value, prefix); }
    static bool detachValueUnit(const QString &text, QString *number, QString *unit)
    {
        return Varnok::detachValueUnit(text, number, unit);
    }
};

// A closed driver with a live record of its own, as after open.
struct DecoderBench
{
    Varnok driver;

    DecoderBench() { VarnokTestAccess::liveData(driver) = new DmmData; }
    ~DecoderBench()
    {
        delete VarnokTestAccess::liveData(driver);
        VarnokTestAccess::liveData(driver) = nullptr;
    }
    DecoderBench(const DecoderBench &) = delete;
    DecoderBench &operator=(const DecoderBench &) = delete;

    DmmData &live() { return *VarnokTestAccess::liveData(driver); }
    void reset() { VarnokTestAccess::resetSession(driver); }
    void decode(const QByteArray &command, const QByteArray &answer)
    {
        VarnokTestAccess::decode(driver, command, answer);
    }
    // Binds both lines the way the status pass does.
    void bindLines(const QByteArray &line1, const QByteArray &line2)
    {
        decode("FUNCtion:LINE1?", line1);
        decode("FUNCtion:LINE2?", line2);
    }
};
