#include "optiondialog.h"

#include "dlglimits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

#include <limits>

OptionDialog::OptionDialog(bool hideLanguage, QWidget *parent)
    : QDialog(parent),
      spinSamplePoints(new QSpinBox(this)),
      spinSampleRate(new QSpinBox(this)),
      chkSkipRepeat(std::make_unique<QCheckBox>()),
      infiniteBox(new QCheckBox(tr("Infinite"), this)),
      chkJournal(new QCheckBox(tr("Write recordings to journal files"), this)),
      labelJournalFolder(new QLabel(this)),
      btnJournalFolder(new QPushButton(tr("Open folder"), this)),
      chkReconnect(new QCheckBox(tr("Reconnect automatically"), this)),
      groupSendTo(new QGroupBox(tr("Send readings to"), this)),
      editInflux(new QLineEdit(this)),
      editMqtt(new QLineEdit(this)),
      editStopWhen(new QLineEdit(this)),
      btnLimits(new QPushButton(tr("Limits..."), this)),
      btnOk(new QPushButton(tr("Ok"), this)),
      btnCancel(new QPushButton(tr("Cancel"), this)),
      cbbLanguage(new QComboBox(this))
{
    setWindowTitle(tr("Options"));

    spinSamplePoints->setObjectName(QStringLiteral("spinSamplePoints"));
    spinSamplePoints->setRange(1, std::numeric_limits<int>::max());
    spinSampleRate->setObjectName(QStringLiteral("spinSampleRate"));
    spinSampleRate->setRange(0, std::numeric_limits<int>::max());
    spinSampleRate->setSuffix(QStringLiteral("mS"));
    chkSkipRepeat->setObjectName(QStringLiteral("chkSkipRepeat"));
    infiniteBox->setObjectName(QStringLiteral("infinite"));
    chkReconnect->setObjectName(QStringLiteral("chkReconnect"));
    chkReconnect->setChecked(true);
    editStopWhen->setObjectName(QStringLiteral("editStopWhen"));
    editStopWhen->setPlaceholderText(tr("LINE1<3.2 or LINE2>0.5"));
    editStopWhen->setToolTip(tr("Recording stops after the first reading that meets it (values in V, W or dB)"));
    btnLimits->setObjectName(QStringLiteral("btnLimits"));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    cbbLanguage->setObjectName(QStringLiteral("cbbLanguage"));
    chkJournal->setObjectName(QStringLiteral("chkJournal"));
    labelJournalFolder->setObjectName(QStringLiteral("labelJournalFolder"));
    labelJournalFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnJournalFolder->setObjectName(QStringLiteral("btnJournalFolder"));
    groupSendTo->setObjectName(QStringLiteral("groupSendTo"));
    editInflux->setObjectName(QStringLiteral("editInflux"));
    editInflux->setPlaceholderText(QStringLiteral("http://host:8086/write?db=lab"));
    editMqtt->setObjectName(QStringLiteral("editMqtt"));
    editMqtt->setPlaceholderText(QStringLiteral("mqtt://host/dmmpanel"));
    auto *sendTo = new QFormLayout(groupSendTo);
    sendTo->addRow(tr("InfluxDB"), editInflux);
    sendTo->addRow(tr("MQTT"), editMqtt);
    // Readings are sent from the journal.
    connect(chkJournal, &QCheckBox::toggled, groupSendTo, &QWidget::setEnabled);
    cbbLanguage->addItem(tr("English"));
    cbbLanguage->addItem(tr("Chinese"));

    auto *grid = new QGridLayout;
    int row = 0;
    if (hideLanguage) {
        cbbLanguage->hide();
    } else {
        grid->addWidget(new QLabel(tr("Language"), this), row, 0, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(cbbLanguage, row, 1);
        grid->addWidget(new QLabel(this), row + 1, 1);
        row += 2;
    }
    grid->addWidget(new QLabel(tr("Sample points"), this), row, 0);
    grid->addWidget(spinSamplePoints, row, 1);
    grid->addWidget(infiniteBox, row, 2);
    ++row;
    grid->addWidget(new QLabel(tr("Stop when"), this), row, 0);
    grid->addWidget(editStopWhen, row, 1);
    grid->addWidget(btnLimits, row, 2);
    grid->addWidget(new QLabel(tr("Sample rate"), this), row + 1, 0);
    grid->addWidget(spinSampleRate, row + 1, 1);
    grid->addWidget(new QLabel(tr("Journal"), this), row + 2, 0);
    grid->addWidget(chkJournal, row + 2, 1, 1, 2);
    grid->addWidget(labelJournalFolder, row + 3, 1);
    grid->addWidget(btnJournalFolder, row + 3, 2);
    grid->addWidget(chkReconnect, row + 4, 1, 1, 2);
    grid->addWidget(groupSendTo, row + 5, 0, 1, 3);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &OptionDialog::slotBtnClicked);
    connect(btnCancel, &QPushButton::clicked, this, &OptionDialog::slotBtnClicked);
    connect(infiniteBox, &QCheckBox::toggled, this, &OptionDialog::on_infinite_toggled);
    connect(btnJournalFolder, &QPushButton::clicked, this, [this] {
        // Made on demand: before the first recording there is no folder yet.
        QDir().mkpath(labelJournalFolder->text());
        QDesktopServices::openUrl(QUrl::fromLocalFile(labelJournalFolder->text()));
    });
    connect(btnLimits, &QPushButton::clicked, this, [this] {
        DlgLimits dialog(this);
        for (int line = 0; line < 2; ++line)
            dialog.setLimits(line, lineLimits[line]);
        if (dialog.exec() != QDialog::Accepted)
            return;
        for (int line = 0; line < 2; ++line)
            lineLimits[line] = dialog.limits(line);
    });
    connect(cbbLanguage, QOverload<int>::of(&QComboBox::currentIndexChanged),
            this, &OptionDialog::on_cbbLanguage_currentIndexChanged);
}

OptionDialog::~OptionDialog() = default;

void OptionDialog::setLanguageIndex(int i)
{
    // The initial index is set first, so that selecting it asks for no restart.
    initialLanguageIndex = i;
    currentLanguageIndex = i;
    cbbLanguage->setCurrentIndex(i);
}

int OptionDialog::languageIndex() const
{
    return currentLanguageIndex;
}

int OptionDialog::samplePoints() const
{
    return spinSamplePoints->value();
}

void OptionDialog::setSamplePoints(int points)
{
    spinSamplePoints->setValue(points);
}

bool OptionDialog::infinite() const
{
    return infiniteBox->isChecked();
}

void OptionDialog::setInfinite(bool on)
{
    infiniteBox->setChecked(on);
    spinSamplePoints->setEnabled(!on);
}

int OptionDialog::sampleRate() const
{
    return spinSampleRate->value();
}

void OptionDialog::setSampleRate(int ms)
{
    spinSampleRate->setValue(ms);
}

bool OptionDialog::skipRepeat() const
{
    return chkSkipRepeat->isChecked();
}

void OptionDialog::setSkipRepeat(bool on)
{
    chkSkipRepeat->setChecked(on);
}

bool OptionDialog::journal() const
{
    return chkJournal->isChecked();
}

void OptionDialog::setJournal(bool on, const QString &folder)
{
    chkJournal->setChecked(on);
    groupSendTo->setEnabled(on);
    labelJournalFolder->setText(folder);
}

bool OptionDialog::reconnect() const
{
    return chkReconnect->isChecked();
}

void OptionDialog::setReconnect(bool on)
{
    chkReconnect->setChecked(on);
}

ForwardSettings OptionDialog::sendTo() const
{
    ForwardSettings settings;
    settings.influx = QUrl(editInflux->text().trimmed());
    settings.mqtt = QUrl(editMqtt->text().trimmed());
    return settings;
}

void OptionDialog::setSendTo(const ForwardSettings &settings)
{
    editInflux->setText(settings.influx.toString());
    editMqtt->setText(settings.mqtt.toString());
}

std::optional<StopCondition> OptionDialog::stopCondition() const
{
    return StopCondition::parse(editStopWhen->text());
}

void OptionDialog::setStopCondition(const std::optional<StopCondition> &condition)
{
    editStopWhen->setText(condition ? condition->text() : QString());
}

void OptionDialog::slotBtnClicked()
{
    if (sender() != btnOk) {
        reject();
        return;
    }
    if (const QString error = sendTo().error(); !error.isEmpty())
        QMessageBox::warning(this, QString(), error);
    else if (!editStopWhen->text().trimmed().isEmpty() && !stopCondition())
        QMessageBox::warning(this, QString(), tr("Stop when: LINE1 or LINE2, then < or >, then a value, such as LINE1<3.2"));
    else
        accept();
}

void OptionDialog::on_infinite_toggled(bool checked)
{
    spinSamplePoints->setEnabled(!checked);
}

void OptionDialog::on_cbbLanguage_currentIndexChanged(int index)
{
    currentLanguageIndex = index;
    if (currentLanguageIndex != initialLanguageIndex)
        QMessageBox::information(this, QString(), tr("Please restart application for translation to take effect."));
}
