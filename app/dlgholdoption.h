#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class DlgHoldOption;
}

// Hold window (percent) and count, offered as the meter's fixed choices.
class DlgHoldOption : public QDialog
{
    Q_OBJECT
public:
    explicit DlgHoldOption(QWidget *parent = nullptr);
    ~DlgHoldOption() override;

    double window() const;
    // Selects the item whose value is exactly w; any other w changes nothing.
    void setWindow(double w);
    int count() const;
    void setCount(int n);

private:
    std::unique_ptr<Ui::DlgHoldOption> ui;
};
