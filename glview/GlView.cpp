#include "GlView.h"

#include "GlPanel.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QOpenGLContext>

GlView glView;

namespace {

// Light 0's vectors of the baseline state.
constexpr GLfloat kLightAmbient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr GLfloat kLightDiffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLfloat kLightPosition[4] = {-1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLfloat kLightSpotDirection[4] = {0.0f, 0.0f, 0.0f, 1.0f};

} // namespace

QSurfaceFormat viewSurfaceFormat()
{
    // No alpha channel: no drawing reads the destination alpha (every blend factor is the
    // source's), so the colours are the same without it, and a window without alpha is opaque.
    // With one, the X server gives the window a 32-bit visual, and a compositing window
    // manager shows the desktop through every pixel whose alpha is below 1 (the sky's is the
    // square of its optical depth, the ground's the sum of its weights).
    //
    // 24 depth bits: the terrain draws every triangle once for its depth and again for its
    // colour, with a less-or-equal test between the two. At 32 bits the software rasteriser
    // interpolates depth in single precision and the two disagree in the last bits, which
    // drops fragments in black seams; at 24 bits they agree. GLX prefers the deepest buffer
    // that meets a request, so the request names the 24-bit depth buffer by its stencil:
    // every configuration with 8 stencil bits has 24 depth bits. The frame uses the stencil
    // to keep the sky off the ground (drawScene, scene/Frame.h).
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(0);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    return format;
}

void GlView::attach(GlPanel* target)
{
    panel = target;
    // The resize notification is installed before anything else, as the panel may be resized
    // while the view is being set up.
    panel->onResize = [this] { resize(panel); };
    // The panel has no border or bevel of its own: the drawing surface fills it. The pixel
    // format (viewSurfaceFormat) was requested on the panel before it was shown, since Qt fixes the
    // format when it creates the context; here the context exists and is made current.
    panel->makeCurrent();
    deviceContext = panel->context();
    resize(panel);
}

void GlView::resize(QObject*)
{
    if (!panel)
        return;
    // A zero-sized panel is enlarged to one pixel in that direction, so the aspect ratio is
    // always defined. Sizes are taken in device pixels, so a HiDPI screen gets a sharp view.
    if (panel->height() == 0)
        panel->resize(panel->width(), 1);
    if (panel->width() == 0)
        panel->resize(1, panel->height());
    const GLsizei clientWidth = panel->pixelSize().width();
    const GLsizei clientHeight = panel->pixelSize().height();

    glViewport(0, 0, clientWidth, clientHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const float aspect = float(clientWidth) / float(clientHeight);
    if (farPlane == 0.0f)
        farPlane = 1000.0f;
    if (orthoHeight == 0.0f)
        orthoHeight = 1.0f;
    if (projectionMode == Perspective) {
        gluPerspective(fieldOfView, aspect, kNearPlane, farPlane);
    } else if (projectionMode == Orthographic) {
        const float h = orthoHeight;
        glOrtho(-aspect * h * 0.5, aspect * h * 0.5, -h * 0.5, h * 0.5, 0.0, farPlane);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void GlView::setPerspective(float fieldOfViewDegrees, float farPlaneDistance)
{
    fieldOfView = fieldOfViewDegrees;
    farPlane = farPlaneDistance;
    projectionMode = Perspective;
    resize(panel);
}

void GlView::swapBuffers()
{
    if (panel)
        panel->present();
}

void initRenderState(GlPanel* panel)
{
    glView.attach(panel);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, kLightAmbient);
    // Set while the modelview matrix is the identity (resize left it so): a positional light
    // in eye coordinates. The spot cutoff stays 180, so the spot direction has no effect.
    glLightfv(GL_LIGHT0, GL_AMBIENT, kLightAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, kLightDiffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, kLightPosition);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, kLightSpotDirection);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    beginFrame();
    glView.swapBuffers();
}

void beginFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
}

void beginFrameWithStencil(const float colour[4])
{
    GLfloat clearColour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    glLoadIdentity();
}
