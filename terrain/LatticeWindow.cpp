#include "LatticeWindow.h"

#include "LatticeView.h"

namespace {

// Columns are spacing * sqrt(3)/2 apart, so a world distance along x is turned into columns
// by the reciprocal of sqrt(3)/2. The value is that reciprocal taken in single precision,
// which decides exactly where the window's column bounds fall.
constexpr double kColumnScale = 1.1547005591040845;

// Truncation toward zero into a signed index. A window bound only has to land somewhere off
// the lattice when the camera is far away, so values beyond any lattice are held at +-2^30
// (where the conversion is defined) and a NaN position gives bound 0 (an empty window).
int truncIndex(double value)
{
    constexpr double kLimit = 1073741824.0;
    if (!(value == value))
        return 0;
    if (value > kLimit)
        value = kLimit;
    if (value < -kLimit)
        value = -kLimit;
    return int(value);
}

} // namespace

LatticeWindow windowAround(float x, float z, float radius, float spacing)
{
    const double xd = x, zd = z, rd = radius, sd = spacing;
    return {truncIndex((xd - rd - sd) / sd * kColumnScale), truncIndex((xd + rd + sd) / sd * kColumnScale),
            truncIndex((zd - rd - sd) / sd), truncIndex((zd + rd + sd) / sd)};
}

LatticeWindow colourPassWindow(const LatticeView& land, float x, float z, float radius)
{
    LatticeWindow win = windowAround(x, z, radius, land.spacing);
    if (win.colLo < 1)
        win.colLo = 1;
    if (win.colHi > int(land.width) - 1)
        win.colHi = int(land.width) - 1;
    if (win.rowLo < 1)
        win.rowLo = 1;
    if (win.rowHi > int(land.depth) - 1)
        win.rowHi = int(land.depth) - 1;
    return win;
}

LatticeWindow depthPassWindow(const LatticeView& land, float x, float z, float radius)
{
    LatticeWindow win = windowAround(x, z, radius, land.spacing);
    win.colLo -= 1;
    win.rowLo -= 1;
    win.rowHi += 1;
    if (win.colLo < 0)
        win.colLo = 0;
    if (win.colHi > int(land.width) - 1)
        win.colHi = int(land.width) - 1;
    if (win.rowLo < 0)
        win.rowLo = 0;
    if (win.rowHi > int(land.depth))
        win.rowHi = int(land.depth);
    return win;
}
