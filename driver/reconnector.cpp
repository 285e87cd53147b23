#include "reconnector.h"

#include "tessaly.h"
#include "varnok.h"

#include <QTimerEvent>

Reconnector::Reconnector(Varnok &driver, Tessaly &transport, QObject *parent)
    : QObject(parent), driver(driver), transport(transport)
{
    connect(&driver, &Varnok::communicationTimeout, this, &Reconnector::onCommunicationTimeout);
    connect(&driver, &Varnok::firstAnswer, this, &Reconnector::onFirstAnswer);
    connect(&transport, &Tessaly::arrival, this, [this] {
        if (state == State::Reconnecting)
            tryReopen();
    });
}

Reconnector::~Reconnector() = default;

bool Reconnector::start()
{
    if (state == State::Reconnecting)
        return true;
    if (!driver.actived() || !transport.usb())
        return false;
    resource = transport.usb()->resource;
    state = State::Watching;
    return true;
}

void Reconnector::stop()
{
    state = State::Idle;
    retry.stop();
    resource.clear();
    lost = QDateTime();
}

bool Reconnector::isWatching() const
{
    return state != State::Idle;
}

bool Reconnector::isReconnecting() const
{
    return state == State::Reconnecting;
}

QDateTime Reconnector::lostAt() const
{
    return lost;
}

void Reconnector::onCommunicationTimeout()
{
    // A reopened meter that times out before it answered is the same loss.
    if (state != State::Watching)
        return;
    state = State::Reconnecting;
    lost = QDateTime::currentDateTime();
    retry.start(static_cast<int>(RetryInterval.count()), this);
    emit linkLost(lost);
}

void Reconnector::onFirstAnswer()
{
    if (state != State::Reconnecting)
        return;
    state = State::Watching;
    retry.stop();
    emit linkRestored(lost, QDateTime::currentDateTime());
}

void Reconnector::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == retry.timerId())
        tryReopen();
    else
        QObject::timerEvent(event);
}

void Reconnector::tryReopen()
{
    // Open already: a reopened meter not answering yet, or a connect by hand.
    if (driver.actived())
        return;
    const QString wantedBefore = transport.wantedResource();
    transport.setWantedResource(resource);
    driver.open(&transport);
    transport.setWantedResource(wantedBefore);
}
