#include "ColourPasses.h"
#include "DepthPassState.h"
#include "Landscape.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <utility>
#include <vector>

namespace {

// The view's side, near and far planes from the current projection and modelview matrices
// (rows of their product added to and taken from the last, Gribb and Hartmann 2001), as
// (a, b, c, d) with a point inside where a x + b y + c z + d >= 0.
struct ViewPlanes {
    float plane[6][4];

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
        const int rows[6] = {0, 0, 1, 1, 2, 2};
        const float signs[6] = {1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f};
        for (int k = 0; k < 6; ++k)
            for (int c = 0; c < 4; ++c)
                plane[k][c] = row(3, c) + signs[k] * row(rows[k], c);
    }

    // One bit per plane that the point lies outside of, by more than a rounding's margin (so a
    // triangle whose three corners share a bit lies wholly outside the view, as GL clips it).
    std::uint8_t outside(const float3& p) const
    {
        std::uint8_t code = 0;
        for (int k = 0; k < 6; ++k) {
            const float* q = plane[k];
            const float size = std::fabs(q[0] * p.x) + std::fabs(q[1] * p.y) + std::fabs(q[2] * p.z) + std::fabs(q[3]);
            if (q[0] * p.x + q[1] * p.y + q[2] * p.z + q[3] < -1e-4f * size)
                code = std::uint8_t(code | (1u << k));
        }
        return code;
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

// The levels firstLevel..endLevel-1 that exist, as [first, end) indices into `levels`; empty
// when none does.
std::pair<int, int> levelRange(const std::vector<TerrainRings::Level>& levels, int firstLevel, int endLevel)
{
    return {firstLevel, std::max(firstLevel, std::min(endLevel, int(levels.size())))};
}

// Gathers the triangles of the level's tiles that may show, from the list `listOf` picks in
// each tile, tile after tile in their lists' order, with their vertices' drawn position,
// normal and colour (from `colours`; no normal or colour without it) copied into arrays of
// their own in the order of first use. Drawn from those, a call reads the few thousand
// vertices it uses: drawn from the level's arrays, each tile's call spans the window's rows its
// slots reach (all of them where a tile straddles the toroidal wrap), and the software
// pipeline's cost grows with that span. Same triangles in the same order, same values: same
// pixels.
constexpr std::uint8_t kNoCode = 0xFF;

// A stretch of a tile's index list, [first, last).
struct IndexRange {
    const std::uint32_t* first;
    const std::uint32_t* last;
};

template <typename ListOf>
void gatherShownTiles(const TerrainRings::Level& lv, const ViewPlanes& view, ListOf listOf, const ubyte4* colours,
                      TLandscape::GatheredLevel& out)
{
    out.positions.clear();
    out.normals.clear();
    out.colours.clear();
    out.indices.clear();
    for (const std::uint32_t slot : out.windowSlots)
        out.placeOf[slot] = -1;
    out.windowSlots.clear();
    for (const std::uint32_t slot : out.codedSlots)
        out.codeOf[slot] = kNoCode;
    out.codedSlots.clear();
    if (out.placeOf.size() < lv.cells.size()) {
        out.placeOf.assign(lv.cells.size(), -1);
        out.codeOf.assign(lv.cells.size(), kNoCode);
    }
    const auto codeOf = [&](std::uint32_t slot) {
        std::uint8_t& code = out.codeOf[slot];
        if (code == kNoCode) {
            code = view.outside(lv.positions[slot]);
            out.codedSlots.push_back(slot);
        }
        return code;
    };
    for (const TerrainRings::Level::Tile& tile : lv.tiles) {
        const IndexRange list = listOf(tile);
        if (list.first == list.last || !view.mayShow(tile.low, tile.high))
            continue;
        for (const std::uint32_t* t = list.first; t + 2 < list.last; t += 3) {
            // A triangle wholly outside the view draws nothing: left out here, it costs the
            // pipeline no vertex and no clipping.
            if ((codeOf(t[0]) & codeOf(t[1]) & codeOf(t[2])) != 0)
                continue;
            for (const std::uint32_t* m = t; m < t + 3; ++m) {
                const std::uint32_t slot = *m;
                std::int32_t& place = out.placeOf[slot];
                if (place < 0) {
                    place = std::int32_t(out.windowSlots.size());
                    out.windowSlots.push_back(slot);
                    out.positions.push_back(lv.positions[slot]);
                    if (colours) {
                        out.normals.push_back(lv.normals[slot]);
                        out.colours.push_back(colours[slot]);
                    }
                }
                out.indices.push_back(std::uint32_t(place));
            }
        }
    }
}

// Every triangle of a tile once: the list the depth pass and the one-pass levels draw.
IndexRange depthList(const TerrainRings::Level::Tile& tile)
{
    return {tile.depthList.data(), tile.depthList.data() + tile.depthList.size()};
}

// The part of it that carries more than one group: the band's pre-pass without a ground fog.
IndexRange layeredDepthList(const TerrainRings::Level::Tile& tile)
{
    return {tile.depthList.data(), tile.depthList.data() + tile.depthSingles};
}

// Draws what gatherShownTiles gathered, with the arrays it filled pointed at (the vertex array
// alone, or with normals and colours, as the caller has them enabled).
void drawGathered(const TLandscape::GatheredLevel& gathered, TerrainDrawCounters* counters)
{
    glVertexPointer(3, GL_FLOAT, 0, gathered.positions.data());
    if (!gathered.colours.empty()) {
        glNormalPointer(GL_FLOAT, 0, gathered.normals.data());
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, gathered.colours.data());
    }
    glDrawElements(GL_TRIANGLES, GLsizei(gathered.indices.size()), GL_UNSIGNED_INT, gathered.indices.data());
    if (counters)
        ++counters->drawCalls;
}

} // namespace

namespace {

// The mean colour of the texture bound to GL_TEXTURE_2D, alpha multiplied in: its last mip
// level, 1 x 1 (gluBuild2DMipmaps builds the chain down to it, each level the box mean of the
// one above). Without an image the texture is incomplete and texturing leaves the fragment's
// colour as it is: white.
float3 boundTextureMean()
{
    GLint level = 0;
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    if (width <= 0)
        return float3{1.0f, 1.0f, 1.0f};
    for (;;) {
        GLint w = 0;
        GLint h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
        if ((w <= 1 && h <= 1) || level >= 31)
            break;
        ++level;
    }
    GLfloat texel[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_FLOAT, texel);
    return float3{texel[0] * texel[3], texel[1] * texel[3], texel[2] * texel[3]};
}

} // namespace

void TLandscape::updateRings(float x, float z, float viewDistance, float designedRadius)
{
    // The layers' means, read once for each set of textures: a reload makes new names before
    // it deletes the old ones, and create() forgets them with the rings.
    const std::uint32_t groups = std::min<std::uint32_t>(textureCount + 1, kRingGroups);
    const auto nameOf = [this](std::uint32_t g) { return g < textureCount ? textures[g] : 0u; };
    bool same = meanTextures_.size() == groups;
    for (std::uint32_t g = 0; same && g < groups; ++g)
        same = meanTextures_[g] == nameOf(g);
    if (!same) {
        std::vector<GLuint> names(groups);
        for (std::uint32_t g = 0; g < groups; ++g)
            names[g] = nameOf(g);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        std::vector<float3> means;
        for (const GLuint name : names) {
            glBindTexture(GL_TEXTURE_2D, name);
            means.push_back(name != 0 ? boundTextureMean() : float3{1.0f, 1.0f, 1.0f});
        }
        glBindTexture(GL_TEXTURE_2D, GLuint(bound));
        rings_.setGroupMeans(means);
        ringMeans_ = means;
        meanTextures_ = names;
    }
    timespec before{}, after{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    rings_.update(lattice(), double(x), double(z), double(viewDistance), designedRadius);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    ringUpdateCpuMs_ = double(after.tv_sec - before.tv_sec) * 1e3 + double(after.tv_nsec - before.tv_nsec) * 1e-6;
}

// The levels' depth pre-pass: every triangle of each level once, from its drawn positions.
// Expects and leaves what renderDepth does (the baseline state; leaves GL_CULL_FACE,
// GL_ALPHA_TEST, GL_BLEND, GL_FOG, GL_LIGHTING and GL_TEXTURE_2D enabled, the vertex array
// disabled, the current colour (0, 0, 0, 0)), writing depth and black where a level is in front,
// or with a ground fog its colours, as renderDepth does.
void TLandscape::renderRingsDepth(int firstLevel, int endLevel, TerrainDrawCounters* counters, const GroundFog* fog)
{
    const std::vector<TerrainRings::Level>& levels = rings_.levels();
    const auto [first, end] = levelRange(levels, firstLevel, endLevel);
    if (first == end)
        return;

    beginDepthPassState();
    if (fog)
        glEnableClientState(GL_COLOR_ARRAY);
    const ViewPlanes view;
    for (int l = first; l < end; ++l) {
        // Without a ground fog the band's single-group triangles have no pre-pass: see
        // renderRingsColour.
        gatherShownTiles(levels[std::size_t(l)], view, fog ? depthList : layeredDepthList, nullptr, gathered_);
        if (gathered_.indices.empty())
            continue;
        if (fog) {
            fogColours_.resize(3 * gathered_.positions.size());
            for (std::size_t k = 0; k < gathered_.positions.size(); ++k)
                fog->colourAt(gathered_.positions[k], &fogColours_[3 * k]);
            glColorPointer(3, GL_FLOAT, 0, fogColours_.data());
        }
        drawGathered(gathered_, counters);
    }
    if (fog) {
        // The colour array leaves the current colour undefined.
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
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
// A band triangle that one group's pass alone draws adds its colour times its alpha to the
// pre-pass's black, and nothing else is added where it is in front. Without a ground fog such
// triangles have no pre-pass (renderRingsDepth) and no share here: renderRingsSingles draws them
// in one pass. With a ground fog (fog, as given to renderRingsDepth) the pre-pass holds the
// fog's share, and every triangle takes the two passes here.
//
// Expects the baseline state and renderRingsDepth's depth of the same levels, drawn with the
// same fog. Leaves what renderBatchedColour leaves (endColourPasses).
void TLandscape::renderRingsColour(int firstLevel, int endLevel, TerrainDrawCounters* counters, const GroundFog* fog)
{
    drawRingGroups(firstLevel, endLevel, fog ? RingGroupPart::Whole : RingGroupPart::Layered, counters);
}

// The band's single-group triangles in one pass of their own: their colour times their alpha
// written in place of what is there (blending SRC_ALPHA, ZERO), with their depth (depth writes
// on, no polygon offset, so the depths are the pre-pass's), under the colour passes' depth test,
// in the colour passes' state otherwise. The nearest surface's colour is the one left, as with
// the pre-pass: a pass drawn before over a farther depth is written over, and one drawn behind
// fails the test; so they may come before or after the other passes, and before the sky behind
// the ground, marking their pixels, as after it, over it. Culled back faces differ: the pre-pass
// would leave one in front black, but above the ground a back face is never the nearest surface.
//
// Expects the baseline state and renderRingsDepth's depth without a ground fog. Leaves what
// renderBatchedColour leaves (endColourPasses).
void TLandscape::renderRingsSingles(int firstLevel, int endLevel, TerrainDrawCounters* counters)
{
    drawRingGroups(firstLevel, endLevel, RingGroupPart::Singles, counters);
}

void TLandscape::drawRingGroups(int firstLevel, int endLevel, RingGroupPart part, TerrainDrawCounters* counters)
{
    const std::vector<TerrainRings::Level>& levels = rings_.levels();
    const auto [first, end] = levelRange(levels, firstLevel, endLevel);
    if (first == end)
        return;

    const ViewPlanes view;
    beginColourPasses(spacing, ColourPassArrays{nullptr, nullptr, nullptr, 0});
    if (part == RingGroupPart::Singles) {
        glDepthMask(GL_TRUE);
        glDisable(GL_POLYGON_OFFSET_FILL);
        glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
    }
    for (int l = first; l < end; ++l) {
        const TerrainRings::Level& lv = levels[std::size_t(l)];
        for (std::size_t group = 0; group < lv.colours.size(); ++group) {
            const auto groupList = [&](const TerrainRings::Level::Tile& tile) {
                const std::vector<std::uint32_t>& list = tile.groupLists[group];
                const std::uint32_t* singles = list.data() + tile.groupSingles[group];
                if (part == RingGroupPart::Singles)
                    return IndexRange{singles, list.data() + list.size()};
                return IndexRange{list.data(), part == RingGroupPart::Layered ? singles : list.data() + list.size()};
            };
            gatherShownTiles(lv, view, groupList, lv.colours[group].data(), gathered_);
            if (gathered_.indices.empty())
                continue;
            // The last group gathers the layers without a slot: texture name 0, as in render.
            glBindTexture(GL_TEXTURE_2D, group < textureCount ? textures[group] : 0);
            if (counters)
                ++counters->textureBinds;
            drawGathered(gathered_, counters);
        }
    }
    endColourPasses();
}

// The levels in one untextured pass: each vertex's flat colour (its colour times the weighed
// means of its layers), lit, fogged and written with its depth, no blending. Where lighting
// never saturates (lightingStaysLinear) this is the colour passes' sum over black with every
// layer at its mean, as their smallest mip levels show it: lighting and fog are linear in the
// material colour and the weights sum to 1. Drawn after the sky, over it, in place of a depth
// pre-pass and the colour passes, with their depth test (LEQUAL) and face culling.
//
// Expects what renderRingsColour leaves (endColourPasses) and leaves the same: disables 2D
// texturing and blending for the pass and enables them again.
void TLandscape::renderRingsFlat(int firstLevel, int endLevel, TerrainDrawCounters* counters)
{
    const std::vector<TerrainRings::Level>& levels = rings_.levels();
    const auto [first, end] = levelRange(levels, firstLevel, endLevel);
    if (first == end)
        return;

    const ViewPlanes view;
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    for (int l = first; l < end; ++l) {
        const TerrainRings::Level& lv = levels[std::size_t(l)];
        gatherShownTiles(lv, view, depthList, lv.flatColours.data(), gathered_);
        if (!gathered_.indices.empty())
            drawGathered(gathered_, counters);
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
}

namespace {

// Light 0 as GL lights a vertex of the levels: a directional light (the sky's sun), colour
// material on ambient and diffuse, no specular, no emission, no attenuation, no spot.
struct VertexLight {
    float toLight[3]; // unit, world frame
    float ambient[3]; // the model's ambient plus light 0's
    float diffuse[3];

    // GL's light position is held in eye coordinates; the modelview's rotation, transposed,
    // takes the direction back into the world, where the level's normals are.
    VertexLight()
    {
        GLfloat position[4], model[4], ambientLight[4], diffuseLight[4], view[16];
        glGetLightfv(GL_LIGHT0, GL_POSITION, position);
        glGetFloatv(GL_LIGHT_MODEL_AMBIENT, model);
        glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambientLight);
        glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuseLight);
        glGetFloatv(GL_MODELVIEW_MATRIX, view);
        float length = 0.0f;
        for (int i = 0; i < 3; ++i) {
            toLight[i] = view[i * 4] * position[0] + view[i * 4 + 1] * position[1] + view[i * 4 + 2] * position[2];
            length += toLight[i] * toLight[i];
        }
        length = length > 0.0f ? 1.0f / std::sqrt(length) : 0.0f;
        for (int i = 0; i < 3; ++i) {
            toLight[i] *= length;
            ambient[i] = model[i] + ambientLight[i];
            diffuse[i] = diffuseLight[i];
        }
    }
};

} // namespace

// The levels as the colour passes would draw them at their smallest mip levels, with GL's
// lighting and fog worked out here per vertex: the vertex colour c lit as GL lights it and
// clamped, min(c (A + D max(n.l, 0)), 1), times the layers' means weighed as the passes weigh
// them, then blended into the ground fog's colour, f lit + (1 - f) band. The clamp comes before
// the means, as GL's comes before the texture, so this holds where the light saturates too,
// which the flat colours (c already times the means) cannot give; where it cannot saturate
// (lightingStaysLinear) the flat colour lit is the same, and is read in one. GL's fog has one colour, so
// with a fog that follows the band the levels would otherwise need a pre-pass of the fog's
// share; this way they stay one pass, and one with no lighting in the GL's vertex stage. The
// fog factor is interpolated between vertices where GL works it out per fragment: a step at
// most where a triangle spans the fog's start or end.
//
// Expects what renderRingsColour leaves (endColourPasses) and leaves the same: disables 2D
// texturing, lighting, fog and blending for the pass and enables them again.
void TLandscape::renderRingsFogged(int firstLevel, int endLevel, const GroundFog& fog, TerrainDrawCounters* counters)
{
    const std::vector<TerrainRings::Level>& levels = rings_.levels();
    const auto [first, end] = levelRange(levels, firstLevel, endLevel);
    if (first == end)
        return;

    const ViewPlanes view;
    const VertexLight light;
    const bool linear = lightingStaysLinear();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    for (int l = first; l < end; ++l) {
        const TerrainRings::Level& lv = levels[std::size_t(l)];
        if (lv.colours.empty())
            continue;
        // Every group's colours hold the vertex's own colour c (alpha its weight of the group).
        // Where the light cannot saturate, c times the means is the flat colour, read at once.
        gatherShownTiles(lv, view, depthList, linear ? lv.flatColours.data() : lv.colours[0].data(), gathered_);
        if (gathered_.indices.empty())
            continue;
        const std::size_t groups = linear ? 0 : std::min(lv.colours.size(), ringMeans_.size());
        fogColours_.resize(3 * gathered_.positions.size());
        for (std::size_t k = 0; k < gathered_.positions.size(); ++k) {
            float* out = &fogColours_[3 * k];
            const float share = fog.colourAt(gathered_.positions[k], out);
            const float3& n = gathered_.normals[k];
            const float facing = std::max(n.x * light.toLight[0] + n.y * light.toLight[1] + n.z * light.toLight[2],
                                          0.0f);
            // The layers' means weighed by the alpha bytes their passes would draw.
            const std::uint32_t slot = gathered_.windowSlots[k];
            float mean[3] = {1.0f, 1.0f, 1.0f};
            if (groups > 0)
                mean[0] = mean[1] = mean[2] = 0.0f;
            for (std::size_t g = 0; g < groups; ++g) {
                const float w = float(lv.colours[g][slot].a) / 255.0f;
                mean[0] += w * ringMeans_[g].x;
                mean[1] += w * ringMeans_[g].y;
                mean[2] += w * ringMeans_[g].z;
            }
            const ubyte4& c = gathered_.colours[k];
            const float material[3] = {float(c.r) / 255.0f, float(c.g) / 255.0f, float(c.b) / 255.0f};
            for (int i = 0; i < 3; ++i) {
                const float lit = std::min(material[i] * (light.ambient[i] + light.diffuse[i] * facing), 1.0f) *
                                  mean[i];
                out[i] += (1.0f - share) * lit;
            }
        }
        glVertexPointer(3, GL_FLOAT, 0, gathered_.positions.data());
        glColorPointer(3, GL_FLOAT, 0, fogColours_.data());
        glDrawElements(GL_TRIANGLES, GLsizei(gathered_.indices.size()), GL_UNSIGNED_INT, gathered_.indices.data());
        if (counters)
            ++counters->drawCalls;
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_BLEND);
    glEnable(GL_FOG);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
}

bool lightingStaysLinear()
{
    // Light 0 alone, material colours from the colour array (at most 1), no emission and no
    // specular material: a vertex's lit colour is c (Am + Al + Dl max(n.l, 0)) per channel,
    // which stays within [0, 1] and so unclamped when Am + Al + Dl <= 1.
    GLfloat model[4], ambient[4], diffuse[4];
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, model);
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    for (int c = 0; c < 3; ++c)
        if (!(model[c] >= 0.0f && ambient[c] >= 0.0f && diffuse[c] >= 0.0f &&
              model[c] + ambient[c] + diffuse[c] <= 1.0f))
            return false;
    return true;
}
