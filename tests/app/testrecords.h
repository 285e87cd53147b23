#pragma once

#include <memory>

class DmmData;
class Widget;

// A reading as the meter gives one: CH1 on line 1 in volts on the 38 mV
// range, CH2 on line 2, every function off, time set.
std::unique_ptr<DmmData> baseline();

// Hands the record to the window as the driver does; the window owns it.
void show(Widget *window, std::unique_ptr<DmmData> record);
