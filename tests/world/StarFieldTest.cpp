// The stars: time and coordinates against Meeus' worked examples and Polaris over the north
// point at the latitude's height, the catalogue table, the star colours.

#include "StarField.h"
#include "PhysicalSky.h"
#include "SkyDirections.h"
#include "SolarPosition.h"
#include "World.h"

#include <QtTest>
#include <cmath>

class StarFieldTest : public QObject {
    Q_OBJECT

private slots:
    void realSunStandsAmongTheStars();
    void meeusExamples();
    void polarisStandsOverTheNorthPoint();
    void worldMatrixAgreesWithTheFormulas();
    void catalogueTable();
    void starColours();
};

// With the real sun the stars turn with the clock over the place, and the sun stands among
// them where it is on that date: its right ascension and declination (worked out here by
// Meeus's low-precision solar formulas, ch. 25, good to 0.01 degrees) carried through the
// stars' matrix fall on the direction the clock's sun matrix gives. The sun is taken well up
// (refraction there under 0.02 degrees); 0.1 degrees leaves room for both.
void StarFieldTest::realSunStandsAmongTheStars()
{
    const struct {
        CalendarDate date;
        float hour, utcOffset, latitude, longitude;
    } cases[] = {
        {{2024, 6, 21}, 12.0f, -7.0f, 40.0f, -105.0f},
        {{2003, 10, 17}, 12.5f, -7.0f, 39.74f, -105.18f},
        {{2024, 12, 21}, 10.0f, -3.0f, -7.99f, -34.85f},
    };
    for (const auto& c : cases) {
        TWorld world;
        world.realSun = true;
        world.calendarYear = c.date.year;
        world.daysPerYear = daysInYear(c.date.year);
        world.hoursPerDay = 24.0f;
        world.day = dayOfYear(c.date);
        world.hour = c.hour;
        world.utcOffsetHours = c.utcOffset;
        world.latitude = c.latitude;
        world.longitude = c.longitude;
        world.updateSunMatrix();
        const Vec3d sun{world.sunMatrix[4], world.sunMatrix[5], world.sunMatrix[6]};
        QVERIFY(sun.y > 0.3);

        const double jd = julianDay(c.date, double(c.hour - c.utcOffset));
        const double t = (jd - 2451545.0) / 36525.0;
        const double rad = kTestPi / 180.0;
        const double l0 = 280.46646 + 36000.76983 * t;
        const double m = (357.52911 + 35999.05029 * t) * rad;
        const double centre = (1.914602 - 0.004817 * t) * std::sin(m) + 0.019993 * std::sin(2.0 * m) +
                              0.000289 * std::sin(3.0 * m);
        const double omega = (125.04 - 1934.136 * t) * rad;
        const double lambda = (l0 + centre - 0.00569 - 0.00478 * std::sin(omega)) * rad;
        const double epsilon = (23.439291 - 0.0130042 * t + 0.00256 * std::cos(omega)) * rad;
        const double ra = std::atan2(std::cos(epsilon) * std::sin(lambda), std::cos(lambda)) / rad;
        const double dec = std::asin(std::sin(epsilon) * std::sin(lambda)) / rad;

        PhysicalSky sky;
        float matrix[16];
        sky.starSkyMatrix(world, matrix);
        const double apart = angleBetweenDegrees(timesMatrix(matrix, equatorialVector(ra, dec)), sun);
        QVERIFY2(apart < 0.1,
                 qPrintable(QStringLiteral("%1/%2: %3 degrees apart").arg(c.date.year).arg(c.date.month).arg(apart)));
    }
}

void StarFieldTest::meeusExamples()
{
    // Example 7.b: 2000 January 1.5 is JD 2451545.0.
    QCOMPARE(julianDayFromCalendar(2000, 1, 1, 12.0), 2451545.0);
    // Example 12.b: 1987 April 10, 19h21m00s UT: 8h34m57.0896s.
    const double gmst = (8.0 + 34.0 / 60.0 + 57.0896 / 3600.0) * 15.0;
    const double jd = julianDayFromCalendar(1987, 4, 10, 19.0 + 21.0 / 60.0);
    QVERIFY(std::abs(greenwichMeanSiderealDegrees(jd) - gmst) < 1e-5);
    // Example 13.b: Venus from the US Naval Observatory (38 55'17" N, 77 03'56" W) at that
    // instant, RA 23h09m16.641s, dec -6 43'11.61": altitude 15.1249, azimuth 68.0337 from the
    // south westwards (248.0337 from the north). Meeus used the apparent sidereal time, 0.24 s
    // (0.001 degree) from the mean one used here.
    const HorizontalPosition venus = equatorialToHorizontal((23.0 + 9.0 / 60.0 + 16.641 / 3600.0) * 15.0,
                                                            -(6.0 + 43.0 / 60.0 + 11.61 / 3600.0), jd,
                                                            38.0 + 55.0 / 60.0 + 17.0 / 3600.0,
                                                            -(77.0 + 3.0 / 60.0 + 56.0 / 3600.0));
    QVERIFY2(std::abs(venus.altitudeDegrees - 15.1249) < 0.003, qPrintable(QString::number(venus.altitudeDegrees)));
    QVERIFY2(std::abs(venus.azimuthDegrees - 248.0337) < 0.003, qPrintable(QString::number(venus.azimuthDegrees)));
}

void StarFieldTest::polarisStandsOverTheNorthPoint()
{
    // Polaris (RA 2h31m48.7s, dec +89 15'51", J2000) is 0.74 degrees from the pole: at latitude
    // 40 it stands 40 +- 0.74 degrees up, within asin(sin 0.74 / cos 40) = 0.97 degrees of north,
    // whatever the date and hour: in the world frame, towards +x.
    const double ra = (2.0 + 31.0 / 60.0 + 48.7 / 3600.0) * 15.0;
    const double dec = 89.0 + 15.0 / 60.0 + 51.0 / 3600.0;
    for (const double hour : {0.0, 5.0, 11.5, 17.25, 22.0}) {
        for (const double longitude : {-120.0, 0.0, 13.4}) {
            const HorizontalPosition p = equatorialToHorizontal(ra, dec, julianDayFromCalendar(2026, 12, 9, hour), 40.0,
                                                                longitude);
            QVERIFY(std::abs(p.altitudeDegrees - 40.0) < 0.75);
            const double fromNorth = std::min(p.azimuthDegrees, 360.0 - p.azimuthDegrees);
            QVERIFY2(fromNorth < 0.98, qPrintable(QString::number(p.azimuthDegrees)));
            const Vec3d v = worldDirection(p);
            QVERIFY(angleBetweenDegrees(v, direction(40.0, 0.0)) < 1.0);
        }
    }
}

void StarFieldTest::worldMatrixAgreesWithTheFormulas()
{
    // The matrix the stars are drawn through puts each star where equatorialToHorizontal does.
    float m[16];
    const double jd = julianDayFromCalendar(2026, 6, 21, 21.5);
    equatorialToWorldMatrix(jd, 47.5, 8.5, m);
    for (const CatalogueStar& star : {brightStars()[0], brightStars()[10], brightStars()[500]}) {
        const double ra = star.rightAscensionHours * 15.0;
        const Vec3d drawn = timesMatrix(m, equatorialVector(ra, star.declinationDegrees));
        const Vec3d expected = worldDirection(equatorialToHorizontal(ra, star.declinationDegrees, jd, 47.5, 8.5));
        QVERIFY(angleBetweenDegrees(drawn, expected) < 1e-3);
    }
    // The sun on 1 January 2000, 0h, stood at RA 18h42m54s (280.73 degrees), on 20 March near 0.
    QVERIFY(std::abs(sunRightAscensionOnDay(0.0) - 280.73) < 0.05);
    const double equinox = sunRightAscensionOnDay(79.0);
    QVERIFY(std::min(equinox, 360.0 - equinox) < 1.5);
}

void StarFieldTest::catalogueTable()
{
    const std::vector<CatalogueStar>& stars = brightStars();
    // The Bright Star Catalogue holds about 1,600 stars of magnitude 5 or brighter.
    QVERIFY(stars.size() > 1500 && stars.size() < 1700);
    QCOMPARE(stars.front().magnitude, -1.46f); // Sirius
    QVERIFY(std::abs(stars.front().declinationDegrees + 16.716f) < 0.01f);
    for (std::size_t i = 0; i < stars.size(); ++i) {
        const CatalogueStar& s = stars[i];
        QVERIFY(s.rightAscensionHours >= 0.0f && s.rightAscensionHours < 24.0f);
        QVERIFY(std::abs(s.declinationDegrees) <= 90.0f);
        // B-V runs from about -0.4 (hot O and B stars) to above 2 for the reddest carbon stars.
        QVERIFY(s.magnitude <= 5.0f && s.colourIndex > -0.5f && s.colourIndex < 4.5f);
        if (i > 0)
            QVERIFY(s.magnitude >= stars[i - 1].magnitude);
    }
    StarField field;
    field.build();
    QCOMPARE(field.starCount(), stars.size());
}

void StarFieldTest::starColours()
{
    // Index, star, the channel at 1, a bound under the smallest.
    const struct {
        double colourIndex;
        const char* what;
        int largest;
        double smallestBelow;
    } cases[] = {{-0.3, "B", 2, 0.8}, {0.0, "A (Vega)", 2, 1.01}, {0.65, "G (the Sun)", 0, 1.01}, {1.5, "M", 0, 0.5}};
    for (const auto& c : cases) {
        const Vec3d rgb = starColour(c.colourIndex);
        const double channels[3] = {rgb.x, rgb.y, rgb.z};
        QVERIFY2(qFuzzyCompare(channels[c.largest], 1.0), c.what);
        QVERIFY2(*std::min_element(channels, channels + 3) < c.smallestBelow, c.what);
    }
    // Redder with a larger index.
    QVERIFY(starColour(1.5).z < starColour(0.65).z && starColour(0.65).z < starColour(0.0).z);
}

QTEST_APPLESS_MAIN(StarFieldTest)
#include "StarFieldTest.moc"
