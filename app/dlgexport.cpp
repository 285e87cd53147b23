#include "dlgexport.h"

#include "ui_dlgexport.h"

dlgExport::dlgExport(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::dlgExport>())
{
    ui->setupUi(this);
}

dlgExport::~dlgExport() = default;

dlgExport::Kind dlgExport::kind() const
{
    return chosen;
}

void dlgExport::on_rbTable_toggled(bool checked)
{
    if (checked)
        chosen = Table;
}

void dlgExport::on_rbChart_toggled(bool checked)
{
    if (checked)
        chosen = Chart;
}

void dlgExport::on_rbCsv_toggled(bool checked)
{
    if (checked)
        chosen = Csv;
}

void dlgExport::on_rbXlsx_toggled(bool checked)
{
    if (checked)
        chosen = Xlsx;
}
