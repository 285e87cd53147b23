#include "modalanswerer.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QProgressDialog>

ModalAnswerer::ModalAnswerer()
{
    // Runs inside the nested event loops of exec() as well.
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(10);
}

void ModalAnswerer::setDialogHandler(DialogHandler handler)
{
    dialogHandler = std::move(handler);
}

void ModalAnswerer::setBoxHandler(BoxHandler handler)
{
    boxHandler = std::move(handler);
}

void ModalAnswerer::setBoxAnswer(QMessageBox::StandardButton button)
{
    boxAnswer = button;
}

const QList<ModalAnswerer::Box> &ModalAnswerer::boxes() const
{
    return seenBoxes;
}

const QList<QStringList> &ModalAnswerer::menus() const
{
    return seenMenus;
}

int ModalAnswerer::dialogCount() const
{
    return dialogs;
}

void ModalAnswerer::poll()
{
    if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
        if (!menu->isVisible())
            return;
        QStringList entries;
        for (const QAction *action : menu->actions())
            entries << action->text();
        seenMenus << entries;
        menu->close();
        return;
    }

    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        // A dialog kept by the window may be shown again later.
        lastSeen = nullptr;
        return;
    }
    if (modal == lastSeen)
        return;
    lastSeen = modal;
    if (qobject_cast<QProgressDialog *>(modal))
        return; // ends by itself with the work it shows
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        answerBox(box);
    } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        ++dialogs;
        if (dialogHandler)
            dialogHandler(dialog);
        else
            dialog->reject();
    }
}

void ModalAnswerer::answerBox(QMessageBox *box)
{
    const Box seen{box->icon(), box->windowTitle(), box->text()};
    seenBoxes << seen;
    if (boxHandler)
        boxHandler(seen);
    const QList<QAbstractButton *> buttons = box->buttons();
    if (buttons.size() == 1)
        buttons.first()->click();
    else if (QAbstractButton *answer = box->button(boxAnswer))
        answer->click();
    else
        box->reject();
}
