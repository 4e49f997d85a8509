// The slope-to-layer rule of the terrain build, which needs no GL context.

#include "TerrainBuild.h"

#include <QtTest>
#include <cmath>
#include <limits>

class TerrainBuildTest : public QObject {
    Q_OBJECT

private slots:
    void documentedThresholds_data();
    void documentedThresholds();
    void justAboveEachThreshold();
    void outOfRangeNormals();
};

void TerrainBuildTest::documentedThresholds_data()
{
    QTest::addColumn<float>("normalY");
    QTest::addColumn<unsigned>("layer");
    QTest::addRow("level") << 1.0f << 0u;
    QTest::addRow("0.9375") << 0.9375f << 1u;
    QTest::addRow("0.9") << 0.9f << 1u;
    QTest::addRow("0.875") << 0.875f << 2u;
    QTest::addRow("0.8125") << 0.8125f << 3u;
    QTest::addRow("0.5") << 0.5f << 3u;
}

void TerrainBuildTest::documentedThresholds()
{
    QFETCH(float, normalY);
    QFETCH(unsigned, layer);
    QCOMPARE(layerForSlope(normalY), layer);
}

void TerrainBuildTest::justAboveEachThreshold()
{
    // Each band is open at its lower end: the next float above a threshold is already flatter.
    const float up = 2.0f;
    QCOMPARE(layerForSlope(std::nextafter(0.9375f, up)), 0u);
    QCOMPARE(layerForSlope(std::nextafter(0.875f, up)), 1u);
    QCOMPARE(layerForSlope(std::nextafter(0.8125f, up)), 2u);
}

void TerrainBuildTest::outOfRangeNormals()
{
    // A zero normal (the never-computed border ring), overhangs and NaN land on the steepest
    // layer; a normal a rounding step longer than 1 stays on the flattest. Beyond 1.0625 the
    // truncated value is negative, which as an unsigned layer is out of range, hence 3.
    QCOMPARE(layerForSlope(0.0f), 3u);
    QCOMPARE(layerForSlope(-1.0f), 3u);
    QCOMPARE(layerForSlope(std::numeric_limits<float>::quiet_NaN()), 3u);
    QCOMPARE(layerForSlope(std::numeric_limits<float>::infinity()), 3u);
    QCOMPARE(layerForSlope(-std::numeric_limits<float>::infinity()), 3u);
    QCOMPARE(layerForSlope(1.0000001f), 0u);
    QCOMPARE(layerForSlope(1.05f), 0u);
    QCOMPARE(layerForSlope(1.1f), 3u);
}

QTEST_APPLESS_MAIN(TerrainBuildTest)
#include "TerrainBuildTest.moc"
