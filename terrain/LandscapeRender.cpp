#include "ColourPasses.h"
#include "DepthPassState.h"
#include "Landscape.h"

#include <GL/gl.h>
#include <algorithm>
#include <vector>

// Expects the baseline state (depth test LEQUAL, culling, lighting, fog, blending, alpha test,
// 2D texturing). Leaves GL_CULL_FACE, GL_ALPHA_TEST, GL_BLEND, GL_FOG, GL_LIGHTING and
// GL_TEXTURE_2D enabled whatever they were, the vertex array disabled, and the current colour
// (0, 0, 0, 0). Writes depth and black with alpha 0 wherever the terrain is in front; with a
// ground fog, its colours (the colour array enabled for the pass and disabled again).
void TLandscape::renderDepth(float x, float z, float radius, TerrainDrawCounters* counters, const GroundFog* fog)
{
    beginDepthPassState();

    // The strips of column col span the triangles between col and col+1; the window reaches
    // one column and one row further than the colour passes', so the depth surface covers every
    // hexagon they draw.
    const LatticeWindow win = depthPassWindow(lattice(), x, z, radius);
    if (win.rowHi <= win.rowLo) {
        endDepthPassState();
        return;
    }

    // Vertex (col, row) is element (row - rowOrigin) * rowStride + col - colOrigin of the arrays
    // pointed at: the lattice's own, or with a ground fog a copy of a block of kFogBlock columns
    // of its positions beside their fog colours (the same coordinates, so the same depths),
    // block after block, so that the copy stays small however large the window.
    constexpr int kFogBlock = 64;
    GLuint rowStride = width;
    int colOrigin = 0;
    const int rowOrigin = fog ? win.rowLo : 0;
    if (fog)
        glEnableClientState(GL_COLOR_ARRAY);
    else
        glVertexPointer(3, GL_FLOAT, 0, positions);

    std::vector<GLuint> strip(2 * std::size_t(win.rowHi - win.rowLo));
    for (int col = win.colLo; col < win.colHi; ++col) {
        if (fog && (col - win.colLo) % kFogBlock == 0) {
            const int last = std::min(col + kFogBlock, win.colHi);
            rowStride = GLuint(last - col + 1);
            colOrigin = col;
            const std::size_t count = std::size_t(rowStride) * std::size_t(win.rowHi - win.rowLo);
            fogPositions_.resize(count);
            fogColours_.resize(3 * count);
            std::size_t n = 0;
            for (int row = win.rowLo; row < win.rowHi; ++row)
                for (int c = col; c <= last; ++c, ++n) {
                    fogPositions_[n] = positions[std::size_t(row) * width + std::size_t(c)];
                    fog->colourAt(fogPositions_[n], &fogColours_[3 * n]);
                }
            glVertexPointer(3, GL_FLOAT, 0, fogPositions_.data());
            glColorPointer(3, GL_FLOAT, 0, fogColours_.data());
        }
        // Each pair starts with the vertex lower in z: in an even column the odd neighbour
        // col+1 lies half a row toward -z, in an odd column the even neighbour lies higher.
        const bool even = (col & 1) == 0;
        std::size_t n = 0;
        for (int row = win.rowLo; row < win.rowHi; ++row) {
            const GLuint k = GLuint(row - rowOrigin) * rowStride + GLuint(col - colOrigin);
            strip[n++] = even ? k + 1 : k;
            strip[n++] = even ? k : k + 1;
        }
        glDrawElements(GL_TRIANGLE_STRIP, GLsizei(n), GL_UNSIGNED_INT, strip.data());
        if (counters) {
            ++counters->strips;
            ++counters->drawCalls;
        }
    }

    if (fog) {
        // The colour array leaves the current colour undefined.
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    }
    endDepthPassState();
}

// Texture splatting on the lattice. After the depth pre-pass every interior vertex of the
// window draws its hexagon with the texture of its own layer, its alpha 1 at the centre
// falling linearly to 0 at the six neighbours, added into the colour buffer. Every lattice
// triangle is drawn once per corner and the three corner weights sum to 1 at every point, so a
// triangle shows the blend of its corners' layers, lit (colour material) and fogged.
//
// The colour passes draw each triangle again with its vertices in another order than the
// pre-pass did, so their depths may differ from the stored ones in the last bit: tested with
// LEQUAL and written back, some fragments would fail and leave dark speckles. So the passes
// test against the pre-pass depth without writing it, pulled toward the viewer by two units of
// polygon offset, and every fragment of the surface passes. The offset has no slope factor: a
// factor scales with the depth slope, which at a silhouette is large enough to pull the far
// ground in front of the near hill's edge, where both would then add up to a bright dot.
//
// Expects the baseline state. Leaves GL_TEXTURE_2D and GL_BLEND enabled, GL_ALPHA_TEST
// disabled (until the next frame's sky), depth function LEQUAL, blend function (SRC_ALPHA,
// ONE_MINUS_SRC_ALPHA), texture generation for S and T off, the vertex, normal and colour
// arrays off, the depth mask on and polygon offset off with factor and units (0, 0).
// Every vertex alpha is 0 again on return.
void TLandscape::render(float x, float z, float radius, TerrainDrawCounters* counters)
{
    renderDepth(x, z, radius, counters);
    renderColour(x, z, radius, counters);
}

// Expects the baseline state (as renderDepth leaves it, or the sky after it) and renderDepth's
// depth of the same window in the depth buffer. Leaves what render leaves.
void TLandscape::renderColour(float x, float z, float radius, TerrainDrawCounters* counters)
{
    const LatticeWindow win = colourPassWindow(lattice(), x, z, radius);

    beginColourPasses(spacing, ColourPassArrays{positions, normals, colours, 0});

    // The polygon is fanned from its first index: (k, N1, N2) ... (k, N6, N1), clockwise seen
    // from above, so it faces the viewer under GL_CW.
    const auto drawCell = [this, counters](int col, int row, const std::int32_t* fan) {
        const GLuint k = GLuint(row) * width + GLuint(col);
        GLuint indices[8];
        for (int m = 0; m < 8; ++m)
            indices[m] = GLuint(std::int64_t(k) + fan[m]);
        const std::uint32_t layer = layers[k];
        colours[k].a = 255;
        // A layer without a slot would read past the table: it gets texture name 0.
        glBindTexture(GL_TEXTURE_2D, layer < textureCount ? textures[layer] : 0);
        glDrawElements(GL_POLYGON, 8, GL_UNSIGNED_INT, indices);
        colours[k].a = 0;
        if (counters) {
            ++counters->textureBinds;
            ++counters->drawCalls;
            ++counters->cells;
        }
    };
    forEachCellInPassOrder(win,
                           [&](int col, int row) { drawCell(col, row, (col & 1) ? oddColumnFan : evenColumnFan); });

    endColourPasses();
}

// Every vertex normal as a blue line one world unit long (for a computed normal), the border
// ring included. Switches off GL_TEXTURE_2D, GL_LIGHTING and GL_BLEND for the lines and
// enables them again afterwards; the current colour is left blue.
void TLandscape::renderNormals(TerrainDrawCounters* counters)
{
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glColor3f(0.0f, 0.0f, 1.0f);

    glBegin(GL_LINES);
    const std::uint32_t count = vertexCount();
    for (std::uint32_t k = 0; k < count; ++k) {
        const float3& p = positions[k];
        const float3& n = normals[k];
        glVertex3f(p.x, p.y, p.z);
        glVertex3f(p.x + n.x, p.y + n.y, p.z + n.z);
    }
    glEnd();
    if (counters)
        ++counters->drawCalls;

    glEnable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
}
