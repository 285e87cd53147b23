#pragma once

#include "dmm.h"
#include "dmmdata.h"
#include "storeparam.h"

#include <QByteArray>
#include <QString>

#include <memory>

class Command;
class CommandPool;
class OnceCommandPool;
class LoopCommandPool;
class CommandPoolThread;
class LinkWorker;
class QTimerEvent;

// Driver of the two-channel AC millivoltmeter. Every cmd... operation only
// queues a command and returns true; the pacing thread hands commands back to
// the main thread one at a time, which passes each to the link worker to be
// carried out through the transport in a thread of its own; the answers are
// decoded into the live record back in the main thread.
class Varnok : public Dmm
{
    Q_OBJECT
public:
    explicit Varnok(QObject *parent = nullptr);
    ~Varnok() override;

    using Dmm::open;
    bool open(Kelbrin *device) override;
    void close() override;

    bool sendCmd(const QByteArray &cmd, bool expectsAnswer);

    // Sampling settings (the recorder reads the last three).
    void setSampleRate(int ms);
    int getSampleRate() const;
    void setSamplePoints(int points);
    int getSamplePoints() const;
    void setSkipRepeat(bool skip);
    bool getSkipRepeat() const;
    void setOptInifinite(bool infinite);
    bool getOptInifinite() const;

    // Value helpers.
    static DmmData::ValueMode getValueMode(double value);
    static QString getValueStr(DmmData::ValueMode mode);

    // Set and change operations (no answer).
    bool cmdChangeFunction(int line, int channel, const QString &option);
    bool cmdChangeRange(int channel, const QString &range);
    bool cmdChangeRate(const QString &rate);
    bool cmdSetDBRef(int channel, double value);
    bool cmdSetDBMRef(int channel, double value);
    bool cmdSetRelState(bool on);
    bool cmdSetRelRef(double value);
    bool cmdSetHold(bool on);
    bool cmdSetHoldWindow(double percent);
    bool cmdSetHoldCount(int count);
    bool cmdSetPercentState(bool on);
    bool cmdSetPercentRef(double value);
    bool cmdSetMaxMinState(bool on);
    bool cmdSetCompareState(bool on);
    bool cmdSetCompareLower(double value);
    bool cmdSetCompareUpper(double value);
    bool cmdSetTriggerSource(const QString &source);
    bool cmdSetFloat(int channel, bool on);
    bool cmdSetRemote();
    bool cmdSetLocal();
    bool cmdSetMemoryStore();
    bool cmdMemoryDelete(int index);

    // Queries.
    bool cmdGetFunction(int line);
    bool cmdGetRange(int channel);
    bool cmdGetRate();
    bool cmdGetDBRef(int channel);
    bool cmdGetDBMRef(int channel);
    bool cmdGetRelState();
    bool cmdGetRelRef();
    bool cmdGetHoldState();
    bool cmdGetHoldWindow();
    bool cmdGetHoldCount();
    bool cmdGetPercentState();
    bool cmdGetPercentRef();
    bool cmdGetPercentValue();
    bool cmdGetMaxMinState();
    bool cmdGetMaxMinValue();
    bool cmdGetCompareState();
    bool cmdGetCompareLower();
    bool cmdGetCompareUpper();
    bool cmdGetTriggerSrouce();
    bool cmdGetFloat(int channel);
    bool cmdGetRemote();
    bool cmdGetMemoryStore();
    bool cmdMemoryUpload(int index);

    static QString arrayToHexString(const QByteArray &bytes);

    // Stored-data transfer.
    void startGetAllStore();
    void stopGetStore();
    const StoreParam &getStoreParam() const;

signals:
    void displayStore(const DmmData *data);
    void storeCount(int cnt);
    void storeNum(int total, int num);
    void remoteStateUpdate(bool b);
    void communicationTimeout();
    // The meter gave its first answer since the driver opened (a reconnect
    // counts the link as back only then).
    void firstAnswer();

public slots:
    void slotReadData(const QByteArray &data) override;
    void slotUSBRemoved();
    void slotCommandPoolThreadNextCommand(Command *command);
    void slotCommunicationTimeout();

protected:
    void timerEvent(QTimerEvent *event) override;
    void decodeFrame(const QByteArray &frame) override;

private:
    friend class VarnokTestAccess; // tests and fuzz targets reach the private decoders

    // Engine.
    bool appendCommand(CommandPool *pool, const QString &text, bool expectsAnswer);
    bool appendCommand(CommandPool *pool, QByteArray bytes, bool expectsAnswer);
    bool appendCommand(CommandPool *pool, Command *command);
    QByteArray getFrameData(QByteArray bytes) const;
    char *pointFromArray(const QByteArray &array, unsigned offset);
    void response();
    void operRateTimer(bool on);
    void initLoopCommandPool();
    void initStatusCommandToPool();
    std::shared_ptr<Command> takeHandedOut(Command *command);
    void beginLivePass();
    void endLivePass();
    // Hands a command to the link worker; false when it is done with here.
    bool carryOut(const std::shared_ptr<Command> &command);
    void exchangeDone(std::shared_ptr<Command> command, bool ok, const QByteArray &answer);
    void stopPoolThread();
    void stopLinkWorker();

    // Protocol.
    void decodeLiveData(const QByteArray &answer);
    void convertDmmDataValues(DmmData *data);
    bool decodeReading(const QByteArray &answer);
    bool decodeRemoteState(const QByteArray &answer);
    static void convertValue(double *value, QString *prefix);
    static bool detachValueUnit(const QString &text, QString *number, QString *unit);
    DmmData *makeStoreData(const QByteArray &record);
    bool decodeStoreCount(const QByteArray &answer);
    bool decodeStoreUpload(const QByteArray &answer);

    OnceCommandPool *statusPool = nullptr;
    OnceCommandPool *commandPool = nullptr;
    LoopCommandPool *loopPool = nullptr;
    CommandPoolThread *poolThread = nullptr;
    std::unique_ptr<LinkWorker> link; // carries out the commands; exists only while open
    bool pacingTimedOut = false;      // the pacing thread's limit ran out during an exchange
    quint64 connectionNumber = 0;     // of the connection whose posted calls are taken
    Command *currentCommand = nullptr;
    std::shared_ptr<Command> currentHold; // keeps currentCommand alive
    DmmData *liveData = nullptr;
    bool remote = false;
    bool localReported = false;  // this connection has reported local mode
    bool readingDecoded = false; // this connection has decoded a reading
    bool answered = false;       // this connection has had an answer
    int state = 0; // 0 idle, 1 open, 2 closing, 3 closed
    QByteArray receiveBuffer;
    StoreParam storeParam;
    int rateTimerId = 0;
    bool sampleDue = true;
    bool skipRepeat = false;
    int sampleRate = 0;
    int samplePoints = 2147483647;
    bool optInifinite = true;
};
