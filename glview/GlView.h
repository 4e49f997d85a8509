#pragma once

#include <QSurfaceFormat>
#include <cstdint>

class GlPanel;
class QObject;
class QOpenGLContext;

enum ProjectionMode : std::int32_t { Orthographic = 0, Perspective = 1 };

// The one GL view: the drawing panel, its context and the projection kept in step with the
// panel's size. Zero-filled at program start; a field of 0 means "not set" and is replaced by
// its default on the next resize (far plane 1000, orthographic height 1).
struct GlView {
    GlPanel* panel = nullptr;                // not owned
    QOpenGLContext* deviceContext = nullptr; // the panel's context, kept for the program's life
    std::int32_t projectionMode = Orthographic;
    float farPlane = 0.0f;    // world units
    float fieldOfView = 0.0f; // degrees, vertical; perspective only, no default
    float orthoHeight = 0.0f; // world units

    // Binds the view to the panel, makes its context current and applies the projection once.
    void attach(GlPanel* target);
    // The panel's resize notification: viewport and projection from the panel's size in device
    // pixels. Leaves GL_MODELVIEW selected with the identity loaded. sender is not used.
    void resize(QObject* sender);
    // Stores the field of view (degrees) and far plane, selects perspective, then resizes.
    void setPerspective(float fieldOfViewDegrees, float farPlaneDistance);
    // Presents the frame drawn into the panel's back buffer (GlPanel::present).
    void swapBuffers();
};

extern GlView glView;

// The near clipping plane of the perspective projection (the orthographic one uses 0).
constexpr float kNearPlane = 0.1f;

// The surface the panel asks for: double-buffered, 8 bits each of red, green and blue and no
// alpha channel, a 24-bit depth buffer with an 8-bit stencil, no accumulation, and a
// compatibility-profile context for the fixed-function pipeline (see GlView.cpp for why).
QSurfaceFormat viewSurfaceFormat();

// Attaches the global view to the panel and sets the baseline render state: 2D texturing,
// colour material, culling with clockwise front faces, depth test LEQUAL, alpha test GREATER 0,
// blending SRC_ALPHA / ONE_MINUS_SRC_ALPHA, lighting with light 0, smooth shading; then clears
// and presents once so the panel shows black.
void initRenderState(GlPanel* panel);

// Clears colour and depth and loads the identity into the current (modelview) matrix.
void beginFrame();
// beginFrame for a frame that marks pixels in the stencil: the stencil buffer is cleared to 0
// in the same clear, and the colour buffer to `colour` (RGBA) instead of the clear colour, which
// is left as it was. Where depth and stencil share one buffer (24 + 8 bits), clearing both at
// once writes whole words, where clearing the depth alone must keep each word's stencil byte.
void beginFrameWithStencil(const float colour[4]);
