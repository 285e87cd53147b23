#pragma once

#include <QWidget>

// Horizontal bar chart of sample counts per value range. Placed by the main
// window form; its bins and painting are added with the histogram.
class Histogram : public QWidget
{
    Q_OBJECT
public:
    explicit Histogram(QWidget *parent = nullptr) : QWidget(parent) {}
};
