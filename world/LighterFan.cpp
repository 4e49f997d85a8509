#include "World.h"

#include "MathConstants.h"

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
    const double step = 2.0 * kPi / n;
    for (int i = 0; i < n; ++i) {
        points[i] = new float[2];
        points[i][0] = float(std::sin(i * step));
        points[i][1] = float(std::cos(i * step));
    }
}

// Expects: GL context current, blending on, the apex at the origin of the current matrix with
// the cone's axis along y (the eye on the -y side). Leaves GL_TEXTURE_1D disabled with
// `texture` bound to it, and GL_TEXTURE_2D enabled.
void TLighterFan::draw(double a, double b, double angleDegrees, GLuint texture, float t0, float t1,
                       const float3& colour) const
{
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_1D);
    glColor4f(colour.x, colour.y, colour.z, 1.0f);

    // The cone opens towards -y: a rim of radius r lies r * tan(angle) nearer to the eye.
    const float q = float(-std::tan(angleDegrees * kDegreesToRadians));
    const float ya = float(a * q);
    const float yb = float(b * q);

    if (count > 0) {
        // The opaque disc: a fan from the apex to the rim of radius a, closed on point 0.
        glBegin(GL_TRIANGLE_FAN);
        glVertex3f(0.0f, 0.0f, 0.0f);
        for (std::int32_t i = 0; i <= count; ++i) {
            const float* p = points[i % count];
            glVertex3f(float(p[0] * a), ya, float(p[1] * a));
        }
        glEnd();
    }

    glEnable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, texture);
    if (count > 0) {
        // The ring from radius a to b, its alpha from the 1D ramp running from t0 to t1.
        glBegin(GL_TRIANGLE_STRIP);
        for (std::int32_t i = 0; i <= count; ++i) {
            const float* p = points[i % count];
            glTexCoord1f(t0);
            glVertex3f(float(p[0] * a), ya, float(p[1] * a));
            glTexCoord1f(t1);
            glVertex3f(float(p[0] * b), yb, float(p[1] * b));
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_1D);
    glEnable(GL_TEXTURE_2D);
}
