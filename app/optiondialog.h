#pragma once

#include "forwardergroup.h"
#include "linelimits.h"
#include "stopcondition.h"

#include <QDialog>

#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// Edits the sampling options (and, unless hidden, the language code).
class OptionDialog : public QDialog
{
    Q_OBJECT
public:
    explicit OptionDialog(bool hideLanguage, QWidget *parent = nullptr);
    ~OptionDialog() override;

    void setLanguageIndex(int i);
    int languageIndex() const;

    int samplePoints() const;
    void setSamplePoints(int points);
    bool infinite() const;
    void setInfinite(bool on);
    int sampleRate() const;
    void setSampleRate(int ms);
    bool skipRepeat() const;
    void setSkipRepeat(bool on);
    bool journal() const;
    // Whether recordings are written to journal files, and the folder they go to.
    void setJournal(bool on, const QString &folder);
    bool reconnect() const;
    void setReconnect(bool on);
    // Where readings are sent: InfluxDB's write endpoint and an MQTT broker's
    // URL, each empty for none.
    ForwardSettings sendTo() const;
    void setSendTo(const ForwardSettings &settings);
    // Recording stops after the first reading that meets it; none when empty.
    std::optional<StopCondition> stopCondition() const;
    void setStopCondition(const std::optional<StopCondition> &condition);
    // The display lines' limits, edited in the Limits dialog.
    LineLimits limits(int line) const { return lineLimits[line]; }
    void setLimits(int line, const LineLimits &limits) { lineLimits[line] = limits; }

private slots:
    void slotBtnClicked();
    void on_infinite_toggled(bool checked);
    void on_cbbLanguage_currentIndexChanged(int index);

private:
    int initialLanguageIndex = 0;
    int currentLanguageIndex = 0;
    QSpinBox *spinSamplePoints;
    QSpinBox *spinSampleRate;
    // Carries the skip-repeat value through the dialog; never shown.
    std::unique_ptr<QCheckBox> chkSkipRepeat;
    QCheckBox *infiniteBox;
    QCheckBox *chkJournal;
    QLabel *labelJournalFolder;
    QPushButton *btnJournalFolder;
    QCheckBox *chkReconnect;
    QGroupBox *groupSendTo;
    QLineEdit *editInflux;
    QLineEdit *editMqtt;
    QLineEdit *editStopWhen;
    QPushButton *btnLimits;
    LineLimits lineLimits[2];
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QComboBox *cbbLanguage;
};
