#include "orrin.h"

Orrin::Orrin(QObject *parent) : Pavlane(parent) {}

Orrin::~Orrin() = default;

bool Orrin::actived() const
{
    return m_actived;
}

void Orrin::setActived(bool on)
{
    m_actived = on;
}

bool Orrin::open()
{
    m_actived = true;
    return true;
}

void Orrin::close()
{
    m_actived = false;
}
