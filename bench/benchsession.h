#pragma once
// What every benchmark against the simulated meter does around its own
// measurement: read its arguments, list a fresh meter, and run the driver on it
// until the measurement quits the event loop, a time-out or a give-up.

#include "inprocessinstrument.h"
#include "simulatedmeter.h"
#include "tessaly.h"
#include "varnok.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>

namespace bench {

constexpr int GiveUpMs = 600000;

// The non-negative number at `index` of the command line, else `fallback`.
inline int argument(const QStringList &args, int index, int fallback)
{
    bool ok = false;
    const int value = args.value(index).toInt(&ok);
    return ok && value >= 0 ? value : fallback;
}

// A simulated meter on the VISA list, the only one there.
inline std::shared_ptr<dmmsim::SimulatedMeter> listMeter(int answerDelayMs)
{
    qunsetenv("DMMPANEL_SIMULATOR");
    auto meter = std::make_shared<dmmsim::SimulatedMeter>();
    meter->setAnswerDelay(std::chrono::milliseconds(answerDelayMs));
    visa::addInProcessInstrument(meter);
    return meter;
}

// Opens the driver on the transport and runs the event loop; returns its exit
// status, non-zero after a communication time-out or when nothing quit it in time.
inline int runDriver(const char *name, QCoreApplication &app, Varnok &driver, Tessaly &transport)
{
    QObject::connect(&driver, &Varnok::communicationTimeout, &app, [&] {
        std::fprintf(stderr, "%s: communication time-out\n", name);
        app.exit(1);
    });
    QTimer::singleShot(GiveUpMs, &app, [&] {
        std::fprintf(stderr, "%s: gave up after %d ms\n", name, GiveUpMs);
        app.exit(1);
    });
    if (!driver.open(&transport)) {
        std::fprintf(stderr, "%s: the driver did not open\n", name);
        return 1;
    }
    const int status = app.exec();
    driver.close();
    return status;
}

} // namespace bench
