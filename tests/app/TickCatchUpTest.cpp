// The count of timer ticks that fell due, from a wrapping millisecond counter.

#include "TickCatchUp.h"

#include <QTest>

class TickCatchUpTest : public QObject {
    Q_OBJECT
private slots:
    void countsWholeIntervals();
    void acrossTheWrap();
    void capDropsTheExcessAndKeepsThePhase();
};

void TickCatchUpTest::countsWholeIntervals()
{
    TickCatchUp ticks(10, 100);
    ticks.start(1000);
    QCOMPARE(ticks.dueTicks(1000), 0u);
    QCOMPARE(ticks.dueTicks(1009), 0u);
    QCOMPARE(ticks.dueTicks(1010), 1u);
    QCOMPARE(ticks.dueTicks(1045), 3u); // 1020, 1030, 1040
    QCOMPARE(ticks.dueTicks(1049), 0u); // the 5 ms left over are kept ...
    QCOMPARE(ticks.dueTicks(1050), 1u); // ... and make the next tick
    // Over a long run of uneven calls the count is one per interval.
    std::uint32_t total = 0;
    const std::uint32_t steps[] = {7, 33, 1, 29, 40, 3, 87};
    std::uint32_t now = 1050;
    for (int round = 0; round < 100; ++round)
        for (std::uint32_t step : steps)
            total += ticks.dueTicks(now += step);
    QCOMPARE(total, (now - 1050) / 10);
}

void TickCatchUpTest::acrossTheWrap()
{
    TickCatchUp ticks(10, 100);
    ticks.start(0xFFFFFFF0u);
    QCOMPARE(ticks.dueTicks(0xFFFFFFFAu), 1u);
    QCOMPARE(ticks.dueTicks(14u), 2u); // 0xFFFFFFFA + 10 and + 20 lie at 4 and 14 after the wrap
    QCOMPARE(ticks.dueTicks(23u), 0u);
    QCOMPARE(ticks.dueTicks(24u), 1u);
}

void TickCatchUpTest::capDropsTheExcessAndKeepsThePhase()
{
    TickCatchUp ticks(10, 100);
    ticks.start(0);
    QCOMPARE(ticks.dueTicks(1000), 100u);  // exactly one second: all of it
    QCOMPARE(ticks.dueTicks(61007), 100u); // a minute: one second's worth
    QCOMPARE(ticks.dueTicks(61009), 0u);
    QCOMPARE(ticks.dueTicks(61010), 1u); // the phase of the intervals is kept
    TickCatchUp slow(40, 3);
    slow.start(5);
    QCOMPARE(slow.dueTicks(500), 3u);
    QCOMPARE(slow.dueTicks(524), 0u);
    QCOMPARE(slow.dueTicks(525), 1u);
}

QTEST_APPLESS_MAIN(TickCatchUpTest)
#include "TickCatchUpTest.moc"
