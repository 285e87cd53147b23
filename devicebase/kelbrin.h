#pragma once

#include "orrin.h"

#include <QByteArray>

// Serial-device base: raw write and read, and the readData signal by which
// bytes read are delivered.
class Kelbrin : public Orrin
{
    Q_OBJECT
public:
    explicit Kelbrin(QObject *parent = nullptr);
    ~Kelbrin() override;

    // Bytes written, or -1.
    virtual int write(const QByteArray &data) = 0;
    // Bytes read, or a negative or non-zero status.
    virtual int read(QByteArray &data) = 0;

signals:
    void readData(const QByteArray &data);
};
