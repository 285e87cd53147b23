#include "chartfeeder.h"

#include "dmmchart.h"
#include "dmmdata.h"
#include "readingstore.h"

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
        lines[i]->setLabelMaker([i](const DmmData &record) { return labelOf(record, i); });
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

void ChartFeeder::scaleAsLastOf(const ReadingStore &readings, qint64 count)
{
    if (count > 0)
        chart->setSameScale(sameFunction(*readings.record(count - 1)));
}

void ChartFeeder::show(const std::shared_ptr<const ReadingStore> &readings)
{
    chart->showReadings(readings);
    if (readings)
        scaleAsLastOf(*readings, readings->count());
}

void ChartFeeder::grow(const ReadingStore &readings, qint64 count)
{
    scaleAsLastOf(readings, count);
    chart->setReadingCount(count);
}

void ChartFeeder::clear()
{
    chart->clearPoints();
}
