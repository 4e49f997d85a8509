#include "AtmosphereModel.h"

#include "MathConstants.h"

#include <algorithm>
#include <cmath>

namespace {

// Transmittance over mu (Bruneton's x_mu, columns) and r (x_r, rows); Psi_ms over the sun's
// cosine of zenith angle, -1 .. 1 (columns), and altitude, ground .. top (rows).
constexpr int kTransmittanceWidth = 64;
constexpr int kTransmittanceHeight = AtmosphereTables::kTransmittanceRows;
constexpr int kTransmittanceSteps = 48;
constexpr int kMultipleWidth = AtmosphereTables::kMultipleScatteringColumns;
constexpr int kMultipleHeight = AtmosphereTables::kMultipleScatteringRows;
constexpr int kMultipleDirections = 32;
constexpr int kMultipleSteps = 16;
// The sun's angular radius (radians): its disc sets behind the ground over twice this.
constexpr double kSunAngularRadius = 0.004675;

double clampUnit(double x)
{
    return std::clamp(x, -1.0, 1.0);
}

double safeSqrt(double x)
{
    return std::sqrt(std::max(x, 0.0));
}

// Distance from radius r along mu to the sphere of radius top (r <= top).
double distanceToSphere(double r, double mu, double top)
{
    return std::max(0.0, -r * mu + safeSqrt(r * r * (mu * mu - 1.0) + top * top));
}

bool meetsGround(double r, double mu, double ground)
{
    return mu < 0.0 && r * r * (mu * mu - 1.0) + ground * ground >= 0.0;
}

double distanceToGround(double r, double mu, double ground)
{
    return std::max(0.0, -r * mu - safeSqrt(r * r * (mu * mu - 1.0) + ground * ground));
}

// Radius and cosine of the zenith angle reached after t metres along (r, mu).
void advanceAlongRay(double r, double mu, double t, double* rt, double* cosine)
{
    *rt = std::sqrt(r * r + t * t + 2.0 * r * mu * t);
    *cosine = (r * mu + t) / *rt;
}

double smoothStep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// The in-scattered light of one segment of constant medium, integrated analytically
// (Hillaire 2020, eq. 1 with constant source S over the segment): S (1 - T_seg) / sigma_t.
double segmentIntegral(double source, double extinction, double segmentTransmittance, double length)
{
    if (extinction < 1e-30)
        return source * length;
    return source * (1.0 - segmentTransmittance) / extinction;
}

Rgb segmentIntegral(const Rgb& source, const Rgb& extinction, const Rgb& segment, double length)
{
    return {segmentIntegral(source.r, extinction.r, segment.r, length),
            segmentIntegral(source.g, extinction.g, segment.g, length),
            segmentIntegral(source.b, extinction.b, segment.b, length)};
}

} // namespace

AtmosphereModel atmosphereFromSettings(const float3& scattering, float atmosphereHeightMetres)
{
    AtmosphereModel model;
    const float defaults[3] = {0.0f, 0.5f, 0.8f};
    double factor[3];
    for (int i = 0; i < 3; ++i)
        factor[i] = std::exp2(4.0 * (double(scattering[i]) - double(defaults[i])));
    const Rgb scale{factor[0], factor[1], factor[2]};
    // Mie absorption (extinction less scattering) is the aerosol's own and stays.
    const Rgb mieAbsorption = model.mieExtinction + model.mieScattering * -1.0;
    model.rayleighScattering = model.rayleighScattering * scale;
    model.mieScattering = model.mieScattering * scale;
    model.mieExtinction = model.mieScattering + mieAbsorption;
    double thickness = double(atmosphereHeightMetres);
    if (!std::isfinite(thickness))
        thickness = 100e3;
    thickness = std::clamp(thickness, kMinAtmosphereThicknessMetres, kMaxAtmosphereThicknessMetres);
    model.topRadiusMetres = model.groundRadiusMetres + thickness;
    return model;
}

MediumSample sampleMedium(const AtmosphereModel& model, double altitudeMetres)
{
    const double h = std::max(altitudeMetres, 0.0);
    const double rayleighDensity = std::exp(-h / model.rayleighScaleHeightMetres);
    const double mieDensity = std::exp(-h / model.mieScaleHeightMetres);
    const double ozoneDensity = std::max(0.0, 1.0 - std::abs(h - model.ozonePeakMetres) / model.ozoneHalfWidthMetres);
    MediumSample sample;
    sample.rayleighScattering = model.rayleighScattering * rayleighDensity;
    sample.mieScattering = model.mieScattering * mieDensity;
    sample.extinction = sample.rayleighScattering + model.mieExtinction * mieDensity +
                        model.ozoneAbsorption * ozoneDensity;
    return sample;
}

Rgb opticalDepthToTop(const AtmosphereModel& model, double r, double mu, int steps)
{
    // Midpoint rule in u with t = d u^2: the samples crowd near the start, where the density
    // falls fastest along any ray that leaves the ground.
    const double d = distanceToSphere(r, mu, model.topRadiusMetres);
    Rgb depth;
    for (int i = 0; i < steps; ++i) {
        const double u = (i + 0.5) / steps;
        const double t = d * u * u;
        const double dt = 2.0 * d * u / steps;
        double rt = 0.0, cosine = 0.0;
        advanceAlongRay(r, mu, t, &rt, &cosine);
        depth = depth + sampleMedium(model, rt - model.groundRadiusMetres).extinction * dt;
    }
    return depth;
}

double rayleighPhase(double cosAngle)
{
    return 3.0 / (16.0 * kPi) * (1.0 + cosAngle * cosAngle);
}

double miePhase(double cosAngle, double g)
{
    // Cornette and Shanks 1992, as Bruneton's and Hillaire's models use it.
    const double k = 3.0 / (8.0 * kPi) * (1.0 - g * g) / (2.0 + g * g);
    return k * (1.0 + cosAngle * cosAngle) / std::pow(1.0 + g * g - 2.0 * g * cosAngle, 1.5);
}

AtmosphereTables::AtmosphereTables(const AtmosphereModel& model, Build build) : model_(model)
{
    transmittance_.assign(std::size_t(kTransmittanceWidth) * kTransmittanceHeight, Rgb{});
    multipleScattering_.assign(std::size_t(kMultipleWidth) * kMultipleHeight, Rgb{});
    if (build == Build::AtOnce)
        buildSteps(kBuildSteps);
}

int AtmosphereTables::buildSteps(int stepCount)
{
    constexpr int kColumnsPerStep = kMultipleWidth / kStepsPerMultipleScatteringRow;
    static_assert(kColumnsPerStep * kStepsPerMultipleScatteringRow == kMultipleWidth, "whole columns a step");
    int built = 0;
    for (; built < stepCount && stepsBuilt_ < kBuildSteps; ++built, ++stepsBuilt_) {
        if (stepsBuilt_ < kTransmittanceHeight) {
            buildTransmittanceRow(stepsBuilt_);
        } else {
            const int step = stepsBuilt_ - kTransmittanceHeight;
            const int first = step % kStepsPerMultipleScatteringRow * kColumnsPerStep;
            buildMultipleScatteringCells(step / kStepsPerMultipleScatteringRow, first, first + kColumnsPerStep);
        }
    }
    return built;
}

Rgb AtmosphereTables::lookUp(const std::vector<Rgb>& table, int width, int height, double u, double v) const
{
    // Bilinear between the grid nodes: u and v in [0, 1] map onto node 0 .. width - 1 / height - 1.
    const double x = std::clamp(u, 0.0, 1.0) * (width - 1);
    const double y = std::clamp(v, 0.0, 1.0) * (height - 1);
    const int x0 = std::min(int(x), width - 2);
    const int y0 = std::min(int(y), height - 2);
    const double fx = x - x0;
    const double fy = y - y0;
    const Rgb& a = table[std::size_t(y0) * std::size_t(width) + std::size_t(x0)];
    const Rgb& b = table[std::size_t(y0) * std::size_t(width) + std::size_t(x0 + 1)];
    const Rgb& c = table[std::size_t(y0 + 1) * std::size_t(width) + std::size_t(x0)];
    const Rgb& d = table[std::size_t(y0 + 1) * std::size_t(width) + std::size_t(x0 + 1)];
    return (a * (1.0 - fx) + b * fx) * (1.0 - fy) + (c * (1.0 - fx) + d * fx) * fy;
}

void AtmosphereTables::buildTransmittanceRow(int j)
{
    // Bruneton 2017, "Precomputed Atmospheric Scattering: a New Implementation", section
    // "Transmittance": x_r = rho / H and x_mu = (d - d_min) / (d_max - d_min), d the distance to
    // the top, which spreads the rays near the horizon over the whole table.
    const double bottom = model_.groundRadiusMetres;
    const double top = model_.topRadiusMetres;
    const double horizon = std::sqrt(top * top - bottom * bottom);
    const double rho = horizon * j / (kTransmittanceHeight - 1);
    const double r = std::sqrt(rho * rho + bottom * bottom);
    const double dMin = top - r;
    const double dMax = rho + horizon;
    for (int i = 0; i < kTransmittanceWidth; ++i) {
        const double d = dMin + (dMax - dMin) * i / (kTransmittanceWidth - 1);
        const double mu = d == 0.0 ? 1.0 : clampUnit((horizon * horizon - rho * rho - d * d) / (2.0 * r * d));
        transmittance_[std::size_t(j) * kTransmittanceWidth + std::size_t(i)] = expNegative(
            opticalDepthToTop(model_, r, mu, kTransmittanceSteps));
    }
}

Rgb AtmosphereTables::transmittanceToTop(double r, double mu) const
{
    const double bottom = model_.groundRadiusMetres;
    const double top = model_.topRadiusMetres;
    r = std::clamp(r, bottom, top);
    if (meetsGround(r, mu, bottom))
        return {};
    const double horizon = std::sqrt(top * top - bottom * bottom);
    const double rho = safeSqrt(r * r - bottom * bottom);
    const double d = distanceToSphere(r, mu, top);
    const double dMin = top - r;
    const double dMax = rho + horizon;
    const double u = dMax > dMin ? (d - dMin) / (dMax - dMin) : 0.0;
    return lookUp(transmittance_, kTransmittanceWidth, kTransmittanceHeight, u, rho / horizon);
}

Rgb AtmosphereTables::sunTransmittance(double r, double muSun) const
{
    const double bottom = model_.groundRadiusMetres;
    r = std::clamp(r, bottom, model_.topRadiusMetres);
    // The geometric horizon at r; the disc sets over its own diameter (Bruneton 2017,
    // GetTransmittanceToSun).
    const double sinHorizon = bottom / r;
    const double muHorizon = -safeSqrt(1.0 - sinHorizon * sinHorizon);
    const double visible = smoothStep(-sinHorizon * kSunAngularRadius, sinHorizon * kSunAngularRadius,
                                      muSun - muHorizon);
    if (visible <= 0.0)
        return {};
    return transmittanceToTop(r, std::max(muSun, muHorizon + 1e-9)) * visible;
}

void AtmosphereTables::buildMultipleScatteringCells(int j, int firstColumn, int endColumn)
{
    // Hillaire 2020, section 5.5: from each point, second-order light arriving from a sphere of
    // directions with an isotropic phase (L_2nd, eq. 6) and the fraction f_ms of light that one
    // more isotropic bounce returns (eq. 8); the infinite series of higher orders sums to
    // Psi_ms = L_2nd / (1 - f_ms) (eq. 9). The ground reflects the sun as a Lambertian surface.
    const double bottom = model_.groundRadiusMetres;
    const double top = model_.topRadiusMetres;
    const double isotropic = 1.0 / (4.0 * kPi);
    // Directions spread evenly over the sphere on a Fibonacci lattice.
    std::vector<Vec3d> directions;
    const double golden = kPi * (3.0 - std::sqrt(5.0));
    for (int k = 0; k < kMultipleDirections; ++k) {
        const double y = 1.0 - 2.0 * (k + 0.5) / kMultipleDirections;
        const double ring = std::sqrt(1.0 - y * y);
        directions.push_back({ring * std::cos(golden * k), y, ring * std::sin(golden * k)});
    }
    const double r = bottom + (top - bottom) * (j + 0.5) / kMultipleHeight;
    for (int i = firstColumn; i < endColumn; ++i) {
        const double muSun = -1.0 + 2.0 * i / (kMultipleWidth - 1);
        const Vec3d sun{safeSqrt(1.0 - muSun * muSun), muSun, 0.0};
        Rgb secondOrder, transfer;
        for (const Vec3d& w : directions) {
            const double mu = w.y;
            const bool ground = meetsGround(r, mu, bottom);
            const double length = ground ? distanceToGround(r, mu, bottom) : distanceToSphere(r, mu, top);
            const double dt = length / kMultipleSteps;
            const double cosSunView = dot(w, sun);
            Rgb view{1.0, 1.0, 1.0};
            Rgb light, fraction;
            for (int s = 0; s < kMultipleSteps; ++s) {
                const double t = (s + 0.5) * dt;
                double rt = 0.0, cosine = 0.0;
                advanceAlongRay(r, mu, t, &rt, &cosine);
                const double sunCosine = (r * muSun + t * cosSunView) / rt;
                const MediumSample m = sampleMedium(model_, rt - bottom);
                const Rgb scattering = m.rayleighScattering + m.mieScattering;
                const Rgb segment = expNegative(m.extinction * dt);
                const Rgb source = scattering * sunTransmittance(rt, sunCosine) * isotropic;
                light = light + view * segmentIntegral(source, m.extinction, segment, dt);
                fraction = fraction + view * segmentIntegral(scattering, m.extinction, segment, dt);
                view = view * segment;
            }
            if (ground) {
                double rg = 0.0, cosine = 0.0;
                advanceAlongRay(r, mu, length, &rg, &cosine);
                const double groundSun = (r * muSun + length * cosSunView) / rg;
                light = light + view * sunTransmittance(bottom, groundSun) *
                                    (std::max(groundSun, 0.0) * model_.groundAlbedo / kPi);
            }
            secondOrder = secondOrder + light * (1.0 / kMultipleDirections);
            transfer = transfer + fraction * (1.0 / kMultipleDirections);
        }
        const Rgb psi{secondOrder.r / (1.0 - transfer.r), secondOrder.g / (1.0 - transfer.g),
                      secondOrder.b / (1.0 - transfer.b)};
        multipleScattering_[std::size_t(j) * kMultipleWidth + std::size_t(i)] = psi;
    }
}

Rgb AtmosphereTables::multipleScattering(double r, double muSun) const
{
    const double bottom = model_.groundRadiusMetres;
    const double top = model_.topRadiusMetres;
    // Rows hold cell centres: altitude (j + 0.5) / height of the shell.
    const double v = ((r - bottom) / (top - bottom) * kMultipleHeight - 0.5) / (kMultipleHeight - 1);
    return lookUp(multipleScattering_, kMultipleWidth, kMultipleHeight, (muSun + 1.0) * 0.5, v);
}

Rgb AtmosphereTables::skyRadiance(const Vec3d& view, const Vec3d& sun, double altitudeMetres, int steps) const
{
    // Single scattering along the view ray (Nishita 1993) with the sun's transmittance from the
    // table at each sample, plus sigma_s Psi_ms for all higher orders (Hillaire 2020, eq. 11).
    const double bottom = model_.groundRadiusMetres;
    const double top = model_.topRadiusMetres;
    const double r = bottom + std::clamp(altitudeMetres, 0.0, top - bottom);
    const double mu = clampUnit(view.y);
    const double length = meetsGround(r, mu, bottom) ? distanceToGround(r, mu, bottom) : distanceToSphere(r, mu, top);
    const double cosAngle = clampUnit(dot(view, sun));
    const double phaseR = rayleighPhase(cosAngle);
    const double phaseM = miePhase(cosAngle, model_.mieAsymmetry);
    Rgb radiance;
    Rgb throughput{1.0, 1.0, 1.0};
    for (int i = 0; i < steps; ++i) {
        // Segments of length d ((i+1)^2 - i^2) / steps^2: short where the air is dense.
        const double t0 = length * double(i) * i / (double(steps) * steps);
        const double t1 = length * double(i + 1) * (i + 1) / (double(steps) * steps);
        const double dt = t1 - t0;
        const double t = 0.5 * (t0 + t1);
        double rt = 0.0, cosine = 0.0;
        advanceAlongRay(r, mu, t, &rt, &cosine);
        const double sunCosine = (r * sun.y + t * cosAngle) / rt;
        const MediumSample m = sampleMedium(model_, rt - bottom);
        const Rgb single = (m.rayleighScattering * phaseR + m.mieScattering * phaseM) * sunTransmittance(rt, sunCosine);
        const Rgb multiple = (m.rayleighScattering + m.mieScattering) * multipleScattering(rt, sunCosine);
        const Rgb segment = expNegative(m.extinction * dt);
        radiance = radiance + throughput * segmentIntegral(single + multiple, m.extinction, segment, dt);
        throughput = throughput * segment;
    }
    return radiance;
}
