#pragma once

#include "linelimits.h"

#include <QDialog>

class QLabel;
class QLineEdit;

// Sets the lower and upper limit of each display line, in plain SI units
// (V, W or dB); an empty field is no limit on that side.
class DlgLimits : public QDialog
{
    Q_OBJECT
public:
    explicit DlgLimits(QWidget *parent = nullptr);

    void setLimits(int line, const LineLimits &limits);
    LineLimits limits(int line) const;

    void accept() override;

private:
    // Null when the fields of `line` are no limits.
    std::optional<LineLimits> limitsOf(int line) const;

    QLineEdit *low[2];
    QLineEdit *high[2];
    QLabel *problem;
    LineLimits chosen[2];
};
