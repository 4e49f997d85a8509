#pragma once

// Directions and rotations shared by the sky and star tests, in the world frame: y up, the
// horizon in the x-z plane.

#include "Vec3.h"

#include <algorithm>
#include <cmath>

constexpr double kTestPi = 3.14159265358979323846;

// The unit vector elevationDegrees above the horizon, azimuthDegrees from +x towards +z.
inline Vec3d direction(double elevationDegrees, double azimuthDegrees)
{
    const double e = elevationDegrees * kTestPi / 180.0;
    const double a = azimuthDegrees * kTestPi / 180.0;
    return {std::cos(e) * std::cos(a), std::sin(e), std::cos(e) * std::sin(a)};
}

// v turned by the rotation part of a column-major GL matrix.
inline Vec3d timesMatrix(const float m[16], const Vec3d& v)
{
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}

inline double angleBetweenDegrees(const Vec3d& a, const Vec3d& b)
{
    return std::acos(std::clamp(dot(a, b) / (length(a) * length(b)), -1.0, 1.0)) * 180.0 / kTestPi;
}
