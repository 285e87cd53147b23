// The pacing thread with a test receiver in place of the driver: priority,
// the loop cycle, pauses, time-outs and stop. Only order, counts and lower
// bounds that the thread itself guarantees are asserted.
#include "command.h"
#include "commandpool.h"
#include "commandpoolthread.h"

#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int LongWaitMs = 30000; // generous: the longest case needs about 6 s

// What the receiver does with a command it is handed.
enum class Reply {
    Answer,     // answer (for a query) and report it handled
    HandleOnly, // report it handled, never answer
    Ignore,     // neither
};

// A command whose text ends in '?' is a query.
void fill(CommandPool &pool, const QByteArrayList &texts)
{
    for (const QByteArray &text : texts)
        pool.append(new Command(text, text.endsWith('?'), QVariant(0)));
}

bool holds(const CommandPool &pool, const QByteArray &text)
{
    for (const Command *command : pool.commands())
        if (command->text() == text)
            return true;
    return false;
}

// Stands in for the driver: claims each command handed to it, logs it and
// releases the thread as `reply` says.
class Receiver : public QObject
{
    Q_OBJECT
public:
    Receiver(CommandPoolThread &thread, const QList<CommandPool *> &pools) : thread(thread), pools(pools)
    {
        connect(&thread, &CommandPoolThread::nextCommand, this, &Receiver::onNext);
        connect(&thread, &CommandPoolThread::communicationTimeout, this, [this] {
            ++timeouts;
            events << "TIMEOUT";
        });
        clock.start();
    }

    std::function<Reply(const QByteArray &)> reply = [](const QByteArray &) { return Reply::Answer; };
    std::function<void(const QByteArray &)> onReceive;
    bool claimLater = false; // leave the lease, keep the raw pointer only

    QByteArrayList texts;  // commands received, in order
    QByteArrayList events; // the same with "TIMEOUT" interleaved
    QList<qint64> receivedAt;
    QList<qint64> releasedAt; // when the thread was told "handled", -1 if never
    QList<Command *> unclaimed;
    int timeouts = 0;

    // Milliseconds from releasing command i to receiving command i + 1.
    qint64 gapAfter(int i) const { return receivedAt.at(i + 1) - releasedAt.at(i); }

private slots:
    void onNext(Command *command)
    {
        std::shared_ptr<Command> held;
        if (claimLater) {
            unclaimed << command;
        } else {
            for (CommandPool *pool : pools)
                if ((held = pool->claim(command)))
                    break;
            QVERIFY(held);
        }
        const Command &current = held ? *held : *command;
        const QByteArray text = current.text();
        texts << text;
        events << text;
        receivedAt << clock.elapsed();
        if (onReceive)
            onReceive(text);
        const Reply what = reply(text);
        // Read the clock before the release: once released the thread may
        // start its pause while this thread is still descheduled, and a
        // later reading would make the pause look shorter than it was.
        const qint64 releasing = clock.elapsed();
        if (what == Reply::Answer && current.expectsAnswer())
            thread.setResponse();
        if (what != Reply::Ignore)
            thread.setHandled();
        releasedAt << (what != Reply::Ignore ? releasing : -1);
    }

private:
    CommandPoolThread &thread;
    const QList<CommandPool *> pools;
    QElapsedTimer clock;
};

// Three pools in the driver's order, their thread and a receiver.
struct Rig
{
    OnceCommandPool commandPool;
    OnceCommandPool statusPool;
    LoopCommandPool loopPool;
    CommandPoolThread thread{{&commandPool, &statusPool, &loopPool}};
    Receiver receiver{thread, {&commandPool, &statusPool, &loopPool}};

    ~Rig() { thread.stop(); }

    bool waitForCount(int count) const
    {
        QElapsedTimer clock;
        clock.start();
        while (receiver.texts.size() < count && clock.elapsed() < LongWaitMs)
            QTest::qWait(10);
        return receiver.texts.size() >= count;
    }
};

} // namespace

class TestPoolThread : public QObject
{
    Q_OBJECT
private slots:
    void strictPriority_data();
    void strictPriority();
    void commandAppendedWhileLoopingGoesNext();
    void pauseAfterEveryCommand();
    void noPauseAfterUpload();
    void oneTimeoutPerUnansweredQuery();
    void unhandledCommandRemovedButKeptAlive();
    void lateHandledCountsForNoLaterCommand();
    void commandWithoutAnswerNeverTimesOut();
    void stopDuringAnswerWait();
    void stopBeforeRun();
};

void TestPoolThread::strictPriority_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("status");
    QTest::addColumn<QByteArrayList>("loop");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::newRow("loop only cycles") << QByteArrayList{} << QByteArrayList{} << QByteArrayList{"A", "B", "C"}
                                      << QByteArrayList{"A", "B", "C", "A", "B", "C", "A"};
    QTest::newRow("status before loop") << QByteArrayList{} << QByteArrayList{"S1", "S2?"}
                                        << QByteArrayList{"A?"} << QByteArrayList{"S1", "S2?", "A?", "A?"};
    QTest::newRow("commands first") << QByteArrayList{"C1?", "C2"} << QByteArrayList{"S1?", "S2"}
                                    << QByteArrayList{"A", "B?"}
                                    << QByteArrayList{"C1?", "C2", "S1?", "S2", "A", "B?", "A"};
    QTest::newRow("once pools only") << QByteArrayList{"C"} << QByteArrayList{"S"} << QByteArrayList{}
                                     << QByteArrayList{"C", "S"};
}

void TestPoolThread::strictPriority()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, status);
    QFETCH(QByteArrayList, loop);
    QFETCH(QByteArrayList, expected);
    Rig rig;
    fill(rig.commandPool, commands);
    fill(rig.statusPool, status);
    fill(rig.loopPool, loop);
    rig.thread.start();
    QVERIFY(rig.waitForCount(expected.size()));
    QCOMPARE(rig.receiver.texts.mid(0, expected.size()), expected);
    QTRY_VERIFY(rig.commandPool.commands().isEmpty() && rig.statusPool.commands().isEmpty());
    QCOMPARE(rig.loopPool.commands().size(), loop.size());
    QCOMPARE(rig.receiver.timeouts, 0);
}

void TestPoolThread::commandAppendedWhileLoopingGoesNext()
{
    Rig rig;
    fill(rig.loopPool, {"A", "B"});
    rig.receiver.onReceive = [&rig](const QByteArray &) {
        if (rig.receiver.texts.size() == 3)
            rig.commandPool.append(new Command("X", false, QVariant(0)));
    };
    rig.thread.start();
    QVERIFY(rig.waitForCount(6));
    QCOMPARE(rig.receiver.texts.mid(0, 6), (QByteArrayList{"A", "B", "A", "X", "B", "A"}));
}

void TestPoolThread::pauseAfterEveryCommand()
{
    Rig rig;
    fill(rig.loopPool, {"A", "B?", "C"});
    rig.thread.start();
    QVERIFY(rig.waitForCount(7));
    for (int i = 0; i < 6; ++i)
        QVERIFY2(rig.receiver.gapAfter(i) >= 30, qPrintable(QString::number(rig.receiver.gapAfter(i))));
}

void TestPoolThread::noPauseAfterUpload()
{
    Rig rig;
    QByteArrayList uploads;
    for (int n = 1; n <= 12; ++n)
        uploads << "MEMory:UPLoad? " + QByteArray::number(n);
    fill(rig.commandPool, uploads);
    fill(rig.commandPool, {"N1", "N2", "N3"});
    rig.thread.start();
    QVERIFY(rig.waitForCount(15));
    QCOMPARE(rig.receiver.texts.mid(0, 15), uploads + QByteArrayList({"N1", "N2", "N3"}));
    // Uploads are not followed by the pause: at least one of eleven gaps is
    // shorter than it, even on a busy machine. Other commands always are.
    qint64 shortest = std::numeric_limits<qint64>::max();
    for (int i = 0; i < 11; ++i)
        shortest = qMin(shortest, rig.receiver.gapAfter(i));
    QVERIFY2(shortest < 33, qPrintable(QString::number(shortest)));
    QVERIFY(rig.receiver.gapAfter(12) >= 30);
    QVERIFY(rig.receiver.gapAfter(13) >= 30);
}

void TestPoolThread::oneTimeoutPerUnansweredQuery()
{
    Rig rig;
    fill(rig.commandPool, {"Q1?", "Q2?"});
    fill(rig.loopPool, {"A?"});
    rig.receiver.reply = [](const QByteArray &text) {
        return text.startsWith('Q') ? Reply::HandleOnly : Reply::Answer;
    };
    rig.thread.start();
    QVERIFY(rig.waitForCount(4));
    QCOMPARE(rig.receiver.events.mid(0, 6), (QByteArrayList{"Q1?", "TIMEOUT", "Q2?", "TIMEOUT", "A?", "A?"}));
    QCOMPARE(rig.receiver.timeouts, 2);
    QVERIFY(rig.commandPool.commands().isEmpty());
}

// The receiver neither answers nor reports the end of the handling, and
// claims the command only after the thread gave up and removed it: the
// lease still holds a live command.
void TestPoolThread::unhandledCommandRemovedButKeptAlive()
{
    Rig rig;
    fill(rig.commandPool, {"Q?", "R"});
    rig.receiver.claimLater = true;
    rig.receiver.reply = [](const QByteArray &text) { return text == "Q?" ? Reply::Ignore : Reply::Answer; };
    rig.thread.start();
    QVERIFY(rig.waitForCount(2));
    QCOMPARE(rig.receiver.events.mid(0, 3), (QByteArrayList{"Q?", "TIMEOUT", "R"}));
    QVERIFY(!holds(rig.commandPool, "Q?"));

    const std::shared_ptr<Command> late = rig.commandPool.claim(rig.receiver.unclaimed.first());
    QVERIFY(late);
    QCOMPARE(late->text(), QByteArray("Q?"));
    QCOMPARE(rig.receiver.timeouts, 1);
}

// The receiver reports the end of a command only after the thread has given
// up on it. That late report belongs to no later command: the next one must
// not count as handled, and the one after it must not be handed out, before
// its receiver says so.
void TestPoolThread::lateHandledCountsForNoLaterCommand()
{
    Rig rig;
    fill(rig.commandPool, {"LATE"});
    rig.receiver.reply = [](const QByteArray &text) { return text == "LATE" ? Reply::Ignore : Reply::Answer; };
    rig.receiver.onReceive = [&rig](const QByteArray &text) {
        if (text != "NEXT")
            return;
        QTest::qWait(500); // still at work on NEXT
        rig.receiver.events << "NEXT released";
    };
    rig.thread.start();
    QVERIFY(rig.waitForCount(1));
    QTRY_VERIFY_WITH_TIMEOUT(rig.commandPool.commands().isEmpty(), LongWaitMs); // given up on LATE

    rig.thread.setHandled(); // the receiver is done with LATE at last
    fill(rig.commandPool, {"NEXT", "AFTER"});
    QVERIFY(rig.waitForCount(3));
    QCOMPARE(rig.receiver.events, (QByteArrayList{"LATE", "NEXT", "NEXT released", "AFTER"}));
    QCOMPARE(rig.receiver.timeouts, 0);
}

void TestPoolThread::commandWithoutAnswerNeverTimesOut()
{
    Rig rig;
    fill(rig.commandPool, {"SET1", "SET2"});
    fill(rig.loopPool, {"A"});
    rig.receiver.reply = [](const QByteArray &text) { return text == "SET1" ? Reply::Ignore : Reply::Answer; };
    rig.thread.start();
    QVERIFY(rig.waitForCount(4)); // SET1 is given up after the handled wait
    QCOMPARE(rig.receiver.texts.mid(0, 4), (QByteArrayList{"SET1", "SET2", "A", "A"}));
    QCOMPARE(rig.receiver.timeouts, 0);
}

void TestPoolThread::stopDuringAnswerWait()
{
    Rig rig;
    fill(rig.commandPool, {"Q?"});
    fill(rig.loopPool, {"A"});
    rig.receiver.reply = [](const QByteArray &) { return Reply::Ignore; };
    rig.thread.start();
    QVERIFY(rig.waitForCount(1));
    rig.thread.stop();
    QVERIFY(rig.thread.isFinished());
    QTest::qWait(50); // anything the thread queued is delivered by now
    QCOMPARE(rig.receiver.timeouts, 0);
    QCOMPARE(rig.receiver.texts, QByteArrayList{"Q?"});
    QVERIFY(holds(rig.commandPool, "Q?"));
}

void TestPoolThread::stopBeforeRun()
{
    Rig rig;
    fill(rig.loopPool, {"A"});
    rig.thread.stop();
    rig.thread.start();
    QVERIFY(rig.thread.wait(LongWaitMs));
    QTest::qWait(50);
    QVERIFY(rig.receiver.texts.isEmpty());
}

QTEST_GUILESS_MAIN(TestPoolThread)
#include "tst_poolthread.moc"
