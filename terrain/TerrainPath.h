#pragma once

#include "Vec3.h"

#include <GL/gl.h>
#include <cstdint>
#include <vector>

// How the terrain's colour passes reach the GL.
//
// Literal: TLandscape::render, one GL_POLYGON and one texture bind per cell, straight from the
// lattice arrays (some 4,400 draw calls and binds per frame at radius 60).
// Batched: TLandscape::renderBatched, the same hexagons copied once into a cache of seven
// vertices per cell and drawn as triangles, one draw call and one bind per layer in view.
// Both give the same picture and leave the same GL state.
enum class TerrainPath { Literal, Batched };

// The path stepWanderingBump draws with; Literal unless the program chooses otherwise.
extern TerrainPath terrainPath;

// Keeps the C library's heap from handing freed memory back to the kernel while frames are
// drawn. The software rasteriser records every draw call into its frame in 64 KB blocks that
// it allocates, and frees again once the frame is rasterised: some 550 blocks (35 MB) for the
// literal path's 4,500 draw calls, about 20 for the batched path's 80. With the default
// settings glibc trims the freed top of the heap, and the next frame faults those pages in
// again: about 5,000 page faults per literal frame. Fixing both thresholds (which also ends
// their dynamic adjustment) keeps the memory: blocks up to 32 MB come from the heap, and the
// heap is trimmed only beyond 256 MB free. Call it once, first thing in main. Returns false
// if the C library refused a setting (glibc accepts both; elsewhere it does nothing).
bool tuneAllocatorForDrawing();

// One cached vertex of a cell's hexagon: the lattice vertex's position, normal and colour,
// laid out for interleaved client arrays (stride 28 bytes).
struct BatchVertex {
    float3 position;
    float3 normal;
    std::uint8_t colour[4];
};
static_assert(sizeof(BatchVertex) == 28, "BatchVertex must be tightly packed");

// The batched path's cache, held by the landscape it draws. Cells live in a ring of slots
// indexed by (column mod ringColumns, row mod ringRows), so a window that moves by one cell
// refills only the cells that enter it. Each slot holds the centre and the six neighbours of
// one cell (centre alpha 255, neighbours with their own colour, alpha 0 by the lattice's
// rule) and the cell's group: its layer, or textureCount for a layer without a slot.
// Slot contents are refreshed when the cell enters the window or after markChanged touched
// one of its seven vertices; the per-group index lists are rebuilt when a group or the window
// changed.
struct TerrainBatches {
    struct Slot {
        std::int32_t column = -1;  // lattice cell held, -1 for none
        std::int32_t row = -1;
        std::uint32_t group = 0;
        bool stale = true;
    };

    // What the cache was built from; any difference empties it.
    const void* positions = nullptr;
    const void* normals = nullptr;
    const void* colours = nullptr;
    const void* layers = nullptr;
    std::uint32_t width = 0;
    std::uint32_t depth = 0;
    float spacing = 0.0f;
    std::uint32_t textureCount = 0;

    std::int32_t ringColumns = 0;
    std::int32_t ringRows = 0;
    std::vector<Slot> ring;                     // ringColumns * ringRows
    std::vector<BatchVertex> vertices;          // 7 per slot
    std::vector<std::vector<GLuint>> groups;    // textureCount + 1 triangle lists
    bool indicesValid = false;
    std::int32_t colLo = 0, colHi = 0, rowLo = 0, rowHi = 0; // window of the index lists

    // Cells whose seven vertices were copied again during the last renderBatched (entering
    // the window or marked changed): a measure of how much the cache had to redo.
    std::uint32_t refreshedCells = 0;

    void clear();
};
