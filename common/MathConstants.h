#pragma once

// The angle constants of the whole program, in the precision each use needs. Angles are stored
// in degrees; radians exist only inside trigonometric steps.
constexpr double kPi = 3.141592653589793;
constexpr double kDegreesToRadians = 0.017453292519943295; // pi / 180
constexpr double kRadiansToDegrees = 57.29577951308232;    // 180 / pi
// pi / 180 in single precision, as the sky's single-precision radii use it.
constexpr float kDegreesToRadiansF = 0.017453292f;
