#include "World.h"

#include <cmath>

ClockTime carryHours(std::uint32_t day, float candidateHour, float hoursPerDay, std::uint32_t daysPerYear)
{
    ClockTime result{day, candidateHour};
    if (!(hoursPerDay > 0.0f) || !std::isfinite(hoursPerDay) || daysPerYear == 0)
        return result;

    // Negative hours stay as they are (an hour angle below -180); NaN and infinity have no
    // whole days to carry.
    float h = candidateHour;
    std::uint64_t daysCarried = 0;
    if (std::isfinite(h) && h >= hoursPerDay) {
        // One step carries any number of whole days: q = trunc(h / hoursPerDay), h -= q * hoursPerDay,
        // all in single precision.
        const float q = std::trunc(h / hoursPerDay);
        float rest = h - q * hoursPerDay;
        double wholeDays = double(q);
        if (!(rest >= 0.0f && rest < hoursPerDay)) {
            // The single-precision quotient was rounded up to the next whole day (h just below a
            // day boundary, possible with day lengths such as 25 or 0.1), or q * hoursPerDay is no
            // longer exact (huge hours): the exact remainder keeps the hour inside the day.
            rest = std::fmod(h, hoursPerDay);
            wholeDays = std::floor((double(h) - double(rest)) / double(hoursPerDay) + 0.5);
        }
        h = rest;
        // Only the days modulo the year matter; taking them first keeps the sum from wrapping
        // the unsigned day counter for huge hours.
        daysCarried = std::uint64_t(std::fmod(wholeDays, double(daysPerYear)));
    }
    std::uint64_t d = std::uint64_t(day) + daysCarried;
    if (d >= daysPerYear)
        d %= daysPerYear;
    result.day = std::uint32_t(d);
    result.hour = h;
    return result;
}

double designedSunHeight(std::uint32_t day, double hour, double axialTiltDegrees, double latitudeDegrees,
                         std::uint32_t daysPerYear, double hoursPerDay)
{
    constexpr double toRadians = 0.017453292519943295;
    // The innermost rotation first: (0, 1, 0) about z by the latitude ...
    const double lat = latitudeDegrees * toRadians;
    double x = -std::sin(lat);
    double y = std::cos(lat);
    double z = 0.0;
    // ... about -x by the hour angle - 180 (a turn by a about -x is one by -a about x) ...
    const double hourAngle = -(hour * 360.0 / hoursPerDay - 180.0) * toRadians;
    double y1 = y * std::cos(hourAngle) - z * std::sin(hourAngle);
    double z1 = y * std::sin(hourAngle) + z * std::cos(hourAngle);
    y = y1;
    z = z1;
    // ... about z by the tilt ...
    const double tilt = axialTiltDegrees * toRadians;
    const double x1 = x * std::cos(tilt) - y * std::sin(tilt);
    y1 = x * std::sin(tilt) + y * std::cos(tilt);
    x = x1;
    y = y1;
    // ... and about x by the day of the year.
    const double dayAngle = double(day) * 360.0 / double(daysPerYear) * toRadians;
    y1 = y * std::cos(dayAngle) - z * std::sin(dayAngle);
    (void)x;
    return y1;
}

void TWorld::setHour(float hours)
{
    if (hoursPerDay == 0.0f)
        hoursPerDay = kDefaultHoursPerDay;
    if (daysPerYear == 0)
        daysPerYear = kDefaultDaysPerYear;
    const ClockTime t = carryHours(day, hours, hoursPerDay, daysPerYear);
    day = t.day;
    hour = t.hour;
    updateSunMatrix();
}

void TWorld::advance(float hours)
{
    if (hoursPerDay == 0.0f)
        hoursPerDay = kDefaultHoursPerDay;
    if (daysPerYear == 0)
        daysPerYear = kDefaultDaysPerYear;
    // The sum is stored in single precision before the carry.
    hour = hour + hours;
    const ClockTime t = carryHours(day, hour, hoursPerDay, daysPerYear);
    if (realSun && t.day < day) {
        // Past the calendar year's last day: day 0 of the next year, whose length may differ.
        ++calendarYear;
        daysPerYear = daysInYear(calendarYear);
    }
    day = t.day;
    hour = t.hour;
    updateSunMatrix();
}

void TWorld::goBack(float hours)
{
    if (hoursPerDay == 0.0f)
        hoursPerDay = kDefaultHoursPerDay;
    if (daysPerYear == 0)
        daysPerYear = kDefaultDaysPerYear;
    const float earlier = hour - hours;
    if (earlier >= 0.0f) {
        setHour(earlier);
        return;
    }
    // Across midnight: the day before, at the hour as far before its end. Where that rounds
    // up to a whole day in single precision, setHour carries it back to hour 0 of this day.
    if (realSun && day == 0) {
        --calendarYear;
        daysPerYear = daysInYear(calendarYear);
    }
    day = day == 0 ? daysPerYear - 1 : day - 1;
    setHour(earlier + hoursPerDay);
}

CalendarDate TWorld::calendarDate() const
{
    return dateFromDayOfYear(calendarYear, day);
}

void TWorld::updateSunMatrix()
{
    if (realSun) {
        sunMatrixFromPosition(sunPosition(calendarDate(), double(hour), double(utcOffsetHours), double(latitude),
                                          double(longitude)),
                              sunMatrix);
        return;
    }
    // Called directly on a world whose clock was never used, the counts are still 0: their
    // defaults stand in, so the angles are never divided by zero.
    const double days = double(daysPerYear != 0 ? daysPerYear : kDefaultDaysPerYear);
    const double hours = double(hoursPerDay != 0.0f ? hoursPerDay : kDefaultHoursPerDay);

    // The matrix is composed on GL's modelview stack. The push comes before the mode is
    // selected, so the caller must already be in GL_MODELVIEW (the GL view's resting mode).
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Each rotation multiplies from the right, so a vector is turned by the latitude first,
    // then by the hour angle (0 at noon, -180 at midnight, about -x), the axial tilt, and
    // last by the day of the year, which turns the whole sky about x in whole-day steps.
    glRotatef(float(double(day) * 360.0 / days), 1.0f, 0.0f, 0.0f);
    glRotatef(axialTilt, 0.0f, 0.0f, 1.0f);
    glRotatef(float(double(hour) * 360.0 / hours - 180.0), -1.0f, 0.0f, 0.0f);
    glRotatef(latitude, 0.0f, 0.0f, 1.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, sunMatrix);
    glPopMatrix();
}
