#include "SolarPosition.h"

#include "MathConstants.h"

#include <cmath>

namespace {

constexpr double kSunriseZenithDegrees = 90.833; // 0.567 refraction + 0.266 semi-diameter

double sinDeg(double a)
{
    return std::sin(a * kDegreesToRadians);
}
double cosDeg(double a)
{
    return std::cos(a * kDegreesToRadians);
}

double wrapDegrees(double a)
{
    a = std::fmod(a, 360.0);
    return a < 0.0 ? a + 360.0 : a;
}

// The sun's declination (degrees) and equation of time (minutes) at Julian day jd.
struct SolarCoordinates {
    double declinationDegrees;
    double equationOfTimeMinutes;
};

SolarCoordinates solarCoordinates(double jd)
{
    // Julian centuries from J2000.0.
    const double t = (jd - 2451545.0) / 36525.0;
    // Geometric mean longitude and mean anomaly of the sun (Meeus 25.2, 25.3).
    const double meanLongitude = wrapDegrees(280.46646 + t * (36000.76983 + t * 0.0003032));
    const double meanAnomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t); // 25.4
    // Equation of the centre, true and apparent longitude (25.5 ff.).
    const double centre = sinDeg(meanAnomaly) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          sinDeg(2.0 * meanAnomaly) * (0.019993 - 0.000101 * t) + sinDeg(3.0 * meanAnomaly) * 0.000289;
    const double trueLongitude = meanLongitude + centre;
    const double omega = 125.04 - 1934.136 * t;
    const double apparentLongitude = trueLongitude - 0.00569 - 0.00478 * sinDeg(omega);
    // Mean obliquity of the ecliptic (22.2) corrected for nutation (25.8).
    const double meanObliquity = 23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = meanObliquity + 0.00256 * cosDeg(omega);
    const double declination = std::asin(sinDeg(obliquity) * sinDeg(apparentLongitude)) * kRadiansToDegrees; // 25.7

    // Equation of time (Meeus 28.3, Smart's series), radians turned into minutes (4 per degree).
    const double y = std::pow(std::tan(obliquity * kDegreesToRadians / 2.0), 2.0);
    const double l0 = meanLongitude * kDegreesToRadians;
    const double m = meanAnomaly * kDegreesToRadians;
    const double e = eccentricity;
    const double eot = y * std::sin(2.0 * l0) - 2.0 * e * std::sin(m) + 4.0 * e * y * std::sin(m) * std::cos(2.0 * l0) -
                       0.5 * y * y * std::sin(4.0 * l0) - 1.25 * e * e * std::sin(2.0 * m);
    return {declination, 4.0 * eot * kRadiansToDegrees};
}

} // namespace

bool isLeapYear(std::int32_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::uint32_t daysInYear(std::int32_t year)
{
    return isLeapYear(year) ? 366u : 365u;
}

namespace {
std::int32_t daysInMonth(std::int32_t year, std::int32_t month)
{
    static const std::int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}
} // namespace

bool isValidDate(const CalendarDate& date)
{
    return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= daysInMonth(date.year, date.month);
}

std::uint32_t dayOfYear(const CalendarDate& date)
{
    std::uint32_t days = 0;
    for (std::int32_t m = 1; m < date.month; ++m)
        days += std::uint32_t(daysInMonth(date.year, m));
    return days + std::uint32_t(date.day - 1);
}

CalendarDate dateFromDayOfYear(std::int32_t year, std::uint32_t dayIndex)
{
    while (dayIndex >= daysInYear(year)) {
        dayIndex -= daysInYear(year);
        ++year;
    }
    CalendarDate date{year, 1, 1};
    while (dayIndex >= std::uint32_t(daysInMonth(year, date.month))) {
        dayIndex -= std::uint32_t(daysInMonth(year, date.month));
        ++date.month;
    }
    date.day = std::int32_t(dayIndex) + 1;
    return date;
}

double julianDay(const CalendarDate& dateUtc, double hoursUtc)
{
    // Meeus 7.1: January and February count as months 13 and 14 of the year before; b is the
    // Gregorian correction.
    std::int32_t y = dateUtc.year;
    std::int32_t m = dateUtc.month;
    if (m <= 2) {
        y -= 1;
        m += 12;
    }
    const double a = std::floor(y / 100.0);
    const double b = 2.0 - a + std::floor(a / 4.0);
    return std::floor(365.25 * (y + 4716)) + std::floor(30.6001 * (m + 1)) + dateUtc.day + b - 1524.5 + hoursUtc / 24.0;
}

double refractionDegrees(double geometricElevationDegrees)
{
    const double h = geometricElevationDegrees;
    if (h < -1.0)
        return 0.0;
    // Saemundsson: R = 1.02 / tan(h + 10.3 / (h + 5.11)) arc minutes, h in degrees.
    return 1.02 / std::tan((h + 10.3 / (h + 5.11)) * kDegreesToRadians) / 60.0;
}

SunPosition sunPosition(const CalendarDate& date, double hoursLocal, double utcOffsetHours, double latitudeDegrees,
                        double longitudeDegrees)
{
    const double hoursUtc = hoursLocal - utcOffsetHours;
    const SolarCoordinates sun = solarCoordinates(julianDay(date, hoursUtc));

    SunPosition p;
    p.declinationDegrees = sun.declinationDegrees;
    p.equationOfTimeMinutes = sun.equationOfTimeMinutes;
    // True solar time in minutes: mean solar time at the longitude (4 minutes per degree east
    // of Greenwich) plus the equation of time; the hour angle turns 1 degree per 4 minutes.
    const double trueSolarMinutes = hoursUtc * 60.0 + sun.equationOfTimeMinutes + 4.0 * longitudeDegrees;
    double hourAngle = std::fmod(trueSolarMinutes / 4.0 - 180.0, 360.0);
    if (hourAngle < -180.0)
        hourAngle += 360.0;
    else if (hourAngle >= 180.0)
        hourAngle -= 360.0;
    p.hourAngleDegrees = hourAngle;

    // Spherical astronomy's horizon transform (Meeus 13.5, 13.6), with the azimuth turned from
    // Meeus's "west of south" to east of north.
    const double phi = latitudeDegrees * kDegreesToRadians;
    const double delta = sun.declinationDegrees * kDegreesToRadians;
    const double h = hourAngle * kDegreesToRadians;
    double cosZenith = std::sin(phi) * std::sin(delta) + std::cos(phi) * std::cos(delta) * std::cos(h);
    cosZenith = std::fmax(-1.0, std::fmin(1.0, cosZenith));
    p.zenithDegrees = std::acos(cosZenith) * kRadiansToDegrees;
    const double geometricElevation = 90.0 - p.zenithDegrees;
    p.elevationDegrees = geometricElevation + refractionDegrees(geometricElevation);
    const double east = -std::sin(h) * std::cos(delta);
    const double north = std::sin(delta) * std::cos(phi) - std::cos(delta) * std::sin(phi) * std::cos(h);
    p.azimuthDegreesEastOfNorth = wrapDegrees(std::atan2(east, north) * kRadiansToDegrees);
    return p;
}

SunTimes sunTimes(const CalendarDate& date, double utcOffsetHours, double latitudeDegrees, double longitudeDegrees)
{
    // The sunrise equation, cos H0 = (cos z0 - sin phi sin delta) / (cos phi cos delta), with
    // the declination and equation of time taken at the event itself: two refinements from
    // local noon converge to well under a minute.
    SunTimes times;
    const double phi = latitudeDegrees * kDegreesToRadians;
    const auto eventHours = [&](double sign, double guessHours, bool* never) {
        double hours = guessHours;
        for (int pass = 0; pass < 3; ++pass) {
            const SolarCoordinates sun = solarCoordinates(julianDay(date, hours - utcOffsetHours));
            const double delta = sun.declinationDegrees * kDegreesToRadians;
            const double cosH0 = (std::cos(kSunriseZenithDegrees * kDegreesToRadians) -
                                  std::sin(phi) * std::sin(delta)) /
                                 (std::cos(phi) * std::cos(delta));
            if (cosH0 < -1.0 || cosH0 > 1.0) {
                *never = true;
                return cosH0 < -1.0 ? -1.0 : 1.0; // sign of the failure: -1 polar day, 1 polar night
            }
            const double h0 = std::acos(cosH0) * kRadiansToDegrees;
            // Local solar noon on the clock, in minutes, then the event H0 * 4 minutes away.
            const double noonMinutes = 720.0 - 4.0 * longitudeDegrees - sun.equationOfTimeMinutes +
                                       utcOffsetHours * 60.0;
            hours = (noonMinutes + sign * 4.0 * h0) / 60.0;
        }
        *never = false;
        return hours;
    };
    bool never = false;
    const double rise = eventHours(-1.0, 6.0, &never);
    if (never) {
        times.polarDay = rise < 0.0;
        times.polarNight = rise > 0.0;
        return times;
    }
    const double set = eventHours(1.0, 18.0, &never);
    times.sunriseHours = std::fmod(rise + 24.0, 24.0);
    times.sunsetHours = never ? 0.0 : std::fmod(set + 24.0, 24.0);
    return times;
}

void sunMatrixFromPosition(const SunPosition& position, float matrix[16])
{
    const double el = position.elevationDegrees * kDegreesToRadians;
    const double az = position.azimuthDegreesEastOfNorth * kDegreesToRadians;
    // Column 1, the sun: x north, y up, z east.
    const double d[3] = {std::cos(el) * std::cos(az), std::sin(el), std::cos(el) * std::sin(az)};
    // Column 0: column 1 turned by -90 degrees in the sun's vertical plane, so at right angles
    // to it: (sin el cos az, -cos el, sin el sin az).
    const double a[3] = {std::sin(el) * std::cos(az), -std::cos(el), std::sin(el) * std::sin(az)};
    // Column 2 = column 0 x column 1, completing the right-handed basis.
    const double c[3] = {a[1] * d[2] - a[2] * d[1], a[2] * d[0] - a[0] * d[2], a[0] * d[1] - a[1] * d[0]};
    for (int i = 0; i < 16; ++i)
        matrix[i] = 0.0f;
    for (int r = 0; r < 3; ++r) {
        matrix[0 + r] = float(a[r]);
        matrix[4 + r] = float(d[r]);
        matrix[8 + r] = float(c[r]);
    }
    matrix[15] = 1.0f;
}
