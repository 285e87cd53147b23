#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

struct ChannelData;

// One display line of the meter. The meter-wide function settings are kept in
// lines[0] only; lines[1] keeps its defaults apart from `channel`.
struct LineData
{
    ChannelData *channel = nullptr; // not owned: points into the record's own channels
    QString lineText;
    bool relState = false;
    double relReference = 0;
    bool holdState = false;
    double holdWindow = 0;
    int holdCount = 2;
    bool percentState = false;
    double percentReference = 0;
    double percentValue = 0;
    bool maxMinState = false;
    double maxValue = 0;
    double minValue = 0;
    QString compareState;
    double compareLower = 0;
    double compareUpper = 0;
};

// One input. The per-line lists always hold two elements; element i belongs to
// display line i (the line that shows this channel writes its own slot).
struct ChannelData
{
    int number = 1;
    QStringList functions{QString(), QString()};
    QList<double> values{0.0, 0.0};
    QList<int> valueModes{0, 0};
    QStringList valueTexts{QString(), QString()};
    QStringList unitTexts{QString(), QString()};
    QString rangeMode;
    QString rangeValue;
    QString rangeUnit;
    double frequency = 0;
    QString frequencyText;
    QString frequencyUnit;
    double dbReference = 0;
    double dbmReference = 0;
    bool floating = false;
};

// Everything the driver knows about the meter at one moment. A record handed
// out by the driver belongs to its receiver.
class DmmData : public QObject
{
    Q_OBJECT
public:
    enum ValueMode { ValueNormal = 0, ValueLow = 1, ValueOverload = 2, ValueNone = 3 };

    static constexpr double LowSentinel = -9.9e37;
    static constexpr double OverloadSentinel = 9.9e37;
    static constexpr double NoneSentinel = 9.91e37;

    explicit DmmData(QObject *parent = nullptr);
    // Deep copy of channels, lines (each line showing the copy's own entry of
    // its channel), rate and trigger source; every other field keeps its
    // default. No parent.
    explicit DmmData(const DmmData &other);
    ~DmmData() override;
    DmmData &operator=(const DmmData &) = delete;

    void setTime(const QDateTime &t) { time = t; }
    void setIsStore(bool b) { isStore = b; }
    void setRate(const QString &r) { rate = r; }
    void setTriggerSource(const QString &s) { triggerSource = s; }
    QList<LineData *> getLines() const { return lines; }
    QList<ChannelData *> getChannels() const { return channels; }
    QString getRate() const { return rate; }

    QDateTime time;
    QDateTime auxTime;
    QList<double> auxValues;
    QStringList auxTexts;
    bool isStore = false;
    int auxCount = 0;
    QString auxText;
    QList<LineData *> lines;
    QList<ChannelData *> channels;
    QString rate;
    QString triggerSource;
    QString auxText2;
    int auxInt2 = 0;
    QString auxText3;
    int auxInt3 = 0;
};
