#pragma once

#include <cmath>

// Three doubles: the camera's points and basis vectors, the orbit point and the bump apex.
struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    Vec3d& operator+=(const Vec3d& v)
    {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    Vec3d& operator-=(const Vec3d& v)
    {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
};

// Component by component, in the order x, y, z; a sum of several terms is formed left to
// right, as the same formula written out per component would be.
inline Vec3d operator+(const Vec3d& a, const Vec3d& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3d operator-(const Vec3d& a, const Vec3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3d operator*(const Vec3d& v, double s)
{
    return {v.x * s, v.y * s, v.z * s};
}
inline Vec3d operator*(double s, const Vec3d& v)
{
    return {s * v.x, s * v.y, s * v.z};
}
// x*x + y*y + z*z, added left to right.
inline double dot(const Vec3d& a, const Vec3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double length(const Vec3d& v)
{
    return std::sqrt(dot(v, v));
}
inline Vec3d cross(const Vec3d& a, const Vec3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

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
