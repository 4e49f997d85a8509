#pragma once

#include "LatticeWindow.h"
#include "Vec3.h"

#include <cstdint>
#include <vector>

struct LatticeView;

// One cached vertex of a cell's hexagon: the lattice vertex's position, normal and colour,
// laid out for interleaved client arrays (stride 28 bytes).
struct BatchVertex {
    float3 position;
    float3 normal;
    std::uint8_t colour[4];
};
static_assert(sizeof(BatchVertex) == 28, "BatchVertex must be tightly packed");

// The batched path's cache of the colour passes' cells, held by the landscape it draws and
// emptied when that landscape is created again or released.
//
// Cells live in a ring of slots indexed by (column mod ringColumns, row mod ringRows), so a
// window that moves by one cell refills only the cells that enter it. Each slot holds the
// centre and the six neighbours of one cell (centre alpha 255, neighbours with their own
// colour, alpha 0 by the lattice's rule) and the cell's group: its layer, or textureCount for
// a layer without a slot. Slot contents are refreshed when the cell enters the window or after
// markChanged touched one of its seven vertices; the per-group index lists are rebuilt when a
// group or the window changed. Neither update nor markChanged makes a GL call.
class TerrainBatches {
public:
    // Brings the cache up to date for the colour passes' window `win` of `land` (a window that
    // colourPassWindow gave for this landscape): grows the ring if the window outgrew it,
    // copies every cell of the window that is not held or was marked changed, and rebuilds the
    // triangle lists if a cell changed group or the window moved. An empty window changes
    // nothing but the count of refreshed cells, which becomes 0.
    void update(const LatticeView& land, const LatticeWindow& win);

    // Marks as changed every held cell whose hexagon holds a vertex of columns x0..x1 and rows
    // z0..z1 (inclusive, either order) of a width x depth lattice.
    void markChanged(std::int32_t x0, std::int32_t x1, std::int32_t z0, std::int32_t z1, std::uint32_t width,
                     std::uint32_t depth);

    // Empties the cache: no cell held, no ring.
    void clear() { *this = TerrainBatches{}; }

    // The cached vertices, 7 per ring slot: the interleaved client arrays of the passes.
    const std::vector<BatchVertex>& vertices() const { return vertices_; }
    // Per group (layer 0 .. textureCount-1, then the layers without a slot) the triangle list
    // of its cells in the window of the last update, as indices into vertices(), the cells in
    // the passes' order.
    const std::vector<std::vector<std::uint32_t>>& groups() const { return groups_; }
    // Cells whose seven vertices were copied again by the last update (entering the window or
    // marked changed): a measure of how much the cache had to redo.
    std::uint32_t refreshedCells() const { return refreshedCells_; }

private:
    struct Slot {
        std::int32_t column = -1; // lattice cell held, -1 for none
        std::int32_t row = -1;
        std::uint32_t group = 0;
        bool stale = true;
    };

    std::size_t slotIndex(int col, int row) const;
    void copyCell(const LatticeView& land, Slot& slot, BatchVertex* out, int col, int row);

    std::int32_t ringColumns_ = 0;
    std::int32_t ringRows_ = 0;
    std::vector<Slot> ring_;                         // ringColumns_ * ringRows_
    std::vector<BatchVertex> vertices_;              // 7 per slot
    std::vector<std::vector<std::uint32_t>> groups_; // textureCount + 1 triangle lists
    bool indicesValid_ = false;
    LatticeWindow window_{0, 0, 0, 0}; // window of the index lists
    std::uint32_t refreshedCells_ = 0;
};
