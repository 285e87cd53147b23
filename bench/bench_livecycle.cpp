// Speed of the live cycle: the driver polls the simulated meter through the
// transport for a fixed number of passes, with every pass emitted, and the
// rate is printed beside the bound the pacing allows: six commands per pass
// with 33 ms after each, plus the four answer times; and beside the bound that
// also counts the extra remote query of every sixth pass.
//
// bench_livecycle [passes [answer-delay-ms]]   (defaults 100 and 0)
#include "commandpoolthread.h"
#include "inprocessinstrument.h"
#include "simulatedmeter.h"
#include "tessaly.h"
#include "varnok.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr int CommandsPerPass = 6;
constexpr int QueriesPerPass = 4;
// Every sixth pass also asks for the remote state once more.
constexpr int PassesPerExtraQuery = 6;
constexpr int GiveUpMs = 600000;

int argument(const QStringList &args, int index, int fallback)
{
    bool ok = false;
    const int value = args.value(index).toInt(&ok);
    return ok && value >= 0 ? value : fallback;
}

// Mean time of one query round trip through the transport, in milliseconds.
double meanAnswerMs(Tessaly &transport, int rounds)
{
    if (!transport.open())
        return -1.0;
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    for (int i = 0; i < rounds; ++i)
        transport.queryAny("Fetch?\n", &answer);
    const double mean = static_cast<double>(clock.nsecsElapsed()) / 1e6 / rounds;
    transport.close();
    return mean;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int passes = qMax(1, argument(args, 1, 100));
    const int answerDelayMs = argument(args, 2, 0);

    qunsetenv("DMMPANEL_SIMULATOR"); // only our own meter
    auto meter = std::make_shared<dmmsim::SimulatedMeter>();
    meter->setAnswerDelay(std::chrono::milliseconds(answerDelayMs));
    visa::addInProcessInstrument(meter);

    Tessaly transport;
    const double answerMs = meanAnswerMs(transport, 50);
    if (answerMs < 0) {
        std::fprintf(stderr, "bench_livecycle: the simulated meter did not open\n");
        return 1;
    }

    Varnok driver;
    driver.setSampleRate(0); // every pass ends in an emission
    int emitted = 0;
    QElapsedTimer clock;
    qint64 elapsedNs = 0;
    // Timing starts at the first emission, once the status pass is behind us.
    QObject::connect(&driver, &Dmm::display, &app, [&](const DmmData *data) {
        delete data;
        if (emitted++ == 0) {
            clock.start();
        } else if (emitted == passes + 1) {
            elapsedNs = clock.nsecsElapsed();
            app.quit();
        }
    });
    QObject::connect(&driver, &Varnok::communicationTimeout, &app, [&] {
        std::fprintf(stderr, "bench_livecycle: communication time-out\n");
        app.exit(1);
    });
    QTimer::singleShot(GiveUpMs, &app, [&] {
        std::fprintf(stderr, "bench_livecycle: gave up after %d ms\n", GiveUpMs);
        app.exit(1);
    });

    if (!driver.open(&transport)) {
        std::fprintf(stderr, "bench_livecycle: the driver did not open\n");
        return 1;
    }
    const int status = app.exec();
    driver.close();
    visa::removeInProcessInstrument(meter.get());
    if (status != 0)
        return status;

    const double pauseMs = static_cast<double>(CommandPoolThread::Pause.count());
    const double passMs = static_cast<double>(elapsedNs) / 1e6 / passes;
    const double boundPassMs = CommandsPerPass * pauseMs + QueriesPerPass * answerMs;
    const double rate = 1000.0 / passMs;
    const double bound = 1000.0 / boundPassMs;
    std::printf("live cycle: %d passes, answer delay %d ms, mean answer %.3f ms\n", passes, answerDelayMs, answerMs);
    std::printf("  %.3f passes/s (%.2f ms per pass)\n", rate, passMs);
    std::printf("  bound %.3f passes/s (%.2f ms per pass: %d x %.0f ms pause + %d x %.3f ms answer)\n", bound,
                boundPassMs, CommandsPerPass, pauseMs, QueriesPerPass, answerMs);
    std::printf("  %.1f %% of the bound\n", 100.0 * rate / bound);
    const double fullPassMs = boundPassMs + (pauseMs + answerMs) / PassesPerExtraQuery;
    std::printf("  %.1f %% of %.3f passes/s, the bound with the remote query of every sixth pass\n",
                100.0 * rate * fullPassMs / 1000.0, 1000.0 / fullPassMs);
    return 0;
}
