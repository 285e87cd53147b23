// Speed of the live cycle: the driver polls the simulated meter through the
// transport for a fixed number of passes, with every pass emitted, and the
// rate is printed beside the bound the pacing allows: six commands per pass
// with 33 ms after each, plus the four answer times; and beside the bound that
// also counts the extra remote query of every sixth pass.
//
// bench_livecycle [passes [answer-delay-ms]]   (defaults 100 and 0)
#include "benchsession.h"
#include "commandpoolthread.h"

#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int CommandsPerPass = 6;
constexpr int QueriesPerPass = 4;
// Every sixth pass also asks for the remote state once more.
constexpr int PassesPerExtraQuery = 6;

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
    const int passes = qMax(1, bench::argument(args, 1, 100));
    const int answerDelayMs = bench::argument(args, 2, 0);

    const auto meter = bench::listMeter(answerDelayMs);

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
    const int status = bench::runDriver("bench_livecycle", app, driver, transport);
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
