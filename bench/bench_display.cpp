// Time of one live reading on screen: the window's display slot with a
// realistic record (both lines, frequencies, percent, max/min and compare on,
// values changing every reading). Prints median and worst of N calls.
#include "dmmdata.h"
#include "widget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

DmmData *reading(int n)
{
    auto *record = new DmmData;
    record->lines[0]->channel = record->channels[0];
    record->lines[1]->channel = record->channels[1];
    record->rate = QStringLiteral("FAST");
    record->triggerSource = QStringLiteral("IMM");
    LineData &states = *record->lines[0];
    states.percentState = true;
    states.percentValue = 12.5 + n % 7;
    states.maxMinState = true;
    states.maxValue = 0.125 + n % 5 * 1e-4;
    states.minValue = 0.119;
    states.compareState = n % 2 ? QStringLiteral("IN") : QStringLiteral("HI");
    for (int i = 0; i < 2; ++i) {
        ChannelData &channel = *record->channels[i];
        channel.functions = QStringList{QStringLiteral("VOLT"), QStringLiteral("DBM")};
        channel.valueTexts = QStringList{QString::number(123.02 + n % 11 * 0.01, 'f', 2), QStringLiteral("-12.345")};
        channel.unitTexts = QStringList{QStringLiteral("mV"), QStringLiteral("dBm")};
        channel.rangeMode = QStringLiteral("MANUAL");
        channel.rangeValue = QStringLiteral("380");
        channel.rangeUnit = QStringLiteral("mV");
        channel.frequencyText = QString::number(1.00 + n % 3 * 0.01, 'f', 2);
        channel.frequencyUnit = QStringLiteral("kHz");
        channel.dbReference = 0.775;
        channel.dbmReference = 600;
    }
    return record;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int calls = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;

    QTemporaryDir dir;
    Widget window(nullptr, dir.filePath(QStringLiteral("options.xml")));
    window.show();
    QApplication::processEvents();

    std::vector<qint64> nanoseconds;
    nanoseconds.reserve(calls);
    QElapsedTimer clock;
    for (int n = 0; n < calls; ++n) {
        DmmData *record = reading(n);
        clock.start();
        QMetaObject::invokeMethod(&window, "slotDmmDisplay", Qt::DirectConnection, Q_ARG(const DmmData *, record));
        nanoseconds.push_back(clock.nsecsElapsed());
        // Repaints happen between readings, as in the running program.
        if (n % 50 == 0)
            QApplication::processEvents();
    }
    std::sort(nanoseconds.begin(), nanoseconds.end());
    std::printf("display slot, %d readings: median %.3f ms, worst %.3f ms (aim: 0.2 ms)\n", calls,
                nanoseconds[nanoseconds.size() / 2] / 1e6, nanoseconds.back() / 1e6);
    window.close();
    return 0;
}
