#pragma once

#include <QObject>

// Root of every device object. It adds nothing to QObject; it exists so that
// the device classes share one ancestor.
class Pavlane : public QObject
{
    Q_OBJECT
public:
    explicit Pavlane(QObject *parent = nullptr);
    ~Pavlane() override;
};
