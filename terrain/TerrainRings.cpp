#include "TerrainRings.h"

#include "Landscape.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// sqrt(3)/2: the column distance in units of the row spacing.
constexpr double kColumnFactor = 0.8660254037844386;
// Cells of the morph zone inside a level's edge.
constexpr double kMorphCells = 6.0;

// The width of every level beyond the band, in its own cells: the morph zone (6 cells) and the
// 3.5 its outer edge may come nearer with the snapping, the 2 by which the inner level's square
// may reach out past its half-size (its snapping and its parent triangles), and half a cell to
// spare, so that no vertex at the hole's edge morphs. A fixed width, as a clipmap's fixed size,
// keeps a level's cells seen under about the same angle at every level, and their number (the
// drawing's cost, which grows with the square of the width) the same; against 16 cells, 12 draw
// some 30 % fewer triangles beyond the band for a picture that differs from every cell in full
// by at most 0.03 of a step more on average.
constexpr double kRingWidthCells = 12.0;

std::int64_t floorDiv(std::int64_t n, std::int64_t d)
{
    const std::int64_t q = n / d;
    return (n % d != 0 && ((n < 0) != (d < 0))) ? q - 1 : q;
}

double cellOf(const RingScale& scale, int level)
{
    return double(scale.spacing) * double(std::int64_t(1) << level);
}

// The world x and z of diamond point (a, b) of level 0 (fractions allowed): i = a - b columns
// of sqrt(3)/2 spacing, z2 = a + b half rows.
void worldOf(double a, double b, float spacing, double* x, double* z)
{
    *x = (a - b) * double(spacing) * kColumnFactor;
    *z = (a + b) * double(spacing) * 0.5;
}

// The lattice vertex of level vertex (a, b) when it lies on the lattice, else -1.
std::int64_t vertexOf(const LatticeView& land, int level, std::int64_t a, std::int64_t b)
{
    const LatticeIndex li = latticeIndexOf(level, a, b);
    if (li.column < 0 || li.row < 0 || li.column >= std::int64_t(land.width) || li.row >= std::int64_t(land.depth))
        return -1;
    return li.row * std::int64_t(land.width) + li.column;
}

// The normal of level vertex (a, b) from its six level neighbours, in the turning order from
// +x towards +z: +a (30 degrees), +a+b (90), +b (150), -a, -a-b, -b. Level 0 and vertices
// with a neighbour off the lattice take the lattice's own normal.
float3 levelNormal(const LatticeView& land, int level, std::int64_t a, std::int64_t b, std::int64_t k)
{
    if (level == 0)
        return land.normals[k];
    const std::int64_t around[6][2] = {{a + 1, b}, {a + 1, b + 1}, {a, b + 1}, {a - 1, b}, {a - 1, b - 1}, {a, b - 1}};
    std::int64_t n[6];
    for (int m = 0; m < 6; ++m) {
        n[m] = vertexOf(land, level, around[m][0], around[m][1]);
        if (n[m] < 0)
            return land.normals[k];
    }
    float3 normal;
    vertexNormal(normal, land.positions[k], land.positions[n[0]], land.positions[n[1]], land.positions[n[2]],
                 land.positions[n[3]], land.positions[n[4]], land.positions[n[5]]);
    return normal;
}

// Hexagonal distance between lattice points (diamond offsets da, db): the fewest edges along
// +a, +b and +a+b (and their opposites) that join them.
std::int64_t hexDistance(std::int64_t da, std::int64_t db)
{
    const std::int64_t d = da - db;
    return std::max({da < 0 ? -da : da, db < 0 ? -db : db, d < 0 ? -d : d});
}

} // namespace

RingLook ringLookAt(const LatticeView& land, int level, std::int64_t a, std::int64_t b)
{
    RingLook look;
    const std::int64_t cell = std::int64_t(1) << level;
    // The footprint is sampled every `stride` lattice vertices (all of them up to level 2, 9 x 9
    // samples beyond), each weighted by the hat; the weights are normalised by their sum.
    const std::int64_t stride = cell > 4 ? cell / 4 : 1;
    const std::int64_t reach = cell / stride;
    double sum = 0.0;
    double colour[3] = {0.0, 0.0, 0.0};
    double weight[kRingGroups] = {};
    for (std::int64_t j = -reach; j <= reach; ++j) {
        for (std::int64_t i = -reach; i <= reach; ++i) {
            const std::int64_t d = hexDistance(i * stride, j * stride);
            if (d >= cell && level > 0)
                continue;
            const std::int64_t k = vertexOf(land, 0, a * cell + i * stride, b * cell + j * stride);
            if (k < 0)
                continue;
            const double w = level > 0 ? 1.0 - double(d) / double(cell) : 1.0;
            const ubyte4& c = land.colours[k];
            colour[0] += w * c.r;
            colour[1] += w * c.g;
            colour[2] += w * c.b;
            const std::uint32_t g = std::min(land.layers[k], land.textureCount);
            if (g < kRingGroups)
                weight[g] += w;
            sum += w;
        }
    }
    if (sum > 0.0) {
        for (int c = 0; c < 3; ++c)
            look.colour[c] = float(colour[c] / sum);
        for (std::uint32_t g = 0; g < kRingGroups; ++g)
            look.weight[g] = float(weight[g] / sum);
    }
    return look;
}

LatticeIndex latticeIndexOf(int level, std::int64_t a, std::int64_t b)
{
    const std::int64_t fa = a * (std::int64_t(1) << level);
    const std::int64_t fb = b * (std::int64_t(1) << level);
    const std::int64_t column = fa - fb;
    const std::int64_t z2 = fa + fb; // 2 row - (column mod 2), of the column's parity
    return {column, (z2 + (column & 1)) / 2};
}

void triangleCorners(const RingTriangle& t, std::int32_t corners[3][2])
{
    // In world terms the lower triangle's corners lie at (0, 0), (sqrt 3, 1), (0, 2) in units
    // of half a cell, the upper's at (0, 0), (0, 2), (-sqrt 3, 1): both turn from +x towards
    // +z, clockwise seen from above, as the designed hexagons do.
    corners[0][0] = t.a;
    corners[0][1] = t.b;
    corners[1][0] = t.a + 1;
    corners[1][1] = t.b + (t.upper ? 1 : 0);
    corners[2][0] = t.a + (t.upper ? 0 : 1);
    corners[2][1] = t.b + 1;
}

RingTriangle parentTriangle(const RingTriangle& t)
{
    // Three times the centroid, (3a + 2, 3b + 1) for the lower triangle and (3a + 1, 3b + 2)
    // for the upper, is six times the centroid in the parent's coordinates. Its square there is
    // the floor of a sixth; below the square's rising diagonal (more a than b) is the lower one.
    // A child's centroid never lies on a parent's edge, so the comparison never ties.
    const std::int64_t p = 3 * std::int64_t(t.a) + (t.upper ? 1 : 2);
    const std::int64_t q = 3 * std::int64_t(t.b) + (t.upper ? 2 : 1);
    const std::int64_t pa = floorDiv(p, 6);
    const std::int64_t pb = floorDiv(q, 6);
    return {std::int32_t(pa), std::int32_t(pb), (p - 6 * pa) < (q - 6 * pb)};
}

void triangleCentroid(int level, const RingTriangle& t, float spacing, double* x, double* z)
{
    const double scale = double(std::int64_t(1) << level);
    const double a = (double(t.a) + (t.upper ? 1.0 / 3.0 : 2.0 / 3.0)) * scale;
    const double b = (double(t.b) + (t.upper ? 2.0 / 3.0 : 1.0 / 3.0)) * scale;
    worldOf(a, b, spacing, x, z);
}

RingScale ringScale(float spacing, float designedRadius)
{
    const double s = spacing > 0.0f ? double(spacing) : 1.0;
    const double r = designedRadius;
    return {float(s), std::max({1.5 * r, r + 15.0 * s, 26.0 * s})};
}

double ringHalfSize(const RingScale& scale, int level)
{
    double half = scale.baseHalfSize;
    for (int l = 1; l <= level; ++l)
        half += kRingWidthCells * cellOf(scale, l);
    return half;
}

RingSquare ringSquare(const RingScale& scale, int level, double cameraX, double cameraZ)
{
    const double u = cellOf(scale, level);
    // Two parent cells: a parent's column is 2u sqrt(3)/2 wide, its row 2u high.
    const double gridX = 4.0 * u * kColumnFactor;
    const double gridZ = 4.0 * u;
    return {std::round(cameraX / gridX) * gridX, std::round(cameraZ / gridZ) * gridZ, ringHalfSize(scale, level)};
}

namespace {

// v clamped to [0, 255] and rounded to the nearest byte (halves up); NaN gives 0. In 1/256ths
// of a step, so that the rounding is an exact integer shift (c * 256 is exact for c < 2^16)
// rather than a library call for each of a vertex's dozen bytes.
std::uint8_t byteOf(float v)
{
    const float c = v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f;
    return std::uint8_t((std::uint32_t(c * 256.0f) + 128u) >> 8);
}

// The morph's ramp at one level: the weight for a vertex d units (the larger of |dx| and |dz|)
// from the camera.
struct MorphRamp {
    double start = 0.0;
    double width = 1.0;

    MorphRamp(const RingScale& scale, int level)
    {
        const double u = cellOf(scale, level);
        const double half = ringHalfSize(scale, level);
        // The edge is nearest the camera when the snapped centre is off by half the snapping
        // grid (sqrt 3 u along x, 2u along z) and a parent triangle whose centroid lies just
        // outside reaches in by 2/sqrt 3 of its cell (2u): at least half - 3.2u away; 3.5u for
        // margin.
        width = kMorphCells * u;
        start = half - 3.5 * u - width;
    }
    // In steps of 1/256: a vertex is drawn again only when its weight moves by a step (a
    // 256th of the way to the coarser level, under a byte of colour), not at every frame of a
    // camera moving slowly against a coarse level's wide zone.
    float at(double d) const { return float(std::round(256.0 * std::clamp((d - start) / width, 0.0, 1.0)) / 256.0); }
};

} // namespace

float morphWeight(const RingScale& scale, int level, double cameraX, double cameraZ, double x, double z)
{
    return MorphRamp(scale, level).at(std::max(std::fabs(x - cameraX), std::fabs(z - cameraZ)));
}

int ringLevelsFor(const RingScale& scale, double viewDistance)
{
    if (!(viewDistance > kDesignedViewDistance))
        return 0;
    int levels = 1;
    while (ringHalfSize(scale, levels - 1) < 1.3 * viewDistance && levels < 20)
        ++levels;
    return levels;
}

std::size_t TerrainRings::slotOf(const Level& lv, std::int32_t a, std::int32_t b) const
{
    const std::int64_t n = lv.size;
    const std::int64_t i = ((std::int64_t(a) % n) + n) % n;
    const std::int64_t j = ((std::int64_t(b) % n) + n) % n;
    return std::size_t(j * n + i);
}

void TerrainRings::fillSlot(Level& lv, Level::Slot& slot, const LatticeView& land, std::int32_t a, std::int32_t b,
                            const Level* coarser)
{
    slot.a = a;
    slot.b = b;
    slot.held = true;
    slot.stale = false;
    ++refilled_;
    const std::size_t s = std::size_t(&slot - lv.cells.data());
    const std::int64_t k = vertexOf(land, lv.level, a, b);
    slot.onLattice = k >= 0;
    if (!slot.onLattice) {
        lv.drawnAlpha[s] = std::numeric_limits<float>::quiet_NaN();
        return;
    }
    slot.position = land.positions[k];
    lv.positions[s] = slot.position; // x and z for the morph loop until morphSlot draws it
    lv.drawnAlpha[s] = -1.0f;
    slot.normal = levelNormal(land, lv.level, a, b, k);
    slot.look = ringLookAt(land, lv.level, a, b);

    // The morph target: the vertex as the next level would draw it. A vertex of the next level
    // (a and b even) keeps its place and takes the next level's normal and look; an edge
    // midpoint takes the mean of the edge's two ends as the next level has them.
    const bool oddA = (a & 1) != 0;
    const bool oddB = (b & 1) != 0;
    const int next = lv.level + 1;
    // The next level's own vertex where it holds it up to date (it is brought up to date
    // first): its normal and look are what levelNormal and ringLookAt give here.
    const auto nextSlot = [&](std::int64_t na, std::int64_t nb) -> const Level::Slot* {
        if (!coarser || coarser->size == 0)
            return nullptr;
        const Level::Slot& held = coarser->cells[slotOf(*coarser, std::int32_t(na), std::int32_t(nb))];
        return held.held && !held.stale && held.onLattice && held.a == na && held.b == nb ? &held : nullptr;
    };
    const auto nextNormal = [&](std::int64_t na, std::int64_t nb, std::int64_t nk) {
        const Level::Slot* held = nextSlot(na, nb);
        return held ? held->normal : levelNormal(land, next, na, nb, nk);
    };
    // Where the next level does not hold the vertex (the coarsest level has none), its look is
    // the footprint's mean over up to 81 samples, wanted by up to three of this level's
    // vertices: worked out once per fill.
    const auto nextLook = [&](std::int64_t na, std::int64_t nb) {
        const Level::Slot* held = nextSlot(na, nb);
        if (held)
            return held->look;
        const std::uint64_t key = (std::uint64_t(std::uint32_t(na)) << 32) | std::uint32_t(nb);
        const auto found = unheldLooks_.find(key);
        if (found != unheldLooks_.end())
            return found->second;
        return unheldLooks_.emplace(key, ringLookAt(land, next, na, nb)).first->second;
    };
    if (!oddA && !oddB) {
        slot.targetY = slot.position.y;
        slot.targetNormal = nextNormal(a / 2, b / 2, k);
        slot.targetLook = nextLook(a / 2, b / 2);
    } else {
        const std::int32_t da = oddA ? 1 : 0;
        const std::int32_t db = oddB ? 1 : 0;
        const std::int64_t k0 = vertexOf(land, lv.level, a - da, b - db);
        const std::int64_t k1 = vertexOf(land, lv.level, a + da, b + db);
        if (k0 < 0 || k1 < 0) {
            slot.targetY = slot.position.y;
            slot.targetNormal = slot.normal;
            slot.targetLook = slot.look;
        } else {
            slot.targetY = 0.5f * (land.positions[k0].y + land.positions[k1].y);
            const float3 n0 = nextNormal((a - da) / 2, (b - db) / 2, k0);
            const float3 n1 = nextNormal((a + da) / 2, (b + db) / 2, k1);
            slot.targetNormal = float3{0.5f * (n0.x + n1.x), 0.5f * (n0.y + n1.y), 0.5f * (n0.z + n1.z)};
            const RingLook l0 = nextLook((a - da) / 2, (b - db) / 2);
            const RingLook l1 = nextLook((a + da) / 2, (b + db) / 2);
            for (int c = 0; c < 3; ++c)
                slot.targetLook.colour[c] = 0.5f * (l0.colour[c] + l1.colour[c]);
            for (std::uint32_t g = 0; g < kRingGroups; ++g)
                slot.targetLook.weight[g] = 0.5f * (l0.weight[g] + l1.weight[g]);
        }
    }
    slot.groupMask = 0;
    for (std::uint32_t g = 0; g < kRingGroups; ++g)
        if (slot.look.weight[g] > 0.0f || slot.targetLook.weight[g] > 0.0f)
            slot.groupMask |= 1u << g;
}

// The drawn vertex at morph weight alpha: height, normal (renormalised) and colour moved that
// share of the way to the target, and each group's alpha its weight: its share of the vertex's
// own layer, and of the two ends' layers half each.
void TerrainRings::morphSlot(Level& lv, std::size_t s, float alpha)
{
    const Level::Slot& slot = lv.cells[s];
    lv.drawnAlpha[s] = alpha;
    lv.positions[s] = float3{slot.position.x, slot.position.y + (slot.targetY - slot.position.y) * alpha,
                             slot.position.z};
    float3 n{slot.normal.x + (slot.targetNormal.x - slot.normal.x) * alpha,
             slot.normal.y + (slot.targetNormal.y - slot.normal.y) * alpha,
             slot.normal.z + (slot.targetNormal.z - slot.normal.z) * alpha};
    const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (len > 0.0f)
        n = float3{n.x / len, n.y / len, n.z / len};
    lv.normals[s] = n;
    ubyte4 rgb;
    std::uint8_t* channels[3] = {&rgb.r, &rgb.g, &rgb.b};
    for (int c = 0; c < 3; ++c) {
        const float v = slot.look.colour[c] + (slot.targetLook.colour[c] - slot.look.colour[c]) * alpha;
        *channels[c] = byteOf(v);
    }
    const bool designed = lv.level == 0 && designedCell(latticeIndexOf(0, slot.a, slot.b));
    float mean[3] = {0.0f, 0.0f, 0.0f};
    for (std::uint32_t g = 0; g < groups_; ++g) {
        ubyte4 c = rgb;
        if (!designed && g < kRingGroups) {
            const float weight = slot.look.weight[g] + (slot.targetLook.weight[g] - slot.look.weight[g]) * alpha;
            c.a = byteOf(255.0f * weight);
        }
        lv.colours[g][s] = c;
        // The flat colour weighs each group as its pass does: by the alpha byte drawn.
        if (g < groupMeans_.size()) {
            const float w = float(c.a) / 255.0f;
            mean[0] += w * groupMeans_[g].x;
            mean[1] += w * groupMeans_[g].y;
            mean[2] += w * groupMeans_[g].z;
        }
    }
    lv.flatColours[s] = ubyte4{byteOf(float(rgb.r) * mean[0]), byteOf(float(rgb.g) * mean[1]),
                               byteOf(float(rgb.b) * mean[2]), 255};
}

void TerrainRings::setGroupMeans(const std::vector<float3>& means)
{
    const auto same = [](const float3& p, const float3& q) { return p.x == q.x && p.y == q.y && p.z == q.z; };
    if (means.size() == groupMeans_.size() && std::equal(means.begin(), means.end(), groupMeans_.begin(), same))
        return;
    groupMeans_ = means;
    for (Level& lv : levels_)
        redrawMorphs(lv);
}

void TerrainRings::redrawMorphs(Level& lv)
{
    lv.morphsValid = false;
    for (float& alpha : lv.drawnAlpha)
        if (!std::isnan(alpha))
            alpha = -1.0f;
}

bool TerrainRings::designedCell(const LatticeIndex& li) const
{
    return li.column >= designed_.colLo && li.column < designed_.colHi && li.row >= designed_.rowLo &&
           li.row < designed_.rowHi;
}

void TerrainRings::buildLists(Level& lv, const LatticeView& land)
{
    const std::int32_t tilesPerSide = (lv.size - 1 + kRingTileSide - 1) / kRingTileSide;
    const std::size_t tileCount = std::size_t(tilesPerSide) * std::size_t(tilesPerSide);
    // All tiles when the lists are invalid, else those marked dirty (the band's, where the
    // designed window's edge moved). The tiles' lists are emptied, not freed: a level moving on
    // refills them at about their size.
    const bool all = !lv.listsValid || lv.dirtyTiles.size() != tileCount || lv.tiles.size() != tileCount;
    lv.tiles.resize(tileCount);
    const float s = land.spacing;
    const bool band = lv.level == 0;
    const RingSquare inner = band ? RingSquare{} : levels_[std::size_t(lv.level - 1)].square;
    lv.innerSquare = inner;
    // Along each axis of the window, offset i from its first a (or b): the storage column (row)
    // of the slot, for i up to the window's size (a triangle's far corners), and for each kind
    // of triangle its parent's coordinate and the remainder that tells the parent's kind (as
    // parentTriangle and slotOf work them out, without a division per triangle).
    struct Axis {
        std::vector<std::int32_t> slot;
        std::vector<std::int32_t> parent[2];
        std::vector<std::int32_t> rest[2];
    };
    const auto axis = [&lv](std::int32_t first, const std::int32_t offset[2]) {
        Axis ax;
        const std::int64_t n = lv.size;
        for (std::int64_t i = 0; i <= n; ++i) {
            const std::int64_t v = first + i;
            ax.slot.push_back(std::int32_t(((v % n) + n) % n));
            for (int upper = 0; upper < 2; ++upper) {
                const std::int64_t p = 3 * v + offset[upper];
                const std::int64_t q = floorDiv(p, 6);
                ax.parent[upper].push_back(std::int32_t(q));
                ax.rest[upper].push_back(std::int32_t(p - 6 * q));
            }
        }
        return ax;
    };
    // Six times the centroid: (3a + 2, 3b + 1) for the lower triangle, (3a + 1, 3b + 2) for the
    // upper one (see parentTriangle).
    const std::int32_t offsetA[2] = {2, 1};
    const std::int32_t offsetB[2] = {1, 2};
    const Axis alongA = axis(lv.a0, offsetA);
    const Axis alongB = axis(lv.b0, offsetB);
    const auto slotAt = [&](std::int32_t ia, std::int32_t ib) {
        return std::size_t(alongB.slot[std::size_t(ib)]) * std::size_t(lv.size) +
               std::size_t(alongA.slot[std::size_t(ia)]);
    };
    for (std::size_t tileIndex = 0; tileIndex < tileCount; ++tileIndex) {
        if (!all && !lv.dirtyTiles[tileIndex])
            continue;
        Level::Tile& tile = lv.tiles[tileIndex];
        tile.groupLists.resize(groups_);
        for (std::vector<std::uint32_t>& list : tile.groupLists)
            list.clear();
        tile.depthList.clear();
        tile.triangles.clear();
        // The band's single-group triangles, kept apart until the tile is done, per group.
        std::vector<std::vector<std::uint32_t>>& singles = singles_;
        std::vector<std::vector<RingTriangle>>& singleTriangles = singleTriangles_;
        singles.resize(groups_);
        singleTriangles.resize(groups_);
        for (std::uint32_t g = 0; g < groups_; ++g) {
            singles[g].clear();
            singleTriangles[g].clear();
        }
        std::fill(std::begin(tile.low), std::end(tile.low), 0.0f); // an empty tile's box, as a new one's
        std::fill(std::begin(tile.high), std::end(tile.high), 0.0f);
        bool used = false;
        const std::int32_t tileA = lv.a0 + std::int32_t(tileIndex % std::size_t(tilesPerSide)) * kRingTileSide;
        const std::int32_t tileB = lv.b0 + std::int32_t(tileIndex / std::size_t(tilesPerSide)) * kRingTileSide;
        const std::int32_t endA = std::min(tileA + kRingTileSide, lv.a0 + lv.size - 1);
        const std::int32_t endB = std::min(tileB + kRingTileSide, lv.b0 + lv.size - 1);
        for (std::int32_t b = tileB; b < endB; ++b) {
            for (std::int32_t a = tileA; a < endA; ++a) {
                for (const bool upper : {false, true}) {
                    const RingTriangle t{a, b, upper};
                    double x = 0.0, z = 0.0;
                    if (!band) {
                        triangleCentroid(lv.level, t, s, &x, &z);
                        if (inner.holds(x, z))
                            continue;
                    }
                    const std::size_t ia = std::size_t(a - lv.a0), ib = std::size_t(b - lv.b0);
                    const int kind = upper ? 1 : 0;
                    const RingTriangle parent{alongA.parent[kind][ia], alongB.parent[kind][ib],
                                              alongA.rest[kind][ia] < alongB.rest[kind][ib]};
                    triangleCentroid(lv.level + 1, parent, s, &x, &z);
                    if (!lv.square.holds(x, z))
                        continue;
                    std::int32_t corners[3][2];
                    triangleCorners(t, corners);
                    std::uint32_t index[3];
                    std::uint32_t mask = 0;
                    bool drawn = true;
                    int designedCorners = 0;
                    for (int m = 0; m < 3 && drawn; ++m) {
                        const std::size_t slot = slotAt(corners[m][0] - lv.a0, corners[m][1] - lv.b0);
                        const Level::Slot& v = lv.cells[slot];
                        drawn = v.onLattice;
                        index[m] = std::uint32_t(slot);
                        if (band && designedCell(latticeIndexOf(0, corners[m][0], corners[m][1])))
                            ++designedCorners;
                        else
                            mask |= v.groupMask;
                    }
                    // A triangle with all three corners on designed cells is the designed
                    // window's; one with some has its depth and those corners' weights drawn by
                    // it, and the band adds the other corners' weights (theirs are 0 at a
                    // designed cell).
                    if (!drawn || designedCorners == 3)
                        continue;
                    // A triangle that one group's pass alone draws: it adds nothing to another
                    // pass's colour, so its colour (times its corners' alpha) may be written
                    // straight with its depth.
                    const bool single = band && designedCorners == 0 && mask != 0 && (mask & (mask - 1)) == 0;
                    std::uint32_t singleGroup = 0;
                    while (single && (mask >> singleGroup) != 1u)
                        ++singleGroup;
                    if (single)
                        singleTriangles[singleGroup].push_back(t);
                    else
                        tile.triangles.push_back(t);
                    for (const std::uint32_t i : index) {
                        const Level::Slot& v = lv.cells[i];
                        // Heights may change under a held list (the bump reshapes a few units a
                        // step): the box leaves room for that.
                        constexpr float kHeightRoom = 8.0f;
                        const float corner[2][3] = {{v.position.x, std::min(v.position.y, v.targetY) - kHeightRoom,
                                                     v.position.z},
                                                    {v.position.x, std::max(v.position.y, v.targetY) + kHeightRoom,
                                                     v.position.z}};
                        for (int c = 0; c < 3; ++c) {
                            tile.low[c] = used ? std::min(tile.low[c], corner[0][c]) : corner[0][c];
                            tile.high[c] = used ? std::max(tile.high[c], corner[1][c]) : corner[1][c];
                        }
                        used = true;
                    }
                    if (single) {
                        singles[singleGroup].insert(singles[singleGroup].end(), index, index + 3);
                        continue;
                    }
                    if (designedCorners == 0)
                        tile.depthList.insert(tile.depthList.end(), index, index + 3);
                    for (std::uint32_t g = 0; g < groups_; ++g)
                        if (mask & (1u << g))
                            tile.groupLists[g].insert(tile.groupLists[g].end(), index, index + 3);
                }
            }
        }
        // The single-group triangles last: in the depth list group by group, as in `triangles`.
        tile.depthSingles = std::uint32_t(tile.depthList.size());
        tile.groupSingles.resize(groups_);
        for (std::uint32_t g = 0; g < groups_; ++g) {
            tile.groupSingles[g] = std::uint32_t(tile.groupLists[g].size());
            if (band) {
                tile.depthList.insert(tile.depthList.end(), singles[g].begin(), singles[g].end());
                tile.groupLists[g].insert(tile.groupLists[g].end(), singles[g].begin(), singles[g].end());
                tile.triangles.insert(tile.triangles.end(), singleTriangles[g].begin(), singleTriangles[g].end());
            }
        }
    }
    lv.dirtyTiles.assign(tileCount, false);
    lv.listsValid = true;
}

void TerrainRings::markDesignedEdge(Level& lv, const LatticeWindow& before, const LatticeWindow& after)
{
    const std::int32_t tilesPerSide = (lv.size - 1 + kRingTileSide - 1) / kRingTileSide;
    const std::size_t tileCount = std::size_t(tilesPerSide) * std::size_t(tilesPerSide);
    if (lv.dirtyTiles.size() != tileCount)
        lv.dirtyTiles.assign(tileCount, false);
    const auto inside = [](const LatticeWindow& w, std::int64_t column, std::int64_t row) {
        return column >= w.colLo && column < w.colHi && row >= w.rowLo && row < w.rowHi;
    };
    // The lattice vertices that came onto or left the window's cells: the triangles with one
    // as a corner (lower-left corner at most one step back in a and b) change, and so do the
    // morphs of those vertices.
    const std::int64_t colLo = std::min(before.colLo, after.colLo), colHi = std::max(before.colHi, after.colHi);
    const std::int64_t rowLo = std::min(before.rowLo, after.rowLo), rowHi = std::max(before.rowHi, after.rowHi);
    for (std::int64_t row = rowLo; row < rowHi; ++row) {
        for (std::int64_t column = colLo; column < colHi; ++column) {
            if (inside(before, column, row) == inside(after, column, row))
                continue;
            const std::int64_t z2 = 2 * row - (column & 1);
            const std::int64_t a = (z2 + column) / 2;
            const std::int64_t b = (z2 - column) / 2;
            const std::size_t slot = slotOf(lv, std::int32_t(a), std::int32_t(b));
            const Level::Slot& held = lv.cells[slot];
            if (held.held && held.a == a && held.b == b && !std::isnan(lv.drawnAlpha[slot])) {
                lv.drawnAlpha[slot] = -1.0f;
                lv.morphsValid = false;
            }
            markTilesAround(lv, a, b);
        }
    }
}

void TerrainRings::markTilesAround(Level& lv, std::int64_t a, std::int64_t b)
{
    // The triangles with (a, b) as a corner have their lower-left corner at most one step back
    // in a and b.
    const std::int32_t tilesPerSide = (lv.size - 1 + kRingTileSide - 1) / kRingTileSide;
    const std::size_t tileCount = std::size_t(tilesPerSide) * std::size_t(tilesPerSide);
    if (lv.dirtyTiles.size() != tileCount)
        lv.dirtyTiles.assign(tileCount, false);
    for (std::int64_t tb = b - 1; tb <= b; ++tb)
        for (std::int64_t ta = a - 1; ta <= a; ++ta) {
            const std::int64_t ia = ta - lv.a0, ib = tb - lv.b0;
            if (ia < 0 || ib < 0 || ia >= lv.size - 1 || ib >= lv.size - 1)
                continue;
            lv.dirtyTiles[std::size_t(ib / kRingTileSide) * std::size_t(tilesPerSide) +
                          std::size_t(ia / kRingTileSide)] = true;
        }
}

void TerrainRings::markHoleEdge(Level& lv, const RingSquare& before, const RingSquare& after)
{
    const std::int32_t tilesPerSide = (lv.size - 1 + kRingTileSide - 1) / kRingTileSide;
    const std::size_t tileCount = std::size_t(tilesPerSide) * std::size_t(tilesPerSide);
    if (lv.dirtyTiles.size() != tileCount)
        lv.dirtyTiles.assign(tileCount, false);
    // A point in one square and not the other lies beyond one of the other's edges and within
    // its own: between the two squares' left edges (or right, near or far ones), across both
    // squares' extent the other way. Boxes (x0, x1, z0, z1); none where an edge stayed.
    const double bx[2] = {before.centreX - before.halfSize, before.centreX + before.halfSize};
    const double bz[2] = {before.centreZ - before.halfSize, before.centreZ + before.halfSize};
    const double ax[2] = {after.centreX - after.halfSize, after.centreX + after.halfSize};
    const double az[2] = {after.centreZ - after.halfSize, after.centreZ + after.halfSize};
    const double xLo = std::min(bx[0], ax[0]), xHi = std::max(bx[1], ax[1]);
    const double zLo = std::min(bz[0], az[0]), zHi = std::max(bz[1], az[1]);
    std::vector<std::array<double, 4>> boxes;
    for (int e = 0; e < 2; ++e) {
        if (bx[e] != ax[e])
            boxes.push_back({std::min(bx[e], ax[e]), std::max(bx[e], ax[e]), zLo, zHi});
        if (bz[e] != az[e])
            boxes.push_back({xLo, xHi, std::min(bz[e], az[e]), std::max(bz[e], az[e])});
    }
    // A tile's triangles have their centroids in the rhombus of its (a, b) range: its corners'
    // x run from (a - b) least to most, z from (a + b) least to most.
    const double c = double(scale_.spacing) * kColumnFactor * double(std::int64_t(1) << lv.level);
    const double h = double(scale_.spacing) * 0.5 * double(std::int64_t(1) << lv.level);
    for (std::size_t tileIndex = 0; tileIndex < tileCount; ++tileIndex) {
        const std::int32_t tileA = lv.a0 + std::int32_t(tileIndex % std::size_t(tilesPerSide)) * kRingTileSide;
        const std::int32_t tileB = lv.b0 + std::int32_t(tileIndex / std::size_t(tilesPerSide)) * kRingTileSide;
        const std::int32_t endA = std::min(tileA + kRingTileSide, lv.a0 + lv.size - 1);
        const std::int32_t endB = std::min(tileB + kRingTileSide, lv.b0 + lv.size - 1);
        const double x0 = double(tileA - endB) * c, x1 = double(endA - tileB) * c;
        const double z0 = double(tileA + tileB) * h, z1 = double(endA + endB) * h;
        for (const std::array<double, 4>& box : boxes)
            if (x0 <= box[1] && box[0] <= x1 && z0 <= box[3] && box[2] <= z1)
                lv.dirtyTiles[tileIndex] = true;
    }
}

std::vector<RingSquare> TerrainRings::squaresThisFrame(double cameraX, double cameraZ)
{
    // A level whose square moves refills the vertices entering its window and rebuilds its
    // lists, a millisecond or more: where two would move in one frame, a level beyond the band
    // waits a frame (one at most), drawn around its square as it was, while the camera is at
    // most a quarter cell past the point where the square snapped on. The morph ramp keeps 0.3
    // cells of margin for the square's edge (MorphRamp), so the edge still fully morphs (a
    // quarter cell is a unit at level 1, over three frames at the designed flying speed), and
    // the inner level's square stays some 17 cells inside this one's (the lists' hole follows
    // it). The band, with the least margin, never waits; a level that waited moves first.
    std::vector<RingSquare> squares(levels_.size());
    bool moving = std::any_of(levels_.begin(), levels_.end(), [](const Level& lv) { return lv.waiting; });
    for (std::size_t i = 0; i < levels_.size(); ++i) {
        Level& lv = levels_[i];
        squares[i] = ringSquare(scale_, lv.level, cameraX, cameraZ);
        const double u = cellOf(scale_, lv.level);
        const bool nearSnap = std::fabs(cameraX - lv.square.centreX) <= (2.0 * kColumnFactor + 0.25) * u &&
                              std::fabs(cameraZ - lv.square.centreZ) <= 2.25 * u;
        const bool moves = !(squares[i] == lv.square);
        if (moves && moving && lv.filled && nearSnap && lv.level > 0 && !lv.waiting) {
            squares[i] = lv.square;
            lv.waiting = true;
            continue;
        }
        moving = moving || moves;
        lv.waiting = false;
    }
    return squares;
}

void TerrainRings::updateLevel(Level& lv, const RingSquare& square, const LatticeView& land, double cameraX,
                               double cameraZ, const Level* coarser)
{
    const double u = cellOf(scale_, lv.level);
    if (lv.size == 0) {
        // The square's half-size in level cells, turned into diamond coordinates (a reaches
        // (1 + 1/sqrt 3) times it), with room for the parents' reach and the morph partners.
        lv.size = 2 * std::int32_t(std::ceil(1.5774 * ringHalfSize(scale_, lv.level) / u)) + 12;
        const std::size_t n = std::size_t(lv.size) * std::size_t(lv.size);
        lv.cells.assign(n, Level::Slot{});
        lv.positions.assign(n, float3{});
        lv.normals.assign(n, float3{});
        lv.drawnAlpha.assign(n, std::numeric_limits<float>::quiet_NaN());
        lv.flatColours.assign(n, ubyte4{});
        lv.colours.assign(groups_, std::vector<ubyte4>(n));
    }
    if (!(square == lv.square))
        lv.listsValid = false;
    lv.square = square;
    // The window's centre in this level's diamond coordinates.
    const double column = square.centreX / (u * kColumnFactor);
    const double z2 = 2.0 * square.centreZ / u;
    const std::int32_t a0 = std::int32_t(std::floor((z2 + column) / 2.0)) - lv.size / 2;
    const std::int32_t b0 = std::int32_t(std::floor((z2 - column) / 2.0)) - lv.size / 2;
    // Nothing to fill while the window stays and no vertex was marked: the common frame.
    const bool fill = a0 != lv.a0 || b0 != lv.b0 || lv.marked || !lv.filled;
    lv.a0 = a0;
    lv.b0 = b0;
    lv.marked = false;
    lv.filled = true;

    bool groupsChanged = false;
    unheldLooks_.clear();
    for (std::int32_t b = lv.b0; fill && b < lv.b0 + lv.size; ++b) {
        for (std::int32_t a = lv.a0; a < lv.a0 + lv.size; ++a) {
            Level::Slot& slot = lv.cells[slotOf(lv, a, b)];
            if (slot.held && slot.a == a && slot.b == b && !slot.stale)
                continue;
            const bool same = slot.held && slot.a == a && slot.b == b;
            const std::uint32_t mask = slot.groupMask;
            const bool was = slot.onLattice;
            fillSlot(lv, slot, land, a, b, coarser);
            if (!same || mask != slot.groupMask || was != slot.onLattice)
                groupsChanged = true;
            else
                markTilesAround(lv, a, b); // the tiles' boxes follow its height
        }
    }
    if (groupsChanged)
        lv.listsValid = false;

    // The morphs follow the camera: nothing to redo while it stays and no slot was refilled.
    if (!fill && lv.morphsValid && cameraX == lv.morphCameraX && cameraZ == lv.morphCameraZ)
        return;
    lv.morphsValid = true;
    lv.morphCameraX = cameraX;
    lv.morphCameraZ = cameraZ;
    // Over the drawn x and z (the morph moves only y): the loop reads 16 bytes a slot, not the
    // slot's whole record.
    const MorphRamp ramp(scale_, lv.level);
    const std::size_t count = lv.cells.size();
    for (std::size_t s = 0; s < count; ++s) {
        if (std::isnan(lv.drawnAlpha[s]))
            continue; // off the lattice: never drawn
        const double d = std::max(std::fabs(double(lv.positions[s].x) - cameraX),
                                  std::fabs(double(lv.positions[s].z) - cameraZ));
        const float alpha = ramp.at(d);
        if (alpha != lv.drawnAlpha[s])
            morphSlot(lv, s, alpha);
    }
}

void TerrainRings::update(const LatticeView& land, double cameraX, double cameraZ, double viewDistance,
                          float designedRadius)
{
    refilled_ = 0;
    const RingScale scale = ringScale(land.spacing, designedRadius);
    const std::uint32_t groups = std::min<std::uint32_t>(land.textureCount + 1, 32);
    if (scale.spacing != scale_.spacing || scale.baseHalfSize != scale_.baseHalfSize || groups != groups_) {
        levels_.clear();
        scale_ = scale;
        groups_ = groups;
    }
    const int count = ringLevelsFor(scale_, viewDistance);
    if (int(levels_.size()) > count)
        levels_.resize(std::size_t(count));
    const bool innerChanged = int(levels_.size()) < count;
    while (int(levels_.size()) < count) {
        levels_.emplace_back();
        levels_.back().level = int(levels_.size()) - 1;
    }

    // Marked lattice vertices: their diamond coordinates, scaled to each level, with a margin
    // of three cells for the neighbours whose normals and morph targets read them.
    for (const Mark& mark : marks_) {
        const std::int64_t aLo = floorDiv(2 * std::int64_t(mark.z0) - 1 + mark.x0, 2);
        const std::int64_t aHi = floorDiv(2 * std::int64_t(mark.z1) + mark.x1, 2) + 1;
        const std::int64_t bLo = floorDiv(2 * std::int64_t(mark.z0) - 1 - mark.x1, 2);
        const std::int64_t bHi = floorDiv(2 * std::int64_t(mark.z1) - mark.x0, 2) + 1;
        for (Level& lv : levels_) {
            if (lv.size == 0)
                continue;
            const std::int64_t f = std::int64_t(1) << lv.level;
            for (std::int64_t b = floorDiv(bLo, f) - 3; b <= floorDiv(bHi, f) + 3; ++b)
                for (std::int64_t a = floorDiv(aLo, f) - 3; a <= floorDiv(aHi, f) + 3; ++a) {
                    Level::Slot& slot = lv.cells[slotOf(lv, std::int32_t(a), std::int32_t(b))];
                    if (slot.held && slot.a == a && slot.b == b) {
                        slot.stale = true;
                        lv.marked = true;
                    }
                }
        }
    }
    marks_.clear();

    const LatticeWindow designed = colourPassWindow(land, float(cameraX), float(cameraZ), designedRadius);
    const bool designedMoved = designed.colLo != designed_.colLo || designed.colHi != designed_.colHi ||
                               designed.rowLo != designed_.rowLo || designed.rowHi != designed_.rowHi;
    const LatticeWindow designedBefore = designed_;
    designed_ = designed;

    // Coarsest first: a level's morph targets read the next level's vertices once it is up to
    // date.
    const std::vector<RingSquare> squares = squaresThisFrame(cameraX, cameraZ);
    for (std::size_t i = levels_.size(); i-- > 0;) {
        Level& lv = levels_[i];
        if (lv.level == 0 && designedMoved && lv.size > 0)
            markDesignedEdge(lv, designedBefore, designed);
        updateLevel(lv, squares[i], land, cameraX, cameraZ, i + 1 < levels_.size() ? &levels_[i + 1] : nullptr);
        if (innerChanged)
            lv.listsValid = false;
    }
    // A level's lists leave out the square inside it: where that square moved and the lists
    // are otherwise valid, only the tiles along the hole's moved edges are rebuilt (a quarter
    // to a third of the level's work). (Not when the inner level's lists were rebuilt for
    // another reason: the band's follow the designed window, a cell at a time, and the
    // coarser levels need not.)
    for (std::size_t i = 1; i < levels_.size(); ++i) {
        Level& lv = levels_[i];
        if (lv.listsValid && !(lv.innerSquare == levels_[i - 1].square))
            markHoleEdge(lv, lv.innerSquare, levels_[i - 1].square);
    }
    for (Level& lv : levels_)
        if (!lv.listsValid || std::find(lv.dirtyTiles.begin(), lv.dirtyTiles.end(), true) != lv.dirtyTiles.end())
            buildLists(lv, land);
}

void TerrainRings::markChanged(std::int32_t x0, std::int32_t x1, std::int32_t z0, std::int32_t z1)
{
    if (levels_.empty())
        return;
    marks_.push_back({std::min(x0, x1), std::max(x0, x1), std::min(z0, z1), std::max(z0, z1)});
}

std::size_t TerrainRings::memoryBytes() const
{
    std::size_t bytes = 0;
    for (const Level& lv : levels_) {
        bytes += lv.cells.capacity() * sizeof(Level::Slot);
        bytes += lv.positions.capacity() * sizeof(float3) + lv.normals.capacity() * sizeof(float3) +
                 lv.drawnAlpha.capacity() * sizeof(float) + lv.flatColours.capacity() * sizeof(ubyte4);
        for (const std::vector<ubyte4>& c : lv.colours)
            bytes += c.capacity() * sizeof(ubyte4);
        for (const Level::Tile& tile : lv.tiles) {
            for (const std::vector<std::uint32_t>& l : tile.groupLists)
                bytes += l.capacity() * sizeof(std::uint32_t);
            bytes += (tile.depthList.capacity() + tile.groupSingles.capacity()) * sizeof(std::uint32_t) +
                     sizeof(Level::Tile) + tile.triangles.capacity() * sizeof(RingTriangle);
        }
        bytes += lv.dirtyTiles.capacity() / 8;
    }
    return bytes;
}
