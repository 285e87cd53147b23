#pragma once

#include <QString>

// How a reading's date and time is written wherever it is shown: the data
// table, the exported spreadsheet's date column (as its number format), the
// chart's indicator and the journals offered back.
inline const QString DateTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
