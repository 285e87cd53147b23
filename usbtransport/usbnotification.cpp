#include "usbnotification.h"

USBNotification::USBNotification(QWidget *parent) : QWidget(parent) {}

USBNotification::~USBNotification() = default;
