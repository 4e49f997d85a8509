#pragma once

#include "DrawCounters.h"
#include "GroundFog.h"
#include "LatticeView.h"
#include "TerrainBatches.h"
#include "TerrainRings.h"
#include "Vec3.h"

#include <GL/gl.h>
#include <cstdint>
#include <vector>

// The terrain lattice: a height-field on a triangular lattice.
//
// Column i (x) and row j (z); vertex index k = j * width + i. Vertex (i, j) lies at
// x = i * spacing * sqrt(3)/2 and z = (j - 0.5 * (i mod 2)) * spacing: odd columns are shifted
// half a row towards -z, so every interior vertex has six neighbours at equal horizontal
// distance. The arrays are flat and tightly packed and serve as GL client arrays as they are.
//
// Owns its five heap arrays and the GL textures named in `textures`; non-copyable.
// A default-constructed landscape is empty (every field zero, every pointer null).
class TLandscape {
public:
    std::uint32_t width = 0;            // vertices along x, at least 2 once created
    std::uint32_t depth = 0;            // vertices along z, at least 2 once created
    float spacing = 0.0f;               // row distance in world units, > 0 once created
    std::uint32_t textureCount = 0;     // slots in `textures`, at least 1 once created
    GLuint* textures = nullptr;         // GL texture names, 0 = none
    float3* positions = nullptr;        // width * depth
    float3* normals = nullptr;          // width * depth, unit length where computed
    ubyte4* colours = nullptr;          // width * depth; alpha is 0 outside a draw call
    std::uint32_t* layers = nullptr;    // width * depth texture slot indices
    std::int32_t oddColumnFan[8] = {};  // hexagon index offsets around a vertex in an odd column
    std::int32_t evenColumnFan[8] = {}; // ... and in an even column

    TLandscape() = default;
    ~TLandscape();
    TLandscape(const TLandscape&) = delete;
    TLandscape& operator=(const TLandscape&) = delete;

    // Sets the dimensions (width and depth at least 2, spacing > 0 else 1, at least one texture
    // slot), allocates zero-filled arrays, sets x and z of every vertex and fills the fan tables.
    // A landscape that was created before is released first.
    void create(std::uint32_t width, std::uint32_t depth, float spacing, std::uint32_t textureCount);

    // Recomputes the normals of columns x0..x1 and rows z0..z1 (inclusive, either order),
    // clamped to the interior: the border ring is never computed.
    void computeNormals(std::uint32_t x0, std::uint32_t x1, std::uint32_t z0, std::uint32_t z1);

    // Drawing (GL context current; see LandscapeRender.cpp for the state each one expects and
    // leaves). x and z are the world position the window is centred on, radius in world units.
    // What each hands to the GL is added into *counters when counters is given.
    // With a ground fog the pre-pass writes its colours (GroundFog.h) in place of black.
    void renderDepth(float x, float z, float radius, TerrainDrawCounters* counters = nullptr,
                     const GroundFog* fog = nullptr);
    void render(float x, float z, float radius, TerrainDrawCounters* counters = nullptr);
    // render's colour passes alone, for a frame that draws something between them and the
    // depth pre-pass (which must have been drawn with the same x, z and radius).
    void renderColour(float x, float z, float radius, TerrainDrawCounters* counters = nullptr);
    void renderNormals(TerrainDrawCounters* counters = nullptr);

    // The same picture and GL state as render, drawn from the batch cache: the depth pre-pass,
    // then one triangle list per layer in view (see LandscapeBatched.cpp).
    void renderBatched(float x, float z, float radius, TerrainDrawCounters* counters = nullptr);
    // renderBatched's colour passes alone, after renderDepth with the same arguments.
    void renderBatchedColour(float x, float z, float radius, TerrainDrawCounters* counters = nullptr);
    // Tells the batch cache that positions, normals, colours or layers of the vertices in
    // columns x0..x1 and rows z0..z1 (inclusive, either order, clamped to the lattice)
    // changed: every cached cell whose hexagon holds one of them is copied again before the
    // next renderBatched. Whoever changes the arrays after a batched frame calls it.
    void markChanged(std::int32_t x0, std::int32_t x1, std::int32_t z0, std::int32_t z1);

    // Levels of detail beyond the designed window (TerrainRings.h): updateRings brings them up
    // to date for the camera at (x, z), view distance viewDistance and the designed window's
    // radius; renderRingsDepth and renderRingsColour draw levels firstLevel..endLevel-1 of
    // them as renderDepth and renderBatchedColour draw the window, with the same state
    // contracts (see LandscapeRings.cpp). No level exists up to the designed view distance.
    void updateRings(float x, float z, float viewDistance, float designedRadius);
    void renderRingsDepth(int firstLevel, int endLevel, TerrainDrawCounters* counters = nullptr,
                          const GroundFog* fog = nullptr);
    void renderRingsColour(int firstLevel, int endLevel, TerrainDrawCounters* counters = nullptr,
                           const GroundFog* fog = nullptr);
    // Without a ground fog the band's triangles of one layer alone have neither a pre-pass nor
    // a share in renderRingsColour: this draws them, in one pass (see LandscapeRings.cpp).
    void renderRingsSingles(int firstLevel, int endLevel, TerrainDrawCounters* counters = nullptr);
    // The levels in one untextured pass of their flat colours, in place of renderRingsDepth
    // and renderRingsColour, over the sky (see LandscapeRings.cpp).
    void renderRingsFlat(int firstLevel, int endLevel, TerrainDrawCounters* counters = nullptr);
    // The levels' colour passes at their smallest mip levels with a ground fog: each vertex lit
    // on the CPU as GL would light it and faded into the fog's colour, in one untextured, unlit
    // pass, whatever the light (see LandscapeRings.cpp).
    void renderRingsFogged(int firstLevel, int endLevel, const GroundFog& fog, TerrainDrawCounters* counters = nullptr);
    // The arrays renderRingsFlat draws a level from: its shown triangles over vertices of their
    // own, gathered each frame; and per window slot its place there, or -1.
    struct GatheredLevel {
        std::vector<float3> positions;
        std::vector<float3> normals;
        std::vector<ubyte4> colours;
        std::vector<std::uint32_t> indices;
        std::vector<std::uint32_t> windowSlots; // the window slot of each gathered vertex
        std::vector<std::int32_t> placeOf;
        std::vector<std::uint8_t> codeOf; // per window slot, the planes it lies outside of, once
        std::vector<std::uint32_t> codedSlots;
    };
    const TerrainRings& rings() const { return rings_; }
    // The CPU time the last updateRings took on its thread, milliseconds: what bringing the
    // levels along costs a frame, whatever else the machine runs.
    double ringUpdateCpuMs() const { return ringUpdateCpuMs_; }

    std::uint32_t vertexCount() const { return width * depth; }
    // The dimensions, arrays and fan tables as the drawing helpers read them.
    LatticeView lattice() const
    {
        return {width, depth, spacing, textureCount, positions, normals, colours, layers, oddColumnFan, evenColumnFan};
    }

    // renderBatched's cache, empty until it first draws and again after create.
    const TerrainBatches& batches() const { return batches_; }

private:
    void release();
    // The levels' group passes over the part of each group's lists a call draws.
    enum class RingGroupPart { Whole, Layered, Singles };
    void drawRingGroups(int firstLevel, int endLevel, RingGroupPart part, TerrainDrawCounters* counters);

    TerrainBatches batches_;
    TerrainRings rings_;
    std::vector<GLuint> meanTextures_; // the texture names the rings' layer means come from
    std::vector<float3> ringMeans_;    // ... and the means
    GatheredLevel gathered_;           // the levels' passes', kept for their memory
    double ringUpdateCpuMs_ = 0.0;
    // The fogged pre-passes' and the fogged levels' colours, kept between frames: the window's
    // positions and colours, and a gathered level's colours.
    std::vector<float3> fogPositions_;
    std::vector<float> fogColours_;
};

// True when the current lighting cannot saturate a vertex's colour (light 0's ambient and
// diffuse and the model's ambient sum to at most 1 in every channel), so that a colour
// multiplied into the material comes out multiplied: renderRingsFlat's condition.
bool lightingStaysLinear();

// Writes into `normal` the unit normal of a vertex at `centre` from its six neighbours, given
// in the turning order of the neighbour table (+x towards +z), and returns `normal`. The six
// face normals are each scaled to unit length before they are summed, so the triangles weigh
// equally whatever their area.
float3& vertexNormal(float3& normal, const float3& centre, const float3& n1, const float3& n2, const float3& n3,
                     const float3& n4, const float3& n5, const float3& n6);
