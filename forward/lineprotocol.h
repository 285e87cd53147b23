#pragma once

#include <QByteArray>
#include <QString>

class DmmData;

// A reading as one point of InfluxDB's line protocol with a timestamp in
// milliseconds: measurement `dmmpanel`, tag `meter`, the display lines in SI
// units with their functions and units, the input frequencies and `seq`, the
// reading's number in its journal. What `dmmlog --format influx` writes and
// what goes to InfluxDB.
namespace LineProtocol {

// One line ended by a line feed; empty for a reading without a time of its
// own (uploaded from the meter's memory), which makes no point.
QByteArray point(const QString &meter, qint64 seq, const DmmData &record);

// The unit of a plain SI value of a reading shown in `displayUnit`: "mV" and
// "µV" are "V", "dBm" stays.
QString siUnit(const QString &displayUnit);

} // namespace LineProtocol

// The name a meter goes by on a server: the serial number of a USB resource
// name, else the resource name; never empty, and free of the characters that
// MQTT topics reserve.
QString meterName(const QString &resource);
