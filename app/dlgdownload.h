#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class DlgDownload;
}

// Progress of the stored-data upload. Accepts itself when the last reading
// has arrived; Cancel rejects it.
class DlgDownload : public QDialog
{
    Q_OBJECT
public:
    explicit DlgDownload(QWidget *parent = nullptr);
    ~DlgDownload() override;

public slots:
    void updatePos(int total, int pos);

private slots:
    void on_btnCancel_clicked();

private:
    std::unique_ptr<Ui::DlgDownload> ui;
};
