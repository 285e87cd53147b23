#pragma once

#include <QByteArray>
#include <QJsonObject>

class DmmData;

// A reading as one JSON object with the journal's fields by name: what
// `dmmlog --format jsonl` writes per line and what goes to MQTT.
namespace ReadingJson {

// `number` is the reading's number in its journal, from 1.
QJsonObject object(qint64 number, const DmmData &record);

// A compact JSON text ended by a line feed.
QByteArray line(const QJsonObject &object);

} // namespace ReadingJson
