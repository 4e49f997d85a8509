// The batched path's cache without a GL context: what a cell's seven cached vertices hold, the
// triangle lists per layer in the colour passes' order, and which cells an update copies again
// (entering the window, marked changed).

#include "TerrainBatches.h"
#include "ColourPasses.h"
#include "Landscape.h"

#include <QTest>
#include <set>
#include <utility>
#include <vector>

namespace {

// A lattice with distinct values everywhere, so that a vertex copied from the wrong place shows:
// heights, normals and colours from the vertex index, layers cycling 0..4 (4 has no slot).
void fillLattice(TLandscape& land, std::uint32_t width, std::uint32_t depth)
{
    land.create(width, depth, 2.0f, 4);
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        land.positions[k].y = float(k) * 0.25f;
        land.normals[k] = float3{float(k), 1.0f, -float(k)};
        land.colours[k] = ubyte4{std::uint8_t(k), std::uint8_t(k >> 8), std::uint8_t(7 * k), 0};
        land.layers[k] = (k / 3) % 5;
    }
}

// The 40 x 30 lattice with a cache updated once for the colour passes around (30, 25), r 12.
struct CachedLattice {
    TLandscape land;
    LatticeWindow win{0, 0, 0, 0};
    TerrainBatches batches;
    CachedLattice()
    {
        fillLattice(land, 40, 30);
        win = colourPassWindow(land.lattice(), 30.0f, 25.0f, 12.0f);
        batches.update(land.lattice(), win);
    }
};

std::uint32_t cellsIn(const LatticeWindow& win)
{
    return std::uint32_t(win.colHi - win.colLo) * std::uint32_t(win.rowHi - win.rowLo);
}

} // namespace

class TerrainBatchesTest : public QObject {
    Q_OBJECT

private slots:
    void cachedCellHoldsItsHexagon();
    void groupsListTheCellsByLayerInPassOrder();
    void updateCopiesOnlyWhatEntersOrChanged();
    void layerChangeMovesTheCellToAnotherGroup();
    void emptyWindowRefreshesNothing();
};

// The centre and its six neighbours in the fan's turning order, centre alpha 255; found by
// following each cell's triangles (corner 0 is the centre of every triangle).
void TerrainBatchesTest::cachedCellHoldsItsHexagon()
{
    CachedLattice cached;
    TLandscape& land = cached.land;
    const LatticeWindow& win = cached.win;
    TerrainBatches& batches = cached.batches;
    const std::vector<BatchVertex>& v = batches.vertices();

    int checked = 0;
    for (const std::vector<std::uint32_t>& list : batches.groups()) {
        QCOMPARE(list.size() % 18, std::size_t(0));
        for (std::size_t t = 0; t < list.size(); t += 18) {
            const std::uint32_t centre = list[t + 2];
            QCOMPARE(centre % 7, 0u);
            const BatchVertex& c = v[centre];
            // The centre's own index, recovered from its height.
            const auto k = std::uint32_t(c.position.y / 0.25f);
            const std::uint32_t col = k % 40;
            const std::int32_t* fan = (col & 1) ? land.oddColumnFan : land.evenColumnFan;
            for (int m = 0; m < 7; ++m) {
                const auto n = std::uint32_t(std::int64_t(k) + fan[m]);
                const BatchVertex& got = v[centre + std::uint32_t(m)];
                QCOMPARE(got.position.x, land.positions[n].x);
                QCOMPARE(got.position.y, land.positions[n].y);
                QCOMPARE(got.position.z, land.positions[n].z);
                QCOMPARE(got.normal.x, land.normals[n].x);
                QCOMPARE(got.colour[0], land.colours[n].r);
                QCOMPARE(got.colour[1], land.colours[n].g);
                QCOMPARE(got.colour[2], land.colours[n].b);
                QCOMPARE(got.colour[3], std::uint8_t(m == 0 ? 255 : 0));
            }
            // Triangles (N_i, N_i+1, centre), i = 1..6, wrapping to N1.
            for (std::uint32_t tri = 0; tri < 6; ++tri) {
                QCOMPARE(list[t + 3 * tri], centre + 1 + tri);
                QCOMPARE(list[t + 3 * tri + 1], centre + 1 + (tri + 1) % 6);
                QCOMPARE(list[t + 3 * tri + 2], centre);
            }
            ++checked;
        }
    }
    QCOMPARE(std::uint32_t(checked), cellsIn(win));
    // Every vertex alpha of the lattice stays 0: the cache only reads it.
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        QCOMPARE(land.colours[k].a, std::uint8_t(0));
}

// Group g holds the cells of layer g (group 4 the layer without a slot), each group in the
// literal path's order: odd columns row by row, then even columns.
void TerrainBatchesTest::groupsListTheCellsByLayerInPassOrder()
{
    CachedLattice cached;
    TLandscape& land = cached.land;
    const LatticeWindow& win = cached.win;
    TerrainBatches& batches = cached.batches;
    QCOMPARE(batches.groups().size(), std::size_t(5));

    std::vector<std::vector<std::uint32_t>> expected(5); // centre lattice index per group
    forEachCellInPassOrder(win, [&](int col, int row) {
        const std::uint32_t k = std::uint32_t(row) * 40 + std::uint32_t(col);
        expected[land.layers[k]].push_back(k);
    });
    // The order written out independently for one row pair.
    std::vector<std::pair<int, int>> order;
    forEachCellInPassOrder(LatticeWindow{2, 6, 1, 3}, [&](int col, int row) { order.emplace_back(col, row); });
    const std::vector<std::pair<int, int>> written = {{3, 1}, {5, 1}, {3, 2}, {5, 2}, {2, 1}, {4, 1}, {2, 2}, {4, 2}};
    QVERIFY(order == written);

    for (std::size_t g = 0; g < 5; ++g) {
        const std::vector<std::uint32_t>& list = batches.groups()[g];
        QCOMPARE(list.size(), expected[g].size() * 18);
        QVERIFY(!expected[g].empty());
        for (std::size_t c = 0; c < expected[g].size(); ++c) {
            const BatchVertex& centre = batches.vertices()[list[c * 18 + 2]];
            QCOMPARE(centre.position.y, land.positions[expected[g][c]].y);
        }
    }
}

void TerrainBatchesTest::updateCopiesOnlyWhatEntersOrChanged()
{
    TLandscape land;
    fillLattice(land, 120, 120);
    TerrainBatches batches;
    LatticeWindow win = colourPassWindow(land.lattice(), 60.0f, 60.0f, 30.0f);
    batches.update(land.lattice(), win);
    QCOMPARE(batches.refreshedCells(), cellsIn(win));
    batches.update(land.lattice(), win);
    QCOMPARE(batches.refreshedCells(), 0u);

    // One changed vertex concerns its own cell and the eight around it.
    batches.markChanged(40, 40, 30, 30, land.width, land.depth);
    batches.update(land.lattice(), win);
    QCOMPARE(batches.refreshedCells(), 9u);
    // A 7 x 7 square, bounds in either order: 9 x 9 cells.
    batches.markChanged(47, 41, 36, 30, land.width, land.depth);
    batches.update(land.lattice(), win);
    QCOMPARE(batches.refreshedCells(), 81u);
    // Off the lattice's interior nothing is marked.
    batches.markChanged(-50, -10, -50, -10, land.width, land.depth);
    batches.update(land.lattice(), win);
    QCOMPARE(batches.refreshedCells(), 0u);

    // Moved by two rows: only the rows that enter are copied.
    const LatticeWindow moved = colourPassWindow(land.lattice(), 60.0f, 64.0f, 30.0f);
    QCOMPARE(moved.rowLo, win.rowLo + 2);
    batches.update(land.lattice(), moved);
    QCOMPARE(batches.refreshedCells(), 2u * std::uint32_t(moved.colHi - moved.colLo));
    // The values copied are the current ones.
    land.positions[std::size_t(moved.rowLo + 3) * 120 + std::size_t(moved.colLo + 3)].y = -7.0f;
    batches.markChanged(moved.colLo + 3, moved.colLo + 3, moved.rowLo + 3, moved.rowLo + 3, land.width, land.depth);
    batches.update(land.lattice(), moved);
    QCOMPARE(batches.refreshedCells(), 9u);
    int seen = 0;
    for (const BatchVertex& v : batches.vertices())
        seen += v.position.y == -7.0f ? 1 : 0;
    QCOMPARE(seen, 7); // the centre of its own cell and a neighbour in six others
}

void TerrainBatchesTest::layerChangeMovesTheCellToAnotherGroup()
{
    CachedLattice cached;
    TLandscape& land = cached.land;
    const LatticeWindow& win = cached.win;
    TerrainBatches& batches = cached.batches;
    const std::size_t before0 = batches.groups()[0].size();
    const std::size_t before2 = batches.groups()[2].size();
    const std::uint32_t k = std::uint32_t(win.rowLo + 2) * 40 + std::uint32_t(win.colLo + 2);
    QCOMPARE(land.layers[k], 2u);
    land.layers[k] = 0;
    batches.markChanged(win.colLo + 2, win.colLo + 2, win.rowLo + 2, win.rowLo + 2, 40, 30);
    batches.update(land.lattice(), win);
    QCOMPARE(batches.groups()[0].size(), before0 + 18);
    QCOMPARE(batches.groups()[2].size(), before2 - 18);
}

void TerrainBatchesTest::emptyWindowRefreshesNothing()
{
    CachedLattice cached;
    TLandscape& land = cached.land;
    TerrainBatches& batches = cached.batches;
    QVERIFY(batches.refreshedCells() > 0);
    const LatticeWindow far = colourPassWindow(land.lattice(), -500.0f, -500.0f, 60.0f);
    QVERIFY(isEmpty(far));
    batches.update(land.lattice(), far);
    QCOMPARE(batches.refreshedCells(), 0u);
}

QTEST_APPLESS_MAIN(TerrainBatchesTest)
#include "TerrainBatchesTest.moc"
