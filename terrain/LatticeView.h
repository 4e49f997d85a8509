#pragma once

#include "Vec3.h"

#include <cstdint>

// One vertex colour: four bytes in the order R, G, B, A, as GL reads a GL_UNSIGNED_BYTE array.
struct ubyte4 {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;
};
static_assert(sizeof(ubyte4) == 4, "ubyte4 must be tightly packed");

// What the lattice's drawing helpers read of a TLandscape (Landscape.h), without owning or
// changing any of it: the dimensions, the flat vertex arrays and the two fan tables. The
// landscape hands it out (TLandscape::lattice), so the helpers need not know the landscape.
struct LatticeView {
    std::uint32_t width = 0; // vertices along x
    std::uint32_t depth = 0; // vertices along z
    float spacing = 0.0f;    // row distance in world units
    std::uint32_t textureCount = 0;
    const float3* positions = nullptr;           // width * depth
    const float3* normals = nullptr;             // width * depth
    const ubyte4* colours = nullptr;             // width * depth
    const std::uint32_t* layers = nullptr;       // width * depth
    const std::int32_t* oddColumnFan = nullptr;  // 8 hexagon index offsets, odd columns
    const std::int32_t* evenColumnFan = nullptr; // ... even columns
};
