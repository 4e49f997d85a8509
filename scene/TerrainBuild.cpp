#include "TerrainBuild.h"

#include "ElevationModel.h"
#include "FormState.h"
#include "Landscape.h"
#include "Texture.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const char* const kLayerFiles[4] = {"LandTex0.bmp", "LandTex1.bmp", "LandTex2.bmp", "LandTex3.bmp"};

// The wave factors are single-precision constants; the sines see them widened to double.
constexpr double kWaveX = double(0.7f);
constexpr double kWaveZ = double(0.6f);
constexpr double kWaveXZ = double(0.4f);

// A lattice dimension from the window's signed setting; create() turns 0 and 1 into 2, and a
// negative setting must not become a dimension of four billion.
std::uint32_t latticeSide(std::int32_t setting)
{
    return setting > 0 ? std::uint32_t(setting) : 0u;
}

} // namespace

unsigned layerForSlope(float normalY)
{
    // 4 - (y - 0.75) * 16 falls by one for every 1/16 the normal leans further from vertical:
    // y above 0.9375 gives 0, down to 0.8125 and below which gives 3. A result below zero
    // (y above 1.0625) would wrap round as unsigned and so also clamps to 3, as does NaN.
    const double layer = 4.0 - (double(normalY) - 0.75) * 16.0;
    if (!(layer > -1.0) || layer >= 4.0)
        return 3;
    return unsigned(int(layer));
}

void setWaveHeights(TLandscape& land)
{
    // Three sine waves along x, z and the diagonal, averaged, lifted by 2 and scaled by the
    // spacing: every height lies in [spacing, 3 * spacing].
    const double spacing = land.spacing;
    for (std::uint32_t i = 0; i < land.width; ++i) {
        for (std::uint32_t j = 0; j < land.depth; ++j) {
            float3& p = land.positions[std::size_t(j) * land.width + i];
            const double x = p.x;
            const double z = p.z;
            const double waves = std::sin(kWaveX * x) + std::sin(kWaveZ * z) + std::sin(kWaveXZ * (x + z));
            p.y = float((waves * (1.0 / 3.0) + 2.0) * spacing);
        }
    }
}

namespace {

void setColoursAndLayersOf(TLandscape& land, std::size_t begin, std::size_t end)
{
    for (std::size_t k = begin; k < end; ++k) {
        land.colours[k] = ubyte4{255, 255, 255, 0};
        land.layers[k] = layerForSlope(land.normals[k].y);
    }
}

} // namespace

void setColoursAndLayers(TLandscape& land)
{
    setColoursAndLayersOf(land, 0, land.vertexCount());
}

void setModelHeights(TLandscape& land, const ElevationModel& model)
{
    const std::size_t count = land.vertexCount();
    for (std::size_t k = 0; k < count && k < model.heightsUnits.size(); ++k)
        land.positions[k].y = model.heightsUnits[k];
}

float groundHeightAt(const TLandscape& land, double x, double z)
{
    if (land.width < 2 || land.depth < 2)
        return 0.0f;
    // Column i lies at x = i * spacing * sqrt(3)/2; in it, row j at z = (j - 0.5 (i mod 2)) * spacing.
    const double columnStep = double(land.spacing) * 0.8660254037844386;
    const double column = std::clamp(x / columnStep, 0.0, double(land.width - 1));
    const auto i0 = std::min(std::uint32_t(column), land.width - 2);
    const double fx = column - i0;
    const auto along = [&land, z](std::uint32_t i) {
        const double row = std::clamp(z / double(land.spacing) + 0.5 * (i % 2), 0.0, double(land.depth - 1));
        const auto j0 = std::min(std::uint32_t(row), land.depth - 2);
        const double fz = row - j0;
        const float3* p = land.positions + std::size_t(j0) * land.width + i;
        return (1.0 - fz) * double(p[0].y) + fz * double(p[land.width].y);
    };
    return float((1.0 - fx) * along(i0) + fx * along(i0 + 1));
}

std::optional<Vec3d> groundHit(const TLandscape& land, const Vec3d& eye, const Vec3d& direction, double maxDistance)
{
    const double step = double(land.spacing) * 0.1;
    const auto above = [&](double t) {
        return eye.y + direction.y * t - double(groundHeightAt(land, eye.x + direction.x * t, eye.z + direction.z * t));
    };
    double before = 0.0;
    for (double t = step; t <= maxDistance; t += step) {
        if (above(t) > 0.0) {
            before = t;
            continue;
        }
        double low = before;
        double high = t;
        for (int halving = 0; halving < 20; ++halving) {
            const double mid = 0.5 * (low + high);
            (above(mid) > 0.0 ? low : high) = mid;
        }
        return Vec3d{eye.x + direction.x * high, eye.y + direction.y * high, eye.z + direction.z * high};
    }
    return std::nullopt;
}

void buildLandscape(TForm1State& form)
{
    form.landscapeBuilt = false;
    TLandscape& land = form.landscape;
    const bool ownGround = form.ground && !form.ground->heightsUnits.empty();
    if (ownGround) {
        form.latticeWidth = std::int32_t(form.ground->latticeWidth);
        form.latticeDepth = std::int32_t(form.ground->latticeDepth);
    }
    land.create(latticeSide(form.latticeWidth), latticeSide(form.latticeDepth), kTerrainSpacing, kTerrainTextureSlots);

    // One at a time into its slot, so a file that fails leaves the earlier textures owned by
    // the landscape (its destructor deletes them) and the build stops there.
    for (std::uint32_t slot = 0; slot < 4; ++slot)
        land.textures[slot] = loadTexture(QString::fromLatin1(kLayerFiles[slot]));

    if (ownGround) {
        setModelHeights(land, *form.ground);
        std::vector<float>().swap(form.ground->heightsUnits);
    } else {
        setWaveHeights(land);
    }
    // Row by row, each row's layers straight after its normals while they are still in the
    // cache: the same values as computeNormals over the whole lattice and setColoursAndLayers,
    // without a second pass over a large lattice's normals. computeNormals leaves the border
    // rows (0 and depth - 1) alone.
    for (std::uint32_t j = 0; j < land.depth; ++j) {
        land.computeNormals(0, land.width, j, j);
        const std::size_t rowStart = std::size_t(j) * land.width;
        setColoursAndLayersOf(land, rowStart, rowStart + land.width);
    }

    form.landscapeBuilt = true;
}

void reloadLandscapeTextures(TForm1State& form)
{
    if (form.groundRequest) {
        ElevationModel fresh = loadElevationModel(*form.groundRequest);
        form.ground = std::move(fresh);
        buildLandscape(form);
        return;
    }
    if (!form.landscapeBuilt) {
        buildLandscape(form);
        return;
    }
    GLuint fresh[4] = {};
    try {
        for (std::uint32_t slot = 0; slot < 4; ++slot)
            fresh[slot] = loadTexture(QString::fromLatin1(kLayerFiles[slot]));
    } catch (...) {
        glDeleteTextures(4, fresh); // name 0 is ignored
        throw;
    }
    TLandscape& land = form.landscape;
    glDeleteTextures(4, land.textures);
    for (std::uint32_t slot = 0; slot < 4; ++slot)
        land.textures[slot] = fresh[slot];
}
