#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class DlgDeleteStore;
}

// Asks which stored reading to delete (1 ... N), or all of them.
class DlgDeleteStore : public QDialog
{
    Q_OBJECT
public:
    DlgDeleteStore(int minimum, int maximum, QWidget *parent = nullptr);
    ~DlgDeleteStore() override;

    // The index the meter is sent: 0 for all.
    int index() const;

private slots:
    void on_cbAll_toggled(bool checked);

private:
    std::unique_ptr<Ui::DlgDeleteStore> ui;
};
