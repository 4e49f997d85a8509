#include "ColourPasses.h"
#include "Landscape.h"

#include <GL/gl.h>
#include <cstddef>
#include <type_traits>

static_assert(std::is_same<GLuint, std::uint32_t>::value, "the cache's index lists are handed to the GL as GLuint");

// The held cells that hold a changed vertex are copied again before the next renderBatched.
void TLandscape::markChanged(std::int32_t x0, std::int32_t x1, std::int32_t z0, std::int32_t z1)
{
    batches_.markChanged(x0, x1, z0, z1, width, depth);
    rings_.markChanged(x0, x1, z0, z1);
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
void TLandscape::renderBatched(float x, float z, float radius, TerrainDrawCounters* counters)
{
    renderDepth(x, z, radius, counters);
    renderBatchedColour(x, z, radius, counters);
}

void TLandscape::renderBatchedColour(float x, float z, float radius, TerrainDrawCounters* counters)
{
    const LatticeWindow win = colourPassWindow(lattice(), x, z, radius);
    batches_.update(lattice(), win);

    const char* base = reinterpret_cast<const char*>(batches_.vertices().data());
    const auto field = [base](std::size_t offset) { return base ? base + offset : nullptr; };
    // The literal path's state; texture coordinates come from the cached positions, which are
    // the lattice's own, so object-linear generation gives the same (x/s, z/s).
    beginColourPasses(spacing,
                      ColourPassArrays{field(offsetof(BatchVertex, position)), field(offsetof(BatchVertex, normal)),
                                       field(offsetof(BatchVertex, colour)), GLsizei(sizeof(BatchVertex))});

    if (!isEmpty(win)) {
        const std::vector<std::vector<std::uint32_t>>& groups = batches_.groups();
        for (std::size_t group = 0; group < groups.size(); ++group) {
            const std::vector<std::uint32_t>& list = groups[group];
            if (list.empty())
                continue;
            // The last group gathers the layers without a slot: texture name 0, as in render.
            glBindTexture(GL_TEXTURE_2D, group < textureCount ? textures[group] : 0);
            glDrawElements(GL_TRIANGLES, GLsizei(list.size()), GL_UNSIGNED_INT, list.data());
            if (counters) {
                ++counters->textureBinds;
                ++counters->drawCalls;
            }
        }
        if (counters)
            counters->cells += std::uint32_t(win.colHi - win.colLo) * std::uint32_t(win.rowHi - win.rowLo);
    }

    endColourPasses();
}
