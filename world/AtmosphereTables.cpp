#include "World.h"

#include "MathConstants.h"

#include <cfloat>
#include <cmath>

namespace {

// Isothermal barometric atmosphere, single-precision constants: the gas constant
// (J / (mol K)), the temperature (K), the molar mass of air (g / mol) and gravity (m / s^2).
constexpr float kGasConstant = 8.31441f;
constexpr float kTemperature = 300.15f;
constexpr float kMolarMass = 29.0f;
constexpr float kGravity = 9.80665f;

// Steps of the altitude integration, per direction.
struct OpticalDepthSteps {
    float scaleHeightKm; // R T / (M g) with M in g/mol: about 8.775080 km
    float ceiling;       // altitude where the density is 1/256: ln 256 scale heights, metres
    float step;          // ceiling / 256, metres
};

OpticalDepthSteps opticalDepthSteps()
{
    OpticalDepthSteps s;
    s.scaleHeightKm = float(double(kGasConstant) * kTemperature / kMolarMass / kGravity);
    s.ceiling = float(std::log(256.0) * 1000.0 * kGasConstant * kTemperature / kMolarMass / kGravity);
    s.step = s.ceiling * (1.0f / 256.0f);
    return s;
}

} // namespace

float usablePlanetRadius(float planetRadiusMetres)
{
    return (planetRadiusMetres > 0.0f && std::isfinite(planetRadiusMetres)) ? planetRadiusMetres
                                                                            : kDefaultPlanetRadiusMetres;
}

float opticalDepthSum(int entry, float planetRadiusMetres)
{
    const double radius = usablePlanetRadius(planetRadiusMetres);
    const OpticalDepthSteps s = opticalDepthSteps();

    const float elevation = float((511 - entry) * (kPi / 2.0) * (1.0 / 512.0));
    // The ray leaves the ground at elevation alpha. Its point of closest approach to the planet's
    // centre lies behind the observer, at distance R cos(alpha) from the centre; p is the
    // distance along the ray from there to the ground.
    const float p = float(std::sin(double(elevation)) * radius);
    const double p2 = double(p) * double(p);
    // D(x): distance along the ray from that closest point to where the ray reaches altitude x,
    // sqrt((R + x)^2 - (R cos alpha)^2); D(0) = p and D(x2) - D(x1) is the path between the
    // two altitudes.
    auto distanceTo = [&](double altitude) { return std::sqrt(altitude * (2.0 * radius + altitude) + p2); };

    float sum = 0.0f;
    // The altitude accumulates in single precision: with these constants the loop samples 257
    // altitudes, the last at about 48659.32 m, just below the ceiling.
    float h = 0.0f;
    while (h < s.ceiling) {
        const float density = float(std::exp(-0.001 * double(h) / double(s.scaleHeightKm)));
        // The outer sample sits at 2h + step, not h + step: each sample weights the path from
        // its altitude out to twice that altitude, so the segments overlap and the high, thin
        // air counts for more than a plain Riemann sum would give it. The sky's gradient is
        // defined by this table as it stands; only its shape matters after the normalisation.
        const float pathLength = float(distanceTo(2.0 * double(h) + double(s.step)) - distanceTo(double(h)));
        sum = sum + density * pathLength;
        h = h + s.step;
    }
    return sum;
}

void TWorld::computeOpticalDepth(float* table) const
{
    float maximum = 0.0f;
    for (int i = 0; i < kOpticalDepthEntries; ++i) {
        table[i] = opticalDepthSum(i, planetRadius);
        if (table[i] > maximum)
            maximum = table[i];
    }
    // The sums grow from the zenith to the horizon, so the maximum is entry 511. Every sum is
    // positive for a usable radius; the check only keeps a degenerate table from becoming NaN.
    if (maximum > 0.0f) {
        for (int i = 0; i < kOpticalDepthEntries; ++i)
            table[i] = table[i] / maximum;
    }
}

float maxAtmosphereHeight(float planetRadiusMetres)
{
    const float radius = usablePlanetRadius(planetRadiusMetres);
    // c^2 = (2r + h) h, evaluated in single precision, reaches FLT_MAX near h = sqrt(FLT_MAX) - r.
    // Start there and walk to the last float for which the product is still finite.
    auto finite = [radius](float h) {
        volatile float twice = 2.0f * radius + h;
        volatile float product = twice * h;
        return std::isfinite(product);
    };
    float h = float(std::sqrt(double(FLT_MAX)) - double(radius));
    while (!finite(h))
        h = std::nextafter(h, 0.0f);
    while (finite(std::nextafter(h, FLT_MAX)))
        h = std::nextafter(h, FLT_MAX);
    return h;
}

void TWorld::buildOpticalDepthTexture()
{
    if (skyQuadric)
        gluDeleteQuadric(skyQuadric);
    skyQuadric = gluNewQuadric();
    gluQuadricTexture(skyQuadric, GL_TRUE);

    // Entry k of the first half belongs to the elevation (511 - k) * 90/512 degrees. The second
    // half mirrors it (entry 512 = entry 511, entry 1023 = entry 0), so a sphere whose t runs
    // from one pole to the other reads the zenith value at both poles and 1 at the horizon.
    float opticalDepthTable[kOpticalDepthTexels];
    computeOpticalDepth(opticalDepthTable);
    for (int k = kOpticalDepthEntries; k < kOpticalDepthTexels; ++k)
        opticalDepthTable[k] = opticalDepthTable[kOpticalDepthTexels - 1 - k];

    if (opticalDepthTexture != 0)
        glDeleteTextures(1, &opticalDepthTexture);
    glGenTextures(1, &opticalDepthTexture);
    glBindTexture(GL_TEXTURE_2D, opticalDepthTexture);
    // GL's default parameters stay: repeat wrapping, linear magnification,
    // nearest-mipmap-linear minification.
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_ALPHA, 1, kOpticalDepthTexels, GL_ALPHA, GL_FLOAT, opticalDepthTable);
}

void TWorld::buildHaloTexture()
{
    sunFan.build(kSunFanPoints);

    // (1 - i/255)^2 expanded, stored in single precision: 1 at the inner edge, 0 at texel 255.
    float haloRamp[kHaloRampTexels];
    for (int i = 0; i < kHaloRampTexels; ++i)
        haloRamp[i] = float(double(i) * i * (1.0 / 65025.0) - 2.0 * i * (1.0 / 255.0) + 1.0);

    if (haloTexture != 0)
        glDeleteTextures(1, &haloTexture);
    glGenTextures(1, &haloTexture);
    glBindTexture(GL_TEXTURE_1D, haloTexture);
    gluBuild1DMipmaps(GL_TEXTURE_1D, GL_ALPHA, kHaloRampTexels, GL_ALPHA, GL_FLOAT, haloRamp);
    // Coordinates past 1 (the halo's outer part when k > 1) read the ramp's zero end.
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP);
}
