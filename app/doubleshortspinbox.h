#pragma once

#include <QDoubleSpinBox>

// Spin box for values in engineering notation (such as 4.2000m). Placed by
// the main window form; its notation is added with the control panel.
class DoubleShortSpinBox : public QDoubleSpinBox
{
    Q_OBJECT
public:
    explicit DoubleShortSpinBox(QWidget *parent = nullptr) : QDoubleSpinBox(parent) {}
};
