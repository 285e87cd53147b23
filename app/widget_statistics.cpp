// The statistics strip below the chart.
#include "widget.h"

#include "dmmchart.h"
#include "statisticsstrip.h"
#include "ui_widget.h"

void Widget::initStatistics()
{
    statisticsStrip = new StatisticsStrip(ui->tabChart);
    // The chart takes the room; the strip its lines, however long they are.
    statisticsStrip->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Maximum);
    ui->gridLayout_7->addWidget(statisticsStrip, 1, 0);
    ui->gridLayout_7->setRowStretch(0, 1);
    connect(ui->chart, &DMMChart::visibleSpanChanged, statisticsStrip, &StatisticsStrip::setSpan);
}
