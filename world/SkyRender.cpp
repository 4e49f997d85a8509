#include "World.h"

#include "MathConstants.h"

#include <cmath>

float sunRimRadius(float angleDegrees)
{
    // A 45-degree cone with its apex 1 unit from the eye puts a rim of radius r at distance
    // 1 - r, where it subtends the half-angle atan(r / (1 - r)). Solving for a half-angle of
    // theta/2 gives r = sin theta / (1 + sin theta + cos theta).
    const float theta = angleDegrees * kDegreesToRadiansF;
    const float s = float(std::sin(double(theta)));
    const float c = float(std::cos(double(theta)));
    return s / (1.0f + s + c);
}

SunLight computeSunLight(float sunMatrixHeight, float planetRadiusMetres, float atmosphereHeightMetres,
                         const float3& sunColour, const float3& scattering)
{
    SunLight light;
    light.sunHeight = sunMatrixHeight >= 0.0f ? sunMatrixHeight : 0.0f;

    // Path through the shell between the planet's radius R and R + H, from a point on the
    // ground towards a sun at height s (sine of its elevation): with a = s R and
    // c = sqrt((2R + H) H), the horizontal path, it is sqrt(a^2 + c^2) - a. Relative to c that is
    // 1 on the horizon and H / c at the zenith. It is evaluated as c / (sqrt(a^2 + c^2) + a),
    // the same value without the cancellation of two nearly equal terms, so a thin atmosphere
    // still gives a positive factor instead of 0.
    const double radius = usablePlanetRadius(planetRadiusMetres);
    const double height = atmosphereHeightMetres;
    if (!(height > 0.0)) {
        light.pathFactor = 0.0f;
    } else if (std::isinf(height)) {
        light.pathFactor = 1.0f;
    } else {
        const float a = float(double(light.sunHeight) * radius);
        const float c = float(std::sqrt((2.0 * radius + height) * height));
        light.pathFactor = float(double(c) / (std::sqrt(double(a) * a + double(c) * c) + a));
    }

    const double pathFactor = light.pathFactor;
    const double sunHeight = light.sunHeight;
    double sunSum = 0.0;
    double transmittedSum = 0.0;
    for (int i = 0; i < 3; ++i) {
        light.transmitted[i] = float((1.0 - pathFactor * scattering[i]) * sunColour[i]);
        light.ambient[i] = float(double(sunColour[i]) * pathFactor * scattering[i] * sunHeight);
        light.fogColour[i] = float(double(light.transmitted[i]) * sunHeight);
        sunSum += sunColour[i];
        transmittedSum += light.transmitted[i];
    }
    const double ratio = sunSum / transmittedSum;
    light.haloExtent = float(ratio * ratio);
    return light;
}

void enterSkyState()
{
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_FOG);
}

void pushEyeCentredView()
{
    GLfloat view[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, view);
    view[12] = 0.0f;
    view[13] = 0.0f;
    view[14] = 0.0f;
    glPushMatrix();
    glLoadMatrixf(view);
}

void leaveSkyState()
{
    glEnable(GL_FOG);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
}

// Expects: GL context current, GL_MODELVIEW selected with the camera's look-at loaded, and the
// world initialised. Draws the sky dome, sets light 0 and the fog colour from the sun, draws the
// halo and the sun disc. Leaves: the modelview matrix as it was; depth test, alpha test,
// lighting, culling, colour material and fog enabled and the depth mask on, whatever they were
// before; GL_TEXTURE_2D and GL_BLEND enabled with opticalDepthTexture bound; GL_TEXTURE_1D
// disabled with haloTexture bound to it.
void TWorld::render()
{
    renderSky(true);
}

// A directional light along the sun direction: GL takes the position through the current
// matrix, camera rotation * sunMatrix.
void TWorld::setSunLight(const SunLight& light)
{
    const GLfloat diffuse[4] = {light.transmitted.x, light.transmitted.y, light.transmitted.z, 1.0f};
    const GLfloat position[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    const GLfloat spotDirection[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat ambient[4] = {light.ambient.x, light.ambient.y, light.ambient.z, 1.0f};
    const GLfloat fogColour[4] = {light.fogColour.x, light.fogColour.y, light.fogColour.z, 1.0f};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spotDirection);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glFogfv(GL_FOG_COLOR, fogColour);
}

// The light and fog colour render sets, from the same matrix (the camera's rotation without its
// translation, times sunMatrix) and the same values, so that render setting them again changes
// nothing.
void TWorld::applySunLight()
{
    pushEyeCentredView();
    glMultMatrixf(sunMatrix);
    setSunLight(computeSunLight(sunMatrix[5], planetRadius, atmosphereHeight, sunColour, scattering));
    glPopMatrix();
}

void TWorld::renderOverBlack()
{
    renderSky(false);
}

void TWorld::renderSky(bool paintBackground)
{
    enterSkyState();

    // The sky is centred on the eye.
    pushEyeCentredView();

    // Sky dome. Turned 90 degrees about x, the quadric's -z pole (t = 0) points up and its +z
    // pole (t = 1) down; the mirrored table gives the zenith value at both poles and 1 at t = 0.5.
    glPushMatrix();
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    // First a coarse, untextured, unblended sphere paints the whole background black (its alpha
    // of 0 is drawn, because alpha testing is off). It encloses the eye, so it covers every
    // pixel; where they already hold its (0, 0, 0, 0) it is left out.
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    if (paintBackground)
        gluSphere(skyQuadric, 1.0, 3, 2);
    // Then the scattering colour, modulated by the optical-depth alpha and blended over black:
    // each pixel becomes scattering * optical depth of its elevation.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, opticalDepthTexture);
    glColor4f(scattering.x, scattering.y, scattering.z, 1.0f);
    gluSphere(skyQuadric, 1.0, 40, 8);
    glPopMatrix();

    // The sun's frame: its y axis is the sun direction.
    glPushMatrix();
    glMultMatrixf(sunMatrix);
    const SunLight light = computeSunLight(sunMatrix[5], planetRadius, atmosphereHeight, sunColour, scattering);
    const float sunRadius = sunRimRadius(sunAngle);
    const float haloRadius = sunRimRadius(haloAngle);

    setSunLight(light);

    // The sun's point, 1 unit from the eye along the sun direction: the apex of both cones.
    glTranslatef(0.0f, 1.0f, 0.0f);
    sunFan.draw(sunRadius, haloRadius, 45.0, haloTexture, 0.0f, light.haloExtent, light.transmitted);
    sunFan.draw(sunRadius, 1.2 * sunRadius, 45.0, haloTexture, 0.0f, 1.0f, sunColour);
    glPopMatrix();
    glPopMatrix();

    leaveSkyState();
}
