// The real sun against published numbers: NREL's SPA worked example (Reda and Andreas 2004,
// table A4.1), Meeus's Julian days, the noon sun at 2024's solstices and equinoxes; and the
// world's real-sun clock.

#include "SolarPosition.h"
#include "MathConstants.h"
#include "World.h"

#include <QtTest>
#include <cmath>

namespace {

// NOAA's series is good to about 0.01 degrees against SPA's 0.0003 over these years, and its
// equation of time to a few seconds: the tolerances leave room for that and no more.
constexpr double kAngleTolerance = 0.05;
constexpr double kEquationOfTimeToleranceMinutes = 0.2;

} // namespace

class SolarPositionTest : public QObject {
    Q_OBJECT
private slots:
    void julianDaysOfMeeus_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<double>("hours");
        QTest::addColumn<double>("julianDay");
        // Meeus, "Astronomical Algorithms", ch. 7: example 7.a and the table after 7.b.
        QTest::newRow("J2000.0") << 2000 << 1 << 1 << 12.0 << 2451545.0;
        QTest::newRow("Sputnik, 7.a") << 1957 << 10 << 4 << 0.81 * 24.0 << 2436116.31;
        QTest::newRow("1900 Jan 1.0") << 1900 << 1 << 1 << 0.0 << 2415020.5;
    }
    void julianDaysOfMeeus()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(double, hours);
        QFETCH(double, julianDay);
        QVERIFY2(std::fabs(::julianDay(CalendarDate{year, month, day}, hours) - julianDay) < 1e-6,
                 qPrintable(QString::number(::julianDay(CalendarDate{year, month, day}, hours), 'f', 6)));
    }

    void nrelWorkedExampleAndItsSunriseAndSunset()
    {
        // 17 October 2003, 12:30:30 local standard time at UTC-7, Golden, Colorado.
        const SunPosition p = sunPosition(CalendarDate{2003, 10, 17}, 12.0 + 30.0 / 60.0 + 30.0 / 3600.0, -7.0,
                                          39.742476, -105.1786);
        QVERIFY2(std::fabs(p.zenithDegrees - 50.11162) < kAngleTolerance, qPrintable(QString::number(p.zenithDegrees)));
        QVERIFY2(std::fabs(p.azimuthDegreesEastOfNorth - 194.34024) < kAngleTolerance,
                 qPrintable(QString::number(p.azimuthDegreesEastOfNorth)));
        // The paper's geocentric declination and equation of time.
        QVERIFY(std::fabs(p.declinationDegrees - -9.31434) < kAngleTolerance);
        QVERIFY(std::fabs(p.equationOfTimeMinutes - 14.641503) < kEquationOfTimeToleranceMinutes);
        // Refraction lifts the sun: a few hundredths of a degree at 40 degrees up.
        const double lift = p.elevationDegrees - (90.0 - p.zenithDegrees);
        QVERIFY(lift > 0.005 && lift < 0.03);
        // Sunrise 06:12:43, sunset 17:20:19: the sunrise equation's single declination per
        // event puts it within two minutes.
        const SunTimes t = sunTimes(CalendarDate{2003, 10, 17}, -7.0, 39.742476, -105.1786);
        QVERIFY(!t.polarDay && !t.polarNight);
        QVERIFY2(std::fabs(t.sunriseHours - (6.0 + 12.0 / 60.0 + 43.0 / 3600.0)) < 2.0 / 60.0,
                 qPrintable(QString::number(t.sunriseHours)));
        QVERIFY2(std::fabs(t.sunsetHours - (17.0 + 20.0 / 60.0 + 19.0 / 3600.0)) < 2.0 / 60.0,
                 qPrintable(QString::number(t.sunsetHours)));
    }

    void noonAtSolsticesAndEquinoxes_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<double>("hoursUtc");
        QTest::addColumn<double>("declination");
        // The instants of 2024's solstices and equinoxes (US Naval Observatory): the sun's
        // declination is then 0 or the obliquity, 23.4393 degrees.
        QTest::newRow("March equinox") << 3 << 20 << 3.1 << 0.0;
        QTest::newRow("June solstice") << 6 << 20 << 20.85 << 23.4393;
        QTest::newRow("September equinox") << 9 << 22 << 12.73 << 0.0;
        QTest::newRow("December solstice") << 12 << 21 << 9.33 << -23.4393;
    }
    void noonAtSolsticesAndEquinoxes()
    {
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(double, hoursUtc);
        QFETCH(double, declination);
        const CalendarDate date{2024, month, day};
        const SunPosition atInstant = sunPosition(date, hoursUtc, 0.0, 0.0, 0.0);
        QVERIFY2(std::fabs(atInstant.declinationDegrees - declination) < 0.02,
                 qPrintable(QString::number(atInstant.declinationDegrees)));
        // At local solar noon (hour angle 0) the sun stands |latitude - declination| from the
        // zenith, due south of a place north of it and due north of one south of it. The
        // longitude is chosen so that noon falls at the instant itself.
        for (const double latitude : {0.0, 40.0, -30.0, 60.0, 66.0}) {
            const double longitude = (12.0 - hoursUtc - atInstant.equationOfTimeMinutes / 60.0) * 15.0;
            const SunPosition noon = sunPosition(date, hoursUtc, 0.0, latitude, longitude);
            QVERIFY(std::fabs(noon.hourAngleDegrees) < 0.01);
            QVERIFY2(std::fabs(noon.zenithDegrees - std::fabs(latitude - declination)) < kAngleTolerance,
                     qPrintable(QStringLiteral("latitude %1: zenith %2").arg(latitude).arg(noon.zenithDegrees)));
            if (std::fabs(latitude - declination) > 1.0)
                QCOMPARE(std::lround(noon.azimuthDegreesEastOfNorth) % 360, latitude > declination ? 180 : 0);
        }
    }

    void polarDayAndNight()
    {
        // 80 north: the sun never sets at the June solstice and never rises at December's.
        QVERIFY(sunTimes(CalendarDate{2024, 6, 21}, 0.0, 80.0, 0.0).polarDay);
        QVERIFY(sunTimes(CalendarDate{2024, 12, 21}, 0.0, 80.0, 0.0).polarNight);
        // The equator at an equinox: about 12 hours of day, sunrise near 06:00 solar time.
        const SunTimes equator = sunTimes(CalendarDate{2024, 3, 20}, 0.0, 0.0, 0.0);
        QVERIFY(std::fabs(equator.sunsetHours - equator.sunriseHours - 12.1) < 0.1);
    }

    void realSunClockMatchesThePosition()
    {
        // The world's real-sun clock composes its matrix without GL: column 1 must be the sun's
        // direction with x north, y up, z east, and the matrix a rotation.
        TWorld world;
        world.realSun = true;
        world.calendarYear = 2003;
        world.daysPerYear = daysInYear(2003);
        world.day = dayOfYear(CalendarDate{2003, 10, 17});
        world.latitude = 39.742476f;
        world.longitude = -105.1786f;
        world.utcOffsetHours = -7.0f;
        world.setHour(12.5f);
        const SunPosition p = sunPosition(CalendarDate{2003, 10, 17}, 12.5, -7.0, 39.742476, -105.1786);
        const double el = p.elevationDegrees * kDegreesToRadians;
        const double az = p.azimuthDegreesEastOfNorth * kDegreesToRadians;
        const float* m = world.sunMatrix;
        QVERIFY(std::fabs(m[4] - std::cos(el) * std::cos(az)) < 1e-4); // north: negative, the sun is south
        QVERIFY(std::fabs(m[5] - std::sin(el)) < 1e-4);
        QVERIFY(std::fabs(m[6] - std::cos(el) * std::sin(az)) < 1e-4); // east: negative, a little west
        QVERIFY(m[4] < 0.0f && m[6] < 0.0f);
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) {
                double dot = 0.0;
                for (int r = 0; r < 3; ++r)
                    dot += double(m[4 * a + r]) * double(m[4 * b + r]);
                QVERIFY(std::fabs(dot - (a == b ? 1.0 : 0.0)) < 1e-5);
            }
        // The right-handed basis: column 0 x column 1 = column 2.
        QVERIFY(std::fabs(m[1] * m[6] - m[2] * m[5] - m[8]) < 1e-5);
    }

    void realSunClockCarriesTheCalendar()
    {
        TWorld world;
        world.realSun = true;
        world.calendarYear = 2023;
        world.daysPerYear = daysInYear(2023);
        world.day = 364; // 31 December
        world.setHour(23.5f);
        world.advance(1.0f);
        QCOMPARE(world.calendarYear, 2024);
        QCOMPARE(world.day, 0u);
        QCOMPARE(world.daysPerYear, 366u);
        QCOMPARE(world.calendarDate().month, 1);
        world.goBack(1.0f);
        QCOMPARE(world.calendarYear, 2023);
        QCOMPARE(world.day, 364u);
        QCOMPARE(world.calendarDate().day, 31);
        // 29 February of a leap year exists, and its next day is 1 March.
        world.calendarYear = 2024;
        world.daysPerYear = 366;
        world.day = dayOfYear(CalendarDate{2024, 2, 29});
        QCOMPARE(world.calendarDate().day, 29);
        world.advance(24.0f);
        QCOMPARE(world.calendarDate().month, 3);
        QCOMPARE(world.calendarDate().day, 1);
    }
};

QTEST_APPLESS_MAIN(SolarPositionTest)
#include "SolarPositionTest.moc"
