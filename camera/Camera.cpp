#include "Camera.h"

#include "MathConstants.h"
#include "ViewerError.h"

#include <cmath>
#include <sstream>

double wrapAngle(double angleDegrees)
{
    // Multiplying by the constant 1/360 (rather than dividing) and truncating towards zero keeps
    // the sign of the angle: -90 stays -90 instead of becoming 270.
    const double turns = std::trunc(angleDegrees * (1.0 / 360.0));
    return angleDegrees - 360.0 * turns;
}

void directionAngles(double dx, double dy, double dz, double* yawOut, double* pitchOut)
{
    // The two guards keep both quotients away from a division by zero; an output whose guard
    // fails keeps the caller's value, so a vertical direction keeps the old heading and a level
    // one keeps the old pitch.
    const double horizontal = dx * dx + dz * dz;
    if (horizontal != 0.0 && yawOut) {
        double yaw = std::acos(dx / std::sqrt(horizontal)) * kRadiansToDegrees;
        if (dz < 0.0)
            yaw = -yaw;
        *yawOut = yaw;
    }
    const double lengthSquared = dx * dx + dy * dy + dz * dz;
    if (lengthSquared != 0.0 && pitchOut && dy != 0.0)
        *pitchOut = std::asin(dy / std::sqrt(lengthSquared)) * kRadiansToDegrees;
}

void Camera::updateBasis()
{
    // forward, up and right are the images of +x, +y and +z under the rotation that rolls about
    // x, then pitches about z (+x towards +y), then yaws about y (+x towards +z). Roll therefore
    // turns up and right about forward and never changes forward; right = forward x up.
    const double yawRadians = yaw * kDegreesToRadians;
    const double pitchRadians = pitch * kDegreesToRadians;
    const double rollRadians = roll * kDegreesToRadians;
    const double sy = std::sin(yawRadians), cy = std::cos(yawRadians);
    const double sp = std::sin(pitchRadians), cp = std::cos(pitchRadians);
    const double sr = std::sin(rollRadians), cr = std::cos(rollRadians);

    forward = {cy * cp, sp, sy * cp};
    up = {-cy * sp * cr - sy * sr, cp * cr, cy * sr - sy * sp * cr};
    right = {cy * sp * sr - sy * cr, -cp * sr, cy * cr + sy * sp * sr};
}

void Camera::anchor()
{
    if (orbiting)
        position = target - forward * orbitDistance;
    else
        target = position + forward;
}

void Camera::setPosition(double x, double y, double z)
{
    setPosition(Vec3d{x, y, z});
}

void Camera::setPosition(const Vec3d& p)
{
    // p may be this camera's own position (enterOrbit passes it): take the whole point before
    // anything below writes position.
    const Vec3d point = p;

    if (orbiting) {
        const Vec3d toTarget = target - point;
        directionAngles(toTarget.x, toTarget.y, toTarget.z, &yaw, &pitch);
        updateBasis();
        orbitDistance = length(toTarget);
        if (orbitDistance < minOrbitDistance)
            orbitDistance = minOrbitDistance;
        position = target - forward * orbitDistance;
    } else {
        target += point - position;
        position = point;
    }
}

void Camera::setAngles(double yawDegrees, double pitchDegrees, double rollDegrees)
{
    yaw = wrapAngle(yawDegrees);
    pitch = wrapAngle(pitchDegrees);
    roll = wrapAngle(rollDegrees);
    updateBasis();
    anchor();
}

void Camera::setYaw(double degrees)
{
    yaw = wrapAngle(degrees);
    updateBasis();
    anchor();
}

void Camera::setPitch(double degrees)
{
    pitch = wrapAngle(degrees);
    updateBasis();
    anchor();
}

void Camera::setRoll(double degrees)
{
    roll = wrapAngle(degrees);
    updateBasis();
    anchor();
}

void Camera::turnYaw(double deltaDegrees)
{
    // In orbit mode the eye, not the view, turns: a positive delta carries the eye to the
    // viewer's right around the target, which lowers the heading from eye to target.
    if (orbiting)
        deltaDegrees = -deltaDegrees;
    yaw = wrapAngle(yaw + deltaDegrees);
    updateBasis();
    anchor();
}

void Camera::turnPitch(double deltaDegrees)
{
    // A positive delta lifts the eye over the target in orbit mode, i.e. the view pitches down.
    if (orbiting)
        deltaDegrees = -deltaDegrees;
    pitch = wrapAngle(pitch + deltaDegrees);
    updateBasis();
    anchor();
}

void Camera::turnRoll(double deltaDegrees)
{
    roll = wrapAngle(roll + deltaDegrees);
    updateBasis();
    anchor();
}

void Camera::moveHorizontal(double forwardAmount, double rightAmount)
{
    if (orbiting)
        return;

    // The heading (cy, 0, sy) and the horizontal right (-sy, 0, cy) of the yaw alone, so the
    // move stays level whatever the pitch and roll.
    const double yawRadians = yaw * kDegreesToRadians;
    const double sy = std::sin(yawRadians), cy = std::cos(yawRadians);
    const double dx = forwardAmount * cy - rightAmount * sy;
    const double dz = forwardAmount * sy + rightAmount * cy;
    position.x += dx;
    target.x += dx;
    position.z += dz;
    target.z += dz;
}

void Camera::move(double forwardAmount, double upAmount, double rightAmount)
{
    if (!orbiting) {
        const Vec3d step = forwardAmount * forward + upAmount * up + rightAmount * right;
        position += step;
        target += step;
        return;
    }

    // Zoom first, then turn sideways and vertical amounts into arcs of that length on a sphere
    // of the mean of the old and new radius (angle = arc / radius). Both radii are at least the
    // positive minimum, so the division is safe.
    const double oldDistance = orbitDistance;
    if (oldDistance - forwardAmount >= minOrbitDistance)
        orbitDistance = oldDistance - forwardAmount;
    else
        orbitDistance = minOrbitDistance;
    const double meanDistance = (oldDistance + orbitDistance) * 0.5;
    turnYaw(kRadiansToDegrees * rightAmount / meanDistance);
    turnPitch(kRadiansToDegrees * upAmount / meanDistance);
}

void Camera::enterOrbit(const Vec3d& point, double minDistance)
{
    // Checked before anything changes; the negated comparison also refuses NaN.
    if (!(minDistance > 0.0)) {
        std::ostringstream message;
        message << "The minimum orbit distance is " << minDistance << "; it must be greater than 0.";
        throw ViewerError(message.str());
    }

    orbiting = true;
    target = point;
    minOrbitDistance = minDistance;
    // Face the new target from where the eye stands, at its current distance raised to the
    // minimum if needed.
    setPosition(position);
}

void Camera::leaveOrbit()
{
    // target stays at the orbit point, on the line of sight, until the next angle operation
    // re-anchors it one unit ahead of the eye.
    orbiting = false;
    orbitDistance = 1.0;
    minOrbitDistance = 1.0;
}
