#include "TerrainBatches.h"

#include "ColourPasses.h"
#include "LatticeView.h"

#include <algorithm>

namespace {

// Slots of the ring beyond the largest window seen, so that the one-column jitter of the
// window's width as the camera moves does not reallocate the ring.
constexpr int kRingMargin = 2;

// Triangles of a cell's seven cached vertices (centre 0, neighbours 1..6 in the fan's turning
// order). The GL fans the literal path's polygon about its first vertex, and Mesa hands each
// fan triangle to the rasteriser as (N_i, N_i+1, centre): the same three corners in the other
// order make the rasteriser set up its interpolation planes from another corner, which moves
// some pixels by a step or two. Listing the corners exactly so draws every triangle as the
// literal path does; the winding is unchanged, clockwise from above.
constexpr std::uint32_t kCellTriangles[18] = {1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 5, 0, 5, 6, 0, 6, 1, 0};

bool sameWindow(const LatticeWindow& a, const LatticeWindow& b)
{
    return a.colLo == b.colLo && a.colHi == b.colHi && a.rowLo == b.rowLo && a.rowHi == b.rowHi;
}

} // namespace

std::size_t TerrainBatches::slotIndex(int col, int row) const
{
    return std::size_t(row % ringRows_) * std::size_t(ringColumns_) + std::size_t(col % ringColumns_);
}

// Copies the hexagon of cell (col, row) into its slot: the centre with alpha 255, as render
// sets it for the cell's draw, and the six neighbours as they stand (alpha 0).
void TerrainBatches::copyCell(const LatticeView& land, Slot& slot, BatchVertex* out, int col, int row)
{
    const std::size_t k = std::size_t(row) * land.width + std::size_t(col);
    const std::int32_t* fan = (col & 1) ? land.oddColumnFan : land.evenColumnFan;
    for (int m = 0; m < 7; ++m) {
        const std::size_t v = std::size_t(std::int64_t(k) + fan[m]);
        out[m].position = land.positions[v];
        out[m].normal = land.normals[v];
        const ubyte4& c = land.colours[v];
        out[m].colour[0] = c.r;
        out[m].colour[1] = c.g;
        out[m].colour[2] = c.b;
        out[m].colour[3] = m == 0 ? 255 : c.a;
    }
    slot.column = col;
    slot.row = row;
    slot.group = std::min(land.layers[k], land.textureCount);
    slot.stale = false;
}

void TerrainBatches::update(const LatticeView& land, const LatticeWindow& win)
{
    refreshedCells_ = 0;
    if (isEmpty(win))
        return;

    const int columns = win.colHi - win.colLo;
    const int rows = win.rowHi - win.rowLo;
    if (columns > ringColumns_ || rows > ringRows_) {
        ringColumns_ = std::max(columns + kRingMargin, ringColumns_);
        ringRows_ = std::max(rows + kRingMargin, ringRows_);
        const std::size_t slotCount = std::size_t(ringColumns_) * std::size_t(ringRows_);
        ring_.assign(slotCount, Slot{});
        vertices_.assign(slotCount * 7, BatchVertex{});
        indicesValid_ = false;
    }
    groups_.resize(std::size_t(land.textureCount) + 1);

    if (!sameWindow(win, window_))
        indicesValid_ = false;

    for (int row = win.rowLo; row < win.rowHi; ++row) {
        for (int col = win.colLo; col < win.colHi; ++col) {
            const std::size_t s = slotIndex(col, row);
            Slot& slot = ring_[s];
            if (slot.column == col && slot.row == row && !slot.stale)
                continue;
            const bool sameCell = slot.column == col && slot.row == row;
            const std::uint32_t oldGroup = slot.group;
            copyCell(land, slot, &vertices_[s * 7], col, row);
            if (!sameCell || slot.group != oldGroup)
                indicesValid_ = false;
            ++refreshedCells_;
        }
    }

    if (indicesValid_)
        return;
    for (std::vector<std::uint32_t>& list : groups_)
        list.clear();
    // Within a group the cells keep the literal path's order.
    forEachCellInPassOrder(win, [this](int col, int row) {
        const std::size_t s = slotIndex(col, row);
        std::vector<std::uint32_t>& list = groups_[ring_[s].group];
        const auto base = std::uint32_t(s * 7);
        for (std::uint32_t corner : kCellTriangles)
            list.push_back(base + corner);
    });
    window_ = win;
    indicesValid_ = true;
}

// A cell's hexagon holds its own vertex and the six around it, all within one column and one
// row of it, so a changed vertex (i, j) concerns the cells (i +- 1, j +- 1) at most. Only the
// cells the ring holds are marked; the others are copied anyway when they enter the window.
void TerrainBatches::markChanged(std::int32_t x0, std::int32_t x1, std::int32_t z0, std::int32_t z1,
                                 std::uint32_t width, std::uint32_t depth)
{
    if (ring_.empty())
        return;
    using Wide = std::int64_t;
    const Wide colLo = std::max<Wide>(Wide(std::min(x0, x1)) - 1, 1);
    const Wide colHi = std::min<Wide>(Wide(std::max(x0, x1)) + 1, Wide(width) - 2);
    const Wide rowLo = std::max<Wide>(Wide(std::min(z0, z1)) - 1, 1);
    const Wide rowHi = std::min<Wide>(Wide(std::max(z0, z1)) + 1, Wide(depth) - 2);
    if (colLo > colHi || rowLo > rowHi)
        return;

    const auto inside = [&](const Slot& slot) {
        return slot.column >= colLo && slot.column <= colHi && slot.row >= rowLo && slot.row <= rowHi;
    };
    const std::uint64_t area = std::uint64_t(colHi - colLo + 1) * std::uint64_t(rowHi - rowLo + 1);
    if (area > ring_.size()) {
        for (Slot& slot : ring_)
            if (inside(slot))
                slot.stale = true;
        return;
    }
    for (Wide row = rowLo; row <= rowHi; ++row) {
        for (Wide col = colLo; col <= colHi; ++col) {
            Slot& slot = ring_[slotIndex(int(col), int(row))];
            if (slot.column == col && slot.row == row)
                slot.stale = true;
        }
    }
}
