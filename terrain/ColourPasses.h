#pragma once

// What the two colour-pass paths (render and renderBatched) share: the lattice window around
// the eye and the GL state the passes run in. Internal to the terrain library.

class TLandscape;

// Columns colLo..colHi and rows rowLo..rowHi around (x, z) with radius r, before a pass
// adjusts and clamps them. One spacing is added beyond the radius, so the cells whose
// hexagons reach into the circle are included.
struct LatticeWindow {
    int colLo, colHi, rowLo, rowHi;
};
LatticeWindow windowAround(float x, float z, float radius, float spacing);

// The colour passes' cells: the window clamped off the border ring, cells colLo..colHi-1 by
// rowLo..rowHi-1.
LatticeWindow colourPassWindow(const TLandscape& land, float x, float z, float radius);

// Switches to the colour passes' state: 2D texturing on, alpha test off, depth function
// LEQUAL, additive blending (SRC_ALPHA, ONE), object-linear texture coordinates (x/s, z/s),
// depth writes off and a polygon offset toward the viewer. The client arrays are the caller's.
void beginColourPasses(float spacing);

// Back from the colour passes: polygon offset off with (0, 0), depth writes on, blending
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), texture generation off, the colour, normal and vertex
// arrays off. GL_TEXTURE_2D and GL_BLEND stay on, GL_ALPHA_TEST off, the depth function LEQUAL.
void endColourPasses();
