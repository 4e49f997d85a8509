#pragma once

// Three doubles: the camera's points and basis vectors, the orbit point and the bump apex.
struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Three single-precision floats: terrain positions and normals, the world's colour triples.
// Tightly packed, so an array of them serves as a GL client array as it is.
struct float3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    // Channel access for the colour triples: 0 = x (red), 1 = y (green), 2 = z (blue).
    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

static_assert(sizeof(float3) == 3 * sizeof(float), "float3 must be tightly packed");
