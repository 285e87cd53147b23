#include "chartfeeder.h"

#include "dmmchart.h"
#include "dmmdata.h"

#include <QCoreApplication>
#include <QTabWidget>

#include <limits>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Widget", text);
}

const ChannelData *channelOf(const DmmData &record, int line)
{
    return record.lines.value(line) ? record.lines[line]->channel : nullptr;
}

// Display lines whose channel is not known yet count as readings without value.
ChartPoint pointOf(const DmmData &record, int line)
{
    ChartPoint point;
    point.time = record.time;
    point.reading = &record;
    point.value = std::numeric_limits<double>::quiet_NaN();
    const ChannelData *channel = channelOf(record, line);
    if (channel && channel->valueModes.value(line) == DmmData::ValueNormal)
        point.value = channel->values.value(line);
    return point;
}

QString labelOf(const DmmData &record, int line)
{
    const ChannelData *channel = channelOf(record, line);
    if (!channel)
        return QStringLiteral("[Line%1]").arg(line + 1);
    return QStringLiteral("[Line%1]%2 %3%4")
        .arg(QString::number(line + 1), channel->functions.value(line), channel->valueTexts.value(line),
             channel->unitTexts.value(line));
}

bool sameFunction(const DmmData &record)
{
    const ChannelData *first = channelOf(record, 0);
    const ChannelData *second = channelOf(record, 1);
    return first && second && second->functions.value(1) == first->functions.value(0);
}

} // namespace

ChartFeeder::ChartFeeder(DMMChart *chart, Histogram *histogram) : chart(chart), histogram(histogram) {}

void ChartFeeder::setUp(QTabWidget *tabs, QWidget *histogramTab)
{
    chart->addLine(QColor(QStringLiteral("#44cef6")), QString());
    const QList<ChartLine *> lines = chart->lines();
    for (int i = 0; i < lines.size(); ++i) {
        lines[i]->setName(tr(i == 0 ? "Line1" : "Line2"));
        lines[i]->setLabelMaker([i](const ChartPoint &point) {
            return point.reading ? labelOf(*point.reading, i) : QString();
        });
    }
    chart->leftAxis()->size = 100;
    chart->rightAxis()->size = 100;
    chart->topAxis()->size = 80;
    chart->bottomAxis()->size = 80;
    chart->bottomAxis()->title = tr("Date Time");
    chart->leftAxis()->title = lines[0]->name();
    chart->rightAxis()->title = lines[1]->name();
    chart->setSameScale(true);

    histogram->setMargins(100, 20, 20, 50);
    histogram->setRanges(histogramRanges());
    histogram->setVerticalTitle(tr("Thickness(um)"));
    histogram->setHorizontalTitle(tr("Rate"));
    tabs->removeTab(tabs->indexOf(histogramTab));
}

QVector<HistogramLayout::Range> ChartFeeder::histogramRanges()
{
    return {{std::numeric_limits<double>::lowest(), 0},
            {0, 200},
            {200, 400},
            {400, 600},
            {600, 800},
            {800, 1000},
            {1000, 1250},
            {1250, std::numeric_limits<double>::max()}};
}

void ChartFeeder::addRecord(const DmmData &record)
{
    chart->addPoints({pointOf(record, 0), pointOf(record, 1)});
}

void ChartFeeder::append(const DmmData &record)
{
    chart->setSameScale(sameFunction(record));
    addRecord(record);
}

void ChartFeeder::clear()
{
    chart->clearPoints();
}

void ChartFeeder::fill(const QList<DmmData *> &records)
{
    chart->clearPoints();
    if (records.isEmpty())
        return;
    chart->reservePoints(records.size());
    for (const DmmData *record : records)
        addRecord(*record);
    chart->setSameScale(sameFunction(*records.last()));
}
