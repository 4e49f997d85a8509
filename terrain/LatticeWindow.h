#pragma once

struct LatticeView;

// Columns colLo..colHi and rows rowLo..rowHi around (x, z) with radius r, before a pass
// adjusts and clamps them. One spacing is added beyond the radius, so the cells whose
// hexagons reach into the circle are included. Internal to the terrain library.
struct LatticeWindow {
    int colLo, colHi, rowLo, rowHi;
};
LatticeWindow windowAround(float x, float z, float radius, float spacing);

// The colour passes' cells: the window clamped off the border ring, cells colLo..colHi-1 by
// rowLo..rowHi-1.
LatticeWindow colourPassWindow(const LatticeView& land, float x, float z, float radius);

// The depth pre-pass's strips: one per column colLo..colHi-1, each spanning the triangles
// between its column and the next over rows rowLo..rowHi-1; one more column on the low side
// and one more row on either side than the colour passes, clamped to the lattice.
LatticeWindow depthPassWindow(const LatticeView& land, float x, float z, float radius);

// True when the window holds no cell.
inline bool isEmpty(const LatticeWindow& win)
{
    return win.colHi <= win.colLo || win.rowHi <= win.rowLo;
}
