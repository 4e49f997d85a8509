#pragma once

#include "Vec3.h"

#include <vector>

// Fog whose colour follows the direction of view: the ground fades, with GL's linear fog factor,
// into the colour of the sky's band under the horizon in the azimuth it lies at, so that the far
// ground meets the band behind it in every direction, not only where the camera looks. GL fog
// has a single colour, so the ground's passes split the blend
//     C = f * lit + (1 - f) * band(azimuth)
// in two: the depth pre-pass writes the second term as its vertex colours (colourAt), and the
// colour passes add the first with GL's fog colour black.
class GroundFog {
public:
    // Takes the frame's fog and view: the eye (world), the modelview matrix (column-major, world
    // to eye), GL's linear fog start and end (eye distances), and the band's display colours,
    // RGB at the azimuths 2 pi k / n, k = 0 .. n (the last the first again), azimuth measured
    // from +x toward +z.
    void set(const float3& eye, const float modelview[16], float start, float end, const std::vector<float>& band);

    // Writes into rgb the pre-pass colour of the ground point p: (1 - f) times the band's colour
    // toward p, with f GL's fog factor for p's eye depth |z_eye| (clamped to 0 .. 1), and
    // returns the fog's share 1 - f.
    float colourAt(const float3& p, float rgb[3]) const
    {
        const float depth = depthRow_[0] * p.x + depthRow_[1] * p.y + depthRow_[2] * p.z + depthRow_[3];
        float weight = ((depth < 0.0f ? -depth : depth) - start_) * inverseRange_;
        if (!(weight > 0.0f)) {
            rgb[0] = rgb[1] = rgb[2] = 0.0f;
            return 0.0f;
        }
        weight = weight < 1.0f ? weight : 1.0f;
        // The diamond angle of the direction (0 .. 4, monotonic in the azimuth), which needs one
        // division where an arc tangent would cost ten times as much; the table is laid out in it.
        const float dx = p.x - eye_.x;
        const float dz = p.z - eye_.z;
        const float ax = dx < 0.0f ? -dx : dx;
        const float az = dz < 0.0f ? -dz : dz;
        const float sum = ax + az;
        const float r = sum > 0.0f ? dz / sum : 0.0f;
        const float diamond = dx >= 0.0f ? (dz >= 0.0f ? r : 4.0f + r) : 2.0f - r;
        float x = diamond * kStepsPerUnit;
        const int i = x < float(kEntries - 1) ? int(x) : kEntries - 2;
        x -= float(i);
        const float* a = &table_[std::size_t(i) * 3];
        for (int c = 0; c < 3; ++c)
            rgb[c] = weight * (a[c] + x * (a[c + 3] - a[c]));
        return weight;
    }

private:
    static constexpr int kStepsPerUnit = 256;
    static constexpr int kEntries = 4 * kStepsPerUnit + 1;

    float3 eye_;
    float depthRow_[4] = {};
    float start_ = 0.0f;
    float inverseRange_ = 0.0f;
    std::vector<float> table_; // RGB by diamond angle, kEntries of them
};
