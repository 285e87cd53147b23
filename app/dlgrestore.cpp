#include "dlgrestore.h"

#include "datetimeformat.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

DlgRestore::DlgRestore(const QList<JournalSummary> &journals, const QString &folder, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Restore recordings"));
    auto *text = new QLabel(tr("The program ended while recording. These readings were saved in journal files "
                               "and can be restored as items under \"Live Data\":"),
                            this);
    text->setWordWrap(true);

    auto *list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("journalList"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({tr("Item"), tr("Readings"), tr("From"), tr("To")});
    for (const JournalSummary &journal : journals) {
        auto *row = new QTreeWidgetItem(list, {journal.itemName, QString::number(journal.readings),
                                               journal.first.toString(DateTimeFormat), journal.last.toString(DateTimeFormat)});
        row->setToolTip(0, journal.path);
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto *where = new QLabel(tr("Either way the files stay in %1; Open Journal opens them at any time.").arg(folder),
                             this);
    where->setWordWrap(true);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("Restore"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("btnRestore"));
    buttons->addButton(tr("Do not restore"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("btnKeepFiles"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(list);
    layout->addWidget(where);
    layout->addWidget(buttons);
    resize(560, 300);
}
