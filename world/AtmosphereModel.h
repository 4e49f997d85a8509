#pragma once

#include "Vec3.h"

#include <vector>

// A physically based clear sky on the CPU: Rayleigh and Mie scattering with ozone absorption in
// a spherical shell, single scattering along the view ray with the sun's transmittance, and
// multiple scattering by Hillaire's isotropic approximation ("A Scalable and Production Ready Sky
// and Atmosphere Rendering Technique", 2020, section 5.5). Everything is in SI units: lengths in
// metres, coefficients per metre, radiance relative to a sun of irradiance 1 in every channel
// outside the atmosphere (so a value is "per unit of sunlight", per steradian).
//
// Frame: the observer stands on the y axis; directions are unit vectors with y up.

// Three linear colour channels (R, G, B): radiance, transmittance or a coefficient.
struct Rgb {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
};
inline Rgb operator+(const Rgb& a, const Rgb& b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Rgb operator*(const Rgb& a, const Rgb& b)
{
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
inline Rgb operator*(const Rgb& a, double s)
{
    return {a.r * s, a.g * s, a.b * s};
}
inline Rgb expNegative(const Rgb& a)
{
    return {std::exp(-a.r), std::exp(-a.g), std::exp(-a.b)};
}
// Relative luminance of linear Rec. 709 primaries (ITU-R BT.709 weights).
inline double luminance(const Rgb& c)
{
    return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
}

// The atmosphere's make-up. The defaults are the published Earth values of Bruneton's and
// Hillaire's models.
struct AtmosphereModel {
    double groundRadiusMetres = 6360e3;
    double topRadiusMetres = 6460e3; // ground radius + thickness (100 km)
    // Rayleigh scattering at the ground, exponential density with an 8 km scale height.
    Rgb rayleighScattering{5.802e-6, 13.558e-6, 33.1e-6};
    double rayleighScaleHeightMetres = 8000.0;
    // Mie (aerosol) scattering and extinction at the ground, 1.2 km scale height, Cornette-Shanks
    // phase with asymmetry g.
    Rgb mieScattering{3.996e-6, 3.996e-6, 3.996e-6};
    Rgb mieExtinction{4.44e-6, 4.44e-6, 4.44e-6};
    double mieScaleHeightMetres = 1200.0;
    double mieAsymmetry = 0.8;
    // Ozone absorbs only: a tent of density 1 at 25 km falling to 0 at 10 and 40 km.
    Rgb ozoneAbsorption{0.650e-6, 1.881e-6, 0.085e-6};
    double ozonePeakMetres = 25000.0;
    double ozoneHalfWidthMetres = 15000.0;
    double groundAlbedo = 0.3;
};

// The model the window's settings select. Each slider (0 to 0.99) scales the Rayleigh and Mie
// scattering of its channel by 2^(4 (slider - default)), the defaults being the window's
// starting positions (0, 0.5, 0.8): at those the published Earth values hold, a quarter of the
// slider's travel doubles or halves a channel. The atmosphere height (metres) is the shell's
// thickness, clamped to 10 km .. 1000 km (a thinner shell would cut off the Rayleigh layer, a
// NaN or an infinite one has no meaning).
AtmosphereModel atmosphereFromSettings(const float3& scattering, float atmosphereHeightMetres);
constexpr double kMinAtmosphereThicknessMetres = 10e3;
constexpr double kMaxAtmosphereThicknessMetres = 1000e3;

// Optical depth (dimensionless, per channel) from radius r (metres from the planet's centre)
// to the top of the atmosphere along a ray whose cosine of zenith angle is mu, integrated
// directly (no table). The ray is followed to the top even where it passes under the ground.
Rgb opticalDepthToTop(const AtmosphereModel& model, double r, double mu, int steps = 256);

// Cornette-Shanks Mie phase and Rayleigh phase, per steradian, for the cosine of the scattering
// angle.
double rayleighPhase(double cosAngle);
double miePhase(double cosAngle, double g);

// The model with its two precomputed tables:
// - transmittance to the top of the atmosphere, 64 x 32, over (mu, r) with Bruneton's 2017
//   parametrisation (the distance to the top, which resolves the horizon);
// - Hillaire's multiple-scattering transfer Psi_ms, 24 x 12, over (cos sun zenith, altitude).
// Building both takes several milliseconds; they change only with the model. They can be built
// at once or a step at a time, alike either way: a step is a row of the transmittance (all of
// which come first, since each cell of Psi_ms reads the whole of it) or a quarter of a row of
// Psi_ms (whose cells cost about four times as much each), so that steps cost about the same.
class AtmosphereTables {
public:
    static constexpr int kTransmittanceRows = 32;
    static constexpr int kMultipleScatteringRows = 12;
    static constexpr int kMultipleScatteringColumns = 24;
    static constexpr int kStepsPerMultipleScatteringRow = 4;
    static constexpr int kBuildSteps = kTransmittanceRows + kMultipleScatteringRows * kStepsPerMultipleScatteringRow;
    enum class Build { AtOnce, ByStep };

    explicit AtmosphereTables(const AtmosphereModel& model, Build build = Build::AtOnce);

    // Takes up to stepCount more steps; returns how many it took. The look-ups below need
    // complete().
    int buildSteps(int stepCount);
    bool complete() const { return stepsBuilt_ == kBuildSteps; }
    int stepsBuilt() const { return stepsBuilt_; }

    const AtmosphereModel& model() const { return model_; }
    // Transmittance from radius r to the top along mu. 0 when the ray meets the ground.
    Rgb transmittanceToTop(double r, double mu) const;
    // Transmittance of sunlight arriving at radius r from a sun whose cosine of zenith angle is
    // muSun: the table's value, faded over the sun's own diameter as it sets behind the ground.
    Rgb sunTransmittance(double r, double muSun) const;
    // Psi_ms at radius r for the sun at muSun: the multiply scattered radiance per unit of
    // scattering coefficient (multiply by sigma_s to get the in-scattered radiance).
    Rgb multipleScattering(double r, double muSun) const;

    // Radiance reaching an observer at altitudeMetres above the ground, looking along view
    // (unit, y up) with the sun along sun (unit), integrated over `steps` samples to the top or
    // the ground. No sun disc is included.
    Rgb skyRadiance(const Vec3d& view, const Vec3d& sun, double altitudeMetres = 1.0, int steps = 32) const;

private:
    double fromRadius(double r) const;
    Rgb lookUp(const std::vector<Rgb>& table, int width, int height, double u, double v) const;
    void buildTransmittanceRow(int j);
    void buildMultipleScatteringCells(int j, int firstColumn, int endColumn);

    AtmosphereModel model_;
    int stepsBuilt_ = 0;
    std::vector<Rgb> transmittance_;
    std::vector<Rgb> multipleScattering_;
};

// Scattering and extinction coefficients (per metre) at an altitude (metres).
struct MediumSample {
    Rgb rayleighScattering;
    Rgb mieScattering;
    Rgb extinction;
};
MediumSample sampleMedium(const AtmosphereModel& model, double altitudeMetres);
