#pragma once

#include "Vec3.h"

#include <vector>

// A star of the bright-star table (BrightStarTable.cpp): J2000 equatorial position, visual
// magnitude and B-V colour index.
struct CatalogueStar {
    float rightAscensionHours = 0.0f; // 0 .. 24
    float declinationDegrees = 0.0f;  // -90 .. 90
    float magnitude = 0.0f;           // V; -1.46 (Sirius) .. 5
    float colourIndex = 0.0f;         // B-V; about -0.3 (blue) .. 2 (red)
};

// The stars of the Yale Bright Star Catalogue down to magnitude 5, brightest first.
const std::vector<CatalogueStar>& brightStars();

// ---- Time and coordinates (Meeus, "Astronomical Algorithms", 2nd ed.) ----

// Julian day of a Gregorian calendar date and a UT hour of that day (Meeus ch. 7).
double julianDayFromCalendar(int year, int month, int day, double hoursUt);
// Greenwich mean sidereal time in degrees, 0 .. 360, at a Julian day (UT) (Meeus eq. 12.4).
double greenwichMeanSiderealDegrees(double julianDayUt);

// A direction in the local horizontal frame: altitude above the horizon and azimuth measured
// from north through east, both in degrees.
struct HorizontalPosition {
    double altitudeDegrees = 0.0;
    double azimuthDegrees = 0.0;
};
// Equatorial (right ascension, declination, degrees) to horizontal at a place (latitude north,
// longitude east, degrees) and a Julian day (UT): hour angle H = GMST + longitude - RA, then
// Meeus eq. 13.5 and 13.6 with the azimuth turned to count from north.
HorizontalPosition equatorialToHorizontal(double rightAscensionDegrees, double declinationDegrees, double julianDayUt,
                                          double latitudeDegrees, double longitudeEastDegrees);
// A horizontal direction in the world frame: +x north, +z east, y up (unit vector).
Vec3d worldDirection(const HorizontalPosition& position);

// Star vectors are kept in the equatorial frame E: x towards right ascension 0 on the equator,
// y towards 6 hours, z towards the north celestial pole; equatorialVector gives a star's.
Vec3d equatorialVector(double rightAscensionDegrees, double declinationDegrees);

// The real sky: the rotation (column-major 4 x 4 for GL) that takes E into the world frame at a
// place and Julian day (UT), the sidereal turn and the latitude of equatorialToHorizontal.
void equatorialToWorldMatrix(double julianDayUt, double latitudeDegrees, double longitudeEastDegrees, float matrix[16]);

// The designed clock's sky: the rotation (column-major 4 x 4) that takes E into the frame of the
// sun matrix with its latitude rotation taken off (sunMatrix * Rz(-latitude)), whose x axis is
// the pole the hours turn about. There the sun lies at (-sin latitude, cos latitude, 0): at
// declination -latitude, right ascension sunRightAscensionDegrees. Drawn through
// sunMatrix * Rz(-latitude) * this, the stars keep their places about the sun through the day.
void designedSkyMatrix(double sunRightAscensionDegrees, float matrix[16]);

// The sun's right ascension (degrees) on a day of a 365-day year counted from 1 January, from
// its mean longitude (Meeus ch. 25, low precision): where the designed clock puts the sun among
// the stars.
double sunRightAscensionOnDay(double dayOfYear);

// Linear RGB (largest channel 1) of a star of colour index B-V: the temperature by Ballesteros'
// formula (2012), T = 4600 (1 / (0.92 BV + 1.7) + 1 / (0.92 BV + 0.62)), then a black body's
// radiance at 610, 550 and 465 nm relative to that of a 6504 K white.
Vec3d starColour(double colourIndex);

// The stars as GL point arrays, one per point size, built once from the table.
class StarField {
public:
    // Points of one size: xyz unit vectors in the equatorial frame E and RGB brightness (the
    // star's colour scaled by its flux within the display's range).
    struct Batch {
        float pointSize = 1.0f;
        std::vector<float> positions;
        std::vector<float> colours;
    };
    // Fills the batches from brightStars() on first use; later calls keep them.
    void build();
    const std::vector<Batch>& batches() const { return batches_; }
    std::size_t starCount() const;

private:
    std::vector<Batch> batches_;
};
