#include "ColourPasses.h"
#include "Landscape.h"

#include <GL/gl.h>
#include <algorithm>

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

    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_CULL_FACE);
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    glEnableClientState(GL_VERTEX_ARRAY);

    for (int l = firstLevel; l < endLevel; ++l) {
        const TerrainRings::Level& lv = levels[std::size_t(l)];
        if (lv.depthList.empty())
            continue;
        glVertexPointer(3, GL_FLOAT, 0, lv.positions.data());
        glDrawElements(GL_TRIANGLES, GLsizei(lv.depthList.size()), GL_UNSIGNED_INT, lv.depthList.data());
        if (counters)
            ++counters->drawCalls;
    }

    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_CULL_FACE);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glEnable(GL_FOG);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
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

    beginColourPasses(spacing, ColourPassArrays{nullptr, nullptr, nullptr, 0});
    for (int l = firstLevel; l < endLevel; ++l) {
        const TerrainRings::Level& lv = levels[std::size_t(l)];
        glVertexPointer(3, GL_FLOAT, 0, lv.positions.data());
        glNormalPointer(GL_FLOAT, 0, lv.normals.data());
        for (std::size_t group = 0; group < lv.groupLists.size(); ++group) {
            const std::vector<std::uint32_t>& list = lv.groupLists[group];
            if (list.empty())
                continue;
            glColorPointer(4, GL_UNSIGNED_BYTE, 0, lv.colours[group].data());
            // The last group gathers the layers without a slot: texture name 0, as in render.
            glBindTexture(GL_TEXTURE_2D, group < textureCount ? textures[group] : 0);
            glDrawElements(GL_TRIANGLES, GLsizei(list.size()), GL_UNSIGNED_INT, list.data());
            if (counters) {
                ++counters->textureBinds;
                ++counters->drawCalls;
            }
        }
    }
    endColourPasses();
}
