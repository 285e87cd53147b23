#pragma once

#include <QFrame>

// Trend chart of the readings of both display lines against time. Placed by
// the main window form; its lines and painting are added with the chart.
class DMMChart : public QFrame
{
    Q_OBJECT
public:
    explicit DMMChart(QWidget *parent = nullptr) : QFrame(parent) {}
};
