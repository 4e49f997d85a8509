#include "World.h"

TWorld::TWorld()
{
    // Every field is zero from its initialiser; the fan is empty. Then the constructor values.
    axialTilt = 23.27f;
    latitude = 40.0f;
    sunColour = {1.0f, 1.0f, 1.0f};
    scattering = {0.0f, 0.5f, 0.8f};
}

TWorld::~TWorld()
{
    // Names of 0 and a null quadric were never created; skipping them keeps a world that was
    // never initialised (no GL context) free of GL calls. sunFan is destroyed after this body.
    if (opticalDepthTexture != 0)
        glDeleteTextures(1, &opticalDepthTexture);
    if (skyQuadric)
        gluDeleteQuadric(skyQuadric);
    if (haloTexture != 0)
        glDeleteTextures(1, &haloTexture);
}

void TWorld::init()
{
    if (daysPerYear == 0)
        daysPerYear = kDefaultDaysPerYear;
    if (hoursPerDay == 0.0f)
        hoursPerDay = kDefaultHoursPerDay;
    // A negative or NaN radius is replaced like a zero one: the integration cannot use it.
    if (usablePlanetRadius(planetRadius) != planetRadius)
        planetRadius = kDefaultPlanetRadiusMetres;
    if (atmosphereHeight == 0.0f)
        atmosphereHeight = kDefaultAtmosphereHeightMetres;
    if (sunAngle == 0.0f)
        sunAngle = kDefaultSunAngleDegrees;
    if (haloAngle == 0.0f)
        haloAngle = kDefaultHaloAngleDegrees;
    buildOpticalDepthTexture();
    buildHaloTexture();
}
