#pragma once

#include <cstdint>

// The sun's real position over a place on Earth at a calendar date and time: pure maths, no
// GL. The method is NOAA's solar calculator (after Meeus, "Astronomical Algorithms", 2nd ed.,
// ch. 25 "Solar coordinates" and ch. 28 "Equation of time", low-accuracy series), good to
// about 0.01 degrees between the years 1800 and 2100.

// A civil date in the proleptic Gregorian calendar.
struct CalendarDate {
    std::int32_t year = 2000;
    std::int32_t month = 1; // 1..12
    std::int32_t day = 1;   // 1..31
};

// Whether year has 366 days (Gregorian rule).
bool isLeapYear(std::int32_t year);
// Days in the year: 365 or 366.
std::uint32_t daysInYear(std::int32_t year);
// Whether the date exists (month 1..12, day within the month).
bool isValidDate(const CalendarDate& date);
// Day of the year, 0 for 1 January.
std::uint32_t dayOfYear(const CalendarDate& date);
// The date of day-of-year dayIndex (0 = 1 January; wraps past the year's end into the next years).
CalendarDate dateFromDayOfYear(std::int32_t year, std::uint32_t dayIndex);

// Julian day of a UTC instant: the date and the hours since 0 h UTC that day (any real number;
// hours beyond 24 run into the following days). Meeus ch. 7: JD 2451545.0 is 2000-01-01 12 h UTC.
double julianDay(const CalendarDate& dateUtc, double hoursUtc);

// Where the sun stands, seen from latitudeDegrees (north positive, -90..90) and
// longitudeDegrees (east positive, -180..180).
struct SunPosition {
    double declinationDegrees = 0.0;      // -23.44..23.44
    double equationOfTimeMinutes = 0.0;   // true minus mean solar time, about -14..16.5
    double hourAngleDegrees = 0.0;        // -180..180, 0 at local solar noon, positive afternoon
    double zenithDegrees = 0.0;           // 0..180, geometric (no refraction)
    double elevationDegrees = 0.0;        // 90 - zenith, corrected for standard refraction
    double azimuthDegreesEastOfNorth = 0; // 0..360: 90 east, 180 south
};

// The sun at a local clock time: date and hoursLocal (0..24) on a clock utcOffsetHours ahead of
// UTC (-7 for Mountain Standard Time).
SunPosition sunPosition(const CalendarDate& date, double hoursLocal, double utcOffsetHours, double latitudeDegrees,
                        double longitudeDegrees);

// Atmospheric refraction in degrees at a geometric elevation (degrees), for
// 1010 hPa and 10 degrees C (Saemundsson's formula, Meeus eq. 16.4), 0 below -1 degree.
double refractionDegrees(double geometricElevationDegrees);

// Sunrise and sunset on the local clock (hours, 0..24), where the sun's upper limb touches the
// horizon through standard refraction (zenith 90.833 degrees). `polarDay` / `polarNight` when the
// sun does not cross it that day; the hours are then 0.
struct SunTimes {
    double sunriseHours = 0.0;
    double sunsetHours = 0.0;
    bool polarDay = false;
    bool polarNight = false;
};
SunTimes sunTimes(const CalendarDate& date, double utcOffsetHours, double latitudeDegrees, double longitudeDegrees);

// The sun's direction in the viewer's world axes (x north, y up, z east) as a unit vector from
// its elevation and azimuth, written into the column-major rotation matrix the sky draws with:
// column 1 is the direction, columns 0 and 2 complete a right-handed orthonormal basis.
void sunMatrixFromPosition(const SunPosition& position, float matrix[16]);
