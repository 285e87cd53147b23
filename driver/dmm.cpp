#include "dmm.h"

#include "kelbrin.h"

Dmm::Dmm(QObject *parent) : Orrin(parent) {}

Dmm::~Dmm() = default;

Dmm *Dmm::self()
{
    return this;
}

bool Dmm::open(Kelbrin *transport)
{
    if (actived() || !transport)
        return false;
    device = transport;
    openedLink = connect(device, &Orrin::opened, this, &Dmm::opened);
    closedLink = connect(device, &Orrin::closed, this, &Dmm::closed);
    readLink = connect(device, &Kelbrin::readData, this, &Dmm::slotReadData);
    const bool isOpen = device->open();
    setActived(isOpen);
    if (!isOpen)
        detach(); // a later attempt starts clean
    return isOpen;
}

void Dmm::close()
{
    if (!actived() || !device)
        return;
    device->close();
    detach();
    setActived(false);
}

void Dmm::detach()
{
    disconnect(openedLink);
    disconnect(closedLink);
    disconnect(readLink);
    device = nullptr;
}
