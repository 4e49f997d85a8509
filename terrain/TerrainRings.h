#pragma once

#include "LatticeView.h"
#include "LatticeWindow.h"
#include "Vec3.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

// Levels of detail beyond the designed terrain window: nested rings of coarser triangular
// lattices around the camera, a geometry clipmap on the CPU (Losasso and Hoppe 2004).
//
// Diamond coordinates. Lattice vertex (i, j) lies at x = i * c, z = z2 * s / 2 with
// c = s * sqrt(3)/2 and z2 = 2j - (i mod 2). Put a = (z2 + i) / 2 and b = (z2 - i) / 2: both
// are integers, the map (i, j) <-> (a, b) is one to one, and the lattice's three edge
// directions become +a, +b and the diagonal +a+b. In (a, b) the lattice is the unit square
// grid with every square cut along its rising diagonal into a lower triangle
// {(a, b), (a+1, b), (a+1, b+1)} and an upper one {(a, b), (a+1, b+1), (a, b+1)}. The lattice
// halved along its three axes is the same picture scaled by 2: the vertex (a, b) of level L
// (cell 2^L lattice rows) is the lattice vertex (2^L a, 2^L b). Every level-L triangle is cut
// by its edge midpoints into four level-(L-1) triangles, so the levels nest exactly.
//
// Level L draws the level-L triangles whose parent (the level-(L+1) triangle holding it) has
// its centroid in the level's square around the camera (ringSquare), less those
// inside the square of level L-1; level 0 (the band, at the lattice's own resolution) leaves
// out the designed window's cells instead (a triangle with a corner on one gets that corner's
// weight from the designed hexagon, and the band adds the weights of its other corners). The regions are thus unions of
// whole parent triangles and tile the plane without gap or overlap; where level L meets level L+1 the level-L vertices
// on the common edges lie at the edges' midpoints. Near its outer edge each level morphs those midpoint vertices
// (height, normal, colour and layer weights) toward the mean of the edge's two ends (geomorphing): fully at the edge,
// so no crack opens, and continuously with the camera's position, so nothing pops when a ring moves on.
//
// Layers are blended at every level by the same splatting as the designed window, on the
// coarser lattice: for each layer, every triangle that has a corner of that layer is drawn
// with the layer's texture and the corners' alpha 1 where they are of that layer, else 0;
// the weights sum to 1 at every point. Coarse vertices take the lattice vertex's height,
// colour and layer; their normal comes from their six level neighbours.
//
// Storage: each level keeps a square window of its vertices in a toroidal array indexed by
// (a mod n, b mod n), so a window that moves refills only the vertices that enter it.

// The kind of a triangle in diamond coordinates: (a, b) is its lower-left corner.
struct RingTriangle {
    std::int32_t a = 0;
    std::int32_t b = 0;
    bool upper = false;
    bool operator==(const RingTriangle& o) const { return a == o.a && b == o.b && upper == o.upper; }
};

// Lattice vertex (column, row) of level vertex (a, b) at `level`.
struct LatticeIndex {
    std::int64_t column = 0;
    std::int64_t row = 0;
};
LatticeIndex latticeIndexOf(int level, std::int64_t a, std::int64_t b);

// The three corners of a triangle, as (a, b) pairs in its level, in the order that is
// clockwise seen from above (front-facing under GL_CW).
void triangleCorners(const RingTriangle& t, std::int32_t corners[3][2]);

// The level-(L+1) triangle that holds the level-L triangle t.
RingTriangle parentTriangle(const RingTriangle& t);

// The world x and z of a triangle's centroid at `level` for row spacing `spacing`.
void triangleCentroid(int level, const RingTriangle& t, float spacing, double* x, double* z);

// The scale of the rings for a lattice of row spacing `spacing` and a designed window of
// radius `designedRadius` (world units): level 0's square half-size. Level L's cell is
// u = spacing * 2^L. The half-size leaves room outside the designed window for the
// morph zone and the snapping (1.5 radii, at least the radius plus 15 cells, at least 26 cells).
struct RingScale {
    float spacing = 0.0f;
    double baseHalfSize = 0.0;
};
RingScale ringScale(float spacing, float designedRadius);

// The square of a level: the centre the camera snapped to a grid of two parent cells each way
// (so the square moves by whole parent triangles), and its half-size in world units.
struct RingSquare {
    double centreX = 0.0;
    double centreZ = 0.0;
    double halfSize = 0.0;
    bool holds(double x, double z) const
    {
        return x >= centreX - halfSize && x < centreX + halfSize && z >= centreZ - halfSize && z < centreZ + halfSize;
    }
    bool operator==(const RingSquare& o) const
    {
        return centreX == o.centreX && centreZ == o.centreZ && halfSize == o.halfSize;
    }
};
// A level's square's half-size, world units: level 0's, and each further level 12 of its own
// cells wider than the one inside it (so far out about 24 of its cells, 12 from the hole).
double ringHalfSize(const RingScale& scale, int level);
RingSquare ringSquare(const RingScale& scale, int level, double cameraX, double cameraZ);

// Morph weight of a level vertex at world (x, z) for the camera at (cameraX, cameraZ): 0 well
// inside the level's square, rising linearly over 6 cells to 1 where the level's outer edge
// can first come (snapping and parent triangles' reach included), so it is 1 at every vertex on
// the edge wherever the square snapped, and follows the camera continuously.
float morphWeight(const RingScale& scale, int level, double cameraX, double cameraZ, double x, double z);

// How many levels reach view distance `viewDistance`: none up to the designed view (50),
// else until the last square's half-size is at least 1.3 times it (the view's far corners).
int ringLevelsFor(const RingScale& scale, double viewDistance);

// The view distance of the designed view, world units: the far plane of the designed frame.
constexpr double kDesignedViewDistance = 50.0;

// Layer groups whose weights a level vertex keeps (layers 0..6 and the group of layers without
// a texture slot, for up to 7 textures); further groups are left out of the coarser levels.
constexpr std::uint32_t kRingGroups = 8;
constexpr std::int32_t kRingTileSide = 16;

// The look of a level vertex: its colour and its weight of each layer group, the lattice's own
// at level 0 and at coarser levels their mean over the vertex's footprint (the lattice's
// vertices within one level cell, weighted by the hat 1 - distance / cell), as a texture's
// smaller mip levels hold the mean of its texels: so a coarse ring shows the blend of the
// layers and colours under it, not those of the one vertex it stands on.
struct RingLook {
    float colour[3] = {0.0f, 0.0f, 0.0f};
    float weight[kRingGroups] = {};
};
RingLook ringLookAt(const LatticeView& land, int level, std::int64_t a, std::int64_t b);

class TerrainRings {
public:
    // One level's vertex arrays (toroidal) and triangle lists, as the drawing reads them.
    struct Level {
        int level = 0;
        RingSquare square;
        RingSquare innerSquare; // the inner level's square the lists leave out
        std::int32_t size = 0;  // n: the window is n x n vertices in (a, b)
        std::int32_t a0 = 0;    // window's first a and b
        std::int32_t b0 = 0;
        bool listsValid = false;
        bool filled = false;  // the window was filled once
        bool marked = false;  // a held vertex was marked changed since the last update
        bool waiting = false; // the square stayed a frame where the camera moved it on
        // Per slot, camera-independent: what the vertex is and what it morphs toward.
        struct Slot {
            std::int32_t a = 0, b = 0;
            bool held = false;
            bool stale = true;
            bool onLattice = false;
            float3 position;
            float3 normal;
            float targetY = 0.0f;
            float3 targetNormal;
            RingLook look;               // colour and layer weights at this level
            RingLook targetLook;         // ... as the next level shows this place
            std::uint32_t groupMask = 0; // groups this vertex can carry a weight of
        };
        std::vector<Slot> cells;
        // Drawn arrays (GL client arrays): positions, normals and per group the colours whose
        // alpha is the group's weight at the vertex.
        std::vector<float3> positions;
        std::vector<float3> normals;
        std::vector<std::vector<ubyte4>> colours;
        // Per slot, one colour for a single untextured pass: the vertex's colour times the mean
        // of its groups' layers, each weighed by the group's weight (setGroupMeans), alpha 255.
        std::vector<ubyte4> flatColours;
        // Per slot, the morph weight the drawn arrays hold: -1 for none yet, NaN off the lattice.
        std::vector<float> drawnAlpha;
        // The camera the morphs were last brought to, valid until a slot is refilled.
        bool morphsValid = false;
        double morphCameraX = 0.0;
        double morphCameraZ = 0.0;
        // The triangles in tiles of kRingTileSide x kRingTileSide window squares, so that the
        // drawing can leave out the tiles outside the view: per group the triangles that carry
        // it, all of them for the depth pass (less the band's on the designed window's edge),
        // and the box their corners stay in whatever the morph.
        //
        // In the band, a triangle that carries one group alone comes last in that group's list
        // and in the depth list: from groupSingles[g] and depthSingles on. Without a ground fog
        // those are drawn in one pass, their colour straight into the frame with their depth
        // (renderRingsColour), not added over a pre-pass's black; at other levels the counts
        // are the lists' sizes.
        struct Tile {
            std::vector<std::vector<std::uint32_t>> groupLists;
            std::vector<std::uint32_t> depthList;
            std::vector<std::uint32_t> groupSingles; // per group: where its single triangles start
            std::uint32_t depthSingles = 0;
            std::vector<RingTriangle> triangles; // what the lists hold, in their order
            float low[3] = {0.0f, 0.0f, 0.0f};
            float high[3] = {0.0f, 0.0f, 0.0f};
        };
        std::vector<Tile> tiles;
        std::vector<bool> dirtyTiles; // tiles to build again though the lists are valid
        // Every tile's triangles, tile after tile.
        std::vector<RingTriangle> triangles() const
        {
            std::vector<RingTriangle> all;
            for (const Tile& tile : tiles)
                all.insert(all.end(), tile.triangles.begin(), tile.triangles.end());
            return all;
        }
    };

    // Brings the levels up to date for the camera at (cameraX, cameraZ), view distance
    // viewDistance and the designed window of radius `designedRadius`: levels appear or go,
    // windows move (refilling what enters), marked vertices are refilled, morphs follow the
    // camera, triangle lists are rebuilt where a window, the designed window or a layer
    // changed. Makes no GL call.
    void update(const LatticeView& land, double cameraX, double cameraZ, double viewDistance, float designedRadius);

    // Marks the vertices of lattice columns x0..x1 and rows z0..z1 (either order) changed,
    // with their neighbours (whose normals and morph targets read them).
    void markChanged(std::int32_t x0, std::int32_t x1, std::int32_t z0, std::int32_t z1);

    void clear() { *this = TerrainRings{}; }

    // The mean colour of each group's layer (its texture's 1 x 1 mip level, alpha multiplied
    // in; white for a group without a texture), from which the flat colours are made. A change
    // remakes every level's flat colours at the next update.
    void setGroupMeans(const std::vector<float3>& means);

    const std::vector<Level>& levels() const { return levels_; }
    // Vertices filled by the last update: a measure of its work.
    std::uint32_t refilledVertices() const { return refilled_; }
    // Bytes held by the levels' arrays.
    std::size_t memoryBytes() const;

private:
    // `coarser` is the next level, already up to date, or null.
    void updateLevel(Level& lv, const RingSquare& square, const LatticeView& land, double cameraX, double cameraZ,
                     const Level* coarser);
    // Each level's square for this frame: where the camera snaps it, or where it was for a
    // level that waits (see TerrainRings.cpp).
    std::vector<RingSquare> squaresThisFrame(double cameraX, double cameraZ);
    void fillSlot(Level& lv, Level::Slot& slot, const LatticeView& land, std::int32_t a, std::int32_t b,
                  const Level* coarser);
    void morphSlot(Level& lv, std::size_t s, float alpha);
    // Has every drawn vertex of the level made again at the next update.
    static void redrawMorphs(Level& lv);
    void buildLists(Level& lv, const LatticeView& land);
    // Marks dirty the band's tiles, and makes again the vertices, that the designed window's
    // cells moving from `before` to `after` changes.
    void markDesignedEdge(Level& lv, const LatticeWindow& before, const LatticeWindow& after);
    // Marks dirty the tiles whose triangles the level's hole moving from `before` to `after`
    // (the inner level's squares) may let in or leave out.
    // Marks dirty the tiles that hold a triangle with level vertex (a, b) as a corner.
    void markTilesAround(Level& lv, std::int64_t a, std::int64_t b);
    void markHoleEdge(Level& lv, const RingSquare& before, const RingSquare& after);
    bool designedCell(const LatticeIndex& li) const;
    std::size_t slotOf(const Level& lv, std::int32_t a, std::int32_t b) const;

    std::vector<Level> levels_;
    LatticeWindow designed_{0, 0, 0, 0}; // the colour passes' cells the band leaves out
    RingScale scale_;
    std::uint32_t groups_ = 0;
    std::vector<float3> groupMeans_;
    std::uint32_t refilled_ = 0;
    struct Mark {
        std::int32_t x0, x1, z0, z1;
    };
    std::vector<Mark> marks_;
    // The next level's looks fillSlot worked out where that level does not hold the vertex, by
    // (a, b) packed in 64 bits; for one level's fill.
    std::unordered_map<std::uint64_t, RingLook> unheldLooks_;
    // buildLists's band triangles of one group alone, per group, for one tile at a time: their
    // indices and the triangles.
    std::vector<std::vector<std::uint32_t>> singles_;
    std::vector<std::vector<RingTriangle>> singleTriangles_;
};
