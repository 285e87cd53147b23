#pragma once

#include <QWidget>

// Announces a USB instrument leaving or arriving. Nothing emits these yet:
// the bus is not watched.
class USBNotification : public QWidget
{
    Q_OBJECT
public:
    explicit USBNotification(QWidget *parent = nullptr);
    ~USBNotification() override;

signals:
    void removed();
    void arrival();
};
