#pragma once

#include "Vec3.h"

// The viewer: an eye point, a look-at point and yaw/pitch/roll in degrees.
//
// World axes: y up; yaw turns in the x-z plane from +x towards +z, pitch from the horizontal
// towards +y. All angles are degrees; distances are world units. Everything is computed in
// double precision.
//
// Free mode: target = position + forward. Orbit mode: position = target - forward * orbitDistance
// with orbitDistance >= minOrbitDistance; sideways and vertical moves travel along the sphere.
// A zero-initialised Camera is the state the window starts with (everything 0, free mode).
struct Camera {
    Vec3d position;
    Vec3d target;
    Vec3d forward;      // unit view direction, from the angles
    Vec3d up;           // unit up direction; the look-at up vector
    Vec3d right;        // forward x up
    double yaw = 0.0;   // degrees
    double pitch = 0.0; // degrees, no limit at +-90
    double roll = 0.0;  // degrees
    bool orbiting = false;
    double orbitDistance = 0.0;
    double minOrbitDistance = 0.0;

    void setPosition(double x, double y, double z);
    void setPosition(const Vec3d& p);
    void setAngles(double yawDegrees, double pitchDegrees, double rollDegrees);
    void moveHorizontal(double forwardAmount, double rightAmount);
    void move(double forwardAmount, double upAmount, double rightAmount);
    void turnYaw(double deltaDegrees);
    void turnPitch(double deltaDegrees);
    void turnRoll(double deltaDegrees);
    void setYaw(double degrees);
    void setPitch(double degrees);
    void setRoll(double degrees);
    // Orbit mode around point. minDistance must be positive: orbit-mode moves divide by it.
    // A non-positive (or NaN) minimum throws ViewerError and leaves the camera unchanged.
    void enterOrbit(const Vec3d& point, double minDistance);
    void leaveOrbit();
    void updateBasis();
    void anchor();
};

// Yaw and pitch (degrees) of the direction (dx, dy, dz). Either output may be null; an output
// whose condition fails (no horizontal part for yaw, no vertical part for pitch) keeps its value.
void directionAngles(double dx, double dy, double dz, double* yawOut, double* pitchOut);

// Reduces an angle by whole turns, keeping its sign: 370 -> 10, -370 -> -10, -90 -> -90.
double wrapAngle(double angleDegrees);
