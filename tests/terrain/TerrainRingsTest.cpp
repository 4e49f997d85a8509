// The levels of detail without a GL context: coordinates, nesting, coverage, seams, motion and
// the incremental update against a fresh one.

#include "TerrainRings.h"
#include "Landscape.h"
#include "LatticeWindow.h"

#include <QTest>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr float kDesignedRadius = 60.0f;

// 520 x 460 vertices of spacing 2, hills of several wavelengths (a coarse level differs from a
// fine one by a few units), layers in bands, one without a texture slot.
struct HillyLattice {
    TLandscape land;
    HillyLattice()
    {
        land.create(520, 460, 2.0f, 3);
        for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
            float3& p = land.positions[k];
            p.y = 6.0f * std::sin(p.x * 0.05f) * std::cos(p.z * 0.043f) + 2.0f * std::sin(p.x * 0.31f + p.z * 0.27f);
            land.colours[k] = ubyte4{std::uint8_t(k * 7), std::uint8_t(k * 13), std::uint8_t(k * 3), 0};
            land.layers[k] = std::uint32_t(p.y + 8.0f) / 4;
        }
        land.computeNormals(0, land.width - 1, 0, land.depth - 1);
    }
};

std::uint64_t keyOf(const RingTriangle& t)
{
    return (std::uint64_t(std::uint32_t(t.a)) << 33) | (std::uint64_t(std::uint32_t(t.b)) << 1) | (t.upper ? 1u : 0u);
}

// The four level-(L-1) triangles of a level-L triangle, from its corners and edge midpoints in
// doubled coordinates (worked out by hand, independently of parentTriangle's centroid rule).
std::vector<RingTriangle> childrenOf(const RingTriangle& t)
{
    const std::int32_t a = 2 * t.a, b = 2 * t.b;
    if (!t.upper)
        return {{a, b, false}, {a + 1, b, false}, {a + 1, b + 1, false}, {a + 1, b, true}};
    return {{a, b, true}, {a + 1, b + 1, true}, {a, b + 1, true}, {a, b + 1, false}};
}

void fineTrianglesOf(int level, const RingTriangle& t, std::vector<RingTriangle>& out)
{
    if (level == 0) {
        out.push_back(t);
        return;
    }
    for (const RingTriangle& c : childrenOf(t))
        fineTrianglesOf(level - 1, c, out);
}

bool onLattice(const TLandscape& land, const LatticeIndex& li)
{
    return li.column >= 0 && li.row >= 0 && li.column < std::int64_t(land.width) && li.row < std::int64_t(land.depth);
}

const float3& latticePoint(const TLandscape& land, const LatticeIndex& li)
{
    return land.positions[li.row * land.width + li.column];
}

bool inWindow(const LatticeWindow& w, const LatticeIndex& li)
{
    return li.column >= w.colLo && li.column < w.colHi && li.row >= w.rowLo && li.row < w.rowHi;
}

// A level's toroidal slot of its vertex (a, b).
std::size_t slotOf(const TerrainRings::Level& lv, std::int32_t a, std::int32_t b)
{
    const std::int64_t n = lv.size;
    return std::size_t(((b % n + n) % n) * n + ((a % n + n) % n));
}

// The surface the levels and the designed window draw, as a height at any point: the drawn
// triangle that holds the point, its corners' drawn heights interpolated.
struct DrawnSurface {
    const TLandscape& land;
    const TerrainRings& rings;
    LatticeWindow designed;
    std::vector<std::unordered_set<std::uint64_t>> drawn;

    DrawnSurface(const TLandscape& l, const TerrainRings& r, float camX, float camZ)
        : land(l), rings(r), designed(colourPassWindow(l.lattice(), camX, camZ, kDesignedRadius))
    {
        for (const TerrainRings::Level& lv : rings.levels()) {
            drawn.emplace_back();
            for (const RingTriangle& t : lv.triangles())
                drawn.back().insert(keyOf(t));
        }
    }

    bool designedTriangle(const RingTriangle& t) const
    {
        std::int32_t c[3][2];
        triangleCorners(t, c);
        for (auto& corner : c)
            if (inWindow(designed, latticeIndexOf(0, corner[0], corner[1])))
                return true;
        return false;
    }

    // How many of the designed window and the levels draw the point (the band's triangles with
    // a corner on the window only add weights to the window's): 1 where they tile.
    int timesDrawn(double x, double z) const
    {
        const double column = x / (land.spacing * 0.8660254037844386), z2 = 2.0 * z / land.spacing;
        int times = 0;
        for (int level = -1; level < int(drawn.size()); ++level) {
            const double scale = double(1 << (level < 0 ? 0 : level));
            const double a = (z2 + column) / 2.0 / scale, b = (z2 - column) / 2.0 / scale;
            const RingTriangle t{std::int32_t(std::floor(a)), std::int32_t(std::floor(b)),
                                 (b - std::floor(b)) > (a - std::floor(a))};
            if (level < 0 || !(level == 0 && designedTriangle(t)))
                times += level < 0 ? designedTriangle(t) : drawn[std::size_t(level)].count(keyOf(t)) > 0;
        }
        return times;
    }

    // NaN where nothing is drawn.
    double heightAt(double x, double z) const
    {
        const double s = land.spacing;
        const double column = x / (s * 0.8660254037844386);
        const double z2 = 2.0 * z / s;
        for (int level = -1; level < int(drawn.size()); ++level) {
            const int l = level < 0 ? 0 : level;
            const double scale = double(1 << l);
            const double a = (z2 + column) / 2.0 / scale, b = (z2 - column) / 2.0 / scale;
            const RingTriangle t{std::int32_t(std::floor(a)), std::int32_t(std::floor(b)),
                                 (b - std::floor(b)) > (a - std::floor(a))};
            const bool here = level < 0 ? designedTriangle(t) : drawn[std::size_t(l)].count(keyOf(t)) > 0;
            if (!here)
                continue;
            std::int32_t c[3][2];
            triangleCorners(t, c);
            double y[3];
            const TerrainRings::Level& lv = rings.levels()[std::size_t(l)];
            for (int m = 0; m < 3; ++m)
                y[m] = level < 0 ? latticePoint(land, latticeIndexOf(0, c[m][0], c[m][1])).y
                                 : lv.positions[slotOf(lv, c[m][0], c[m][1])].y;
            // Barycentric weights in (a, b): lower (0,0),(1,0),(1,1); upper (0,0),(1,1),(0,1).
            const double fa = a - std::floor(a), fb = b - std::floor(b);
            if (!t.upper)
                return y[0] * (1.0 - fa) + y[1] * (fa - fb) + y[2] * fb;
            return y[0] * (1.0 - fb) + y[1] * fa + y[2] * (fb - fa);
        }
        return std::nan("");
    }
};

// Where a level meets the next, the finer level's vertex on each common edge lies at the mean of
// the edge's ends (fully morphed) and the ends are the coarser level's: no crack. Returns how
// many such edges there are; fails the test at the first that is open.
int closedSeams(const TerrainRings& rings)
{
    const auto drawnAt = [](const TerrainRings::Level& lv, std::int32_t a, std::int32_t b) {
        return lv.positions[slotOf(lv, a, b)];
    };
    int seams = 0;
    for (std::size_t l = 0; l + 1 < rings.levels().size(); ++l) {
        const TerrainRings::Level& fine = rings.levels()[l];
        const TerrainRings::Level& coarse = rings.levels()[l + 1];
        std::unordered_set<std::uint64_t> fineVertices;
        for (const RingTriangle& t : fine.triangles()) {
            std::int32_t c[3][2];
            triangleCorners(t, c);
            for (auto& corner : c)
                fineVertices.insert(keyOf(RingTriangle{corner[0], corner[1], false}));
        }
        for (const RingTriangle& t : coarse.triangles()) {
            std::int32_t c[3][2];
            triangleCorners(t, c);
            for (int e = 0; e < 3; ++e) {
                const std::int32_t* p = c[e];
                const std::int32_t* q = c[(e + 1) % 3];
                const std::int32_t ma = p[0] + q[0], mb = p[1] + q[1]; // midpoint in the finer level
                if (!fineVertices.count(keyOf(RingTriangle{ma, mb, false})))
                    continue;
                const float3 m = drawnAt(fine, ma, mb);
                const float3 p0 = drawnAt(coarse, p[0], p[1]), p1 = drawnAt(coarse, q[0], q[1]);
                if (drawnAt(fine, 2 * p[0], 2 * p[1]).y != p0.y || drawnAt(fine, 2 * q[0], 2 * q[1]).y != p1.y ||
                    !(std::fabs(m.y - 0.5f * (p0.y + p1.y)) < 1e-4f)) {
                    QTest::qFail(qPrintable(QString::asprintf("seam open at level %zu, (%d, %d)", l, ma, mb)), __FILE__,
                                 __LINE__);
                    return seams;
                }
                ++seams;
            }
        }
    }
    return seams;
}

} // namespace

class TerrainRingsTest : public QObject {
    Q_OBJECT

private slots:
    void diamondCoordinatesNameTheLatticeVertices();
    void childrenNestInTheirParent();
    void levelsReachTheViewDistance();
    void everyTriangleIsDrawnOnce();
    void seamsAreClosed();
    void surfaceDoesNotJumpAsTheCameraMoves();
    void incrementalUpdateEqualsAFreshOne();
    void bandSinglesCarryOneLayerAlone();
};

// Level vertex (a, b) is lattice vertex (2^L a, 2^L b), at 2^L times the diamond point; corners
// turn clockwise seen from above, as the designed hexagons do.
void TerrainRingsTest::diamondCoordinatesNameTheLatticeVertices()
{
    HillyLattice hills;
    const TLandscape& land = hills.land;
    const struct {
        int level;
        std::int32_t a, b;
    } cases[] = {{0, 0, 0}, {0, 5, 3}, {0, 9, 5}, {1, 40, 10}, {2, 30, 21}, {3, 17, 12}, {0, 200, -50}};
    for (const auto& c : cases) {
        const LatticeIndex li = latticeIndexOf(c.level, c.a, c.b);
        QVERIFY(onLattice(land, li));
        const float3& p = latticePoint(land, li);
        const double scale = double(1 << c.level);
        QVERIFY(std::fabs(double(p.x) - (c.a - c.b) * scale * 2.0 * 0.8660254037844386) < 1e-3);
        QVERIFY(std::fabs(double(p.z) - (c.a + c.b) * scale) < 1e-3);
    }
    for (const bool upper : {false, true}) {
        std::int32_t corners[3][2];
        triangleCorners(RingTriangle{40, 10, upper}, corners);
        float3 p[3];
        for (int m = 0; m < 3; ++m)
            p[m] = latticePoint(land, latticeIndexOf(0, corners[m][0], corners[m][1]));
        // Turning from +x towards +z.
        const float turn = (p[1].x - p[0].x) * (p[2].z - p[0].z) - (p[1].z - p[0].z) * (p[2].x - p[0].x);
        QVERIFY2(turn > 0.0f, upper ? "upper" : "lower");
    }
}

void TerrainRingsTest::childrenNestInTheirParent()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<std::int32_t> pick(-500, 500);
    for (int n = 0; n < 2000; ++n) {
        const RingTriangle parent{pick(random), pick(random), (n & 1) != 0};
        for (const RingTriangle& child : childrenOf(parent))
            QVERIFY(parentTriangle(child) == parent);
    }
}

// None up to the designed 50, then enough that the last square reaches 1.3 times the distance.
void TerrainRingsTest::levelsReachTheViewDistance()
{
    const RingScale scale = ringScale(2.0f, kDesignedRadius);
    QCOMPARE(scale.baseHalfSize, 90.0);
    const struct {
        double distance;
        int levels;
    } cases[] = {{50.0, 0}, {49.0, 0}, {50.5, 1}, {69.0, 1}, {70.0, 2}, {500.0, 5}, {2000.0, 7}, {4000.0, 8}};
    for (const auto& c : cases)
        QCOMPARE(ringLevelsFor(scale, c.distance), c.levels);
}

// Every lattice triangle within the outermost square is drawn exactly once: by the designed
// window (a corner on one of its cells), by the band, or inside one coarser level's triangle.
void TerrainRingsTest::everyTriangleIsDrawnOnce()
{
    HillyLattice hills;
    const TLandscape& land = hills.land;
    const struct {
        float x, z;
    } cameras[] = {{450.0f, 460.0f}, {437.3f, 471.9f}, {452.1f, 449.2f}};
    for (const auto& cam : cameras) {
        TerrainRings rings;
        rings.update(land.lattice(), cam.x, cam.z, 270.0, kDesignedRadius);
        QCOMPARE(rings.levels().size(), std::size_t(4));
        DrawnSurface surface(land, rings, cam.x, cam.z);
        std::unordered_map<std::uint64_t, int> count;
        std::vector<RingTriangle> fine;
        for (const TerrainRings::Level& lv : rings.levels()) {
            QVERIFY(!lv.triangles().empty());
            for (const RingTriangle& t : lv.triangles()) {
                fine.clear();
                fineTrianglesOf(lv.level, t, fine);
                for (const RingTriangle& f : fine) {
                    // Band triangles at the window's edge only add the weights of corners off
                    // its cells: the window draws them.
                    if (lv.level == 0 && surface.designedTriangle(f))
                        continue;
                    QVERIFY2(!surface.designedTriangle(f), "a ring overlaps the designed window");
                    ++count[keyOf(f)];
                }
            }
        }
        // Within 300 units: the outermost square reaches 538 less its snapping and parents' reach.
        int checked = 0;
        for (std::int32_t b = -600; b < 600; ++b) {
            for (std::int32_t a = -100; a < 800; ++a) {
                for (const bool upper : {false, true}) {
                    const RingTriangle t{a, b, upper};
                    double x = 0.0, z = 0.0;
                    triangleCentroid(0, t, land.spacing, &x, &z);
                    if (std::fabs(x - cam.x) > 300.0 || std::fabs(z - cam.z) > 300.0)
                        continue;
                    std::int32_t c[3][2];
                    triangleCorners(t, c);
                    bool inside = true;
                    for (auto& corner : c)
                        inside = inside && onLattice(land, latticeIndexOf(0, corner[0], corner[1]));
                    if (!inside)
                        continue;
                    const auto found = count.find(keyOf(t));
                    const int times = (found == count.end() ? 0 : found->second) +
                                      (surface.designedTriangle(t) ? 1 : 0);
                    if (times != 1)
                        QFAIL(qPrintable(QString::asprintf("triangle (%d, %d, %d) at (%g, %g) drawn %d times", a, b,
                                                           int(upper), x, z, times)));
                    ++checked;
                }
            }
        }
        QVERIFY(checked > 100000);
    }
}

// Where a level meets the next, its vertex on the common edge is the mean of the edge's ends
// (fully morphed) and the ends are the coarser level's; the band's vertices on the designed
// window are the lattice's own, and the band's layer weights sum to 1 off the window's cells.
void TerrainRingsTest::seamsAreClosed()
{
    HillyLattice hills;
    const TLandscape& land = hills.land;
    TerrainRings rings;
    const float camX = 447.1f, camZ = 463.8f;
    rings.update(land.lattice(), camX, camZ, 270.0, kDesignedRadius);
    const auto drawnAt = [](const TerrainRings::Level& lv, std::int32_t a, std::int32_t b) {
        return lv.positions[slotOf(lv, a, b)];
    };
    DrawnSurface surface(land, rings, camX, camZ);
    const int seams = closedSeams(rings);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(seams > 200);
    const TerrainRings::Level& band = rings.levels()[0];
    int shared = 0, onCells = 0;
    for (const RingTriangle& t : band.triangles()) {
        std::int32_t c[3][2];
        triangleCorners(t, c);
        for (auto& corner : c) {
            const LatticeIndex li = latticeIndexOf(0, corner[0], corner[1]);
            const float3& lattice = latticePoint(land, li);
            if (std::fabs(lattice.x - camX) < 70.0f && std::fabs(lattice.z - camZ) < 70.0f) {
                QCOMPARE(drawnAt(band, corner[0], corner[1]).y, lattice.y);
                ++shared;
            }
            int sum = 0;
            for (const std::vector<ubyte4>& colours : band.colours)
                sum += colours[slotOf(band, corner[0], corner[1])].a;
            // A designed cell's weight is carried by its hexagon: 0 in the band.
            if (inWindow(surface.designed, li)) {
                QCOMPARE(sum, 0);
                ++onCells;
            } else {
                QVERIFY2(std::abs(sum - 255) <= 2, qPrintable(QString::number(sum)));
            }
        }
    }
    QVERIFY(shared > 100);
    QVERIFY(onCells > 50);
}

// Flying in small steps across several snaps of every level, the drawn surface at fixed points
// moves at most by the morph's share of a step (no triangle changes level while it differs from
// its coarser self) and never opens.
void TerrainRingsTest::surfaceDoesNotJumpAsTheCameraMoves()
{
    HillyLattice hills;
    const TLandscape& land = hills.land;
    TerrainRings rings;
    float camX = 400.0f, camZ = 430.0f;
    const float stepX = 0.37f, stepZ = 0.29f;
    std::vector<std::pair<double, double>> points;
    std::mt19937 random(3);
    std::uniform_real_distribution<double> offset(-250.0, 250.0);
    while (points.size() < 3000) {
        const double dx = offset(random), dz = offset(random);
        if (std::max(std::fabs(dx), std::fabs(dz)) > 70.0)
            points.emplace_back(dx, dz);
    }
    std::vector<double> before;
    double largest = 0.0;
    for (int step = 0; step < 120; ++step) {
        rings.update(land.lattice(), camX, camZ, 270.0, kDesignedRadius);
        DrawnSurface surface(land, rings, camX, camZ);
        std::vector<double> now;
        for (const auto& p : points) {
            const double h = surface.heightAt(400.0 + p.first, 430.0 + p.second);
            QVERIFY2(!std::isnan(h), "a point of the ground is not drawn");
            now.push_back(h);
        }
        if (!before.empty())
            for (std::size_t i = 0; i < now.size(); ++i)
                largest = std::max(largest, std::fabs(now[i] - before[i]));
        before = now;
        camX += stepX;
        camZ += stepZ;
    }
    // A step of 0.47 units changes a weight by at most 0.47 / 12 (the zone is 6 cells, at
    // least 12 units); heights differ from their coarser selves by at most 12 here.
    QVERIFY2(largest < 0.5, qPrintable(QString::number(largest)));
}

// After random moves, a jump and changed heights, the windows hold what a fresh update computes
// (once a level that waited a frame has moved on). At every step, also while a level waits, the
// levels tile the ground around the camera (sampled) and their seams are closed.
void TerrainRingsTest::incrementalUpdateEqualsAFreshOne()
{
    HillyLattice hills;
    TLandscape& land = hills.land;
    TerrainRings moved;
    std::mt19937 random(11);
    std::uniform_real_distribution<float> step(-9.0f, 9.0f);
    std::uniform_real_distribution<double> offset(-280.0, 280.0);
    int waits = 0;
    float camX = 450.0f, camZ = 460.0f;
    moved.update(land.lattice(), camX, camZ, 270.0, kDesignedRadius);
    // Random steps and a jump, then a flight in small steps, where levels move in the same
    // frame now and then.
    for (int n = 0; n < 260; ++n) {
        camX += n < 60 ? step(random) : 0.9f;
        camZ += n < 60 ? step(random) : 0.65f;
        if (n == 30)
            camX += 150.0f; // a jump of several windows
        if (n % 7 == 0) {
            const auto col = std::int32_t(camX / (2.0f * 0.8660254f)) + 40;
            const auto row = std::int32_t(camZ / 2.0f) - 20;
            for (std::int32_t j = row - 3; j <= row + 3; ++j)
                for (std::int32_t i = col - 3; i <= col + 3; ++i) {
                    land.positions[std::size_t(j) * land.width + std::size_t(i)].y += 1.5f;
                    land.layers[std::size_t(j) * land.width + std::size_t(i)] = 3;
                }
            land.computeNormals(std::uint32_t(col - 3), std::uint32_t(col + 3), std::uint32_t(row - 3),
                                std::uint32_t(row + 3));
            moved.markChanged(col - 3, col + 3, row - 3, row + 3);
        }
        moved.update(land.lattice(), camX, camZ, 270.0, kDesignedRadius);
        for (const TerrainRings::Level& lv : moved.levels())
            waits += lv.waiting;
        const DrawnSurface surface(land, moved, camX, camZ);
        for (int p = 0; p < 400; ++p) {
            const double x = camX + offset(random), z = camZ + offset(random);
            // Off the lattice's edges, where the coarser levels leave out triangles with a corner beyond.
            const bool onLand = std::min(x, z) > 40.0 && x < land.width * 1.732 - 40.0 && z < land.depth * 2.0 - 40.0;
            if (onLand && surface.timesDrawn(x, z) != 1)
                QFAIL(qPrintable(
                    QString::asprintf("step %d: (%g, %g) drawn %d times", n, x, z, surface.timesDrawn(x, z))));
        }
        QVERIFY(closedSeams(moved) > 200);
    }
    QVERIFY(waits > 0);
    moved.update(land.lattice(), camX, camZ, 270.0, kDesignedRadius);
    TerrainRings fresh;
    fresh.update(land.lattice(), camX, camZ, 270.0, kDesignedRadius);
    QCOMPARE(moved.levels().size(), fresh.levels().size());
    for (std::size_t l = 0; l < fresh.levels().size(); ++l) {
        const TerrainRings::Level& a = moved.levels()[l];
        const TerrainRings::Level& b = fresh.levels()[l];
        QVERIFY(a.triangles() == b.triangles());
        QCOMPARE(a.tiles.size(), b.tiles.size());
        std::vector<std::uint32_t> indices;
        for (std::size_t i = 0; i < b.tiles.size(); ++i) {
            QVERIFY(a.tiles[i].depthList == b.tiles[i].depthList);
            QVERIFY(a.tiles[i].groupLists == b.tiles[i].groupLists);
            for (int c = 0; c < 3; ++c) {
                QCOMPARE(a.tiles[i].low[c], b.tiles[i].low[c]);
                QCOMPARE(a.tiles[i].high[c], b.tiles[i].high[c]);
            }
            indices.insert(indices.end(), b.tiles[i].depthList.begin(), b.tiles[i].depthList.end());
        }
        QVERIFY(!indices.empty());
        for (std::uint32_t index : indices) {
            QCOMPARE(a.positions[index].y, b.positions[index].y);
            QCOMPARE(a.normals[index].x, b.normals[index].x);
            QCOMPARE(a.normals[index].y, b.normals[index].y);
            for (std::size_t g = 0; g < b.colours.size(); ++g) {
                QCOMPARE(a.colours[g][index].a, b.colours[g][index].a);
                QCOMPARE(a.colours[g][index].g, b.colours[g][index].g);
            }
        }
    }
}

// The band's triangles that its one-layer pass draws (each group's list from groupSingles on,
// and the depth list from depthSingles on) carry that group alone, and no other group's list
// holds them: one put there by mistake would lose its other layers' passes. Over ground whose
// west holds one layer and whose east several, so that the band has both kinds.
void TerrainRingsTest::bandSinglesCarryOneLayerAlone()
{
    HillyLattice hills;
    TLandscape& land = hills.land;
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        if (land.positions[k].x < 440.0f)
            land.layers[k] = 1;
    TerrainRings rings;
    rings.update(land.lattice(), 450.0, 460.0, 270.0, kDesignedRadius);
    const TerrainRings::Level& band = rings.levels().front();
    using Triple = std::array<std::uint32_t, 3>;
    std::size_t singles = 0, layered = 0;
    for (const TerrainRings::Level::Tile& tile : band.tiles) {
        std::map<Triple, int> groupsOf; // how many groups' lists hold each triangle
        std::set<Triple> inSingles;
        std::vector<std::uint32_t> singleIndices;
        for (std::size_t g = 0; g < tile.groupLists.size(); ++g) {
            const std::vector<std::uint32_t>& list = tile.groupLists[g];
            for (std::size_t t = 0; t + 2 < list.size(); t += 3) {
                const Triple triple{list[t], list[t + 1], list[t + 2]};
                ++groupsOf[triple];
                if (t >= tile.groupSingles[g]) {
                    // Its corners can carry group g and no other.
                    std::uint32_t mask = 0;
                    for (const std::uint32_t slot : triple)
                        mask |= band.cells[slot].groupMask;
                    QCOMPARE(mask, 1u << g);
                    inSingles.insert(triple);
                    singleIndices.insert(singleIndices.end(), list.begin() + std::ptrdiff_t(t),
                                         list.begin() + std::ptrdiff_t(t + 3));
                }
            }
        }
        // The depth list's tail is the singles, group after group: the pre-pass draws the rest.
        QVERIFY(std::equal(tile.depthList.begin() + tile.depthSingles, tile.depthList.end(), singleIndices.begin(),
                           singleIndices.end()));
        layered += tile.depthSingles / 3;
        for (const Triple& triple : inSingles)
            QCOMPARE(groupsOf[triple], 1);
        singles += inSingles.size();
    }
    QVERIFY2(singles > 1000 && layered > 1000, qPrintable(QStringLiteral("%1 %2").arg(singles).arg(layered)));
}

QTEST_APPLESS_MAIN(TerrainRingsTest)
#include "TerrainRingsTest.moc"
