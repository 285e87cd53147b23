#include "dlglimits.h"

#include "engprefix.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

DlgLimits::DlgLimits(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DlgLimits"));
    setWindowTitle(tr("Limits"));
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Lower limit")), 0, 1);
    grid->addWidget(new QLabel(tr("Upper limit")), 0, 2);
    for (int line = 0; line < 2; ++line) {
        grid->addWidget(new QLabel(tr("Line%1").arg(line + 1)), line + 1, 0);
        low[line] = new QLineEdit;
        high[line] = new QLineEdit;
        low[line]->setObjectName(QStringLiteral("editLine%1Low").arg(line + 1));
        high[line]->setObjectName(QStringLiteral("editLine%1High").arg(line + 1));
        for (QLineEdit *edit : {low[line], high[line]})
            edit->setPlaceholderText(tr("none"));
        grid->addWidget(low[line], line + 1, 1);
        grid->addWidget(high[line], line + 1, 2);
    }
    problem = new QLabel;
    problem->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &DlgLimits::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DlgLimits::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("An alarm is raised when a reading leaves its line's limits "
                                    "(values in V, W or dB; OL counts as above).")));
    layout->addLayout(grid);
    layout->addWidget(problem);
    layout->addWidget(buttons);
}

void DlgLimits::setLimits(int line, const LineLimits &limits)
{
    chosen[line] = limits;
    const auto text = [](const std::optional<double> &x) {
        return x ? QString::fromLatin1(EngPrefix::plainNumber(*x)) : QString();
    };
    low[line]->setText(text(limits.low));
    high[line]->setText(text(limits.high));
}

LineLimits DlgLimits::limits(int line) const
{
    return chosen[line];
}

std::optional<LineLimits> DlgLimits::limitsOf(int line) const
{
    if (low[line]->text().trimmed().isEmpty() && high[line]->text().trimmed().isEmpty())
        return LineLimits();
    return LineLimits::parse(low[line]->text() + QLatin1Char(':') + high[line]->text());
}

void DlgLimits::accept()
{
    for (int line = 0; line < 2; ++line) {
        const std::optional<LineLimits> limits = limitsOf(line);
        if (!limits) {
            problem->setText(tr("Line%1: numbers such as 0.1 or 2e-3 expected, the lower not above the upper")
                                 .arg(line + 1));
            return;
        }
        chosen[line] = *limits;
    }
    QDialog::accept();
}
