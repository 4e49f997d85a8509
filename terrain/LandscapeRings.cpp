#include "ColourPasses.h"
#include "DepthPassState.h"
#include "Landscape.h"

#include <GL/gl.h>
#include <algorithm>

namespace {

// The view's side and near planes from the current projection and modelview matrices (rows of
// their product added to and taken from the last, Gribb and Hartmann 2001), as (a, b, c, d)
// with a point inside where a x + b y + c z + d >= 0.
struct ViewPlanes {
    float plane[5][4];

    ViewPlanes()
    {
        GLfloat p[16], m[16];
        glGetFloatv(GL_PROJECTION_MATRIX, p);
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        float clip[16]; // column-major p * m
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r)
                clip[c * 4 + r] = p[r] * m[c * 4] + p[4 + r] * m[c * 4 + 1] + p[8 + r] * m[c * 4 + 2] +
                                  p[12 + r] * m[c * 4 + 3];
        const auto row = [&clip](int r, int c) { return clip[c * 4 + r]; };
        const int rows[5] = {0, 0, 1, 1, 2};
        const float signs[5] = {1.0f, -1.0f, 1.0f, -1.0f, 1.0f};
        for (int k = 0; k < 5; ++k)
            for (int c = 0; c < 4; ++c)
                plane[k][c] = row(3, c) + signs[k] * row(rows[k], c);
    }

    // False when the box lies wholly outside one plane.
    bool mayShow(const float low[3], const float high[3]) const
    {
        for (const auto& q : plane) {
            const float x = q[0] > 0.0f ? high[0] : low[0];
            const float y = q[1] > 0.0f ? high[1] : low[1];
            const float z = q[2] > 0.0f ? high[2] : low[2];
            if (q[0] * x + q[1] * y + q[2] * z + q[3] < 0.0f)
                return false;
        }
        return true;
    }
};

} // namespace

void TLandscape::updateRings(float x, float z, float viewDistance, float designedRadius)
{
    rings_.update(lattice(), double(x), double(z), double(viewDistance), designedRadius);
}

// The levels' depth pre-pass: every triangle of each level once, from its drawn positions.
// Expects and leaves what renderDepth does (the baseline state; leaves GL_CULL_FACE,
// GL_ALPHA_TEST, GL_BLEND, GL_FOG, GL_LIGHTING and GL_TEXTURE_2D enabled, the vertex array
// disabled, the current colour (0, 0, 0, 0)), writing depth and black where a level is in front.
void TLandscape::renderRingsDepth(int firstLevel, int endLevel, TerrainDrawCounters* counters)
{
    const std::vector<TerrainRings::Level>& levels = rings_.levels();
    endLevel = std::min(endLevel, int(levels.size()));
    if (firstLevel >= endLevel)
        return;

    beginDepthPassState();

    const ViewPlanes view;
    for (int l = firstLevel; l < endLevel; ++l) {
        const TerrainRings::Level& lv = levels[std::size_t(l)];
        glVertexPointer(3, GL_FLOAT, 0, lv.positions.data());
        for (const TerrainRings::Level::Tile& tile : lv.tiles) {
            if (tile.depthList.empty() || !view.mayShow(tile.low, tile.high))
                continue;
            glDrawElements(GL_TRIANGLES, GLsizei(tile.depthList.size()), GL_UNSIGNED_INT, tile.depthList.data());
            if (counters)
                ++counters->drawCalls;
        }
    }

    endDepthPassState();
}

// The levels' colour passes: texture splatting on each level's lattice. For each layer, the
// triangles with a corner that carries it are drawn with its texture, each corner's alpha its
// weight of that layer (1 or 0, fractions in a morph zone), added over the pre-pass's black at
// equal depth in the designed passes' state. The weights sum to 1 at every corner, so each
// point shows the blend of its corners' layers, as in the designed window; the textures'
// object-linear coordinates are the same (x/s, z/s) at every level, and their mip levels take
// over with the distance.
//
// Expects the baseline state and renderRingsDepth's depth of the same levels. Leaves what
// renderBatchedColour leaves (endColourPasses).
void TLandscape::renderRingsColour(int firstLevel, int endLevel, TerrainDrawCounters* counters)
{
    const std::vector<TerrainRings::Level>& levels = rings_.levels();
    endLevel = std::min(endLevel, int(levels.size()));
    if (firstLevel >= endLevel)
        return;

    const ViewPlanes view;
    beginColourPasses(spacing, ColourPassArrays{nullptr, nullptr, nullptr, 0});
    for (int l = firstLevel; l < endLevel; ++l) {
        const TerrainRings::Level& lv = levels[std::size_t(l)];
        glVertexPointer(3, GL_FLOAT, 0, lv.positions.data());
        glNormalPointer(GL_FLOAT, 0, lv.normals.data());
        for (std::size_t group = 0; group < lv.colours.size(); ++group) {
            bool bound = false;
            for (const TerrainRings::Level::Tile& tile : lv.tiles) {
                const std::vector<std::uint32_t>& list = tile.groupLists[group];
                if (list.empty() || !view.mayShow(tile.low, tile.high))
                    continue;
                if (!bound) {
                    glColorPointer(4, GL_UNSIGNED_BYTE, 0, lv.colours[group].data());
                    // The last group gathers the layers without a slot: texture name 0, as in render.
                    glBindTexture(GL_TEXTURE_2D, group < textureCount ? textures[group] : 0);
                    if (counters)
                        ++counters->textureBinds;
                    bound = true;
                }
                glDrawElements(GL_TRIANGLES, GLsizei(list.size()), GL_UNSIGNED_INT, list.data());
                if (counters)
                    ++counters->drawCalls;
            }
        }
    }
    endColourPasses();
}
