#include "StarField.h"

#include "MathConstants.h"

#include <algorithm>
#include <cmath>

namespace {

double wrapDegrees(double angle)
{
    angle = std::fmod(angle, 360.0);
    return angle < 0.0 ? angle + 360.0 : angle;
}

// Planck's law up to a constant factor: spectral radiance at a wavelength (nanometres) of a
// black body at a temperature (kelvin).
double planck(double wavelengthNanometres, double kelvin)
{
    const double metres = wavelengthNanometres * 1e-9;
    const double secondRadiation = 1.4387769e-2; // hc/k, metre kelvin
    return 1.0 / (std::pow(metres, 5.0) * (std::exp(secondRadiation / (metres * kelvin)) - 1.0));
}

} // namespace

double julianDayFromCalendar(int year, int month, int day, double hoursUt)
{
    // Meeus eq. 7.1, Gregorian calendar.
    if (month <= 2) {
        year -= 1;
        month += 12;
    }
    const int a = year / 100;
    const int b = 2 - a + a / 4;
    return std::floor(365.25 * (year + 4716)) + std::floor(30.6001 * (month + 1)) + day + b - 1524.5 + hoursUt / 24.0;
}

double greenwichMeanSiderealDegrees(double julianDayUt)
{
    // Meeus eq. 12.4: valid at any instant, not only at 0h UT.
    const double days = julianDayUt - 2451545.0;
    const double t = days / 36525.0;
    return wrapDegrees(280.46061837 + 360.98564736629 * days + 0.000387933 * t * t - t * t * t / 38710000.0);
}

HorizontalPosition equatorialToHorizontal(double rightAscensionDegrees, double declinationDegrees, double julianDayUt,
                                          double latitudeDegrees, double longitudeEastDegrees)
{
    const double hourAngle = (greenwichMeanSiderealDegrees(julianDayUt) + longitudeEastDegrees -
                              rightAscensionDegrees) *
                             kDegreesToRadians;
    const double dec = declinationDegrees * kDegreesToRadians;
    const double lat = latitudeDegrees * kDegreesToRadians;
    // Meeus eq. 13.6 (altitude) and 13.5 (azimuth from the south towards the west), the latter
    // multiplied through by cos(dec) so that the pole needs no tangent.
    const double sinAltitude = std::sin(lat) * std::sin(dec) + std::cos(lat) * std::cos(dec) * std::cos(hourAngle);
    const double fromSouth = std::atan2(std::sin(hourAngle) * std::cos(dec),
                                        std::cos(hourAngle) * std::sin(lat) * std::cos(dec) -
                                            std::sin(dec) * std::cos(lat));
    HorizontalPosition position;
    position.altitudeDegrees = std::asin(std::clamp(sinAltitude, -1.0, 1.0)) * kRadiansToDegrees;
    position.azimuthDegrees = wrapDegrees(fromSouth * kRadiansToDegrees + 180.0);
    return position;
}

Vec3d worldDirection(const HorizontalPosition& position)
{
    const double altitude = position.altitudeDegrees * kDegreesToRadians;
    const double azimuth = position.azimuthDegrees * kDegreesToRadians;
    return {std::cos(altitude) * std::cos(azimuth), std::sin(altitude), std::cos(altitude) * std::sin(azimuth)};
}

Vec3d equatorialVector(double rightAscensionDegrees, double declinationDegrees)
{
    const double ra = rightAscensionDegrees * kDegreesToRadians;
    const double dec = declinationDegrees * kDegreesToRadians;
    return {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
}

void equatorialToWorldMatrix(double julianDayUt, double latitudeDegrees, double longitudeEastDegrees, float matrix[16])
{
    // The columns are the images of E's axes: (RA 0, dec 0), (RA 90, dec 0) and the pole.
    const double axes[3][2] = {{0.0, 0.0}, {90.0, 0.0}, {0.0, 90.0}};
    for (int c = 0; c < 3; ++c) {
        const Vec3d v = worldDirection(
            equatorialToHorizontal(axes[c][0], axes[c][1], julianDayUt, latitudeDegrees, longitudeEastDegrees));
        matrix[4 * c + 0] = float(v.x);
        matrix[4 * c + 1] = float(v.y);
        matrix[4 * c + 2] = float(v.z);
        matrix[4 * c + 3] = 0.0f;
    }
    matrix[12] = matrix[13] = matrix[14] = 0.0f;
    matrix[15] = 1.0f;
}

void designedSkyMatrix(double sunRightAscensionDegrees, float matrix[16])
{
    // F = (e.z, cos a e.x + sin a e.y, -sin a e.x + cos a e.y) for a star vector e of E: the pole
    // on x and the sun's hour circle in the xy plane, right ascension growing towards +z, the
    // way the hour rotation about -x carries a later star behind the sun.
    const double a = sunRightAscensionDegrees * kDegreesToRadians;
    const float c = float(std::cos(a));
    const float s = float(std::sin(a));
    const float m[16] = {0.0f, c, -s, 0.0f, 0.0f, s, c, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    std::copy(std::begin(m), std::end(m), matrix);
}

double sunRightAscensionOnDay(double dayOfYear)
{
    // Meeus ch. 25 (low accuracy) for the year 2000: day 0 is 1 January, 0h, JD 2451544.5.
    const double n = dayOfYear - 0.5;
    const double meanLongitude = 280.46646 + 0.98564736 * n;
    const double meanAnomaly = (357.52911 + 0.98560028 * n) * kDegreesToRadians;
    const double longitude = (meanLongitude + 1.914602 * std::sin(meanAnomaly) +
                              0.019993 * std::sin(2.0 * meanAnomaly)) *
                             kDegreesToRadians;
    const double obliquity = 23.439291 * kDegreesToRadians;
    return wrapDegrees(std::atan2(std::cos(obliquity) * std::sin(longitude), std::cos(longitude)) * kRadiansToDegrees);
}

Vec3d starColour(double colourIndex)
{
    // Ballesteros 2012, "New insights into black bodies", eq. 14.
    const double bv = std::clamp(colourIndex, -0.4, 2.0);
    const double kelvin = 4600.0 * (1.0 / (0.92 * bv + 1.7) + 1.0 / (0.92 * bv + 0.62));
    // The black body's radiance at the primaries' dominant wavelengths relative to that of a
    // 6504 K white, so that a star of the white point's temperature comes out white.
    const double wavelengths[3] = {610.0, 550.0, 465.0};
    double rgb[3];
    for (int i = 0; i < 3; ++i)
        rgb[i] = planck(wavelengths[i], kelvin) / planck(wavelengths[i], 6504.0);
    const double largest = std::max({rgb[0], rgb[1], rgb[2]});
    return {rgb[0] / largest, rgb[1] / largest, rgb[2] / largest};
}

void StarField::build()
{
    if (!batches_.empty())
        return;
    // Three point sizes: brighter than 1.0, 1.0 to 2.5, fainter. Within a size, the brightness
    // follows the square root of the flux relative to a first-magnitude star (the display's
    // eight bits cannot hold the catalogue's hundredfold range), no dimmer than 0.45.
    const float sizes[3] = {3.0f, 2.0f, 1.0f};
    batches_.resize(3);
    for (int i = 0; i < 3; ++i)
        batches_[std::size_t(i)].pointSize = sizes[i];
    for (const CatalogueStar& star : brightStars()) {
        const int size = star.magnitude < 1.0f ? 0 : (star.magnitude < 2.5f ? 1 : 2);
        Batch& batch = batches_[std::size_t(size)];
        const Vec3d v = equatorialVector(star.rightAscensionHours * 15.0, star.declinationDegrees);
        const double flux = std::pow(10.0, -0.4 * (double(star.magnitude) - 1.0));
        const double brightness = std::clamp(std::sqrt(flux), 0.45, 1.0);
        const Vec3d colour = starColour(star.colourIndex);
        batch.positions.insert(batch.positions.end(), {float(v.x), float(v.y), float(v.z)});
        batch.colours.insert(batch.colours.end(), {float(colour.x * brightness), float(colour.y * brightness),
                                                   float(colour.z * brightness)});
    }
}

std::size_t StarField::starCount() const
{
    std::size_t count = 0;
    for (const Batch& batch : batches_)
        count += batch.positions.size() / 3;
    return count;
}
