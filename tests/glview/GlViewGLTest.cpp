// The GL view on a real llvmpipe context: the projection kept in step with the panel's size,
// the size guards and defaults, and the baseline render state; a panel that gets no context.

#include "GlChecks.h"
#include "GlTestPanel.h"
#include "GlView.h"
#include "ViewerError.h"

#include <GL/gl.h>
#include <QOpenGLContext>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <cmath>

namespace {

struct Matrix {
    double m[16];
};

Matrix projectionMatrix()
{
    Matrix result{};
    glGetDoublev(GL_PROJECTION_MATRIX, result.m);
    return result;
}

// glOrtho's matrix, written out from its definition.
Matrix orthoMatrix(double l, double r, double b, double t, double n, double f)
{
    Matrix o{};
    o.m[0] = 2.0 / (r - l);
    o.m[5] = 2.0 / (t - b);
    o.m[10] = -2.0 / (f - n);
    o.m[12] = -(r + l) / (r - l);
    o.m[13] = -(t + b) / (t - b);
    o.m[14] = -(f + n) / (f - n);
    o.m[15] = 1.0;
    return o;
}

// gluPerspective's matrix, written out from its definition.
Matrix perspectiveMatrix(double fovyDegrees, double aspect, double n, double f)
{
    const double cot = 1.0 / std::tan(fovyDegrees * 0.5 * M_PI / 180.0);
    Matrix p{};
    p.m[0] = cot / aspect;
    p.m[5] = cot;
    p.m[10] = (f + n) / (n - f);
    p.m[11] = -1.0;
    p.m[14] = 2.0 * f * n / (n - f);
    return p;
}

bool matricesClose(const Matrix& a, const Matrix& b, double tolerance)
{
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(a.m[i] - b.m[i]) > tolerance * std::max(1.0, std::fabs(b.m[i]))) {
            qWarning("element %d: %.9g, expected %.9g", i, a.m[i], b.m[i]);
            return false;
        }
    }
    return true;
}

} // namespace

class GlViewGLTest : public QObject {
    Q_OBJECT
private slots:
    void requestedSurfaceFormat();
    void orthographicVolumeBeforePerspective();
    void perspectiveAfterSetPerspective();
    void zeroHeightPanelIsEnlargedToOnePixel();
    void farPlaneDefaultIsRestoredAndKept();
    void zeroFieldOfViewIsLeftAlone();
    void resizeFollowsThePanel();
    void baselineRenderState();
    void panelWithoutContextMakesNoGlCall();
};

void GlViewGLTest::requestedSurfaceFormat()
{
    const QSurfaceFormat format = viewSurfaceFormat();
    QCOMPARE(format.swapBehavior(), QSurfaceFormat::DoubleBuffer);
    QCOMPARE(format.redBufferSize(), 8);
    QCOMPARE(format.alphaBufferSize(), 0);
    QCOMPARE(format.depthBufferSize(), 24);
    QCOMPARE(format.stencilBufferSize(), 8);
    QCOMPARE(format.profile(), QSurfaceFormat::CompatibilityProfile);

    // The context the panel gets draws with exactly that depth buffer (the terrain's passes
    // agree at 24 bits) and the stencil the sky needs.
    GlTestPanel test(64, 64);
    QCOMPARE(integerState(GL_DEPTH_BITS), 24);
    QCOMPARE(integerState(GL_STENCIL_BITS), 8);
    QCOMPARE(integerState(GL_RED_BITS), 8);
}

void GlViewGLTest::orthographicVolumeBeforePerspective()
{
    GlTestPanel test(400, 200);
    GlView view;
    view.attach(test.panel());
    QCOMPARE(view.projectionMode, std::int32_t(Orthographic));
    QCOMPARE(view.farPlane, 1000.0f);
    QCOMPARE(view.orthoHeight, 1.0f);
    QVERIFY(matricesClose(projectionMatrix(), orthoMatrix(-1, 1, -0.5, 0.5, 0, 1000), 1e-6));
    QCOMPARE(integerState(GL_MATRIX_MODE), GL_MODELVIEW);
    VERIFY_NO_GL_ERROR();
}

void GlViewGLTest::perspectiveAfterSetPerspective()
{
    GlTestPanel test(400, 300);
    GlView view;
    view.attach(test.panel());
    view.setPerspective(45.0f, 50.0f);
    QCOMPARE(view.projectionMode, std::int32_t(Perspective));
    QCOMPARE(view.fieldOfView, 45.0f);
    QCOMPARE(view.farPlane, 50.0f);
    // The aspect ratio is single precision (1.3333334) and the near plane is 0.1f.
    const double aspect = double(400.0f / 300.0f);
    QVERIFY(matricesClose(projectionMatrix(), perspectiveMatrix(45.0, aspect, double(0.1f), 50.0), 1e-6));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(viewport[2], 400);
    QCOMPARE(viewport[3], 300);
    QCOMPARE(integerState(GL_MATRIX_MODE), GL_MODELVIEW);
    VERIFY_NO_GL_ERROR();
}

void GlViewGLTest::zeroHeightPanelIsEnlargedToOnePixel()
{
    // A child panel can be squeezed to no height by its window; the view gives it one pixel.
    QWidget window;
    window.resize(400, 300);
    auto* panel = new GlPanel(&window);
    panel->setFormat(viewSurfaceFormat());
    panel->setGeometry(0, 0, 400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(panel->initialized());
    panel->makeCurrent();
    GlView view;
    view.attach(panel);
    panel->resize(400, 0);
    panel->makeCurrent();
    view.resize(panel);
    QCOMPARE(panel->height(), 1);
    panel->makeCurrent();
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(viewport[0], 0);
    QCOMPARE(viewport[1], 0);
    QCOMPARE(viewport[2], 400);
    QCOMPARE(viewport[3], 1);
    // Orthographic with aspect 400: the volume is 400 units wide and 1 high.
    QVERIFY(matricesClose(projectionMatrix(), orthoMatrix(-200, 200, -0.5, 0.5, 0, 1000), 1e-6));
}

void GlViewGLTest::farPlaneDefaultIsRestoredAndKept()
{
    GlTestPanel test(200, 100);
    GlView view;
    view.attach(test.panel());
    view.setPerspective(60.0f, 50.0f);
    view.farPlane = 0.0f;
    view.resize(test.panel());
    QCOMPARE(view.farPlane, 1000.0f);
    view.resize(test.panel());
    QCOMPARE(view.farPlane, 1000.0f);
    QVERIFY(matricesClose(projectionMatrix(), perspectiveMatrix(60.0, 2.0, double(0.1f), 1000.0), 1e-6));
    view.farPlane = 75.0f;
    view.resize(test.panel());
    QCOMPARE(view.farPlane, 75.0f);
}

void GlViewGLTest::zeroFieldOfViewIsLeftAlone()
{
    GlTestPanel test(200, 100);
    GlView view;
    view.attach(test.panel());
    view.setPerspective(0.0f, 50.0f);
    view.resize(test.panel());
    QCOMPARE(view.fieldOfView, 0.0f);
    QCOMPARE(view.projectionMode, std::int32_t(Perspective));
    // A zero field of view has no perspective: the projection is left at the identity.
    Matrix identity{};
    identity.m[0] = identity.m[5] = identity.m[10] = identity.m[15] = 1.0;
    QVERIFY(matricesClose(projectionMatrix(), identity, 0.0));
}

void GlViewGLTest::resizeFollowsThePanel()
{
    GlTestPanel test(320, 240);
    GlView view;
    view.attach(test.panel());
    view.setPerspective(45.0f, 50.0f);
    // Qt's resize notification reaches the view through the panel with the context current.
    test.panel()->resize(500, 250);
    QTRY_COMPARE(test.panel()->height(), 250);
    test.makeCurrent();
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(viewport[2], 500);
    QCOMPARE(viewport[3], 250);
    QVERIFY(matricesClose(projectionMatrix(), perspectiveMatrix(45.0, 2.0, double(0.1f), 50.0), 1e-6));
}

void GlViewGLTest::baselineRenderState()
{
    GlTestPanel test(128, 96);
    glMatrixMode(GL_MODELVIEW);
    initRenderState(test.panel());
    test.makeCurrent();
    QCOMPARE(glView.panel, test.panel());
    QCOMPARE(glView.deviceContext, QOpenGLContext::currentContext());

    for (GLenum cap : {GL_TEXTURE_2D, GL_COLOR_MATERIAL, GL_CULL_FACE, GL_DEPTH_TEST, GL_ALPHA_TEST, GL_BLEND,
                       GL_LIGHT0, GL_LIGHTING})
        QVERIFY2(glIsEnabled(cap), qPrintable(QString::number(cap, 16)));
    for (GLenum cap : {GL_FOG, GL_TEXTURE_1D, GL_NORMALIZE, GL_LIGHT1})
        QVERIFY(!glIsEnabled(cap));
    QCOMPARE(integerState(GL_SHADE_MODEL), GL_SMOOTH);
    QCOMPARE(integerState(GL_FRONT_FACE), GL_CW);
    QCOMPARE(integerState(GL_CULL_FACE_MODE), GL_BACK);
    QCOMPARE(integerState(GL_DEPTH_FUNC), GL_LEQUAL);
    QCOMPARE(integerState(GL_ALPHA_TEST_FUNC), GL_GREATER);
    GLfloat alphaRef = -1.0f;
    glGetFloatv(GL_ALPHA_TEST_REF, &alphaRef);
    QCOMPARE(alphaRef, 0.0f);
    QCOMPARE(integerState(GL_BLEND_SRC), GL_SRC_ALPHA);
    QCOMPARE(integerState(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    QCOMPARE(integerState(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    QCOMPARE(integerState(GL_COLOR_MATERIAL_PARAMETER), GL_AMBIENT_AND_DIFFUSE);
    GLboolean depthMask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    QCOMPARE(depthMask, GLboolean(GL_TRUE));

    GLfloat clear[4] = {-1, -1, -1, -1};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    QCOMPARE(clear[0], 0.0f);
    QCOMPARE(clear[3], 1.0f);
    GLfloat clearDepth = 0.0f;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &clearDepth);
    QCOMPARE(clearDepth, 1.0f);

    const auto expectVector = [](GLenum which, GLfloat a, GLfloat b, GLfloat c, GLfloat d, int n) {
        GLfloat v[4] = {9, 9, 9, 9};
        if (which == GL_LIGHT_MODEL_AMBIENT)
            glGetFloatv(which, v);
        else
            glGetLightfv(GL_LIGHT0, which, v);
        const GLfloat expected[4] = {a, b, c, d};
        for (int i = 0; i < n; ++i)
            if (v[i] != expected[i])
                return false;
        return true;
    };
    QVERIFY(expectVector(GL_LIGHT_MODEL_AMBIENT, 0, 0, 0, 1, 4));
    QVERIFY(expectVector(GL_AMBIENT, 0, 0, 0, 1, 4));
    QVERIFY(expectVector(GL_DIFFUSE, 1, 1, 1, 1, 4));
    // Set under the identity modelview matrix: eye coordinates equal the given position.
    QVERIFY(expectVector(GL_POSITION, -1, 1, 1, 1, 4));
    QVERIFY(expectVector(GL_SPOT_DIRECTION, 0, 0, 0, 0, 3));
    GLfloat cutoff = 0.0f;
    glGetLightfv(GL_LIGHT0, GL_SPOT_CUTOFF, &cutoff);
    QCOMPARE(cutoff, 180.0f);

    // The panel shows black straight away, and the modelview identity is loaded.
    QCOMPARE(test.pixelAt(10, 10), qRgba(0, 0, 0, 255));
    GLdouble modelview[16] = {};
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    QCOMPARE(modelview[0], 1.0);
    QCOMPARE(modelview[12], 0.0);
    QCOMPARE(integerState(GL_MATRIX_MODE), GL_MODELVIEW);
    VERIFY_NO_GL_ERROR();
}

void GlViewGLTest::panelWithoutContextMakesNoGlCall()
{
    // A context the platform cannot create (an OpenVG one, which no GL platform makes): the
    // start-up never runs, the failure is told once, and every later makeCurrent refuses
    // instead of letting GL calls go to no context.
    const auto refuses = [](GlPanel& panel) {
        try {
            panel.makeCurrent();
        } catch (const ViewerError&) {
            return true;
        }
        return false;
    };
    {
        GlPanel panel;
        QSurfaceFormat format = viewSurfaceFormat();
        format.setRenderableType(QSurfaceFormat::OpenVG);
        panel.setFormat(format);
        panel.setPresentation(Presentation::Window);
        int initialized = 0;
        panel.onInitialize = [&initialized] { ++initialized; };
        QSignalSpy failed(&panel, &GlPanel::contextFailed);
        panel.resize(64, 64);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QCOMPARE(failed.count(), 1);
        const QString message = failed.first().first().toString();
        QVERIFY2(message.contains(QStringLiteral("could not create the view's OpenGL context (")), qPrintable(message));
        QCOMPARE(panel.failure(), message);
        QCOMPARE(initialized, 0);
        QVERIFY(!panel.initialized());
        QVERIFY(refuses(panel));
        QVERIFY(panel.readFramebuffer().isNull());
        QCOMPARE(failed.count(), 1);
    }
    // A context that was working until its surface went away: makeCurrent refuses from then
    // on, and a resize no longer reaches the view.
    {
        GlTestPanel test(64, 64);
        GlPanel& panel = *test.panel();
        int resizes = 0;
        panel.onResize = [&resizes] { ++resizes; };
        QSignalSpy failed(&panel, &GlPanel::contextFailed);
        panel.makeCurrent();
        QVERIFY(panel.failure().isEmpty());
        panel.nativeSurface()->destroy();
        QVERIFY(refuses(panel));
        QCOMPARE(failed.count(), 1);
        QVERIFY2(panel.failure().contains(QStringLiteral("could not be made current")), qPrintable(panel.failure()));
        panel.resize(80, 40);
        QCoreApplication::processEvents();
        QCOMPARE(resizes, 0);
        QVERIFY(refuses(panel));
        QCOMPARE(failed.count(), 1);
    }
}

QTEST_MAIN(GlViewGLTest)
#include "GlViewGLTest.moc"
