#pragma once

#include "Vec3.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdint>

// A table of unit-circle points for the sun disc and halo. Owns its point arrays; non-copyable.
class TLighterFan {
public:
    float** points = nullptr;  // `count` pointers, each to two floats (first, second coordinate)
    std::int32_t count = 0;

    TLighterFan() = default;
    ~TLighterFan();
    TLighterFan(const TLighterFan&) = delete;
    TLighterFan& operator=(const TLighterFan&) = delete;

    // Fills an empty fan with n points (sin(i * 2pi/n), cos(i * 2pi/n)): point 0 is (0, 1).
    void build(int n);
    // Draws the opaque disc of radius a and the 1D-textured ring from a to b, on a cone of the
    // given angle (degrees), coloured `colour` with alpha 1; the ring's texture coordinate runs
    // from t0 (inner edge) to t1 (outer edge). Leaves GL_TEXTURE_1D disabled with `texture`
    // bound to it and GL_TEXTURE_2D enabled.
    void draw(double a, double b, double angleDegrees, GLuint texture, float t0, float t1,
              const float3& colour) const;
};

// The world record: the solar clock, the atmosphere settings, the sky's GL resources and the
// sun matrix. A setting of 0 means "not set" and is replaced by its default on first use.
// Owns its quadric, both textures and the fan; non-copyable.
class TWorld {
public:
    // Solar clock.
    std::uint32_t daysPerYear = 0;  // 0 -> 365
    std::uint32_t day = 0;          // 0 <= day < daysPerYear after every clock operation
    float hoursPerDay = 0.0f;       // 0 -> 24
    float hour = 0.0f;              // hour of the day
    float axialTilt = 0.0f;         // degrees
    float latitude = 0.0f;          // degrees
    // Atmosphere.
    float planetRadius = 0.0f;      // metres; 0 -> 6371000
    float atmosphereHeight = 0.0f;  // metres; 0 -> 100000
    float sunAngle = 0.0f;          // degrees, angular diameter of the sun disc; 0 -> 0.5358
    float haloAngle = 0.0f;         // degrees, angular diameter of the halo; 0 -> 22
    float3 sunColour;               // sunlight outside the atmosphere, R, G, B
    float3 scattering;              // per-channel scattering strength, 0..1
    GLUquadric* skyQuadric = nullptr;
    GLuint opticalDepthTexture = 0; // 1 x 1024 GL_ALPHA texture
    TLighterFan sunFan;
    GLuint haloTexture = 0;         // 256-texel 1D GL_ALPHA ramp
    float sunMatrix[16] = {};       // column-major; column 1 is the sun direction, y up

    TWorld();
    ~TWorld();
    TWorld(const TWorld&) = delete;
    TWorld& operator=(const TWorld&) = delete;

    // Clock (GL context current, GL_MODELVIEW selected; the caller's matrix is kept).
    void setHour(float hours);
    void advance(float hours);
    void updateSunMatrix();

    // Atmosphere tables (GL context current, except computeOpticalDepth).
    void init();
    void buildOpticalDepthTexture();
    // Fills table[0..511] with the optical depth normalised to its maximum (entry 511 = 1).
    void computeOpticalDepth(float* table) const;
    void buildHaloTexture();

    // Sky dome, light 0, fog colour, halo and sun disc (after the look-at; see WorldRender.cpp).
    void render();
};
