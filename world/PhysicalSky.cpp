#include "PhysicalSky.h"

#include "MathConstants.h"
#include "SolarPosition.h"
#include "World.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace {

constexpr int kDomeSlices = 72; // 5 degrees of azimuth between the dome's vertices
// The automatic exposure maps a sky of mean luminance L to exposure
// kKey / (L^kAdaptation * Lref^(1 - kAdaptation)), Lref the mean of a sun 45 degrees up: it
// follows the sky only partly, as an eye does, so that sunset and twilight still read darker than
// noon and the night goes black (a sky a million times dimmer shows about 250 times dimmer).
constexpr double kKey = 0.8;
constexpr double kAdaptation = 0.6;
// The automatic exposure stops growing at a sky this much dimmer than Lref (about that of the
// sun 12 degrees down, the end of nautical twilight): the faint rest of the twilight glow, and
// the numerical residue of a sky with the sun far below, then stay black.
constexpr double kDarkestAdapted = 1e-6;
// Stars fade in as the sky's mean display luminance falls from this value to a fifth of it.
constexpr double kStarsAppear = 0.25;

Rgb mix(const Rgb& a, const Rgb& b, double t)
{
    return a * (1.0 - t) + b * t;
}

Rgb difference(const Rgb& a, const Rgb& b)
{
    return {a.r - b.r, a.g - b.g, a.b - b.b};
}

Rgb notNegative(const Rgb& c)
{
    return {std::max(c.r, 0.0), std::max(c.g, 0.0), std::max(c.b, 0.0)};
}

// The dome. Between the tables' rows (0, 0.4, 1.6, 3.6, 6.4 ... degrees) smooth shading
// interpolates straight lines, which bend where two meet; the sky changes fastest, and its slope
// most, just above the horizon, so there those bends read as lines across the sky (Mach bands,
// the strongest at 0.4 degrees where the slope halved). The lowest kSmoothedIntervals intervals
// (up to 3.6 degrees; above, the bends are slight) are therefore drawn as kSubdivisions strips
// each, coloured by a cubic Hermite curve in elevation through the rows, with the slopes of the
// three-point formula for uneven spacing, so that the colour's slope has no jump at a row either.
constexpr int kSmoothedIntervals = 3;
constexpr int kSubdivisions = 4;

// Under the horizon the dome shows the far ground in its haze, into which the fog fades the
// ground that is drawn. The eye stands above the ground (the model's sky is that of an eye 1 m
// up), so the sky does not end at the mathematical horizon: it goes on below it, with the trend
// it has just above, down to the dip of the visible horizon, sqrt(2 h / R), where the far ground
// lies in air of nearly that colour. The band therefore continues the sky's slope at the horizon
// (radiance per degree) and levels it off kBandDepthDegrees down (about the dip seen from
// 100 m): at a depth e the radiance is horizon - slope (e - e^2 / (2 D)), and from D on it is the
// band's colour, horizon - slope D / 2, never below 0. Neither the colour nor its slope jumps at
// the horizon, where a flat band against the sky's steepest gradient read as a line.
constexpr double kBandDepthDegrees = 0.4;

Rgb underHorizon(const Rgb& horizon, const Rgb& slopePerDegree, double depthDegrees)
{
    const double e = std::clamp(depthDegrees, 0.0, kBandDepthDegrees);
    return notNegative(horizon + slopePerDegree * -(e - e * e / (2.0 * kBandDepthDegrees)));
}

// The slope (per degree) at row j of radiances rows[0 .. j + 1] at the rows' elevations: the
// derivative of the parabola through rows j - 1, j, j + 1, or through 0, 1, 2 at the horizon.
Rgb rowSlope(const Rgb* rows, int j)
{
    const auto elevation = [](int row) { return SkyViewTable::rowElevationDegrees(row); };
    if (j == 0) {
        const double h0 = elevation(1) - elevation(0);
        const double h1 = elevation(2) - elevation(1);
        const Rgb d0 = difference(rows[1], rows[0]) * (1.0 / h0);
        const Rgb d1 = difference(rows[2], rows[1]) * (1.0 / h1);
        return d0 + difference(d0, d1) * (h0 / (h0 + h1));
    }
    const double before = elevation(j) - elevation(j - 1);
    const double after = elevation(j + 1) - elevation(j);
    const Rgb dBefore = difference(rows[j], rows[j - 1]) * (1.0 / before);
    const Rgb dAfter = difference(rows[j + 1], rows[j]) * (1.0 / after);
    return (dBefore * after + dAfter * before) * (1.0 / (before + after));
}

// A ring of the dome: its elevation and where its colour comes from (row and fraction t of the
// interval above it, or for row -1 the band at depth -elevation).
struct DomeRing {
    double elevationDegrees;
    int row;
    double t;
};

// Bottom up: the nadir, the band's two rings, then the rows with the smoothed intervals'
// rings between them.
const std::vector<DomeRing>& domeRings()
{
    static const std::vector<DomeRing> rings = [] {
        std::vector<DomeRing> list{{-90.0, -1, 0.0},
                                   {-kBandDepthDegrees, -1, 0.0},
                                   {-0.5 * kBandDepthDegrees, -1, 0.0}};
        for (int j = 0; j < SkyViewTable::kRows; ++j) {
            const double e = SkyViewTable::rowElevationDegrees(j);
            list.push_back({e, j, 0.0});
            for (int s = 1; j < kSmoothedIntervals && s < kSubdivisions; ++s) {
                const double t = double(s) / kSubdivisions;
                list.push_back({e + t * (SkyViewTable::rowElevationDegrees(j + 1) - e), j, t});
            }
        }
        return list;
    }();
    return rings;
}

// The radiance of a ring from the rows at one azimuth (rows[0 .. kRows - 1]).
Rgb ringRadiance(const DomeRing& ring, const Rgb* rows)
{
    if (ring.row < 0)
        return underHorizon(rows[0], rowSlope(rows, 0), -ring.elevationDegrees);
    if (ring.t == 0.0)
        return rows[ring.row];
    // Cubic Hermite basis on [row, row + 1].
    const int j = ring.row;
    const double h = SkyViewTable::rowElevationDegrees(j + 1) - SkyViewTable::rowElevationDegrees(j);
    const double t = ring.t;
    const double t2 = t * t;
    const double t3 = t2 * t;
    return notNegative(rows[j] * (2.0 * t3 - 3.0 * t2 + 1.0) + rowSlope(rows, j) * (h * (t3 - 2.0 * t2 + t)) +
                       rows[j + 1] * (3.0 * t2 - 2.0 * t3) + rowSlope(rows, j + 1) * (h * (t3 - t2)));
}

Vec3d directionAt(double elevationDegrees, double azimuthRadians)
{
    const double e = elevationDegrees * kDegreesToRadians;
    return {std::cos(e) * std::cos(azimuthRadians), std::sin(e), std::cos(e) * std::sin(azimuthRadians)};
}

// Azimuth away from the sun, degrees in [0, 180], of a direction at azimuthRadians.
double azimuthFromSun(double azimuthRadians, double sunAzimuthRadians)
{
    double d = std::fmod(std::abs(azimuthRadians - sunAzimuthRadians), 2.0 * kPi);
    if (d > kPi)
        d = 2.0 * kPi - d;
    return d * kRadiansToDegrees;
}

Rgb tableRadiance(const SkyViewTable& table, int row, double azimuthDegrees)
{
    // Columns at 180 (i / 23)^1.5 degrees: the inverse gives the fractional column.
    const double x = std::pow(std::clamp(azimuthDegrees / 180.0, 0.0, 1.0), 1.0 / 1.5) * (SkyViewTable::kColumns - 1);
    const int i = std::min(int(x), SkyViewTable::kColumns - 2);
    const Rgb* line = &table.radiance[std::size_t(row) * SkyViewTable::kColumns];
    return mix(line[i], line[i + 1], x - i);
}

void setLight(GLenum name, const Rgb& c)
{
    const GLfloat v[4] = {GLfloat(c.r), GLfloat(c.g), GLfloat(c.b), 1.0f};
    glLightfv(GL_LIGHT0, name, v);
}

} // namespace

double SkyViewTable::rowElevationDegrees(int row)
{
    const double f = double(row) / (kRows - 1);
    return 90.0 * f * f;
}

double SkyViewTable::columnAzimuthDegrees(int column)
{
    return 180.0 * std::pow(double(column) / (kColumns - 1), 1.5);
}

void computeSkyViewRows(const AtmosphereTables& tables, SkyViewTable& table, int rowCount)
{
    const double sunElevation = table.sunElevationDegrees * kDegreesToRadians;
    const Vec3d sun{std::cos(sunElevation), std::sin(sunElevation), 0.0};
    table.radiance.resize(std::size_t(SkyViewTable::kRows) * SkyViewTable::kColumns);
    const int end = std::min(SkyViewTable::kRows, table.rowsDone + rowCount);
    for (int j = table.rowsDone; j < end; ++j) {
        const double elevation = SkyViewTable::rowElevationDegrees(j);
        for (int i = 0; i < SkyViewTable::kColumns; ++i) {
            const double azimuth = SkyViewTable::columnAzimuthDegrees(i) * kDegreesToRadians;
            table.radiance[std::size_t(j) * SkyViewTable::kColumns + std::size_t(i)] =
                tables.skyRadiance(directionAt(elevation, azimuth), sun);
        }
    }
    table.rowsDone = end;
    if (!table.complete())
        return;

    // Over the hemisphere, the trapezoid rule in elevation and azimuth (both halves alike):
    // irradiance = integral of L cos(zenith) d omega, mean = integral of L d omega / 2 pi.
    Rgb irradiance;
    double luminanceSum = 0.0;
    for (int j = 0; j + 1 < SkyViewTable::kRows; ++j) {
        const double e0 = SkyViewTable::rowElevationDegrees(j) * kDegreesToRadians;
        const double e1 = SkyViewTable::rowElevationDegrees(j + 1) * kDegreesToRadians;
        for (int i = 0; i + 1 < SkyViewTable::kColumns; ++i) {
            const double a0 = SkyViewTable::columnAzimuthDegrees(i) * kDegreesToRadians;
            const double a1 = SkyViewTable::columnAzimuthDegrees(i + 1) * kDegreesToRadians;
            const auto at = [&table](int row, int column) {
                return table.radiance[std::size_t(row) * SkyViewTable::kColumns + std::size_t(column)];
            };
            const Rgb mean = (at(j, i) + at(j, i + 1) + at(j + 1, i) + at(j + 1, i + 1)) * 0.25;
            // Solid angle of the cell (sin e1 - sin e0) (a1 - a0), twice for the mirrored half;
            // cos(zenith) = sin(elevation) at the cell's middle.
            const double solidAngle = 2.0 * (std::sin(e1) - std::sin(e0)) * (a1 - a0);
            irradiance = irradiance + mean * (solidAngle * std::sin(0.5 * (e0 + e1)));
            luminanceSum += luminance(mean) * solidAngle;
        }
    }
    table.skyIrradiance = irradiance;
    table.meanLuminance = luminanceSum / (2.0 * kPi);
    const double ground = tables.model().groundRadiusMetres + 1.0;
    table.sunTransmittance = tables.sunTransmittance(ground, std::sin(sunElevation));
    const double halo = (table.sunElevationDegrees + 1.0) * kDegreesToRadians;
    table.nearSun = tables.skyRadiance({std::cos(halo), std::sin(halo), 0.0}, sun);
}

SkyViewTable computeSkyView(const AtmosphereTables& tables, double sunElevationDegrees)
{
    SkyViewTable table;
    table.sunElevationDegrees = sunElevationDegrees;
    computeSkyViewRows(tables, table, SkyViewTable::kRows);
    return table;
}

Rgb displayColour(const Rgb& radiance, double exposure)
{
    const auto map = [exposure](double x) { return std::pow(1.0 - std::exp(-exposure * std::max(x, 0.0)), 1.0 / 2.2); };
    return {map(radiance.r), map(radiance.g), map(radiance.b)};
}

void starsOverTheGround(const StarField::Batch& batch, const float skyMatrix[16], const AtmosphereTables& tables,
                        double visibility, std::vector<float>& positions, std::vector<float>& colours)
{
    // Extinction by the model's own air rather than an airmass formula (Kasten and Young's)
    // with fixed coefficients: the table integrates the air along the curved path to the
    // horizon, with each layer's own scale height (Rayleigh 8 km, Mie 1.2 km, the ozone at
    // 25 km) per channel, and changes with the sliders and the atmosphere's height as the sky
    // and the sun do, so a star and the sun beside it redden alike.
    const double observer = tables.model().groundRadiusMetres + 1.0;
    positions.clear();
    colours.clear();
    const std::size_t count = std::min(batch.positions.size(), batch.colours.size()) / 3;
    for (std::size_t i = 0; i < count; ++i) {
        const float* e = &batch.positions[3 * i];
        const float* m = skyMatrix;
        const float x = m[0] * e[0] + m[4] * e[1] + m[8] * e[2];
        const float y = m[1] * e[0] + m[5] * e[1] + m[9] * e[2];
        const float z = m[2] * e[0] + m[6] * e[1] + m[10] * e[2];
        if (!(y > 0.0f))
            continue;
        const Rgb t = tables.transmittanceToTop(observer, double(y));
        const float* c = &batch.colours[3 * i];
        positions.insert(positions.end(), {x, y, z});
        colours.insert(colours.end(),
                       {float(c[0] * visibility * std::sqrt(t.r)), float(c[1] * visibility * std::sqrt(t.g)),
                        float(c[2] * visibility * std::sqrt(t.b))});
    }
}

PhysicalSky::PhysicalSky() = default;
PhysicalSky::~PhysicalSky() = default;

PhysicalSky::SettingsKey PhysicalSky::keyOf(const TWorld& world)
{
    SettingsKey key;
    key.scattering[0] = world.scattering.x;
    key.scattering[1] = world.scattering.y;
    key.scattering[2] = world.scattering.z;
    key.atmosphereHeight = world.atmosphereHeight;
    return key;
}

bool PhysicalSky::sameKey(const SettingsKey& a, const SettingsKey& b)
{
    // By bits, so that a setting that is not a number (clamped by the model) still matches
    // itself rather than asking for a rebuild every frame.
    const auto bits = [](float x) {
        std::uint32_t u = 0;
        std::memcpy(&u, &x, sizeof u);
        return u;
    };
    const auto sameBits = [&bits](float x, float y) { return bits(x) == bits(y); };
    return sameBits(a.scattering[0], b.scattering[0]) && sameBits(a.scattering[1], b.scattering[1]) &&
           sameBits(a.scattering[2], b.scattering[2]) && sameBits(a.atmosphereHeight, b.atmosphereHeight);
}

void PhysicalSky::useSettings(const TWorld& world, int lowStep)
{
    const SettingsKey key = keyOf(world);
    if (!tables_) {
        // The first frame has nothing to draw meanwhile: everything at once.
        key_ = key;
        tables_ = std::make_unique<AtmosphereTables>(atmosphereFromSettings(world.scattering, world.atmosphereHeight));
        cache_.clear();
        referenceLuminance_ = std::max(computeSkyView(*tables_, 45.0).meanLuminance, 1e-30);
        pending_.reset();
        return;
    }
    if (pending_ && advanceRebuild(lowStep)) {
        // Swapped whole: the tables, their reference exposure and their first sky-view tables
        // (the pointers into the old cache are set anew by the caller before any use).
        key_ = pending_->key;
        tables_ = std::move(pending_->tables);
        referenceLuminance_ = std::max(pending_->reference.meanLuminance, 1e-30);
        cache_ = std::move(pending_->views);
        pending_.reset();
    }
    // A rebuild under way runs to its end even when the settings move on meanwhile (a slider
    // dragged shows its values as often as rebuilds finish); the next starts after it, its
    // first steps taken the next frame.
    if (!pending_ && !sameKey(key, key_)) {
        pending_ = std::make_unique<Rebuild>();
        pending_->key = key;
        pending_->tables = std::make_unique<AtmosphereTables>(atmosphereFromSettings(world.scattering,
                                                                                     world.atmosphereHeight),
                                                              AtmosphereTables::Build::ByStep);
        pending_->reference.sunElevationDegrees = 45.0;
    }
}

bool PhysicalSky::advanceRebuild(int lowStep)
{
    Rebuild& rebuild = *pending_;
    int budget = kRebuildStepsPerFrame;
    const int built = rebuild.tables->buildSteps(budget);
    budget -= built;
    rebuildStepsTaken_ += built;
    if (!rebuild.tables->complete())
        return false;
    const auto buildView = [&](SkyViewTable& table) {
        if (budget > 0 && !table.complete()) {
            const int before = table.rowsDone;
            computeSkyViewRows(*rebuild.tables, table, budget);
            budget -= table.rowsDone - before;
            rebuildStepsTaken_ += table.rowsDone - before;
        }
        return table.complete();
    };
    bool done = buildView(rebuild.reference);
    // The two tables around the sun as it stands now; any the sun has left go.
    for (auto it = rebuild.views.begin(); it != rebuild.views.end();)
        it = it->first == lowStep || it->first == lowStep + 1 ? std::next(it) : rebuild.views.erase(it);
    for (const int step : {lowStep, lowStep + 1}) {
        auto found = rebuild.views.find(step);
        if (found == rebuild.views.end()) {
            found = rebuild.views.emplace(step, SkyViewTable{}).first;
            found->second.sunElevationDegrees = step * kSunStepDegrees;
        }
        done = buildView(found->second) && done;
    }
    return done;
}

SkyViewTable& PhysicalSky::tableAt(int step, bool complete)
{
    auto found = cache_.find(step);
    if (found == cache_.end()) {
        // Keep a handful: the two in use and those the sun has just left or is coming to. The
        // farthest from the sun goes, never one of the two in use (lastStep_ and the next).
        constexpr std::size_t kKept = 6;
        if (cache_.size() >= kKept) {
            auto farthest = cache_.end();
            for (auto it = cache_.begin(); it != cache_.end(); ++it) {
                if (it->first == lastStep_ || it->first == lastStep_ + 1)
                    continue;
                if (farthest == cache_.end() || std::abs(it->first - lastStep_) > std::abs(farthest->first - lastStep_))
                    farthest = it;
            }
            if (farthest != cache_.end())
                cache_.erase(farthest);
        }
        found = cache_.emplace(step, SkyViewTable{}).first;
        found->second.sunElevationDegrees = step * kSunStepDegrees;
    }
    SkyViewTable& table = found->second;
    if (complete && !table.complete())
        computeRows(table, SkyViewTable::kRows);
    return table;
}

void PhysicalSky::computeRows(SkyViewTable& table, int rowCount)
{
    const int before = table.rowsDone;
    computeSkyViewRows(*tables_, table, rowCount);
    rowsComputed_ += table.rowsDone - before;
}

void PhysicalSky::update(const TWorld& world, const Vec3d& viewForward)
{
    const Vec3d sun{world.sunMatrix[4], world.sunMatrix[5], world.sunMatrix[6]};
    const double sunLength = length(sun);
    const double sunHeight = sunLength > 0.0 ? std::clamp(sun.y / sunLength, -1.0, 1.0) : 0.0;
    const double previousElevation = sunElevationDegrees_;
    sunElevationDegrees_ = std::asin(sunHeight) * kRadiansToDegrees;
    sunAzimuthRadians_ = std::atan2(sun.z, sun.x);

    // The two tables around the sun's elevation, blended; below the last light of twilight the
    // lowest table (whose sky is black to the display) stands for the whole night.
    const double s = std::clamp(sunElevationDegrees_, kDarkSunElevationDegrees, 90.0) / kSunStepDegrees;
    const int lowStep = std::clamp(int(std::floor(s)), int(kDarkSunElevationDegrees / kSunStepDegrees),
                                   int(90.0 / kSunStepDegrees) - 1);
    lastStep_ = lowStep;
    blend_ = std::clamp(s - lowStep, 0.0, 1.0);
    const long stepsBefore = rebuildStepsTaken_;
    useSettings(world, lowStep);
    // At most one whole table a frame: the one nearer the sun first; the other is blended in
    // only when it is ready or this frame computed nothing else (the sun running fast, P held,
    // shows the nearer table alone for a frame rather than pay for two).
    const int nearStep = blend_ < 0.5 ? lowStep : lowStep + 1;
    const int farStep = nearStep == lowStep ? lowStep + 1 : lowStep;
    const long rowsBefore = rowsComputed_;
    SkyViewTable* nearTable = &tableAt(nearStep, true);
    SkyViewTable* farTable = &tableAt(farStep, false);
    if (!farTable->complete()) {
        if (rowsComputed_ == rowsBefore)
            computeRows(*farTable, SkyViewTable::kRows);
        else
            farTable = nearTable;
    }
    lower_ = nearStep == lowStep ? nearTable : farTable;
    upper_ = nearStep == lowStep ? farTable : nearTable;
    // A few rows of the table the sun is moving towards, so that it is ready when the sun gets
    // there and no frame computes a whole one (a jump of the clock still does); none in a frame
    // that has computed a whole table already, nor while new tables are under way (they will
    // replace these).
    const int ahead = sunElevationDegrees_ >= previousElevation ? lowStep + 2 : lowStep - 1;
    if (rowsComputed_ == rowsBefore && rebuildStepsTaken_ == stepsBefore && !pending_ &&
        ahead >= int(kDarkSunElevationDegrees / kSunStepDegrees) && ahead <= int(90.0 / kSunStepDegrees)) {
        SkyViewTable& next = tableAt(ahead, false);
        computeRows(next, kRowsPerFrame);
    }

    const double meanLuminance = std::max((1.0 - blend_) * lower_->meanLuminance + blend_ * upper_->meanLuminance,
                                          kDarkestAdapted * referenceLuminance_);
    if (fixedExposureEv)
        exposure_ = kKey * std::exp2(*fixedExposureEv) / referenceLuminance_;
    else
        exposure_ = kKey / (std::pow(meanLuminance, kAdaptation) * std::pow(referenceLuminance_, 1.0 - kAdaptation));

    // The dome's colours, ring by ring (domeRings), from the rows at each slice's azimuth.
    const std::vector<DomeRing>& rings = domeRings();
    domeColours_.resize(rings.size() * (kDomeSlices + 1) * 3);
    Rgb rows[SkyViewTable::kRows];
    const auto colourAt = [this](std::size_t ring, int k) {
        return &domeColours_[(ring * (kDomeSlices + 1) + std::size_t(k)) * 3];
    };
    for (int k = 0; k < kDomeSlices; ++k) {
        const double azimuth = azimuthFromSun(2.0 * kPi * k / kDomeSlices, sunAzimuthRadians_);
        for (int j = 0; j < SkyViewTable::kRows; ++j)
            rows[j] = mix(tableRadiance(*lower_, j, azimuth), tableRadiance(*upper_, j, azimuth), blend_);
        // Ring 0 (the nadir) has the band's colour, as ring 1 has.
        for (std::size_t ring = 1; ring < rings.size(); ++ring) {
            const Rgb c = displayColour(ringRadiance(rings[ring], rows), exposure_);
            float* out = colourAt(ring, k);
            out[0] = float(c.r);
            out[1] = float(c.g);
            out[2] = float(c.b);
        }
        std::copy(colourAt(1, k), colourAt(1, k) + 3, colourAt(0, k));
    }
    // The last slice closes the dome where the first began.
    for (std::size_t ring = 0; ring < rings.size(); ++ring)
        std::copy(colourAt(ring, 0), colourAt(ring, 0) + 3, colourAt(ring, kDomeSlices));

    // Light on the ground: a Lambertian ground of the texture's albedo under the sun (E = 1,
    // transmitted) and the sky (its irradiance), each radiance E / pi taken through the same
    // tone mapping as the sky, so that the ground sits among the sky's brightnesses.
    const Rgb transmittance = mix(lower_->sunTransmittance, upper_->sunTransmittance, blend_);
    diffuse_ = displayColour(transmittance * (1.0 / kPi), exposure_);
    ambient_ = displayColour(mix(lower_->skyIrradiance, upper_->skyIrradiance, blend_) * (1.0 / kPi), exposure_);
    // Fog: the dome's band under the horizon where the camera looks, so the far ground fades
    // into it.
    const double viewAzimuth = azimuthFromSun(std::atan2(viewForward.z, viewForward.x), sunAzimuthRadians_);
    for (int j = 0; j < 3; ++j)
        rows[j] = mix(tableRadiance(*lower_, j, viewAzimuth), tableRadiance(*upper_, j, viewAzimuth), blend_);
    fog_ = displayColour(underHorizon(rows[0], rowSlope(rows, 0), kBandDepthDegrees), exposure_);
    // The disc: the transmitted sunlight's hue at full brightness; the halo: the Mie glow one
    // degree from the sun, reaching out the further the whiter the sunlight (as the classic
    // halo's extent).
    const double brightest = std::max({transmittance.r, transmittance.g, transmittance.b});
    sunDisc_ = brightest > 1e-4 ? transmittance * (1.0 / brightest) : Rgb{};
    halo_ = displayColour(mix(lower_->nearSun, upper_->nearSun, blend_), exposure_);
    const double sum = transmittance.r + transmittance.g + transmittance.b;
    haloExtent_ = sum > 0.0 ? std::min(std::pow(3.0 / sum, 2.0), 50.0) : 50.0;

    const Rgb zenith = displayColour(radianceAt(90.0, 0.0), exposure_);
    const double skyDisplay = std::max(luminance(zenith), luminance(fog_));
    starVisibility_ = std::clamp((kStarsAppear - skyDisplay) / (0.8 * kStarsAppear), 0.0, 1.0);
    if (starVisibility_ > 0.0)
        stars_.build();
}

Rgb PhysicalSky::radianceAt(double elevationDegrees, double azimuthFromSunDegrees) const
{
    if (!lower_ || !upper_)
        return {};
    // Rows at 90 (j / 15)^2 degrees: the inverse gives the fractional row.
    const double y = std::sqrt(std::clamp(elevationDegrees / 90.0, 0.0, 1.0)) * (SkyViewTable::kRows - 1);
    const int j = std::min(int(y), SkyViewTable::kRows - 2);
    const auto at = [&](const SkyViewTable& t) {
        return mix(tableRadiance(t, j, azimuthFromSunDegrees), tableRadiance(t, j + 1, azimuthFromSunDegrees), y - j);
    };
    return mix(at(*lower_), at(*upper_), blend_);
}

void PhysicalSky::starSkyMatrix(const TWorld& world, float matrix[16]) const
{
    if (realSky) {
        equatorialToWorldMatrix(realSky->julianDayUt, realSky->latitudeDegrees, realSky->longitudeEastDegrees, matrix);
        return;
    }
    // The real clock's sky: the stars as they stand over the world's place at the instant its
    // clock shows (hour on a clock utcOffsetHours ahead of UTC), the frame its real sun is in.
    if (world.realSun) {
        equatorialToWorldMatrix(julianDay(world.calendarDate(), double(world.hour) - double(world.utcOffsetHours)),
                                double(world.latitude), double(world.longitude), matrix);
        return;
    }
    // Column-major products, a * b: element (row r, column c) at c * 4 + r.
    const auto multiply = [](const float* a, const float* b, float* out) {
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) {
                float sum = 0.0f;
                for (int k = 0; k < 4; ++k)
                    sum += a[k * 4 + r] * b[c * 4 + k];
                out[c * 4 + r] = sum;
            }
    };
    const double angle = -double(world.latitude) * kDegreesToRadians;
    const float c = float(std::cos(angle));
    const float s = float(std::sin(angle));
    const float unturnLatitude[16] = {c,    s,    0.0f, 0.0f, -s,   c,    0.0f, 0.0f,
                                      0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    float equatorial[16];
    designedSkyMatrix(sunRightAscensionOnDay(double(world.day) * 365.0 / std::max(world.daysPerYear, 1u)), equatorial);
    float partial[16];
    multiply(world.sunMatrix, unturnLatitude, partial);
    multiply(partial, equatorial, matrix);
}

// Expects and leaves what TWorld::render does (SkyRender.cpp): GL context current,
// GL_MODELVIEW selected with the camera's look-at loaded. Leaves the modelview matrix as it was;
// depth test, alpha test, lighting, culling, colour material and fog enabled and the depth mask
// on; GL_TEXTURE_2D and GL_BLEND enabled (blend function source alpha, one minus source alpha)
// with the world's opticalDepthTexture bound; GL_TEXTURE_1D disabled with its halo texture
// bound; the vertex and colour arrays disabled.
void PhysicalSky::render(TWorld& world)
{
    update(world, viewForwardOfModelview());
    draw(world);
}

Vec3d viewForwardOfModelview()
{
    GLfloat view[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, view);
    // The camera looks along -z of the eye: in the world that is minus the rotation's third row.
    return {-view[2], -view[6], -view[10]};
}

std::vector<float> PhysicalSky::horizonBand() const
{
    // Ring 1 is the band's lower edge, kBandDepthDegrees down, whose colour the dome keeps to
    // the nadir.
    if (domeColours_.empty())
        return {};
    const auto first = domeColours_.begin() + std::ptrdiff_t(kDomeSlices + 1) * 3;
    return std::vector<float>(first, first + std::ptrdiff_t(kDomeSlices + 1) * 3);
}

void PhysicalSky::draw(TWorld& world)
{
    if (!lower_ || !upper_)
        update(world, viewForwardOfModelview());
    enterSkyState();
    pushEyeCentredView();

    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    drawDome();
    if (starVisibility_ > 0.0)
        drawStars(world);

    applyLight(world);
    glPushMatrix();
    glMultMatrixf(world.sunMatrix);
    const GLfloat fog[4] = {GLfloat(fog_.r), GLfloat(fog_.g), GLfloat(fog_.b), 1.0f};
    glFogfv(GL_FOG_COLOR, fog);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (sunDisc_.r > 0.0 || sunDisc_.g > 0.0 || sunDisc_.b > 0.0) {
        glTranslatef(0.0f, 1.0f, 0.0f);
        const float3 halo{float(halo_.r), float(halo_.g), float(halo_.b)};
        const float3 disc{float(sunDisc_.r), float(sunDisc_.g), float(sunDisc_.b)};
        world.sunFan.draw(sunRimRadius(world.sunAngle), sunRimRadius(world.haloAngle), 45.0, world.haloTexture, 0.0f,
                          float(haloExtent_), halo);
        world.sunFan.draw(sunRimRadius(world.sunAngle), 1.2 * sunRimRadius(world.sunAngle), 45.0, world.haloTexture,
                          0.0f, 1.0f, disc);
    }
    glPopMatrix();
    glPopMatrix();

    glDisable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, world.haloTexture);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, world.opticalDepthTexture);
    leaveSkyState();
}

void PhysicalSky::applyLight(const TWorld& world) const
{
    // A directional light: GL keeps its direction turned by the modelview matrix, so only the
    // camera's rotation matters, not its place.
    glPushMatrix();
    glMultMatrixf(world.sunMatrix);
    const GLfloat position[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    const GLfloat spotDirection[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    setLight(GL_DIFFUSE, diffuse_);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spotDirection);
    setLight(GL_AMBIENT, ambient_);
    glPopMatrix();
}

void PhysicalSky::drawDome() const
{
    // Rings bottom up (domeRings); smooth shading interpolates between them.
    const std::vector<DomeRing>& rings = domeRings();
    const auto vertex = [this, &rings](std::size_t ring, int k) {
        glColor3fv(&domeColours_[(ring * (kDomeSlices + 1) + std::size_t(k)) * 3]);
        const Vec3d d = directionAt(rings[ring].elevationDegrees, 2.0 * kPi * k / kDomeSlices);
        glVertex3d(d.x, d.y, d.z);
    };
    for (std::size_t ring = 0; ring + 1 < rings.size(); ++ring) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int k = 0; k <= kDomeSlices; ++k) {
            vertex(ring + 1, k);
            vertex(ring, k);
        }
        glEnd();
    }
}

void PhysicalSky::drawStars(const TWorld& world) const
{
    // The designed clock turns the stars through the sun's own matrix (see designedSkyMatrix).
    // They are turned on the CPU, in the world frame the dome is drawn in, so that each can be
    // dimmed by the air along its direction and those below the horizon left out.
    GLfloat sky[16];
    starSkyMatrix(world, sky);

    // Added to the sky's colour, each star scaled by how far the sky has darkened.
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    std::vector<float> positions;
    std::vector<float> colours;
    for (const StarField::Batch& batch : stars_.batches()) {
        starsOverTheGround(batch, sky, *tables_, starVisibility_, positions, colours);
        glPointSize(batch.pointSize);
        glVertexPointer(3, GL_FLOAT, 0, positions.data());
        glColorPointer(3, GL_FLOAT, 0, colours.data());
        glDrawArrays(GL_POINTS, 0, GLsizei(positions.size() / 3));
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPointSize(1.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
}
