// The world's maths without a GL context: the clock's day carry, the optical-depth table, the
// fan's points, the sun's light and fog colours, the disc and halo radii and the usable range
// of atmosphere heights.

#include "World.h"

#include <QtTest>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

const float3 kSunColour{1.0f, 1.0f, 1.0f};
const float3 kScattering{0.0f, 0.5f, 0.8f};

std::vector<float> opticalDepthTable(float planetRadius)
{
    TWorld world;
    world.planetRadius = planetRadius;
    std::vector<float> table(kOpticalDepthEntries, -1.0f);
    world.computeOpticalDepth(table.data());
    return table;
}

// The path factor straight from its geometric definition, (sqrt(a^2 + c^2) - a) / c, in long
// double: the reference for the single-precision evaluation.
double referencePathFactor(double sunHeight, double radius, double height)
{
    const long double a = (long double)sunHeight * radius;
    const long double c2 = (2.0L * radius + height) * (long double)height;
    const long double c = std::sqrt(c2);
    return double((std::sqrt(a * a + c2) - a) / c);
}

// 2^e mod m by repeated doubling, independent of the clock's floating-point carry.
std::uint64_t powerOfTwoMod(int e, std::uint64_t m)
{
    std::uint64_t r = 1 % m;
    for (int i = 0; i < e; ++i)
        r = (r * 2) % m;
    return r;
}

} // namespace

class WorldMathsTest : public QObject {
    Q_OBJECT

private slots:
    void constructedWorld();
    void carryWholeDays();
    void carryKeepsHourInsideTheDay();
    void carryHugeHours();
    void carryNegativeAndNonFinite();
    void opticalDepthDocumentedEntries_data();
    void opticalDepthDocumentedEntries();
    void opticalDepthShape();
    void opticalDepthUnusableRadius();
    void fanPoints();
    void fanRebuild();
    void sunLightDocumented_data();
    void sunLightDocumented();
    void sunLightAgainstGeometry();
    void rimRadii();
    void atmosphereHeightBound();
    void tinyAtmosphereHeights();
    void unusableAtmosphereHeights();
};

void WorldMathsTest::constructedWorld()
{
    // The constructor's values are the floats nearest to the decimal constants; everything else
    // is zero, so no GL object exists yet.
    TWorld world;
    QCOMPARE(double(world.axialTilt), 23.270000457763672);
    QCOMPARE(world.latitude, 40.0f);
    for (float channel : {world.sunColour.x, world.sunColour.y, world.sunColour.z})
        QCOMPARE(channel, 1.0f);
    QCOMPARE(world.scattering.x, 0.0f);
    QCOMPARE(world.scattering.y, 0.5f);
    QCOMPARE(double(world.scattering.z), 0.800000011920929);
    for (std::uint32_t count : {world.daysPerYear, world.day, world.opticalDepthTexture, world.haloTexture})
        QCOMPARE(count, 0u);
    for (float value :
         {world.hoursPerDay, world.hour, world.planetRadius, world.atmosphereHeight, world.sunAngle, world.haloAngle})
        QCOMPARE(value, 0.0f);
    QVERIFY(world.skyQuadric == nullptr && world.sunFan.points == nullptr);
    for (float m : world.sunMatrix)
        QCOMPARE(m, 0.0f);
}

void WorldMathsTest::carryWholeDays()
{
    ClockTime t = carryHours(0, 30.0f, 24.0f, 365);
    QCOMPARE(t.day, 1u);
    QCOMPARE(t.hour, 6.0f);
    t = carryHours(0, 24.0f, 24.0f, 365);
    QCOMPARE(t.day, 1u);
    QCOMPARE(t.hour, 0.0f);
    t = carryHours(0, 50.0f, 24.0f, 365);
    QCOMPARE(t.day, 2u);
    QCOMPARE(t.hour, 2.0f);
    t = carryHours(7, 23.5f, 24.0f, 365);
    QCOMPARE(t.day, 7u);
    QCOMPARE(t.hour, 23.5f);
    // Midnight at the end of the year wraps to day 0; a thousand years of hours to the same day.
    t = carryHours(364, 24.25f, 24.0f, 365);
    QCOMPARE(t.day, 0u);
    QCOMPARE(t.hour, 0.25f);
    t = carryHours(3, 24.0f * 365.0f * 1000.0f + 5.0f, 24.0f, 365);
    QCOMPARE(t.day, 3u);
    QCOMPARE(t.hour, 5.0f);
    // Other day lengths: 10-hour days, 100-day years.
    t = carryHours(99, 35.0f, 10.0f, 100);
    QCOMPARE(t.day, 2u);
    QCOMPARE(t.hour, 5.0f);
}

void WorldMathsTest::carryKeepsHourInsideTheDay()
{
    // Just below a day boundary the single-precision quotient h / hoursPerDay can round up to
    // the next whole number (not with 24-hour days, but with 25 or 0.1), which would leave a
    // negative hour. The hour must stay inside the day, and with whole-hour days both the hour
    // and the day must be the exact remainder and quotient.
    int roundedUp = 0;
    for (float hoursPerDay : {24.0f, 25.0f, 0.1f}) {
        const bool wholeHours = hoursPerDay == std::trunc(hoursPerDay);
        for (int n = 1; n <= 200000; ++n) {
            const float h = std::nextafter(hoursPerDay * float(n), 0.0f);
            if (std::trunc(h / hoursPerDay) * hoursPerDay > h)
                ++roundedUp;
            const ClockTime t = carryHours(0, h, hoursPerDay, 365);
            QVERIFY2(t.hour >= 0.0f && t.hour < hoursPerDay, qPrintable(QString("day of %1 h, h=%2: hour=%3")
                                                                            .arg(double(hoursPerDay))
                                                                            .arg(double(h), 0, 'g', 9)
                                                                            .arg(double(t.hour))));
            QVERIFY(t.day < 365u);
            if (wholeHours) {
                const double exactDays = std::floor(double(h) / double(hoursPerDay));
                QCOMPARE(t.day, std::uint32_t(std::fmod(exactDays, 365.0)));
                QCOMPARE(double(t.hour), double(h) - exactDays * double(hoursPerDay));
            }
        }
    }
    // The sweep must include values where the plain quotient rounds up, or it proves nothing.
    QVERIFY(roundedUp > 0);
}

void WorldMathsTest::carryHugeHours()
{
    // 3 * 2^36 hours are 2^33 whole days: more days than the unsigned day counter holds. The
    // carry must give 2^33 mod 365, not a wrapped or undefined conversion.
    const float h = std::ldexp(3.0f, 36);
    ClockTime t = carryHours(10, h, 24.0f, 365);
    QCOMPARE(t.hour, 0.0f);
    QCOMPARE(t.day, std::uint32_t((10 + powerOfTwoMod(33, 365)) % 365));

    // 1e30 hours: far beyond exact single-precision days; the hour stays in the day and the
    // day in the year.
    t = carryHours(0, 1e30f, 24.0f, 365);
    QVERIFY(t.hour >= 0.0f && t.hour < 24.0f);
    QVERIFY(t.day < 365u);
}

void WorldMathsTest::carryNegativeAndNonFinite()
{
    ClockTime t = carryHours(5, -3.0f, 24.0f, 365);
    QCOMPARE(t.day, 5u);
    QCOMPARE(t.hour, -3.0f);
    t = carryHours(5, -100.0f, 24.0f, 365);
    QCOMPARE(t.day, 5u);
    QCOMPARE(t.hour, -100.0f);
    t = carryHours(5, INFINITY, 24.0f, 365);
    QCOMPARE(t.day, 5u);
    QVERIFY(std::isinf(t.hour));
    t = carryHours(5, NAN, 24.0f, 365);
    QCOMPARE(t.day, 5u);
    QVERIFY(std::isnan(t.hour));
    // A day number beyond the year (written directly) is brought back into it.
    t = carryHours(400, 1.0f, 24.0f, 365);
    QCOMPARE(t.day, 35u);
}

void WorldMathsTest::opticalDepthDocumentedEntries_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");
    // The documented values carry 3 or 4 significant digits: the tolerance is half a unit of
    // the last digit, plus a little for the single-precision sums.
    QTest::addRow("0") << 0 << 0.0691 << 0.00006;
    QTest::addRow("64") << 64 << 0.0705 << 0.00006;
    QTest::addRow("128") << 128 << 0.0748 << 0.00006;
    QTest::addRow("256") << 256 << 0.0977 << 0.00006;
    QTest::addRow("384") << 384 << 0.178 << 0.0006;
    QTest::addRow("448") << 448 << 0.330 << 0.0006;
    QTest::addRow("480") << 480 << 0.554 << 0.0006;
    QTest::addRow("500") << 500 << 0.847 << 0.0006;
    QTest::addRow("510") << 510 << 0.995 << 0.0006;
    QTest::addRow("511") << 511 << 1.0 << 0.0;
}

void WorldMathsTest::opticalDepthDocumentedEntries()
{
    QFETCH(int, entry);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    const std::vector<float> table = opticalDepthTable(kDefaultPlanetRadiusMetres);
    const double value = table[std::size_t(entry)];
    QVERIFY2(std::fabs(value - expected) <= tolerance,
             qPrintable(QString("entry %1 = %2, expected %3").arg(entry).arg(value, 0, 'g', 7).arg(expected)));
}

void WorldMathsTest::opticalDepthShape()
{
    const std::vector<float> table = opticalDepthTable(kDefaultPlanetRadiusMetres);
    // The sums grow from the zenith to the horizon, so the table rises strictly and ends at 1.
    for (int i = 1; i < kOpticalDepthEntries; ++i)
        QVERIFY2(table[std::size_t(i)] > table[std::size_t(i - 1)], qPrintable(QString("entry %1").arg(i)));
    QCOMPARE(table.back(), 1.0f);

    // The largest raw sum is about 5.84e6 (three digits: +-0.005e6), at the horizon.
    const float largest = opticalDepthSum(511, kDefaultPlanetRadiusMetres);
    QVERIFY2(std::fabs(double(largest) - 5.84e6) <= 0.005e6, qPrintable(QString::number(double(largest), 'g', 8)));
    for (int i = 0; i < kOpticalDepthEntries; ++i) {
        const float sum = opticalDepthSum(i, kDefaultPlanetRadiusMetres);
        QVERIFY(sum <= largest);
        QCOMPARE(table[std::size_t(i)], sum / largest);
    }

    // A smaller planet curves the horizon path sooner: the table changes with the radius.
    const std::vector<float> small = opticalDepthTable(3389500.0f);
    QVERIFY(small[0] > table[0]);
}

void WorldMathsTest::opticalDepthUnusableRadius()
{
    // A zero, negative or NaN radius is integrated with the default radius: the table is finite
    // and equals the default one exactly.
    const std::vector<float> reference = opticalDepthTable(kDefaultPlanetRadiusMetres);
    for (float radius : {0.0f, -1.0f, -6371000.0f, -INFINITY, INFINITY, NAN}) {
        const std::vector<float> table = opticalDepthTable(radius);
        for (int i = 0; i < kOpticalDepthEntries; ++i) {
            QVERIFY(std::isfinite(table[std::size_t(i)]));
            QCOMPARE(table[std::size_t(i)], reference[std::size_t(i)]);
        }
        QCOMPARE(usablePlanetRadius(radius), kDefaultPlanetRadiusMetres);
    }
    QCOMPARE(usablePlanetRadius(1.0f), 1.0f);
}

void WorldMathsTest::fanPoints()
{
    TLighterFan fan;
    fan.build(kSunFanPoints);
    QCOMPARE(fan.count, 32);
    QVERIFY(fan.points != nullptr);
    const float expected[4][2] = {{0.0f, 1.0f}, {1.0f, 0.0f}, {0.0f, -1.0f}, {-1.0f, 0.0f}};
    for (int q = 0; q < 4; ++q) {
        const float* p = fan.points[q * 8];
        QVERIFY2(std::fabs(p[0] - expected[q][0]) <= 1e-7f && std::fabs(p[1] - expected[q][1]) <= 1e-7f,
                 qPrintable(QString("point %1 = (%2, %3)").arg(q * 8).arg(double(p[0])).arg(double(p[1]))));
    }
}

void WorldMathsTest::fanRebuild()
{
    TLighterFan fan;
    fan.build(32);
    fan.build(4);
    QCOMPARE(fan.count, 4);
    QCOMPARE(fan.points[1][0], 1.0f);
    fan.build(0);
    QCOMPARE(fan.count, 0);
    QVERIFY(fan.points == nullptr);
    fan.build(-3);
    QCOMPARE(fan.count, 0);
    QVERIFY(fan.points == nullptr);
}

void WorldMathsTest::sunLightDocumented_data()
{
    QTest::addColumn<float>("height");
    QTest::addColumn<double>("pathFactor");
    QTest::addColumn<QVector<double>>("transmitted");
    QTest::addColumn<QVector<double>>("ambient");
    QTest::addColumn<QVector<double>>("fog");
    QTest::addColumn<double>("halo"); // 0: not documented
    QTest::addColumn<double>("tolerance");
    QTest::addRow("below horizon") << -0.3f << 1.0 << QVector<double>{1, 0.5, 0.2} << QVector<double>{0, 0, 0}
                                   << QVector<double>{0, 0, 0} << 3.114 << 0.0006;
    QTest::addRow("horizon") << 0.0f << 1.0 << QVector<double>{1, 0.5, 0.2} << QVector<double>{0, 0, 0}
                             << QVector<double>{0, 0, 0} << 3.114 << 0.0006;
    QTest::addRow("zenith") << 1.0f << 0.08824 << QVector<double>{1, 0.9559, 0.9294}
                            << QVector<double>{0, 0.0441, 0.0706} << QVector<double>{1, 0.9559, 0.9294} << 1.081
                            << 0.00006;
    QTest::addRow("noon of day 0") << 0.4498f << 0.1906 << QVector<double>{1, 0.9047, 0.8476}
                                   << QVector<double>{0, 0.0429, 0.0686} << QVector<double>{0.4498, 0.4069, 0.3812}
                                   << 0.0 << 0.00006;
}

void WorldMathsTest::sunLightDocumented()
{
    QFETCH(float, height);
    QFETCH(double, pathFactor);
    QFETCH(QVector<double>, transmitted);
    QFETCH(QVector<double>, ambient);
    QFETCH(QVector<double>, fog);
    QFETCH(double, halo);
    QFETCH(double, tolerance);
    const SunLight light = computeSunLight(height, kDefaultPlanetRadiusMetres, kDefaultAtmosphereHeightMetres,
                                           kSunColour, kScattering);
    QCOMPARE(light.sunHeight, std::max(height, 0.0f));
    QVERIFY2(std::fabs(light.pathFactor - pathFactor) <= tolerance,
             qPrintable(QString::number(double(light.pathFactor), 'g', 7)));
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(std::fabs(light.transmitted[i] - transmitted[i]) <= tolerance,
                 qPrintable(QString("transmitted %1").arg(i)));
        QVERIFY2(std::fabs(light.ambient[i] - ambient[i]) <= tolerance, qPrintable(QString("ambient %1").arg(i)));
        QVERIFY2(std::fabs(light.fogColour[i] - fog[i]) <= tolerance, qPrintable(QString("fog %1").arg(i)));
    }
    if (halo > 0.0)
        QVERIFY2(std::fabs(light.haloExtent - halo) <= 0.0006,
                 qPrintable(QString::number(double(light.haloExtent), 'g', 7)));
}

void WorldMathsTest::sunLightAgainstGeometry()
{
    // Over the whole sky, heights and radii, against the geometric definition in long double,
    // and the colours against their formulas.
    const float3 scattering{0.3f, 0.6f, 0.99f};
    const float3 sunColour{0.9f, 1.0f, 0.7f};
    for (float radius : {6371000.0f, 3389500.0f, 1000.0f}) {
        for (float atmosphere : {100.0f, 100000.0f, 5e6f}) {
            for (int step = 0; step <= 20; ++step) {
                const float s = float(step) / 20.0f;
                const SunLight light = computeSunLight(s, radius, atmosphere, sunColour, scattering);
                const double reference = referencePathFactor(s, radius, atmosphere);
                QVERIFY2(std::fabs(light.pathFactor - reference) <= 2e-7 * reference + 1e-9,
                         qPrintable(QString("r=%1 H=%2 s=%3: %4 vs %5")
                                        .arg(double(radius))
                                        .arg(double(atmosphere))
                                        .arg(double(s))
                                        .arg(double(light.pathFactor), 0, 'g', 9)
                                        .arg(reference, 0, 'g', 9)));
                double sunSum = 0.0, transmittedSum = 0.0;
                for (int i = 0; i < 3; ++i) {
                    const double t = (1.0 - reference * scattering[i]) * sunColour[i];
                    QVERIFY(std::fabs(light.transmitted[i] - t) < 1e-6);
                    QVERIFY(std::fabs(light.ambient[i] - sunColour[i] * reference * scattering[i] * s) < 1e-6);
                    QVERIFY(std::fabs(light.fogColour[i] - t * s) < 1e-6);
                    sunSum += sunColour[i];
                    transmittedSum += t;
                }
                QVERIFY(std::fabs(light.haloExtent - std::pow(sunSum / transmittedSum, 2)) < 1e-5);
            }
        }
    }
    // At the zenith the path factor is height / c.
    const SunLight zenith = computeSunLight(1.0f, 6371000.0f, 100000.0f, kSunColour, kScattering);
    QVERIFY(std::fabs(zenith.pathFactor - 100000.0 / std::sqrt((2.0 * 6371000.0 + 100000.0) * 100000.0)) < 1e-7);
    // With every scattering strength at the sliders' limit the transmitted colour stays
    // positive and k finite, even with the sun down.
    const SunLight dusk = computeSunLight(0.0f, 6371000.0f, 100000.0f, kSunColour, float3{0.99f, 0.99f, 0.99f});
    QVERIFY(dusk.transmitted.x > 0.0f);
    QVERIFY(std::isfinite(dusk.haloExtent));
    QVERIFY(std::fabs(dusk.haloExtent - 10000.0) < 0.05);
}

void WorldMathsTest::rimRadii()
{
    QVERIFY(std::fabs(sunRimRadius(2.0f) - 0.0171556) < 5e-8);
    QVERIFY(std::fabs(sunRimRadius(0.5358f) - 0.004654) < 5e-7);
    QVERIFY(std::fabs(sunRimRadius(22.0f) - 0.162746) < 5e-7);
    // The rim of a 45-degree cone 1 unit from the eye subtends half the angle.
    for (float angle : {0.5358f, 2.0f, 10.0f, 22.0f, 60.0f}) {
        const double r = sunRimRadius(angle);
        QVERIFY(std::fabs(2.0 * std::atan(r / (1.0 - r)) * 57.29577951308232 - angle) < 1e-4);
    }
    QCOMPARE(sunRimRadius(0.0f), 0.0f);
}

void WorldMathsTest::atmosphereHeightBound()
{
    const float bound = maxAtmosphereHeight(kDefaultPlanetRadiusMetres);
    // (2R + h) h = FLT_MAX at h = sqrt(FLT_MAX + R^2) - R.
    const double analytic = std::sqrt(double(FLT_MAX) + 6371000.0 * 6371000.0) - 6371000.0;
    QVERIFY2(std::fabs(bound - analytic) <= 2e-7 * analytic, qPrintable(QString::number(double(bound), 'g', 9)));
    QVERIFY(bound > 1.84467e19f && bound < 1.84468e19f);
    // At the bound the single-precision product is finite; one float higher it overflows.
    volatile float twice = 2.0f * kDefaultPlanetRadiusMetres + bound;
    volatile float product = twice * bound;
    QVERIFY(std::isfinite(product));
    const float above = std::nextafter(bound, FLT_MAX);
    twice = 2.0f * kDefaultPlanetRadiusMetres + above;
    product = twice * above;
    QVERIFY(std::isinf(product));

    for (float s : {0.0f, 0.25f, 0.4498f, 1.0f}) {
        const SunLight light = computeSunLight(s, kDefaultPlanetRadiusMetres, bound, kSunColour, kScattering);
        QVERIFY(std::isfinite(light.pathFactor));
        QVERIFY(light.pathFactor > 0.0f && light.pathFactor <= 1.0f);
        QVERIFY(std::isfinite(light.haloExtent));
        // An atmosphere billions of planets thick: every path is about the horizontal one.
        QVERIFY(light.pathFactor > 0.9999f);
    }
    // The bound follows the radius; an unusable radius gives the default's bound.
    QVERIFY(maxAtmosphereHeight(1e18f) < bound);
    QCOMPARE(maxAtmosphereHeight(0.0f), bound);
    QCOMPARE(maxAtmosphereHeight(-5.0f), bound);
}

void WorldMathsTest::tinyAtmosphereHeights()
{
    // Down to the smallest positive float the path factor is positive, finite and about
    // c / 2R at the zenith (c = sqrt(2R h) for a thin shell): no 0/0 and no lost atmosphere.
    const double radius = kDefaultPlanetRadiusMetres;
    for (float h : {std::numeric_limits<float>::denorm_min(), 1e-45f, 1e-38f, 1e-20f, 1e-6f, 1.0f}) {
        const SunLight zenith = computeSunLight(1.0f, kDefaultPlanetRadiusMetres, h, kSunColour, kScattering);
        QVERIFY(zenith.pathFactor > 0.0f && zenith.pathFactor <= 1.0f);
        const double expected = std::sqrt(2.0 * radius * double(h)) / (2.0 * radius);
        QVERIFY2(std::fabs(zenith.pathFactor - expected) <= 1e-5 * expected,
                 qPrintable(QString("h=%1: %2 vs %3").arg(double(h)).arg(double(zenith.pathFactor)).arg(expected)));
        const SunLight horizon = computeSunLight(0.0f, kDefaultPlanetRadiusMetres, h, kSunColour, kScattering);
        QCOMPARE(horizon.pathFactor, 1.0f);
        QVERIFY(std::isfinite(zenith.haloExtent) && std::isfinite(horizon.haloExtent));
    }
}

void WorldMathsTest::unusableAtmosphereHeights()
{
    // Heights the window rejects still give finite colours: nothing (pathFactor 0) for heights
    // that are not positive, the horizontal path for an infinite one.
    for (float h : {0.0f, -1.0f, -1e30f, NAN}) {
        const SunLight light = computeSunLight(0.5f, kDefaultPlanetRadiusMetres, h, kSunColour, kScattering);
        QCOMPARE(light.pathFactor, 0.0f);
        QCOMPARE(light.transmitted.z, 1.0f);
        QCOMPARE(light.haloExtent, 1.0f);
    }
    const SunLight infinite = computeSunLight(0.5f, kDefaultPlanetRadiusMetres, INFINITY, kSunColour, kScattering);
    QCOMPARE(infinite.pathFactor, 1.0f);
    // A negative radius is the default one.
    const SunLight a = computeSunLight(0.3f, -1.0f, 100000.0f, kSunColour, kScattering);
    const SunLight b = computeSunLight(0.3f, kDefaultPlanetRadiusMetres, 100000.0f, kSunColour, kScattering);
    QCOMPARE(a.pathFactor, b.pathFactor);
}

QTEST_APPLESS_MAIN(WorldMathsTest)
#include "WorldMathsTest.moc"
