// The driver engine: life cycle, command execution, answer routing,
// time-outs and the sampling timer.
#include "varnok.h"

#include "command.h"
#include "commandpool.h"
#include "commandpoolthread.h"
#include "linkworker.h"
#include "tessaly.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QMetaMethod>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>

#include <cctype>

namespace {

enum State { Idle = 0, Open = 1, Closing = 2, Closed = 3 };

constexpr int CloseGraceMs = 500; // lets "SYSTem:LOCal" go out before the link ends

// Live passes since the process started; every sixth pass also asks for the
// remote state. Shared by all drivers, which all live in the main thread.
int livePassCounter = 0;

} // namespace

Varnok::Varnok(QObject *parent)
    : Dmm(parent), statusPool(new OnceCommandPool), commandPool(new OnceCommandPool), loopPool(new LoopCommandPool)
{
    initLoopCommandPool();
}

Varnok::~Varnok()
{
    // An open driver is not closed (that would talk to the meter from a
    // destructor), but its pacing thread must end before the pools it reads.
    stopPoolThread();
    link.reset(); // waits for the exchange under way, bounded by the transport's time-out
    delete liveData;
    delete loopPool;
    delete commandPool;
    delete statusPool;
}

bool Varnok::open(Kelbrin *transport)
{
    // Commands go out through the query and write of our own transport.
    auto *tessaly = qobject_cast<Tessaly *>(transport);
    if (!tessaly || !Dmm::open(transport))
        return false;
    // A meter that leaves the bus is a lost link at once, not after the tries.
    connect(tessaly, &Tessaly::removed, this, &Varnok::slotUSBRemoved, Qt::UniqueConnection);

    liveData = new DmmData;
    readingDecoded = false;
    answered = false;
    localReported = false;
    commandPool->reset(); // whatever was queued while closed belongs to no connection
    // A transfer still counting or uploading lost its next query just now;
    // the count of the status pass below must not start an upload nobody
    // asked for, and an upload cut off must not stay "uploading" for ever.
    if (storeParam.transferState == StoreParam::StoreCounting
        || storeParam.transferState == StoreParam::StoreUploading)
        storeParam.transferState = StoreParam::StoreIdle;
    cmdSetRemote();
    cmdGetRemote();
    statusPool->reset();
    initStatusCommandToPool();

    pacingTimedOut = false;
    // What this connection's threads post to us carries its number: once it
    // ends, what is still on its way is dropped, and nothing else.
    const quint64 connection = ++connectionNumber;
    link = std::make_unique<LinkWorker>(
        *tessaly, this,
        [this, connection](std::shared_ptr<Command> command, bool ok, const QByteArray &answer) {
            if (connection == connectionNumber)
                exchangeDone(std::move(command), ok, answer);
        });
    poolThread = new CommandPoolThread({commandPool, statusPool, loopPool});
    connect(poolThread, &CommandPoolThread::nextCommand, this, [this, connection](Command *command) {
        if (connection == connectionNumber)
            slotCommandPoolThreadNextCommand(command);
    });
    connect(poolThread, &CommandPoolThread::communicationTimeout, this, [this, connection] {
        if (connection == connectionNumber)
            slotCommunicationTimeout();
    });
    if (!poolThread->isRunning())
        poolThread->start();

    operRateTimer(true);
    state = Open;
    return true;
}

void Varnok::close()
{
    // A close nested in our own grace period (a queued time-out, a receiver
    // of closed()) leaves the work to the close already under way.
    if (state == Closing)
        return;
    if (device && actived()) {
        state = Closing;
        cmdSetLocal();
        // A query being tried on a silent meter stops after its current try.
        if (link)
            link->giveUp();
        // The user's input waits meanwhile, in this window and any other.
        QEventLoop grace;
        QTimer::singleShot(CloseGraceMs, &grace, &QEventLoop::quit);
        grace.exec(QEventLoop::ExcludeUserInputEvents);
        stopPoolThread();
        stopLinkWorker();
        currentCommand = nullptr;
        currentHold.reset();
        delete liveData;
        liveData = nullptr;
        operRateTimer(false);
        Dmm::close();
        state = Closed;
    }
    state = Idle;
}

void Varnok::stopPoolThread()
{
    if (!poolThread)
        return;
    poolThread->stop();
    delete poolThread; // waits on if the stop above timed out
    poolThread = nullptr;
    // Hand-outs, time-outs and results queued for us and not received yet
    // belong to the connection that ends here; after a reopen they would
    // act on the new one.
    ++connectionNumber;
    for (CommandPool *pool : QList<CommandPool *>{commandPool, statusPool, loopPool})
        pool->dropLeases();
}

void Varnok::stopLinkWorker()
{
    if (!link)
        return;
    // The exchange under way ends within the transport's time-out; the
    // window's events go on meanwhile, its input waits.
    QEventLoop drained;
    if (link->notifyWhenIdle([&drained] { drained.quit(); }))
        drained.exec(QEventLoop::ExcludeUserInputEvents);
    link.reset();
    pacingTimedOut = false;
}

bool Varnok::sendCmd(const QByteArray &cmd, bool expectsAnswer)
{
    appendCommand(commandPool, cmd, expectsAnswer);
    return true;
}

bool Varnok::appendCommand(CommandPool *pool, const QString &text, bool expectsAnswer)
{
    return appendCommand(pool, text.toLatin1(), expectsAnswer);
}

bool Varnok::appendCommand(CommandPool *pool, QByteArray bytes, bool expectsAnswer)
{
    if (pool)
        pool->append(new Command(getFrameData(bytes), expectsAnswer, QVariant(0)));
    return true;
}

bool Varnok::appendCommand(CommandPool *pool, Command *command)
{
    if (pool)
        pool->append(command);
    else
        delete command; // ours to dispose of either way
    return true;
}

QByteArray Varnok::getFrameData(QByteArray bytes) const
{
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes.append('\n');
    return bytes;
}

char *Varnok::pointFromArray(const QByteArray &array, unsigned offset)
{
    if (offset > static_cast<unsigned>(array.size()))
        return nullptr;
    return const_cast<char *>(array.constData()) + offset;
}

void Varnok::response()
{
    if (poolThread)
        poolThread->setResponse();
}

std::shared_ptr<Command> Varnok::takeHandedOut(Command *command)
{
    if (!command)
        return nullptr;
    for (CommandPool *pool : QList<CommandPool *>{commandPool, statusPool, loopPool}) {
        if (std::shared_ptr<Command> held = pool->claim(command))
            return held;
    }
    // Not handed out by our pools: a direct call, whose caller keeps the
    // command alive for the call only. Work on a copy of our own.
    return std::make_shared<Command>(*command);
}

void Varnok::slotCommandPoolThreadNextCommand(Command *command)
{
    const std::shared_ptr<Command> held = takeHandedOut(command);
    if (!held)
        return;
    currentHold = held;
    currentCommand = held.get();

    const QByteArray text = held->text();
    if (text.startsWith("BEGIN_STATUS") || text.startsWith("END_STATUS")) {
        // frame the status block; nothing to do
    } else if (text.startsWith("BEGIN_LIVE")) {
        beginLivePass();
    } else if (text.startsWith("END_LIVE")) {
        endLivePass();
    } else if (carryOut(held)) {
        return; // handled once the link worker has finished it
    }

    if (poolThread)
        poolThread->setHandled();
}

void Varnok::beginLivePass()
{
    if (liveData && liveData->lines.at(0)->percentState)
        cmdGetPercentValue();
    const int pass = livePassCounter++;
    if (pass % 10 >= 5) {
        livePassCounter = 0;
        cmdGetRemote();
    }
}

void Varnok::endLivePass()
{
    // The loop may resume mid-pass after a reconnect: a pass end before this
    // connection's first reading would emit a record nobody measured. Once a
    // close has begun the queries are skipped, so a pass end then would only
    // repeat the last reading with a new time.
    if (state != Open || !liveData || !readingDecoded || !(sampleDue || sampleRate <= 0))
        return;
    sampleDue = false;
    // The receiver owns the copy; with nobody listening it would leak.
    if (!isSignalConnected(QMetaMethod::fromSignal(&Dmm::display)))
        return;
    auto *copy = new DmmData(*liveData);
    copy->setTime(QDateTime::currentDateTime());
    convertDmmDataValues(copy);
    emit display(copy);
}

bool Varnok::carryOut(const std::shared_ptr<Command> &command)
{
    if (!link)
        return false;
    // While closing only set commands go out: an answer would have no record
    // left to go to, and on a dead link each query would hold up the close.
    // The skipped query counts as answered, so that the thread moves on to
    // "SYSTem:LOCal" within the grace period instead of waiting for it.
    if (command->expectsAnswer() && state == Closing) {
        response();
        return false;
    }
    link->submit(command);
    return true;
}

void Varnok::exchangeDone(std::shared_ptr<Command> command, bool ok, const QByteArray &answer)
{
    // The answer is decoded against the command it answers.
    currentHold = std::move(command);
    currentCommand = currentHold.get();
    if (!ok) {
        // A query unanswered in every try: the link is lost. During a close
        // the closing side reports.
        if (state != Closing) {
            close();
            emit communicationTimeout();
        }
        return;
    }
    if (currentCommand->expectsAnswer()) {
        slotReadData(answer);
        // A receiver of what the answer announced may have closed us.
        if (currentCommand && currentCommand->expectsAnswer())
            response();
        if (!answered && state == Open) {
            answered = true;
            emit firstAnswer();
        }
    }
    if (poolThread)
        poolThread->setHandled();
    // The pacing thread's limit ran out while the tries went on: reported
    // now that they are over, as the link was slower than it allows.
    if (pacingTimedOut && state == Open) {
        pacingTimedOut = false;
        close();
        emit communicationTimeout();
    }
}

void Varnok::slotReadData(const QByteArray &data)
{
    if (!currentCommand)
        return;
    // Meters end their answers in a line feed or in CR LF; neither, nor any
    // other trailing blank, belongs to the answer.
    int length = data.size();
    while (length > 0 && std::isspace(static_cast<unsigned char>(data.at(length - 1))))
        --length;
    receiveBuffer = data.left(length);
    decodeFrame(receiveBuffer);
}

void Varnok::decodeFrame(const QByteArray &frame)
{
    if (currentCommand && liveData)
        decodeLiveData(frame);
}

void Varnok::slotUSBRemoved()
{
    // Reported as every lost link is, so that a reconnect follows.
    if (state != Open)
        return;
    close();
    emit communicationTimeout();
}

void Varnok::slotCommunicationTimeout()
{
    // During a close the closing side reports; a time-out then is only the
    // pacing thread noticing the same silence.
    if (state == Closing)
        return;
    // An exchange still being tried has tries of its own, each bounded by
    // the transport's time-out; the report waits for them.
    if (link && link->isBusy()) {
        pacingTimedOut = true;
        return;
    }
    close();
    emit communicationTimeout();
}

void Varnok::timerEvent(QTimerEvent *)
{
    sampleDue = true;
}

void Varnok::operRateTimer(bool on)
{
    if (on) {
        if (rateTimerId == 0 && sampleRate > 0)
            rateTimerId = startTimer(sampleRate, Qt::CoarseTimer);
    } else if (rateTimerId != 0) {
        killTimer(rateTimerId);
        rateTimerId = 0;
    }
}

void Varnok::setSampleRate(int ms)
{
    sampleRate = ms;
    if (state == Open) {
        operRateTimer(false);
        operRateTimer(true);
    }
}

int Varnok::getSampleRate() const
{
    return sampleRate;
}

void Varnok::setSamplePoints(int points)
{
    samplePoints = points;
}

int Varnok::getSamplePoints() const
{
    return samplePoints;
}

void Varnok::setSkipRepeat(bool skip)
{
    skipRepeat = skip;
}

bool Varnok::getSkipRepeat() const
{
    return skipRepeat;
}

void Varnok::setOptInifinite(bool infinite)
{
    optInifinite = infinite;
}

bool Varnok::getOptInifinite() const
{
    return optInifinite;
}

void Varnok::initLoopCommandPool()
{
    const auto ask = [](const char *header) { return QStringLiteral("%1?").arg(QLatin1String(header)); };
    const auto askChannel = [](const char *header, int channel) {
        return QStringLiteral("%1:CH%2?").arg(QLatin1String(header)).arg(channel);
    };
    appendCommand(loopPool, QStringLiteral("BEGIN_LIVE"), false);
    appendCommand(loopPool, ask("SYSTem:REMote"), true);
    appendCommand(loopPool, ask("Fetch"), true);
    appendCommand(loopPool, askChannel("VOLTage:RANGe", 1), true);
    appendCommand(loopPool, askChannel("VOLTage:RANGe", 2), true);
    appendCommand(loopPool, QStringLiteral("END_LIVE"), false);
}
