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

QSurfaceFormat glViewFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(32);
    format.setStencilBufferSize(0);
    return format;
}

void GlView::attach(GlPanel* target)
{
    panel = target;
    // The resize notification is installed before anything else, as the panel may be resized
    // while the view is being set up.
    panel->onResize = [this] { resize(panel); };
    // The panel has no border or bevel of its own: the drawing surface fills it. The pixel
    // format (glViewFormat) was requested on the panel before it was shown, since Qt fixes the
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
    const qreal ratio = panel->devicePixelRatioF();
    const GLsizei clientWidth = GLsizei(panel->width() * ratio + 0.5);
    const GLsizei clientHeight = GLsizei(panel->height() * ratio + 0.5);

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

void beginFrameWithStencil()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glLoadIdentity();
}
