#pragma once

#include <cstdint>

// What the terrain drawing handed to the GL, counted by the drawing code itself into the
// counters its caller passes (none: nothing is counted): for the tests (cells and strips
// actually drawn) and the benchmark (calls and binds).
struct TerrainDrawCounters {
    std::uint32_t drawCalls = 0;    // glDrawElements / glDrawArrays / glBegin batches
    std::uint32_t textureBinds = 0; // glBindTexture calls
    std::uint32_t cells = 0;        // hexagons drawn by the colour passes
    std::uint32_t strips = 0;       // triangle strips drawn by the depth pre-pass
    void reset() { *this = TerrainDrawCounters{}; }
};
