#pragma once

#include "pavlane.h"

// Base of everything that can be opened and closed. The base operations only
// keep the flag; announcing opened()/closed() is the subclass's duty.
class Orrin : public Pavlane
{
    Q_OBJECT
public:
    explicit Orrin(QObject *parent = nullptr);
    ~Orrin() override;

    bool actived() const;
    void setActived(bool on);

    virtual bool open();
    virtual void close();

signals:
    void opened();
    void closed();

private:
    bool m_actived = false;
};
