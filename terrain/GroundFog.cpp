#include "GroundFog.h"

#include "MathConstants.h"

#include <algorithm>
#include <cmath>

void GroundFog::set(const float3& eye, const float modelview[16], float start, float end,
                    const std::vector<float>& band)
{
    eye_ = eye;
    // z_eye = row 2 of the column-major matrix times (x, y, z, 1).
    depthRow_[0] = modelview[2];
    depthRow_[1] = modelview[6];
    depthRow_[2] = modelview[10];
    depthRow_[3] = modelview[14];
    start_ = start;
    // GL's linear factor f = (end - d) / (end - start); an empty range fogs nothing, as GL's
    // factor then clamps to 1 at every depth up to the end.
    inverseRange_ = end > start ? 1.0f / (end - start) : 0.0f;

    const int slices = int(band.size() / 3) - 1;
    table_.assign(std::size_t(kEntries) * 3, 0.0f);
    if (slices < 1)
        return;
    for (int i = 0; i < kEntries; ++i) {
        // The direction of diamond angle d, quadrant by quadrant, and its azimuth.
        const double d = double(i) / kStepsPerUnit;
        double x = 0.0;
        double z = 0.0;
        if (d <= 1.0) {
            x = 1.0 - d;
            z = d;
        } else if (d <= 2.0) {
            x = 1.0 - d;
            z = 2.0 - d;
        } else if (d <= 3.0) {
            x = d - 3.0;
            z = 2.0 - d;
        } else {
            x = d - 3.0;
            z = d - 4.0;
        }
        double turn = std::atan2(z, x) / (2.0 * kPi);
        if (turn < 0.0)
            turn += 1.0;
        const double s = turn * slices;
        const int k = std::min(int(s), slices - 1);
        const double t = s - k;
        for (int c = 0; c < 3; ++c)
            table_[std::size_t(i) * 3 + std::size_t(c)] = float(band[std::size_t(k) * 3 + std::size_t(c)] * (1.0 - t) +
                                                                band[std::size_t(k + 1) * 3 + std::size_t(c)] * t);
    }
}
