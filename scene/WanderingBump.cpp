#include "WanderingBump.h"

#include "FormState.h"
#include "MathConstants.h"

#include <cmath>

std::int32_t RandomSource::next()
{
    state_ = state_ * 0x0000015A00004E35ull + 1u;
    return std::int32_t((state_ >> 32) & 0x7FFFFFFFu);
}

std::int32_t randomBelow(RandomSource& source, std::int32_t n)
{
    if (n == 0)
        return 0;
    // The draw is never negative, so the signed remainder has the sign of the draw whatever the
    // sign of n, and INT32_MIN % -1 cannot occur.
    return source.next() % n;
}

namespace {

// One cell per axis toward the target, or none when already there.
std::int32_t stepToward(std::int32_t from, std::int32_t to)
{
    if (to > from)
        return from + 1;
    if (to < from)
        return from - 1;
    return from;
}

} // namespace

// Distances are in lattice index units (column and row differences, without the half-row
// shift of odd columns), so the bump is a circle on the index grid. Under it the height closes
// bumpRate of its gap per frame toward the raised cosine 2 * (w + 1), w = 0.5 * cos(pi d / r)
// + 0.5: an absolute height of 4 at the centre and 2 at the rim, whatever the ground was.
// No GL call: the walk is plain arithmetic on the lattice arrays and the camera.
void stepWanderingBump(TForm1State& form)
{
    // Before the terrain is built the arrays may be missing or half filled: no walk.
    if (!form.landscapeBuilt)
        return;
    // A loaded ground keeps its real shape unless the user asked for the bump over it.
    if (form.ground && !form.bumpOnGround)
        return;

    TLandscape& land = form.landscape;
    const std::int32_t r = form.bumpRadius;
    const std::int32_t latticeW = form.latticeWidth;
    const std::int32_t latticeD = form.latticeDepth;

    // A target anywhere the whole bump fits: [r, W - r - 1] x [r, D - r - 1]. The centre walks
    // one cell per axis toward it, so a centre inside that range never leaves it.
    const std::int32_t targetColumn = randomBelow(form.bumpRandom, latticeW - 2 * r) + r;
    const std::int32_t targetRow = randomBelow(form.bumpRandom, latticeD - 2 * r) + r;
    form.bumpColumn = stepToward(form.bumpColumn, targetColumn);
    form.bumpRow = stepToward(form.bumpRow, targetRow);
    const std::int32_t centreColumn = form.bumpColumn;
    const std::int32_t centreRow = form.bumpRow;

    // Vertices off the landscape are skipped: a bump placed (or a lattice size given) so that
    // part of the square falls outside the arrays reshapes only what is there.
    const auto onLattice = [&land](std::int32_t i, std::int32_t j) {
        return i >= 0 && j >= 0 && std::uint32_t(i) < land.width && std::uint32_t(j) < land.depth;
    };
    const auto vertexIndex = [&land](std::int32_t i, std::int32_t j) {
        return std::size_t(j) * land.width + std::size_t(i);
    };

    const double rate = form.bumpRate;
    for (std::int32_t i = centreColumn - r; i <= centreColumn + r; ++i) {
        for (std::int32_t j = centreRow - r; j <= centreRow + r; ++j) {
            const std::int32_t di = centreColumn - i;
            const std::int32_t dj = centreRow - j;
            const float d = float(std::sqrt(double(di * di + dj * dj)));
            if (!(d <= float(r)) || !onLattice(i, j))
                continue;
            const float w = float(0.5 * std::cos(kPi * double(d) / double(r)) + 0.5);
            const std::size_t k = vertexIndex(i, j);
            float& y = land.positions[k].y;
            y = float(double(y) + (2.0 * (double(w) + 1.0) - double(y)) * rate);
            // Layer 3 toward the centre, 2 where w < 1/3 (d/r above about 0.608).
            const std::int32_t layer = std::int32_t(1.5 * (double(w) + 1.0) + 1.0);
            land.layers[k] = std::uint32_t(layer < 3 ? layer : 3);
        }
    }

    // The normals of the bump's square; those of its outer neighbours keep last frame's slope.
    if (centreColumn + r >= 0 && centreRow + r >= 0) {
        const auto low = [](std::int32_t v) { return std::uint32_t(v > 0 ? v : 0); };
        land.computeNormals(low(centreColumn - r), low(centreColumn + r), low(centreRow - r), low(centreRow + r));
    }
    // Heights and layers changed within the square, normals over it: the batch cache copies
    // the cells around it again (whichever path draws, so that switching paths stays right).
    land.markChanged(centreColumn - r, centreColumn + r, centreRow - r, centreRow + r);

    if (onLattice(centreColumn, centreRow)) {
        const float3& apex = land.positions[vertexIndex(centreColumn, centreRow)];
        form.bumpApex = Vec3d{double(apex.x), double(apex.y), double(apex.z)};
    }

    if (form.camera.orbiting)
        form.camera.enterOrbit(form.bumpApex, double(r));
}
