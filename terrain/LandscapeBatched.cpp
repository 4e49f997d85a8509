#include "ColourPasses.h"
#include "DrawCounters.h"
#include "FramePhases.h"
#include "Landscape.h"
#include "TerrainPath.h"

#include <GL/gl.h>
#include <algorithm>
#include <cstddef>
#include <malloc.h>

TerrainPath terrainPath = TerrainPath::Literal;

bool tuneAllocatorForDrawing()
{
#if defined(__GLIBC__)
    // 32 MB is the largest mmap threshold glibc accepts on a 64-bit system.
    const bool mmapSet = mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024) == 1;
    const bool trimSet = mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024) == 1;
    return mmapSet && trimSet;
#else
    return false;
#endif
}

void TerrainBatches::clear()
{
    *this = TerrainBatches{};
}

namespace {

bool isEmpty(const LatticeWindow& win)
{
    return win.colHi <= win.colLo || win.rowHi <= win.rowLo;
}

// Slots of the ring beyond the largest window seen, so that the one-column jitter of the
// window's width as the camera moves does not reallocate the ring.
constexpr int kRingMargin = 2;

// Triangles of a cell's seven cached vertices (centre 0, neighbours 1..6 in the fan's turning
// order). The GL fans the literal path's polygon about its first vertex, and Mesa hands each
// fan triangle to the rasteriser as (N_i, N_i+1, centre): the same three corners in the other
// order make the rasteriser set up its interpolation planes from another corner, which moves
// some pixels by a step or two. Listing the corners exactly so draws every triangle as the
// literal path does; the winding is unchanged, clockwise from above.
constexpr GLuint kCellTriangles[18] = {1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 5, 0, 5, 6, 0, 6, 1, 0};

bool sameLattice(const TerrainBatches& b, const TLandscape& land)
{
    return b.positions == land.positions && b.normals == land.normals && b.colours == land.colours &&
           b.layers == land.layers && b.width == land.width && b.depth == land.depth &&
           b.spacing == land.spacing && b.textureCount == land.textureCount;
}

std::size_t slotIndex(const TerrainBatches& b, int col, int row)
{
    return std::size_t(row % b.ringRows) * std::size_t(b.ringColumns) + std::size_t(col % b.ringColumns);
}

// Copies the hexagon of cell (col, row) into its slot: the centre with alpha 255, as render
// sets it for the cell's draw, and the six neighbours as they stand (alpha 0).
void copyCell(TLandscape& land, TerrainBatches::Slot& slot, BatchVertex* out, int col, int row)
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

// Brings the cache up to date for the window: empties it if the lattice is another one, grows
// the ring if the window outgrew it, copies every cell of the window that is not held or was
// marked changed, and rebuilds the triangle lists if a cell changed group or the window moved.
void updateBatches(TLandscape& land, const LatticeWindow& win)
{
    TerrainBatches& b = land.batches;
    if (!sameLattice(b, land)) {
        b.clear();
        b.positions = land.positions;
        b.normals = land.normals;
        b.colours = land.colours;
        b.layers = land.layers;
        b.width = land.width;
        b.depth = land.depth;
        b.spacing = land.spacing;
        b.textureCount = land.textureCount;
    }

    const int columns = win.colHi - win.colLo;
    const int rows = win.rowHi - win.rowLo;
    if (columns > b.ringColumns || rows > b.ringRows) {
        b.ringColumns = std::max(columns + kRingMargin, b.ringColumns);
        b.ringRows = std::max(rows + kRingMargin, b.ringRows);
        const std::size_t slotCount = std::size_t(b.ringColumns) * std::size_t(b.ringRows);
        b.ring.assign(slotCount, TerrainBatches::Slot{});
        b.vertices.assign(slotCount * 7, BatchVertex{});
        b.indicesValid = false;
    }
    b.groups.resize(std::size_t(b.textureCount) + 1);

    if (win.colLo != b.colLo || win.colHi != b.colHi || win.rowLo != b.rowLo || win.rowHi != b.rowHi)
        b.indicesValid = false;

    for (int row = win.rowLo; row < win.rowHi; ++row) {
        for (int col = win.colLo; col < win.colHi; ++col) {
            const std::size_t s = slotIndex(b, col, row);
            TerrainBatches::Slot& slot = b.ring[s];
            if (slot.column == col && slot.row == row && !slot.stale)
                continue;
            const bool sameCell = slot.column == col && slot.row == row;
            const std::uint32_t oldGroup = slot.group;
            copyCell(land, slot, &b.vertices[s * 7], col, row);
            if (!sameCell || slot.group != oldGroup)
                b.indicesValid = false;
            ++b.refreshedCells;
        }
    }

    if (b.indicesValid)
        return;
    for (std::vector<GLuint>& list : b.groups)
        list.clear();
    // Within a group the cells keep the literal path's order: odd columns row by row, then
    // even columns.
    const auto appendCell = [&b](int col, int row) {
        const std::size_t s = slotIndex(b, col, row);
        std::vector<GLuint>& list = b.groups[b.ring[s].group];
        const GLuint base = GLuint(s * 7);
        for (GLuint corner : kCellTriangles)
            list.push_back(base + corner);
    };
    const int firstOdd = win.colLo | 1;
    const int firstEven = win.colLo + (win.colLo & 1);
    for (int row = win.rowLo; row < win.rowHi; ++row)
        for (int col = firstOdd; col < win.colHi; col += 2)
            appendCell(col, row);
    for (int row = win.rowLo; row < win.rowHi; ++row)
        for (int col = firstEven; col < win.colHi; col += 2)
            appendCell(col, row);
    b.colLo = win.colLo;
    b.colHi = win.colHi;
    b.rowLo = win.rowLo;
    b.rowHi = win.rowHi;
    b.indicesValid = true;
}

} // namespace

// A cell's hexagon holds its own vertex and the six around it, all within one column and one
// row of it, so a changed vertex (i, j) concerns the cells (i +- 1, j +- 1) at most. Only the
// cells the ring holds are marked; the others are copied anyway when they enter the window.
void TLandscape::markChanged(std::int32_t x0, std::int32_t x1, std::int32_t z0, std::int32_t z1)
{
    TerrainBatches& b = batches;
    if (b.ring.empty())
        return;
    using Wide = std::int64_t;
    const Wide colLo = std::max<Wide>(Wide(std::min(x0, x1)) - 1, 1);
    const Wide colHi = std::min<Wide>(Wide(std::max(x0, x1)) + 1, Wide(width) - 2);
    const Wide rowLo = std::max<Wide>(Wide(std::min(z0, z1)) - 1, 1);
    const Wide rowHi = std::min<Wide>(Wide(std::max(z0, z1)) + 1, Wide(depth) - 2);
    if (colLo > colHi || rowLo > rowHi)
        return;

    const auto inside = [&](const TerrainBatches::Slot& slot) {
        return slot.column >= colLo && slot.column <= colHi && slot.row >= rowLo && slot.row <= rowHi;
    };
    const std::uint64_t area = std::uint64_t(colHi - colLo + 1) * std::uint64_t(rowHi - rowLo + 1);
    if (area > b.ring.size()) {
        for (TerrainBatches::Slot& slot : b.ring)
            if (inside(slot))
                slot.stale = true;
        return;
    }
    for (Wide row = rowLo; row <= rowHi; ++row) {
        for (Wide col = colLo; col <= colHi; ++col) {
            TerrainBatches::Slot& slot = b.ring[slotIndex(b, int(col), int(row))];
            if (slot.column == col && slot.row == row)
                slot.stale = true;
        }
    }
}

// The colour passes of render, with the hexagons taken from the batch cache: the depth
// pre-pass, then for each layer in view one GL_TRIANGLES list of all its cells' six triangles,
// added with the same state render uses. The additive blend saturates and the depth test does
// not write, so neither the order of the cells nor their grouping by layer changes a pixel.
//
// Expects the baseline state. Leaves exactly what render leaves: GL_TEXTURE_2D and GL_BLEND
// enabled, GL_ALPHA_TEST disabled, depth function LEQUAL, blend function (SRC_ALPHA,
// ONE_MINUS_SRC_ALPHA), texture generation for S and T off, the vertex, normal and colour
// arrays off, the depth mask on and polygon offset off with factor and units (0, 0). The
// lattice's colours are only read, so every vertex alpha stays 0.
void TLandscape::renderBatched(float x, float z, float radius)
{
    renderDepth(x, z, radius);
    markFramePhase(FramePhase::DepthPass);

    const LatticeWindow win = colourPassWindow(*this, x, z, radius);
    batches.refreshedCells = 0;
    if (!isEmpty(win))
        updateBatches(*this, win);

    const char* base = reinterpret_cast<const char*>(batches.vertices.data());
    const auto field = [base](std::size_t offset) { return base ? base + offset : nullptr; };
    const GLsizei stride = sizeof(BatchVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, field(offsetof(BatchVertex, position)));
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, stride, field(offsetof(BatchVertex, normal)));
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, field(offsetof(BatchVertex, colour)));

    // The literal path's state; texture coordinates come from the cached positions, which are
    // the lattice's own, so object-linear generation gives the same (x/s, z/s).
    beginColourPasses(spacing);

    if (!isEmpty(win)) {
        for (std::size_t group = 0; group < batches.groups.size(); ++group) {
            const std::vector<GLuint>& list = batches.groups[group];
            if (list.empty())
                continue;
            // The last group gathers the layers without a slot: texture name 0, as in render.
            glBindTexture(GL_TEXTURE_2D, group < textureCount ? textures[group] : 0);
            glDrawElements(GL_TRIANGLES, GLsizei(list.size()), GL_UNSIGNED_INT, list.data());
            ++terrainDrawCounters.textureBinds;
            ++terrainDrawCounters.drawCalls;
        }
        terrainDrawCounters.cells +=
            std::uint32_t(win.colHi - win.colLo) * std::uint32_t(win.rowHi - win.rowLo);
    }

    endColourPasses();
}
