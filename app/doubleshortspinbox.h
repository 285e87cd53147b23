#pragma once

#include <QDoubleSpinBox>

// Spin box for values in engineering notation: it shows 4.2000m for 0.0042
// and accepts a number followed by a prefix letter (1.5k, 2u, 3M), written
// with the widget locale's decimal point.
class DoubleShortSpinBox : public QDoubleSpinBox
{
    Q_OBJECT
public:
    explicit DoubleShortSpinBox(QWidget *parent = nullptr);

    QValidator::State validate(QString &input, int &pos) const override;
    double valueFromText(const QString &text) const override;
    QString textFromValue(double value) const override;

    // Significant digits shown. The value itself keeps full precision, so
    // that 2u is not rounded to nothing by a fixed count of decimals.
    void setDecimals(int n);

private:
    // The number in `text`, or nothing when it is none (finite values only).
    bool toNumber(const QString &text, double *number) const;
    // The value of a number with an optional trailing prefix letter.
    bool parse(const QString &text, double *value) const;

    int significantDigits = 5;
};
