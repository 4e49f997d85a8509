#pragma once

#include "SolarPosition.h"
#include "Vec3.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdint>

// Defaults that replace a setting of 0 ("not set") on first use.
constexpr std::uint32_t kDefaultDaysPerYear = 365;
constexpr float kDefaultHoursPerDay = 24.0f;
constexpr float kDefaultPlanetRadiusMetres = 6371000.0f;
constexpr float kDefaultAtmosphereHeightMetres = 100000.0f;
constexpr float kDefaultSunAngleDegrees = 0.5358f;
constexpr float kDefaultHaloAngleDegrees = 22.0f;

// Size of the optical-depth table that computeOpticalDepth fills (one half of the texture: the
// zenith at entry 0, the horizon at entry 511) and of the mirrored texture.
constexpr int kOpticalDepthEntries = 512;
constexpr int kOpticalDepthTexels = 1024;
// Texels of the 1D halo ramp and points of the sun fan.
constexpr int kHaloRampTexels = 256;
constexpr int kSunFanPoints = 32;

// A table of unit-circle points for the sun disc and halo. Owns its point arrays; non-copyable.
class TLighterFan {
public:
    float** points = nullptr; // `count` pointers, each to two floats (first, second coordinate)
    std::int32_t count = 0;

    TLighterFan() = default;
    ~TLighterFan();
    TLighterFan(const TLighterFan&) = delete;
    TLighterFan& operator=(const TLighterFan&) = delete;

    // Fills the fan with n points (sin(i * 2pi/n), cos(i * 2pi/n)): point 0 is (0, 1) and point
    // n/4 is (1, 0). Points of an earlier build are released first; n <= 0 leaves it empty.
    void build(int n);
    // Draws the opaque disc of radius a and the 1D-textured ring from a to b, on a cone of the
    // given angle (degrees), coloured `colour` with alpha 1; the ring's texture coordinate runs
    // from t0 (inner edge) to t1 (outer edge). Leaves GL_TEXTURE_1D disabled with `texture`
    // bound to it and GL_TEXTURE_2D enabled. An empty fan draws nothing but still sets these.
    void draw(double a, double b, double angleDegrees, GLuint texture, float t0, float t1, const float3& colour) const;

private:
    void release();
};

struct SunLight;

// The world record: the solar clock, the atmosphere settings, the sky's GL resources and the
// sun matrix. A setting of 0 means "not set" and is replaced by its default on first use.
// Owns its quadric, both textures and the fan; non-copyable.
class TWorld {
public:
    // Solar clock.
    std::uint32_t daysPerYear = 0; // 0 -> 365
    std::uint32_t day = 0;         // 0 <= day < daysPerYear after every clock operation
    float hoursPerDay = 0.0f;      // 0 -> 24
    float hour = 0.0f;             // hour of the day
    float axialTilt = 0.0f;        // degrees
    float latitude = 0.0f;         // degrees
    // The real sun over a place (SolarPosition.h). When set, `day` is the day of calendarYear
    // (0 = 1 January, daysPerYear its 365 or 366 days) and `hour` the time on a clock
    // utcOffsetHours ahead of UTC; updateSunMatrix then puts the sun where it stands over
    // latitude and longitude, without a GL call, and a carry past the year's last day starts
    // the next year. Clear (the default): the designed clock below, unchanged.
    bool realSun = false;
    std::int32_t calendarYear = 2000;
    float longitude = 0.0f;      // degrees, east positive
    float utcOffsetHours = 0.0f; // -14..14
    // Atmosphere.
    float planetRadius = 0.0f;     // metres; 0, negative or NaN -> 6371000
    float atmosphereHeight = 0.0f; // metres; 0 -> 100000
    float sunAngle = 0.0f;         // degrees, angular diameter of the sun disc; 0 -> 0.5358
    float haloAngle = 0.0f;        // degrees, angular diameter of the halo; 0 -> 22
    float3 sunColour;              // sunlight outside the atmosphere, R, G, B
    float3 scattering;             // per-channel scattering strength, 0..1
    GLUquadric* skyQuadric = nullptr;
    GLuint opticalDepthTexture = 0; // 1 x 1024 GL_ALPHA texture
    TLighterFan sunFan;
    GLuint haloTexture = 0;   // 256-texel 1D GL_ALPHA ramp
    float sunMatrix[16] = {}; // column-major; column 1 is the sun direction, y up

    TWorld();
    ~TWorld();
    TWorld(const TWorld&) = delete;
    TWorld& operator=(const TWorld&) = delete;

    // Clock (GL context current, GL_MODELVIEW selected; the caller's modelview matrix and the
    // matrix mode are kept). setHour and advance first replace a zero hoursPerDay / daysPerYear
    // by 24 / 365, carry whole days (carryHours), then update the sun matrix.
    void setHour(float hours);
    void advance(float hours);
    // The clock back by hours (0 up to hoursPerDay), as advance goes forward: below hour 0 the
    // hour wraps into the day before (day 0 wraps to the year's last day), then the sun matrix
    // follows. advance with a negative value would leave a negative hour instead.
    void goBack(float hours);
    // sunMatrix = Rx(day angle) * Rz(axialTilt) * R(-x)(hour angle - 180) * Rz(latitude);
    // with realSun, the rotation taking y to the real sun's direction (sunMatrixFromPosition).
    void updateSunMatrix();
    // The calendar date the clock shows with realSun.
    CalendarDate calendarDate() const;

    // Atmosphere tables (GL context current, except computeOpticalDepth).
    // Replaces zero settings by their defaults (a negative or NaN planetRadius too, which the
    // maths cannot use; every other non-zero value is kept), then builds both textures.
    void init();
    // Creates the sky quadric and the 1 x 1024 optical-depth texture anew, deleting those of an
    // earlier build. Leaves the texture bound to GL_TEXTURE_2D.
    void buildOpticalDepthTexture();
    // Fills table[0..511] with the optical depth normalised to its maximum (entry 511 = 1).
    // Depends only on planetRadius (through usablePlanetRadius).
    void computeOpticalDepth(float* table) const;
    // Builds the 32-point sun fan and the 256-texel 1D halo ramp (1 - i/255)^2 with GL_CLAMP
    // wrapping, replacing those of an earlier build. Leaves the ramp bound to GL_TEXTURE_1D.
    void buildHaloTexture();

    // Sky dome, light 0, fog colour, halo and sun disc, drawn around the eye after the look-at
    // (see SkyRender.cpp for the states it switches and restores). Leaves the modelview matrix
    // as it found it. Needs init.
    void render();
    // render for a frame whose colour buffer already holds (0, 0, 0, 0) wherever the sky is
    // drawn: the black sphere that render paints first would change no pixel there, so it is
    // left out. Every pixel and every state is the one render gives.
    void renderOverBlack();
    // Light 0 and the fog colour exactly as render sets them, drawing nothing: for ground lit
    // before the sky is drawn. Same expectations as render; leaves the modelview matrix as it
    // found it.
    void applySunLight();

private:
    void renderSky(bool paintBackground);
    // Light 0 and the fog colour from `light`, with the sun's frame as the current matrix.
    static void setSunLight(const SunLight& light);
};

// ---- Pure helpers (no GL), shared by the operations above and open to tests ----

// Day and hour after bringing a candidate hour into the day: whole days of a candidate
// >= hoursPerDay are carried into day, and day wraps at daysPerYear. A negative or non-finite
// candidate is kept as it is, without carry. hoursPerDay > 0 and daysPerYear > 0 expected; with
// other values nothing is carried and day is left as it is.
struct ClockTime {
    std::uint32_t day = 0;
    float hour = 0.0f;
};
ClockTime carryHours(std::uint32_t day, float candidateHour, float hoursPerDay, std::uint32_t daysPerYear);

// The designed clock's sun height (element 5 of the sun matrix updateSunMatrix composes, the
// sine of its elevation) for a day, hour, axial tilt and latitude (degrees), computed in double
// precision without the GL: the rotations Rx(day angle) Rz(tilt) R(-x)(hour angle - 180)
// Rz(latitude) applied to (0, 1, 0).
double designedSunHeight(std::uint32_t day, double hour, double axialTiltDegrees, double latitudeDegrees,
                         std::uint32_t daysPerYear = kDefaultDaysPerYear, double hoursPerDay = kDefaultHoursPerDay);

// The radius the atmosphere maths use, in metres: planetRadiusMetres when it is finite and
// greater than 0, otherwise kDefaultPlanetRadiusMetres. A zero, negative or NaN radius would make
// the optical-depth integration divide by zero or take square roots of negative numbers.
float usablePlanetRadius(float planetRadiusMetres);

// Un-normalised optical depth of row `entry` (0..511) of the table: the density-weighted path
// length, in metres, of the ray leaving the ground at elevation (511 - entry) * 90/512 degrees,
// summed over the altitude steps up to the 1/256-density ceiling. Row 511 (the horizon) is the
// largest, about 5.84e6 with the default radius. The radius goes through usablePlanetRadius.
float opticalDepthSum(int entry, float planetRadiusMetres);

// The largest atmosphere height, in metres, for which c^2 = (2 * radius + h) * h - and with it
// every product of the sun's path factor - is finite even when evaluated in single precision
// (radius through usablePlanetRadius). With the default radius it is about 1.8446744e19.
// Every height in (0, maxAtmosphereHeight(radius)] gives a finite path factor in (0, 1]; down at
// the smallest positive float (1.4e-45) it is about 1e-26 at the zenith, so no lower bound
// beyond "greater than 0" is needed.
float maxAtmosphereHeight(float planetRadiusMetres);

// r(theta) = sin t / (1 + sin t + cos t), t = theta in radians: the rim radius of a 45-degree
// cone whose apex lies 1 unit from the eye and whose rim subtends the angular diameter
// angleDegrees. r(2) = 0.0171556, r(0.5358) = 0.004654, r(22) = 0.162746.
float sunRimRadius(float angleDegrees);

// The state both skies draw in. The sky lies at distance 1 around the eye: it neither writes nor
// tests depth and is shaded by colour and texture alone. enterSkyState turns off, in this order,
// the depth mask, depth test, alpha test, lighting, culling, colour material and fog;
// leaveSkyState turns on again fog, colour material, culling, lighting, alpha test, depth test
// and the depth mask, whatever they were before. Neither touches textures, blending or matrices.
void enterSkyState();
void leaveSkyState();

// Pushes the modelview matrix and loads the camera's rotation without its translation, so that
// what follows is drawn around the eye (the sky) or turned only (a directional light); the
// caller pops it. Expects GL_MODELVIEW selected with the camera's look-at loaded.
void pushEyeCentredView();

// What the sun does to the scene for one sun height (element 5 of sunMatrix):
// sunHeight     - the height clamped to >= 0 (not >= 0, NaN included, gives 0);
// pathFactor    - the sun's path through the atmosphere relative to the horizontal path, in
//                 (0, 1]: 1 with the sun at or below the horizon, height / c at the zenith;
// transmitted   - per channel (1 - pathFactor * scattering) * sunColour: light 0's diffuse;
// ambient       - sunColour * pathFactor * scattering * sunHeight: light 0's ambient;
// fogColour     - transmitted * sunHeight;
// haloExtent    - k = (sum of sunColour / sum of transmitted)^2, the halo's outer texture
//                 coordinate (the halo fades out at 1/k of its width).
// planetRadius goes through usablePlanetRadius. An atmosphere height that is not > 0 gives the
// limit of a vanishing atmosphere (pathFactor 0); an infinite one gives 1.
struct SunLight {
    float sunHeight = 0.0f;
    float pathFactor = 0.0f;
    float3 transmitted;
    float3 ambient;
    float3 fogColour;
    float haloExtent = 0.0f;
};
SunLight computeSunLight(float sunMatrixHeight, float planetRadiusMetres, float atmosphereHeightMetres,
                         const float3& sunColour, const float3& scattering);
