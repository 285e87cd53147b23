// The once and loop pools on their own: hand-out order, removal, reset, the
// leases that keep handed-out commands alive, and the auto-reset events.
#include "autoresetevent.h"
#include "command.h"
#include "commandpool.h"

#include <QtTest>

#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

Command *make(const char *text, bool query = false)
{
    return new Command(QByteArray(text), query, QVariant(0));
}

QByteArray textOf(const Command *command)
{
    return command ? command->text() : QByteArray("<null>");
}

// Texts of `count` successive next() calls, space-separated.
QByteArray nextTexts(CommandPool &pool, int count)
{
    QByteArrayList texts;
    for (int i = 0; i < count; ++i)
        texts << textOf(pool.next());
    return texts.join(' ');
}

void fill(CommandPool &pool, const QByteArrayList &texts)
{
    for (const QByteArray &text : texts)
        pool.append(new Command(text, false, QVariant(0)));
}

} // namespace

class TestCommandPool : public QObject
{
    Q_OBJECT
private slots:
    void command();
    void loopCycle_data();
    void loopCycle();
    void loopAppendWhileCycling();
    void loopEmptyAndCurrent();
    void loopResetKeepsCommands();
    void onceServesFirstUntilRemoved();
    void onceRemoveAndResetDelete();
    void appendIgnoresNull();
    void leaseOutlivesRemovalAndReset();
    void leasePerHandOut();
    void claimUnknown();
    void concurrentAppendAndTake();
    void eventAutoReset();
    void eventFirstOfPairWins();
    void eventWakesWaiterInOtherThread();
};

void TestCommandPool::command()
{
    const Command query(QByteArray("Fetch?\n"), true, QVariant(0));
    QCOMPARE(query.text(), QByteArray("Fetch?\n"));
    QVERIFY(query.expectsAnswer());
    QVERIFY(!Command(QByteArray("SYSTem:LOCal\n"), false, QVariant(0)).expectsAnswer());
}

void TestCommandPool::loopCycle_data()
{
    QTest::addColumn<QByteArrayList>("texts");
    QTest::addColumn<int>("calls");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("one command repeats") << QByteArrayList{"A"} << 3 << QByteArray("A A A");
    QTest::newRow("three cycle") << QByteArrayList{"A", "B", "C"} << 7 << QByteArray("A B C A B C A");
}

void TestCommandPool::loopCycle()
{
    QFETCH(QByteArrayList, texts);
    QFETCH(int, calls);
    QFETCH(QByteArray, expected);
    LoopCommandPool pool;
    fill(pool, texts);
    QCOMPARE(nextTexts(pool, calls), expected);
    QCOMPARE(pool.commands().size(), texts.size()); // nothing leaves a loop pool
}

void TestCommandPool::loopAppendWhileCycling()
{
    LoopCommandPool pool;
    fill(pool, {"A", "B", "C"});
    QCOMPARE(nextTexts(pool, 3), QByteArray("A B C"));
    pool.append(make("D"));
    QCOMPARE(nextTexts(pool, 3), QByteArray("D A B"));
    pool.reset();
    QCOMPARE(nextTexts(pool, 1), QByteArray("A"));
}

void TestCommandPool::loopEmptyAndCurrent()
{
    LoopCommandPool pool;
    QCOMPARE(pool.next(), nullptr);
    QCOMPARE(pool.current(), nullptr); // position stayed -1
    pool.append(make("A"));
    QCOMPARE(pool.current(), nullptr);
    QCOMPARE(textOf(pool.next()), QByteArray("A"));
    QCOMPARE(textOf(pool.current()), QByteArray("A"));
    pool.reset();
    QCOMPARE(pool.current(), nullptr);
}

void TestCommandPool::loopResetKeepsCommands()
{
    LoopCommandPool pool;
    fill(pool, {"A", "B"});
    const std::weak_ptr<Command> first = pool.handOut();
    pool.claim(first.lock().get());
    pool.reset();
    QVERIFY(!first.expired());
    QCOMPARE(pool.commands().size(), 2);
}

void TestCommandPool::onceServesFirstUntilRemoved()
{
    OnceCommandPool pool;
    fill(pool, {"A", "B"});
    QCOMPARE(nextTexts(pool, 3), QByteArray("A A A"));
    QCOMPARE(textOf(pool.current()), QByteArray("A"));
    pool.removeFirst();
    QCOMPARE(nextTexts(pool, 2), QByteArray("B B"));
    pool.removeFirst();
    QCOMPARE(pool.next(), nullptr);
    QCOMPARE(pool.current(), nullptr);
    pool.removeFirst(); // empty: nothing happens
    QVERIFY(pool.commands().isEmpty());
}

void TestCommandPool::onceRemoveAndResetDelete()
{
    OnceCommandPool pool;
    fill(pool, {"A", "B", "C"});
    std::weak_ptr<Command> a = pool.handOut();
    pool.claim(a.lock().get());
    pool.removeFirst();
    QVERIFY(a.expired());

    std::weak_ptr<Command> b = pool.handOut();
    pool.claim(b.lock().get());
    QCOMPARE(pool.append(make("D")), 3);
    pool.reset();
    QVERIFY(b.expired());
    QVERIFY(pool.commands().isEmpty());
}

void TestCommandPool::appendIgnoresNull()
{
    OnceCommandPool pool;
    QCOMPARE(pool.append(nullptr), 0);
    pool.append(make("A"));
    QCOMPARE(pool.append(nullptr), 1);
    QCOMPARE(textOf(pool.next()), QByteArray("A"));
}

// What the pacing thread and the driver rely on: a handed-out command stays
// alive until its receiver claims it, whatever the pool did meanwhile.
void TestCommandPool::leaseOutlivesRemovalAndReset()
{
    OnceCommandPool pool;
    fill(pool, {"A", "B"});
    Command *a = pool.handOut().get();
    pool.removeFirst();
    Command *b = pool.handOut().get();
    pool.reset();
    QVERIFY(pool.commands().isEmpty());

    std::shared_ptr<Command> heldA = pool.claim(a);
    const std::shared_ptr<Command> heldB = pool.claim(b);
    QVERIFY(heldA && heldB);
    QCOMPARE(heldA->text(), QByteArray("A"));
    QCOMPARE(heldB->text(), QByteArray("B"));
    const std::weak_ptr<Command> weakA = heldA;
    heldA.reset();
    QVERIFY(weakA.expired()); // the claim was the last reference
}

void TestCommandPool::leasePerHandOut()
{
    LoopCommandPool pool;
    fill(pool, {"A"});
    Command *first = pool.handOut().get();
    QCOMPARE(pool.handOut().get(), first);
    QVERIFY(pool.claim(first));
    QVERIFY(pool.claim(first));
    QVERIFY(!pool.claim(first)); // two hand-outs, two claims

    pool.handOut();
    pool.dropLeases();
    QVERIFY(!pool.claim(first));
}

void TestCommandPool::claimUnknown()
{
    OnceCommandPool pool;
    fill(pool, {"A"});
    const Command stranger(QByteArray("X"), false, QVariant(0));
    QVERIFY(!pool.claim(&stranger));
    QVERIFY(!pool.claim(pool.next())); // queued, but never handed out
    QVERIFY(!pool.claim(nullptr));
    OnceCommandPool empty;
    QVERIFY(!empty.handOut());
}

// One thread appends, another takes and removes, as driver and pacing thread
// do: every command comes out once, in order.
void TestCommandPool::concurrentAppendAndTake()
{
    constexpr int Count = 2000;
    OnceCommandPool pool;
    QList<int> taken;
    int claims = 0;
    std::thread taker([&] {
        while (taken.size() < Count) {
            if (const std::shared_ptr<Command> command = pool.handOut()) {
                taken << command->text().toInt();
                claims += pool.claim(command.get()) ? 1 : 0;
                pool.removeFirst();
            } else {
                std::this_thread::yield();
            }
        }
    });
    for (int i = 0; i < Count; ++i) {
        pool.append(new Command(QByteArray::number(i), false, QVariant(0)));
        pool.commands(); // readers interleave with the taker too
    }
    taker.join();
    QCOMPARE(taken.size(), Count);
    QCOMPARE(claims, Count);
    for (int i = 0; i < Count; ++i)
        QCOMPARE(taken.at(i), i);
    QVERIFY(pool.commands().isEmpty());
}

void TestCommandPool::eventAutoReset()
{
    AutoResetEvent event;
    QVERIFY(!event.wait(0ms));
    event.set();
    event.set(); // setting twice is still one set
    QVERIFY(event.wait(0ms));
    QVERIFY(!event.wait(0ms));
    event.set();
    event.reset();
    QVERIFY(!event.wait(0ms));
}

void TestCommandPool::eventFirstOfPairWins()
{
    AutoResetEvent first;
    AutoResetEvent second;
    QCOMPARE(AutoResetEvent::waitAny(first, second, 0ms), -1);
    second.set();
    QCOMPARE(AutoResetEvent::waitAny(first, second, 0ms), 1);
    first.set();
    second.set();
    QCOMPARE(AutoResetEvent::waitAny(first, second, 0ms), 0);
    QCOMPARE(AutoResetEvent::waitAny(first, second, 0ms), 1); // the loser stayed set
    QCOMPARE(AutoResetEvent::waitAny(first, second, 0ms), -1);
}

void TestCommandPool::eventWakesWaiterInOtherThread()
{
    AutoResetEvent stop;
    AutoResetEvent answer;
    int result = -2;
    std::thread waiter([&] { result = AutoResetEvent::waitAny(stop, answer, 60s); });
    answer.set();
    waiter.join(); // long before 60 s unless the wake-up is lost
    QCOMPARE(result, 1);
    QVERIFY(!answer.wait(0ms));
}

QTEST_GUILESS_MAIN(TestCommandPool)
#include "tst_commandpool.moc"
