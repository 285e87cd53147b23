#include "testrecords.h"

#include "dmmdata.h"
#include "widget.h"

std::unique_ptr<DmmData> baseline()
{
    auto record = std::make_unique<DmmData>();
    record->lines[0]->channel = record->channels[0];
    record->lines[1]->channel = record->channels[1];
    record->time = QDateTime(QDate(2026, 12, 7), QTime(9, 30, 5));
    record->rate = QStringLiteral("MED");
    record->triggerSource = QStringLiteral("IMM");
    record->lines[0]->compareState = QStringLiteral("OFF");
    for (int i = 0; i < 2; ++i) {
        ChannelData &channel = *record->channels[i];
        channel.functions = QStringList{QStringLiteral("VOLT"), QStringLiteral("VOLT")};
        channel.valueTexts = QStringList{QStringLiteral("12.345"), QStringLiteral("1.2000")};
        channel.unitTexts = QStringList{QStringLiteral("mV"), QStringLiteral("V")};
        channel.rangeMode = QStringLiteral("MANUAL");
        channel.rangeValue = i == 0 ? QStringLiteral("38") : QStringLiteral("3.8");
        channel.rangeUnit = i == 0 ? QStringLiteral("mV") : QStringLiteral("V");
        channel.frequencyText = i == 0 ? QStringLiteral("1.00") : QStringLiteral("50.0");
        channel.frequencyUnit = i == 0 ? QStringLiteral("kHz") : QStringLiteral("Hz");
        channel.dbReference = 1;
        channel.dbmReference = 600;
    }
    return record;
}

void show(Widget *window, std::unique_ptr<DmmData> record)
{
    // The slot owns the record from the call on.
    QMetaObject::invokeMethod(window, "slotDmmDisplay", Qt::DirectConnection,
                              Q_ARG(const DmmData *, record.release()));
}
