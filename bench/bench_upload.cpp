// Speed of the stored-data transfer: the simulated meter holds a number of
// readings and the driver uploads all of them through the transport, one
// query per reading, back to back. Prints records uploaded per second.
//
// bench_upload [records [answer-delay-ms [runs]]]   (defaults 1000, 0 and 3)
#include "benchsession.h"

#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int records = qBound(1, bench::argument(args, 1, 1000), 1000); // the meter's memory holds 1000
    const int answerDelayMs = bench::argument(args, 2, 0);
    const int runs = qMax(1, bench::argument(args, 3, 3));

    const auto meter = bench::listMeter(answerDelayMs);
    meter->fillMemory(records);

    Tessaly transport;
    Varnok driver;
    int run = 0;
    int received = 0;
    QElapsedTimer clock;
    QList<double> seconds;
    const auto startRun = [&] {
        received = 0;
        clock.start();
        driver.startGetAllStore();
    };

    // The first live pass ends the status pass; the transfers start then.
    QObject::connect(&driver, &Dmm::display, &app, [&](const DmmData *data) {
        delete data;
        if (!clock.isValid())
            startRun();
    });
    QObject::connect(&driver, &Varnok::displayStore, &app, [&](const DmmData *data) {
        delete data;
        ++received;
    });
    QObject::connect(&driver, &Varnok::storeNum, &app, [&](int total, int num) {
        if (total == 0 || num < total)
            return;
        seconds << static_cast<double>(clock.nsecsElapsed()) / 1e9;
        if (received != total) {
            std::fprintf(stderr, "bench_upload: %d of %d records decoded\n", received, total);
            app.exit(1);
        } else if (++run < runs) {
            startRun();
        } else {
            app.quit();
        }
    });
    const int status = bench::runDriver("bench_upload", app, driver, transport);
    visa::removeInProcessInstrument(meter.get());
    if (status != 0)
        return status;

    std::printf("stored-data upload: %d records, answer delay %d ms, %d runs\n", records, answerDelayMs, runs);
    double best = 0;
    for (int i = 0; i < seconds.size(); ++i) {
        const double rate = records / seconds[i];
        best = qMax(best, rate);
        std::printf("  run %d: %.3f s, %.1f records/s (%.3f ms per record)\n", i + 1, seconds[i], rate,
                    1000.0 * seconds[i] / records);
    }
    std::printf("  best %.1f records/s\n", best);
    return 0;
}
