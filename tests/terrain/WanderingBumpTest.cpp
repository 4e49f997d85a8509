// The bump's pseudo-random source, without a GL context.

#include "WanderingBump.h"

#include <QTest>

class WanderingBumpTest : public QObject {
    Q_OBJECT

private slots:
    void init() { bumpRandomSource().reset(); }

    void firstFourDrawsAreTheDocumentedOnes();
    void matchesTheGeneratorWrittenOutInWideArithmetic();
    void randomBelowZeroDrawsNothing();
    void randomBelowOneIsAlwaysZeroButDraws();
    void randomBelowIsTheSignedRemainderOfADraw();
    void firstTargetOfTheDefaultLattice();
};

void WanderingBumpTest::firstFourDrawsAreTheDocumentedOnes()
{
    RandomSource& source = bumpRandomSource();
    QCOMPARE(source.state(), std::uint64_t(1));
    QCOMPARE(source.next(), 346);
    QCOMPARE(source.next(), 13854878);
    QCOMPARE(source.next(), 1621890440);
    QCOMPARE(source.next(), 816282396);
    source.reset();
    QCOMPARE(source.state(), std::uint64_t(1));
    QCOMPARE(source.next(), 346);
}

// The same recurrence as a 128-bit product reduced by hand, over enough draws to pass through
// states with the top bit set (where a signed shift or a 32-bit product would go wrong).
void WanderingBumpTest::matchesTheGeneratorWrittenOutInWideArithmetic()
{
    using Wide = unsigned __int128;
    Wide state = 1;
    const Wide modulus = Wide(1) << 64;
    RandomSource source;
    bool sawTopBit = false;
    for (int n = 0; n < 5000; ++n) {
        state = (state * 0x15A00004E35u + 1u) % modulus;
        sawTopBit = sawTopBit || (state >> 63) != 0;
        const std::int32_t expected = std::int32_t((state >> 32) % (Wide(1) << 31));
        QCOMPARE(source.next(), expected);
        QCOMPARE(source.state(), std::uint64_t(state));
    }
    QVERIFY(sawTopBit);
}

void WanderingBumpTest::randomBelowZeroDrawsNothing()
{
    QCOMPARE(randomBelow(0), 0);
    QCOMPARE(bumpRandomSource().state(), std::uint64_t(1));
    QCOMPARE(bumpRandomSource().next(), 346);
}

void WanderingBumpTest::randomBelowOneIsAlwaysZeroButDraws()
{
    for (int n = 0; n < 100; ++n)
        QCOMPARE(randomBelow(1), 0);
    // A hundred draws were taken: the next is the 101st of a fresh source.
    RandomSource fresh;
    for (int n = 0; n < 100; ++n)
        fresh.next();
    QCOMPARE(bumpRandomSource().next(), fresh.next());
}

void WanderingBumpTest::randomBelowIsTheSignedRemainderOfADraw()
{
    RandomSource mirror;
    for (std::int32_t n : {7, 294, 1000, -5, 2147483647, -2147483647 - 1}) {
        const std::int32_t draw = mirror.next();
        const std::int32_t value = randomBelow(n);
        QCOMPARE(value, draw % n);
        QVERIFY(value >= 0); // a draw is never negative
    }
}

// 346 mod 294 = 52 and 13854878 mod 294 = 128: plus the radius 3, column 55 and row 131.
void WanderingBumpTest::firstTargetOfTheDefaultLattice()
{
    QCOMPARE(randomBelow(300 - 2 * 3) + 3, 55);
    QCOMPARE(randomBelow(300 - 2 * 3) + 3, 131);
}

QTEST_APPLESS_MAIN(WanderingBumpTest)
#include "WanderingBumpTest.moc"
