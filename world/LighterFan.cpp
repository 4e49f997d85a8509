#include "World.h"

#include <cmath>

TLighterFan::~TLighterFan()
{
    release();
}

void TLighterFan::release()
{
    for (std::int32_t i = 0; i < count; ++i)
        delete[] points[i];
    delete[] points;
    points = nullptr;
    count = 0;
}

void TLighterFan::build(int n)
{
    // A second build would otherwise orphan the first one's points.
    release();
    if (n <= 0)
        return;
    count = n;
    points = new float*[n];
    const double step = 2.0 * 3.141592653589793 / n;
    for (int i = 0; i < n; ++i) {
        points[i] = new float[2];
        points[i][0] = float(std::sin(i * step));
        points[i][1] = float(std::cos(i * step));
    }
}
