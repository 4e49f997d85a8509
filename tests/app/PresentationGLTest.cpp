// The scene presented through its own native GL window: what the X server shows (panels over
// the scene, the frame itself), the mouse over the scene reaching the drawing panel, the
// screenshot of the window against the frame as drawn, and no drawing while nobody can see it.

#include "GlChecks.h"
#include "GlTestPanel.h"
#include "ImageCompare.h"
#include "KeyCodes.h"
#include "StartedForm.h"
#include "WanderingBump.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <cstring>

namespace {

// Counts the mouse events a watched object receives, by type.
class MouseCounter : public QObject {
public:
    int presses = 0, moves = 0, releases = 0, wheels = 0;
    QPoint lastPos;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            ++presses;
            lastPos = static_cast<QMouseEvent*>(event)->pos();
            break;
        case QEvent::MouseMove:
            ++moves;
            lastPos = static_cast<QMouseEvent*>(event)->pos();
            break;
        case QEvent::MouseButtonRelease: ++releases; break;
        case QEvent::Wheel: ++wheels; break;
        default: break;
        }
        return false;
    }
};

// What the X server shows of a widget's rectangle (not what Qt would paint).
QImage onScreen(QWidget* widget)
{
    QCoreApplication::processEvents();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint topLeft = widget->mapToGlobal(QPoint());
    return screen->grabWindow(0, topLeft.x(), topLeft.y(), widget->width(), widget->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace

class PresentationGLTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sceneIsANativeWindowBelowThePanels();
    void mouseOverTheSceneReachesThePanel();
    void screenShowsTheFrameAndThePanels();
    void overlaysAreOnTheScreen();
    void oneFrameStepPerDrawingTick();
    void minimisedWindowMakesNoGlCall();
    void opaqueUnderACompositingManager();
};

void PresentationGLTest::initTestCase()
{
    // As the program starts: every window of the application gets the drawing surface's format,
    // the top-level window's visual included.
    QSurfaceFormat::setDefaultFormat(viewSurfaceFormat());
}

void PresentationGLTest::sceneIsANativeWindowBelowThePanels()
{
    StartedForm started;
    TForm1& form = *started.form;
    QCOMPARE(form.Panel1->presentation(), Presentation::Window);
    QWindow* surface = form.Panel1->nativeSurface();
    QVERIFY(surface);
    QVERIFY(!form.Panel1->composedSurface());
    QVERIFY(surface->isExposed());
    QCOMPARE(surface->size(), form.Panel1->size());
    // The surface takes neither the focus nor the mouse, and the panels are windows of their
    // own, so the X server can stack them above it.
    QVERIFY(surface->flags() & Qt::WindowDoesNotAcceptFocus);
    QVERIFY(surface->flags() & Qt::WindowTransparentForInput);
    for (QWidget* panel : {static_cast<QWidget*>(form.Panel2), static_cast<QWidget*>(form.Panel3),
                           static_cast<QWidget*>(form.Panel4), static_cast<QWidget*>(form.Panel5)})
        QVERIFY2(panel->internalWinId() != 0, qPrintable(panel->objectName()));
    // The depth buffer the terrain's equal-depth passes need (see GlPanel::createSurface).
    QCOMPARE(integerState(GL_DEPTH_BITS), 24);

    // A resize reaches the surface and the projection's viewport.
    form.resize(700, 500);
    QVERIFY(QTest::qWaitFor([&] { return surface->size() == QSize(700, 500); }));
    form.Panel1->makeCurrent();
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(viewport[2], 700);
    QCOMPARE(viewport[3], 500);
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void PresentationGLTest::mouseOverTheSceneReachesThePanel()
{
    StartedForm started;
    TForm1& form = *started.form;
    MouseCounter counter;
    form.Panel1->installEventFilter(&counter);
    const QPoint scenePoint(500, 400); // right of and below the panels
    QVERIFY(!form.Panel4->geometry().contains(scenePoint));

    // Through the top-level window, as the X server delivers it when the GL window lets the
    // pointer through: Qt hands it to the widget under the pointer, which is the panel.
    QTest::mouseMove(started.window(), scenePoint);
    QTest::mousePress(started.window(), Qt::LeftButton, Qt::NoModifier, scenePoint);
    QTest::mouseMove(started.window(), scenePoint + QPoint(20, 10));
    QTest::mouseRelease(started.window(), Qt::LeftButton, Qt::NoModifier, scenePoint + QPoint(20, 10));
    QCOMPARE(counter.presses, 1);
    QVERIFY(counter.moves >= 1);
    QCOMPARE(counter.releases, 1);
    QCOMPARE(counter.lastPos, scenePoint + QPoint(20, 10));
    {
        QWheelEvent wheel(QPointF(scenePoint), QPointF(form.mapToGlobal(scenePoint)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(started.window(), &wheel);
    }
    QCOMPARE(counter.wheels, 1);

    // Straight at the GL window (a window system that cannot make it transparent for input):
    // it hands the events on to the panel, at the same point.
    const QPoint surfacePoint = scenePoint - form.Panel1->pos();
    QTest::mousePress(form.Panel1->nativeSurface(), Qt::RightButton, Qt::NoModifier, surfacePoint);
    QTest::mouseRelease(form.Panel1->nativeSurface(), Qt::RightButton, Qt::NoModifier, surfacePoint);
    QCOMPARE(counter.presses, 2);
    QCOMPARE(counter.releases, 2);
    QCOMPARE(counter.lastPos, surfacePoint);
    {
        QWheelEvent wheel(QPointF(surfacePoint), QPointF(form.mapToGlobal(scenePoint)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(form.Panel1->nativeSurface(), &wheel);
    }
    QCOMPARE(counter.wheels, 2);

    // The panels over the scene keep their own mouse: a click on a slider does not reach the
    // drawing panel.
    const QPoint onSlider = form.TrackBar2->rect().center();
    QTest::mouseClick(form.TrackBar2, Qt::LeftButton, Qt::NoModifier, onSlider);
    QCOMPARE(counter.presses, 2);
    form.Panel1->removeEventFilter(&counter);
}

void PresentationGLTest::screenShowsTheFrameAndThePanels()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.Panel1->makeCurrent();
    form.world.setHour(10.0f);
    form.TimerForDrawingTimer();
    QVERIFY(QTest::qWaitFor([&] { return form.Panel1->nativeSurface()->isExposed(); }));
    form.TimerForDrawingTimer();
    const QImage frame = form.Panel1->readFramebuffer();
    QTest::qWait(50);
    const QImage window = grabWindowImage(form).convertToFormat(QImage::Format_RGB32);
    const QImage screen = onScreen(&form);
    QCOMPARE(screen.size(), window.size());

    // Right of the panels' column the screen shows the frame exactly as it was drawn, and so
    // does the screenshot of the window.
    const QRect scene(100, 0, frame.width() - 100, frame.height());
    COMPARE_IMAGES(screen.copy(scene), frame.copy(scene), QStringLiteral("presentation-screen"),
                   ImageTolerance::identical());
    COMPARE_IMAGES(window.copy(scene), frame.copy(scene), QStringLiteral("presentation-window"),
                   ImageTolerance::identical());

    // Over the panels the screen shows the panels, as Qt paints them, not the scene below; so
    // does the screenshot.
    for (QWidget* panel :
         {static_cast<QWidget*>(form.Panel2), static_cast<QWidget*>(form.Panel4), static_cast<QWidget*>(form.Panel5)}) {
        const QRect area(panel->mapTo(&form, QPoint()), panel->size());
        const QImage painted = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
        COMPARE_IMAGES(screen.copy(area), painted, QStringLiteral("presentation-") + panel->objectName(),
                       ImageTolerance::identical());
        QVERIFY(imageDifference(screen.copy(area), frame.copy(area)).differingPixels >
                area.width() * area.height() / 2);
        QVERIFY(imageDifference(window.copy(area), frame.copy(area)).differingPixels >
                area.width() * area.height() / 2);
    }
}

void PresentationGLTest::overlaysAreOnTheScreen()
{
    // The help table and the mode line are drawn into the frame, so the screen shows them over
    // the scene, translucent, and no widget of theirs lies anywhere.
    StartedForm started;
    TForm1& form = *started.form;
    form.Panel1->makeCurrent();
    form.world.setHour(10.0f);
    form.TimerForDrawingTimer();
    const QImage without = form.Panel1->readFramebuffer();
    QTest::keyClick(started.window(), Qt::Key_F1);
    QTest::keyClick(started.window(), Qt::Key_T);
    QVERIFY(form.overlays->helpPanel.isVisible() && form.overlays->modeLine.isVisible());
    form.TimerForDrawingTimer();
    const QImage with = form.Panel1->readFramebuffer();
    QImage screen;
    const QRect scene(100, 0, with.width() - 100, with.height());
    QVERIFY(QTest::qWaitFor([&] {
        screen = onScreen(&form);
        return imageDifference(screen.copy(scene), with.copy(scene)).differingPixels == 0;
    }));
    for (const QRect& box : {form.overlays->helpPanel.geometry(), form.overlays->modeLine.geometry()}) {
        const ImageDifference drawn = imageDifference(with.copy(box), without.copy(box));
        QVERIFY(drawn.differingPixels > box.width() * box.height() / 2);
        QVERIFY(drawn.meanStep > 1.0);
    }
    for (const char* name : {"HelpPanel", "MessagePanel", "ModeLine"})
        QVERIFY2(!form.findChild<QWidget*>(QLatin1String(name)), name);
}

void PresentationGLTest::oneFrameStepPerDrawingTick()
{
    // With the timers running, each tick of the drawing timer is one frame step and nothing
    // else steps a frame: not the window system's exposes, a resize, or a repaint of the panels.
    StartedForm started(StartedForm::TimersRunning);
    TForm1& form = *started.form;
    int ticks = 0, steps = 0, drawn = 0;
    QObject::connect(form.TimerForDrawing, &QTimer::timeout, [&ticks] { ++ticks; });
    QObject::connect(&form, &TForm1::frameStepped, [&steps] { ++steps; });
    QObject::connect(&form, &TForm1::frameDrawn, [&drawn] { ++drawn; });
    QTest::qWait(300);
    form.resize(800, 500);
    QTest::qWait(200);
    form.Panel4->update();
    form.Panel1->nativeSurface()->requestUpdate();
    form.repaint();
    QTest::qWait(200);
    form.resize(1012, 614);
    QTest::qWait(300);
    // Enough ticks to count on however fast the frames are drawn: the sanitizer build on a
    // busy machine draws fewer than ten a second.
    QVERIFY2(QTest::qWaitFor([&ticks] { return ticks > 20; }, 60000), qPrintable(QString::number(ticks)));
    form.TimerForDrawing->stop();
    QCOMPARE(steps, ticks);
    // Drawn: all but a tick the window system may catch between the resize and its expose.
    QVERIFY2(drawn > ticks / 2 && drawn <= ticks, qPrintable(QStringLiteral("%1 of %2").arg(drawn).arg(ticks)));
}

void PresentationGLTest::minimisedWindowMakesNoGlCall()
{
    // Two windows from the same state take the same keys for the same frame steps: one shown,
    // one minimised. Afterwards their state is the same, and the minimised one drew nothing.
    const auto drive = [](TForm1& form, int frames) {
        form.KeyState[vk::Up] = true;
        form.KeyState[vk::letter('D')] = true;
        for (int i = 0; i < frames; ++i)
            form.TimerForDrawingTimer();
    };
    constexpr int kFrames = 25;

    // Both start in the same state, clock and bump included: no timer of either has fired.
    StartedForm shown;
    StartedForm hidden;
    TForm1& form = *hidden.form;
    drive(*shown.form, kFrames);

    form.showMinimized();
    QVERIFY(QTest::qWaitFor([&] { return !form.Panel1->surfaceVisible(); }));
    // A colour no frame draws: a frame step that cleared or drew would change it.
    form.Panel1->makeCurrent();
    glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glFinish();
    const std::uint32_t framesBefore = form.frameCount;
    int presented = 0, drawn = 0, stepped = 0;
    QObject::connect(form.Panel1, &GlPanel::presented, [&presented] { ++presented; });
    QObject::connect(&form, &TForm1::frameDrawn, [&drawn] { ++drawn; });
    QObject::connect(&form, &TForm1::frameStepped, [&stepped] { ++stepped; });
    drive(form, kFrames);
    QCOMPARE(presented, 0);
    QCOMPARE(drawn, 0);
    QCOMPARE(stepped, kFrames);
    QCOMPARE(form.frameCount - framesBefore, std::uint32_t(kFrames));
    const QImage untouched = form.Panel1->readFramebuffer();
    QCOMPARE(untouched.pixelColor(0, 0), QColor(255, 0, 255));
    QCOMPARE(untouched.pixelColor(untouched.width() - 1, untouched.height() - 1), QColor(255, 0, 255));

    // The frame steps' own work ran: the camera, the bump and the ground are where the drawn
    // frames put them.
    const TForm1& reference = *shown.form;
    QCOMPARE(form.camera.position.x, reference.camera.position.x);
    QCOMPARE(form.camera.position.z, reference.camera.position.z);
    QCOMPARE(form.camera.yaw, reference.camera.yaw);
    QCOMPARE(form.bumpColumn, reference.bumpColumn);
    QCOMPARE(form.bumpRow, reference.bumpRow);
    QCOMPARE(form.bumpApex.y, reference.bumpApex.y);
    QVERIFY(std::memcmp(form.landscape.positions, reference.landscape.positions,
                        sizeof(float3) * form.landscape.vertexCount()) == 0);
    QVERIFY(std::memcmp(form.landscape.layers, reference.landscape.layers,
                        sizeof(std::uint32_t) * form.landscape.vertexCount()) == 0);

    // Both windows draw the same picture of that state.
    const auto picture = [](TForm1& window) {
        window.Panel1->makeCurrent();
        drawScene(window, viewAlong(window.camera), false);
        return window.Panel1->readFramebuffer();
    };
    COMPARE_IMAGES(picture(form), picture(*shown.form), QStringLiteral("minimised-window"),
                   ImageTolerance::identical());

    // Restored, the next frame step draws and presents again.
    form.showNormal();
    QVERIFY(QTest::qWaitFor([&] { return form.Panel1->surfaceVisible(); }));
    form.TimerForDrawingTimer();
    QCOMPARE(presented, 1);
    QCOMPARE(drawn, 1);
}

void PresentationGLTest::opaqueUnderACompositingManager()
{
    // A compositing window manager blends a window whose visual has an alpha channel over what
    // lies below it. The frame's alpha is no colour (the sky's is the square of its optical
    // depth), so the surface has none, and the screen must show the frame as drawn.
    QProcess compositor;
    compositor.start(QStringLiteral("xcompmgr"), QStringList());
    QVERIFY2(compositor.waitForStarted(), "xcompmgr could not be started (Debian package xcompmgr)");
    StartedForm started;
    TForm1& form = *started.form;
    QCOMPARE(form.Panel1->nativeSurface()->format().alphaBufferSize() > 0, false);
    form.Panel1->makeCurrent();
    form.world.setHour(10.0f);
    form.TimerForDrawingTimer();
    const QImage frame = form.Panel1->readFramebuffer();
    const QRect scene(100, 0, frame.width() - 100, frame.height());
    // The compositor repaints the screen after the window's damage: wait for the frame there,
    // then compare what the screen showed last.
    QImage screen;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            screen = onScreen(&form);
            return imageDifference(screen.copy(scene), frame.copy(scene)).differingPixels == 0;
        },
        5000));
    QVERIFY2(compositor.state() == QProcess::Running, "xcompmgr ended: another compositing manager runs here?");
    COMPARE_IMAGES(screen.copy(scene), frame.copy(scene), QStringLiteral("composited"), ImageTolerance::identical());
    compositor.terminate();
    compositor.waitForFinished();
}

QTEST_MAIN(PresentationGLTest)
#include "PresentationGLTest.moc"
