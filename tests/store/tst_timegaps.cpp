// Gaps in time: a step four times the one before it, and at least a second,
// starts a new run; readings without a time make no step.
#include "timegaps.h"

#include <QTest>

class TestTimeGaps : public QObject
{
    Q_OBJECT
private slots:
    void gapsFound_data();
    void gapsFound();
};

void TestTimeGaps::gapsFound_data()
{
    QTest::addColumn<QVector<qint64>>("times"); // ms; 0 for a reading without a time
    QTest::addColumn<QVector<qint64>>("starts");
    const qint64 t = 1765000000000;
    QTest::newRow("steady") << QVector<qint64>{t, t + 200, t + 400, t + 600} << QVector<qint64>{};
    QTest::newRow("a lost link") << QVector<qint64>{t, t + 200, t + 400, t + 60400, t + 60600, t + 60800}
                                 << QVector<qint64>{3};
    QTest::newRow("a second is not yet a gap") << QVector<qint64>{t, t + 100, t + 200, t + 1199, t + 2199}
                                               << QVector<qint64>{};
    QTest::newRow("four times is not yet a gap") << QVector<qint64>{t, t + 1000, t + 2000, t + 6000}
                                                 << QVector<qint64>{};
    QTest::newRow("the first step is no gap") << QVector<qint64>{t, t + 90000, t + 90200} << QVector<qint64>{};
    QTest::newRow("slower after a gap") << QVector<qint64>{t, t + 200, t + 400, t + 5000, t + 10000, t + 60000}
                                        << QVector<qint64>{3, 5};
    QTest::newRow("without times") << QVector<qint64>{t, t + 200, 0, 0, t + 90000, t + 90200} << QVector<qint64>{};
}

void TestTimeGaps::gapsFound()
{
    QFETCH(QVector<qint64>, times);
    QFETCH(QVector<qint64>, starts);
    TimeGaps gaps;
    for (int i = 0; i < times.size(); ++i)
        gaps.add(i, times[i]);
    QVector<qint64> found;
    for (qint64 at = gaps.firstIn(0, times.size() - 1); at >= 0; at = gaps.firstIn(at + 1, times.size() - 1))
        found << at;
    QCOMPARE(found, starts);
    for (qint64 start : starts) {
        QCOMPARE(gaps.firstIn(start, start), start);
        QCOMPARE(gaps.firstIn(0, start - 1) < start, true);
    }
}

QTEST_MAIN(TestTimeGaps)
#include "tst_timegaps.moc"
