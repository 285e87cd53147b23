#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class dlgExport;
}

// Asks what to export: the data table as an .xls or .xlsx spreadsheet or as
// a CSV table in the journal's format, or the chart as a picture.
class dlgExport : public QDialog
{
    Q_OBJECT
public:
    enum Kind { Table = 0, Chart = 1, Csv = 2, Xlsx = 3 };

    explicit dlgExport(QWidget *parent = nullptr);
    ~dlgExport() override;

    Kind kind() const;

private slots:
    void on_rbTable_toggled(bool checked);
    void on_rbChart_toggled(bool checked);
    void on_rbCsv_toggled(bool checked);
    void on_rbXlsx_toggled(bool checked);

private:
    std::unique_ptr<Ui::dlgExport> ui;
    Kind chosen = Table;
};
