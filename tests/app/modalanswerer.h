#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class QDialog;
class QMenu;

// Answers every modal box, dialog and pop-up menu that opens while it lives,
// so that a test never hangs on one. Message boxes are recorded and closed
// with their only button (or rejected); progress dialogs are left to end by
// themselves; other dialogs go to the dialog handler, or are rejected; menus
// are recorded and closed.
class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    struct Box
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };
    using DialogHandler = std::function<void(QDialog *)>;
    using BoxHandler = std::function<void(const Box &)>;

    ModalAnswerer();

    // Runs for each dialog that is not a message box; it must end the dialog.
    void setDialogHandler(DialogHandler handler);
    // Runs when a box is seen, before it is closed.
    void setBoxHandler(BoxHandler handler);
    // A box with more than one button is answered with this one when it has
    // it (rejected otherwise).
    void setBoxAnswer(QMessageBox::StandardButton button);

    const QList<Box> &boxes() const;
    // The entries of each pop-up menu seen, in order.
    const QList<QStringList> &menus() const;
    int dialogCount() const;

private:
    void poll();
    void answerBox(QMessageBox *box);

    QTimer timer;
    QPointer<QWidget> lastSeen;
    DialogHandler dialogHandler;
    BoxHandler boxHandler;
    QMessageBox::StandardButton boxAnswer = QMessageBox::NoButton;
    QList<Box> seenBoxes;
    QList<QStringList> seenMenus;
    int dialogs = 0;
};
