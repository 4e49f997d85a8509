#pragma once

#include "AtmosphereModel.h"
#include "StarField.h"
#include "Vec3.h"

#include <GL/gl.h>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class TWorld;

// Which sky the frame draws: the classic one (TWorld::render) or the physically based one.
enum class SkyKind { Classic, Physical };

// The sky seen from the ground for one sun elevation (Hillaire's "sky-view" table, on the CPU):
// radiance by view elevation (rows) and azimuth away from the sun (columns, 0 .. 180 degrees;
// the sky is mirror-symmetric about the sun's vertical plane), and what follows from it.
struct SkyViewTable {
    static constexpr int kRows = 16;    // elevation 90 (j / 15)^2 degrees: dense at the horizon
    static constexpr int kColumns = 24; // azimuth from the sun 180 (i / 23)^1.5 degrees: dense near it
    static double rowElevationDegrees(int row);
    static double columnAzimuthDegrees(int column);

    double sunElevationDegrees = 0.0;
    std::vector<Rgb> radiance;  // kRows x kColumns, row-major
    int rowsDone = 0;           // rows computed so far (the table is built a few rows a frame)
    Rgb sunTransmittance;       // of the direct sun at the ground
    Rgb skyIrradiance;          // on a horizontal surface, from the whole sky, per unit sunlight
    double meanLuminance = 0.0; // over the upper hemisphere's solid angle
    Rgb nearSun;                // radiance 1 degree from the sun's centre (the Mie halo)

    bool complete() const { return rowsDone == kRows; }
};

// Computes rows of a table; with rowsDone == kRows on return the sums are filled in.
void computeSkyViewRows(const AtmosphereTables& tables, SkyViewTable& table, int rowCount);
SkyViewTable computeSkyView(const AtmosphereTables& tables, double sunElevationDegrees);

// The camera's forward direction in the world frame, from the current modelview matrix.
Vec3d viewForwardOfModelview();

// Tone mapping: display = (1 - exp(-exposure * radiance))^(1/2.2) per channel, 0 .. 1.
Rgb displayColour(const Rgb& radiance, double exposure);

// The stars of one batch as they are drawn over an observer on the ground: turned into the world
// frame by skyMatrix (column-major, the star frame of StarField.h to the world, y up), only those
// above the horizon, each star's colour times visibility (0 .. 1) and times the square root of
// the air's transmittance along its direction (AtmosphereTables::transmittanceToTop from 1 m up,
// per channel). The square root because the field shows a star's brightness as the square root
// of its flux: a star the air dims shows as a star that much fainter would. Replaces the
// contents of positions (xyz, world frame) and colours (RGB).
void starsOverTheGround(const StarField::Batch& batch, const float skyMatrix[16], const AtmosphereTables& tables,
                        double visibility, std::vector<float>& positions, std::vector<float>& colours);

// The physically based sky the window draws instead of the classic one when asked: tables kept
// for the atmosphere the settings select (rebuilt a slice a frame when the sliders or the
// atmosphere height change, the old ones drawn until the new are whole), sky-view tables at
// every kSunStepDegrees of sun elevation (built a few rows a frame ahead of the sun, blended
// between the two that bracket it), an exposure, and the stars.
class PhysicalSky {
public:
    static constexpr double kSunStepDegrees = 1.0;
    // Sun elevations below this give a black sky (only stars): the last light of astronomical
    // twilight has gone.
    static constexpr double kDarkSunElevationDegrees = -20.0;
    // Table rows computed per frame ahead of the sun (each row about 0.15 ms here).
    static constexpr int kRowsPerFrame = 3;
    // Steps of a rebuild per frame after a change of the settings: each a step of the
    // atmosphere's tables (AtmosphereTables::buildSteps) or a row of a new sky-view table, about
    // 0.15 to 0.3 ms here, so that a frame of a rebuild costs under a millisecond more and the
    // whole (kRebuildSteps) takes under a second at 60 frames a second.
    static constexpr int kRebuildStepsPerFrame = 3;
    // The steps of a whole rebuild: the atmosphere's tables, the sun-45-degrees table that sets
    // the reference exposure, and the two tables around the sun.
    static constexpr int kRebuildSteps = AtmosphereTables::kBuildSteps + 3 * SkyViewTable::kRows;

    PhysicalSky();
    ~PhysicalSky();
    PhysicalSky(const PhysicalSky&) = delete;
    PhysicalSky& operator=(const PhysicalSky&) = delete;

    // A fixed exposure in stops relative to the automatic exposure of a sun 45 degrees up;
    // empty (the default) adapts to the sky's brightness.
    std::optional<double> fixedExposureEv;

    // A real clock's sky: the stars as they stand over a place (latitude north, longitude east,
    // degrees) at a Julian day (UT). Empty (the default), the world's real sun (TWorld::realSun)
    // sets them from its clock and place; with the designed clock they turn through the sun
    // matrix.
    struct RealSky {
        double julianDayUt = 2451545.0;
        double latitudeDegrees = 0.0;
        double longitudeEastDegrees = 0.0;
    };
    std::optional<RealSky> realSky;

    // The rotation (column-major 4 x 4) that takes the stars' equatorial vectors (StarField.h)
    // into the world frame the dome is drawn in: equatorialToWorldMatrix for a real sky (realSky,
    // or the world's real sun at its clock's instant), else
    // sunMatrix * Rz(-latitude) * designedSkyMatrix(the sun's right ascension on the world's day).
    void starSkyMatrix(const TWorld& world, float matrix[16]) const;

    // The CPU half of a frame (no GL): the atmosphere for the world's settings, the sky-view
    // tables for its sun, the exposure and the colours. viewForward is the camera's forward
    // direction in the world frame (for the fog colour).
    void update(const TWorld& world, const Vec3d& viewForward);

    // Draws the sky dome, the stars, the sun's halo and disc around the eye and sets light 0
    // and the fog colour, in the place and with the contract of TWorld::render (SkyRender.cpp):
    // GL context current, GL_MODELVIEW selected with the camera's look-at loaded, the world
    // initialised. render calls update itself (for the view the modelview matrix holds); draw
    // draws what the last update made.
    void render(TWorld& world);
    void draw(TWorld& world);
    // Sets light 0 as draw sets it, from the last update, for ground drawn before the sky: GL
    // context current, GL_MODELVIEW selected with the camera's look-at loaded; leaves the
    // matrix as it was.
    void applyLight(const TWorld& world) const;

    // The colours of the band under the horizon as the last update made them (display RGB),
    // at the azimuths 2 pi k / n from +x toward +z, k = 0 .. n, the last the first again:
    // what a GroundFog fades the ground into. Empty before the first update.
    std::vector<float> horizonBand() const;

    // The values of the last update, for the window and the tests.
    double exposure() const { return exposure_; }
    double sunElevationDegrees() const { return sunElevationDegrees_; }
    const Rgb& lightDiffuse() const { return diffuse_; }
    const Rgb& lightAmbient() const { return ambient_; }
    const Rgb& fogColour() const { return fog_; }
    const Rgb& sunDiscColour() const { return sunDisc_; }
    const Rgb& haloColour() const { return halo_; }
    double starVisibility() const { return starVisibility_; }
    // The blended sky radiance at (elevation, azimuth from the sun), degrees, elevation >= 0.
    Rgb radianceAt(double elevationDegrees, double azimuthFromSunDegrees) const;
    // Sky-view table rows computed since construction: a row a frame at most kRowsPerFrame
    // while the sun and the settings stay, a whole table's when one is needed at once.
    long rowsComputed() const { return rowsComputed_; }
    const AtmosphereTables* tables() const { return tables_.get(); }
    // Steps taken for tables not yet drawn since construction (kRebuildStepsPerFrame a frame at
    // most), and whether such a rebuild is under way.
    long rebuildStepsTaken() const { return rebuildStepsTaken_; }
    bool rebuilding() const { return pending_ != nullptr; }

private:
    struct SettingsKey {
        float scattering[3] = {-1.0f, -1.0f, -1.0f};
        float atmosphereHeight = -1.0f;
    };
    // The next atmosphere's tables while they are built, with their key and the first sky-view
    // tables for them.
    struct Rebuild {
        SettingsKey key;
        std::unique_ptr<AtmosphereTables> tables;
        SkyViewTable reference;
        std::map<int, SkyViewTable> views;
    };
    static SettingsKey keyOf(const TWorld& world);
    static bool sameKey(const SettingsKey& a, const SettingsKey& b);
    void useSettings(const TWorld& world, int lowStep);
    bool advanceRebuild(int lowStep);
    SkyViewTable& tableAt(int step, bool complete);
    void computeRows(SkyViewTable& table, int rowCount);
    void drawDome() const;
    void drawStars(const TWorld& world) const;

    SettingsKey key_;
    std::unique_ptr<AtmosphereTables> tables_;
    double referenceLuminance_ = 1.0;
    std::map<int, SkyViewTable> cache_; // by step of sun elevation, at most a handful kept
    long rowsComputed_ = 0;
    std::unique_ptr<Rebuild> pending_;
    long rebuildStepsTaken_ = 0;
    int lastStep_ = 0;

    double sunElevationDegrees_ = 0.0;
    double sunAzimuthRadians_ = 0.0;
    double blend_ = 0.0;
    const SkyViewTable* lower_ = nullptr;
    const SkyViewTable* upper_ = nullptr;
    double exposure_ = 1.0;
    Rgb diffuse_, ambient_, fog_, sunDisc_, halo_;
    double haloExtent_ = 1.0;
    double starVisibility_ = 0.0;
    std::vector<float> domeColours_; // RGB per dome vertex
    StarField stars_;
};
