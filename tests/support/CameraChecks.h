#pragma once

// Camera comparisons shared by the tests; they need only the camera, no GL and no window.

#include "Camera.h"

#include <QString>

// Everything of the camera that the look-at and the next operations read, exactly: the basis,
// the angles, the orbit and its minimum distance (orbit moves and zooms stop at it).
inline bool sameCamera(const Camera& a, const Camera& b)
{
    const auto same = [](const Vec3d& u, const Vec3d& v) { return u.x == v.x && u.y == v.y && u.z == v.z; };
    return same(a.position, b.position) && same(a.target, b.target) && same(a.forward, b.forward) && same(a.up, b.up) &&
           same(a.right, b.right) && a.yaw == b.yaw && a.pitch == b.pitch && a.roll == b.roll &&
           a.orbiting == b.orbiting && a.orbitDistance == b.orbitDistance && a.minOrbitDistance == b.minOrbitDistance;
}

// The camera in a failure message.
inline QString describeCamera(const Camera& c)
{
    return QString::asprintf("pos (%g, %g, %g) yaw %g pitch %g roll %g orbit %d d %g min %g", c.position.x,
                             c.position.y, c.position.z, c.yaw, c.pitch, c.roll, int(c.orbiting), c.orbitDistance,
                             c.minOrbitDistance);
}
