#pragma once

#include <QCoreApplication>

class DmmData;
class QWidget;

namespace Ui {
class Widget;
}

// The on-screen face of the meter: both display lines, frequencies and the
// REL, HOLD, rate, percent, max/min and compare indicators. Each reading
// rewrites it completely; between readings it shows the last one.
class LiveDisplay
{
    Q_DECLARE_TR_FUNCTIONS(LiveDisplay)
public:
    explicit LiveDisplay(Ui::Widget &ui);

    void show(const DmmData &record);
    // Greyed while what it shows is no live reading (no link yet, link lost).
    void setLive(bool live);
    // A display line in alarm shows red, with an "ALARM" mark.
    void setAlarm(int line, bool on);

private:
    void showLines(const DmmData &record);
    void showFrequencies(const DmmData &record);
    void showIndicators(const DmmData &record);
    void showPercent(const DmmData &record);
    void showMaxMin(const DmmData &record);
    void showCompare(const DmmData &record);

    Ui::Widget &ui;
    bool alarm[2] = {false, false};
};
