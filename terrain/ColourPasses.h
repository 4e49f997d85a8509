#pragma once

// What the two colour-pass paths (render and renderBatched) share: the order of the cells and
// the GL state the passes run in. Internal to the terrain library.

#include "LatticeWindow.h"

#include <GL/gl.h>

// The colour passes are pulled toward the viewer by this many units of polygon offset (no
// slope factor), so they pass the depth test against the pre-pass's own depth although they
// draw the same triangles with their corners in another order.
constexpr GLfloat kColourPassOffsetUnits = -2.0f;

// Calls visit(col, row) for every cell of the colour passes' window in drawing order: first
// the odd columns, row by row, then the even columns, row by row. Within a row the columns
// rise in steps of 2 from the first one of their parity not below colLo.
template <typename Visit>
void forEachCellInPassOrder(const LatticeWindow& win, Visit&& visit)
{
    const int firstOdd = win.colLo | 1;
    const int firstEven = win.colLo + (win.colLo & 1);
    for (int row = win.rowLo; row < win.rowHi; ++row)
        for (int col = firstOdd; col < win.colHi; col += 2)
            visit(col, row);
    for (int row = win.rowLo; row < win.rowHi; ++row)
        for (int col = firstEven; col < win.colHi; col += 2)
            visit(col, row);
}

// The client arrays a colour pass draws from: positions (3 floats), normals (3 floats) and
// colours (4 unsigned bytes), all with the same stride (0 for tightly packed arrays).
struct ColourPassArrays {
    const void* positions;
    const void* normals;
    const void* colours;
    GLsizei stride;
};

// Switches to the colour passes' state: the vertex, normal and colour arrays on `arrays`,
// 2D texturing on, alpha test off, depth function LEQUAL, additive blending (SRC_ALPHA, ONE),
// object-linear texture coordinates (x/s, z/s), depth writes off and a polygon offset toward
// the viewer.
void beginColourPasses(float spacing, const ColourPassArrays& arrays);

// Back from the colour passes: polygon offset off with (0, 0), depth writes on, blending
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), texture generation off, the colour, normal and vertex
// arrays off. GL_TEXTURE_2D and GL_BLEND stay on, GL_ALPHA_TEST off, the depth function LEQUAL.
void endColourPasses();
