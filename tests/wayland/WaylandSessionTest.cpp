// The real main window on a Wayland compositor (scripts/test-wayland runs it under weston's
// headless back end, started with --debug so that weston-screenshooter may read the screen):
// the frame reaches the compositor's screen, keys and the mouse reach the window, F11 fills the
// output, and a minimised window keeps its clock without drawing. Weston's headless back end has
// no seat, so keys and the mouse enter where the Wayland plugin hands a wl_keyboard or
// wl_pointer event to Qt (QWindowSystemInterface, through QTest), on the plugin's own window.

#include "CommandLine.h"
#include "GlTestPanel.h"
#include "GlView.h"
#include "ImageCompare.h"
#include "KeyCodes.h"
#include "ScenePicture.h"
#include "StartedForm.h"

#include <GL/gl.h>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QOpenGLWidget>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

namespace {

// What the compositor shows on its output, read with weston-screenshooter: a null image if it
// could not be read.
QImage compositorScreen()
{
    QTemporaryDir folder;
    QProcess shooter;
    shooter.setWorkingDirectory(folder.path());
    shooter.start(QStringLiteral("weston-screenshooter"), QStringList());
    if (!shooter.waitForFinished(30000) || shooter.exitCode() != 0)
        return QImage();
    const QStringList shots = QDir(folder.path()).entryList({QStringLiteral("*.png")});
    return shots.size() == 1 ? QImage(folder.filePath(shots.first())).convertToFormat(QImage::Format_RGB32) : QImage();
}

void saveForLooking(const QImage& image, const QString& name)
{
    image.save(QDir(testOutputFolder()).filePath(name));
}

// The window started as the program starts it, timers running, at ten in the morning (the
// sun high enough for the sky and ground bands). Weston gives no window the activation
// without a seat, so this waits for the start-up and the shown surface only.
std::unique_ptr<TForm1> startForm()
{
    QDir::setCurrent(qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/assets"));
    auto form = std::make_unique<TForm1>();
    form->showError = [](const QString& message) { qWarning("%s", qPrintable(message)); };
    form->show();
    if (!QTest::qWaitFor([&form] { return form->started() && form->Panel1->surfaceVisible(); }, 30000))
        return nullptr;
    ViewerOptions tenInTheMorning;
    tenInTheMorning.startHour = 10.0f;
    form->Panel1->makeCurrent();
    applyStartClock(tenInTheMorning, form->world);
    return form;
}

// Counts the frame steps and the frames drawn from now on.
struct FrameCounts {
    int stepped = 0;
    int drawn = 0;
    explicit FrameCounts(TForm1& form)
    {
        QObject::connect(&form, &TForm1::frameStepped, &form, [this] { ++stepped; });
        QObject::connect(&form, &TForm1::frameDrawn, &form, [this] { ++drawn; });
    }
};

} // namespace

class WaylandSessionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void frameReachesTheScreen();
    void keysAndMouseReachTheWindow();
    void fullScreenFillsTheOutput();
    void minimisedWindowKeepsTheClock();
};

void WaylandSessionTest::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
    // As the program starts: every window of the application gets the drawing surface's format.
    QSurfaceFormat::setDefaultFormat(viewSurfaceFormat());
}

void WaylandSessionTest::frameReachesTheScreen()
{
    auto form = startForm();
    QVERIFY(form);
    // A native GL window is never shown inside a Wayland top level: the frame is composed,
    // into a texture without alpha, so the compositor shows the window opaque.
    QCOMPARE(form->Panel1->presentation(), Presentation::Widget);
    QOpenGLWidget* composed = form->Panel1->composedSurface();
    QVERIFY(composed);
    QCOMPARE(composed->textureFormat(), GLenum(GL_RGB8));
    // One frame drawn with the clock and the frames stopped, composed and handed to the
    // compositor; the screen then holds its pixels.
    form->TimerForDrawing->stop();
    form->TimerBigBen->stop();
    QSignalSpy swapped(composed, &QOpenGLWidget::frameSwapped);
    form->TimerForDrawingTimer();
    QVERIFY(swapped.wait(10000));
    const QImage frame = form->Panel1->readFramebuffer().convertToFormat(QImage::Format_RGB32);
    QVERIFY2(skyShare(frame, startSkyBand(frame)) > 0.9, "sky in the frame");
    QVERIFY2(groundShare(frame, startGroundBand(frame)) > 0.8, "ground in the frame");
    const QImage screen = compositorScreen();
    QVERIFY2(!screen.isNull(), "weston-screenshooter (weston needs --debug)");
    // Weston places a new window where it likes: the scene right of the panels is looked for
    // on the screen at every place where one of its pixels matches, and must be there as drawn.
    const QRect scene(100, 0, frame.width() - 100, frame.height());
    const QImage drawn = frame.copy(scene);
    const QPoint probe(400, 300);
    double best = 255.0;
    for (int y = 0; y + frame.height() <= screen.height(); ++y)
        for (int x = 0; x + frame.width() <= screen.width(); ++x)
            if (screen.pixel(x + probe.x(), y + probe.y()) == frame.pixel(probe))
                best = std::min(best, imageDifference(screen.copy(scene.translated(x, y)), drawn).meanStep);
    if (best > 1.0)
        saveForLooking(screen, QStringLiteral("wayland-screen.png"));
    // The compositor copies the window's pixels; a step of rounding is allowed.
    QVERIFY2(best <= 1.0, qPrintable(QString::number(best)));
}

void WaylandSessionTest::keysAndMouseReachTheWindow()
{
    auto form = startForm();
    QVERIFY(form);
    QWindow* window = form->windowHandle();
    // A held key sets its flag, the frame steps fly the camera, the release clears it.
    const Vec3d start = form->camera.position;
    QTest::keyPress(window, Qt::Key_Up);
    QVERIFY(form->KeyState[vk::Up]);
    FrameCounts counts(*form);
    QTRY_VERIFY(counts.stepped >= 5);
    QTest::keyRelease(window, Qt::Key_Up);
    QVERIFY(!form->KeyState[vk::Up]);
    const Vec3d moved = form->camera.position;
    const double flown = std::hypot(moved.x - start.x, moved.z - start.z);
    QVERIFY2(flown > 0.0, qPrintable(QString::number(flown)));
    // A pressed key toggles its mode and names it in the mode line.
    QTest::keyClick(window, Qt::Key_T);
    QVERIFY(form->timeFrozen);
    QTRY_VERIFY(form->overlays->modeLine.isVisible());
    QTest::keyClick(window, Qt::Key_T);
    QVERIFY(!form->timeFrozen);
    // A drag over the scene turns the camera, 0.2 degrees a pixel.
    const double yaw = form->camera.yaw;
    const QPoint over = form->Panel1->mapTo(form.get(), QPoint(500, 300));
    QTest::mousePress(window, Qt::LeftButton, {}, over);
    QTest::mouseMove(window, over + QPoint(50, 0));
    QTest::mouseRelease(window, Qt::LeftButton, {}, over + QPoint(50, 0));
    QVERIFY2(std::fabs(form->camera.yaw - (yaw + 10.0)) < 1e-9, qPrintable(QString::number(form->camera.yaw)));
}

void WaylandSessionTest::fullScreenFillsTheOutput()
{
    auto form = startForm();
    QVERIFY(form);
    const QSize output = form->screen()->geometry().size();
    QVERIFY2(output.width() > 1012 && output.height() > 614, "weston's output is larger than the window");
    // Twice there and back: each change of state is a configure of the compositor's, and the
    // window comes back at its own size.
    for (int round = 0; round < 2; ++round) {
        const QSize normal = form->Panel1->size();
        QTest::keyClick(form->windowHandle(), Qt::Key_F11);
        QTRY_VERIFY(form->isFullScreen());
        QTRY_COMPARE(form->Panel1->size(), output);
        // Frames of the new size are drawn: the viewport is the output's, sky above, ground
        // below. (Weston's screenshooter shows no full-screen Qt window's pixels, the
        // simplest QWidget's neither, so the frame is read from the surface.)
        FrameCounts counts(*form);
        QTRY_VERIFY_WITH_TIMEOUT(counts.drawn >= 3, 30000);
        form->Panel1->makeCurrent();
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        QCOMPARE(QSize(viewport[2], viewport[3]), output);
        const QImage frame = form->Panel1->readFramebuffer().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(frame.size(), output);
        const double sky = skyShare(frame, startSkyBand(frame));
        const double ground = groundShare(frame, startGroundBand(frame));
        if (sky <= 0.9 || ground <= 0.8)
            saveForLooking(frame, QStringLiteral("wayland-full-screen.png"));
        QVERIFY2(sky > 0.9, qPrintable(QString::number(sky)));
        QVERIFY2(ground > 0.8, qPrintable(QString::number(ground)));
        QTest::keyClick(form->windowHandle(), Qt::Key_F11);
        QTRY_VERIFY(!form->isFullScreen());
        QTRY_VERIFY2(form->Panel1->size() == normal,
                     qPrintable(QStringLiteral("%1x%2").arg(form->Panel1->width()).arg(form->Panel1->height())));
    }
    // F11 pressed faster than the compositor answers: Qt's xdg-shell code then sometimes takes
    // the size to come back at from a frame without the decoration (here about one run of
    // these in ten), and the window would come back smaller by the decoration's margins.
    const QSize normal = form->Panel1->size();
    for (int press = 0; press < 60; ++press) {
        QTest::keyClick(form->windowHandle(), Qt::Key_F11);
        QTest::qWait(press % 20);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!form->isFullScreen(), 30000);
    QTRY_VERIFY2_WITH_TIMEOUT(form->Panel1->size() == normal,
                              qPrintable(
                                  QStringLiteral("%1x%2").arg(form->Panel1->width()).arg(form->Panel1->height())),
                              30000);
}

void WaylandSessionTest::minimisedWindowKeepsTheClock()
{
    auto form = startForm();
    QVERIFY(form);
    // A Wayland compositor tells no window that it is minimised: it stops the window's frame
    // callbacks, and Qt's Wayland plugin takes a window whose callback is late as no longer
    // exposed. From then on no frame is drawn, so none waits in a swap, and the frame steps
    // and the clock go on. (Only the compositor can bring the window back; weston's headless
    // back end has no seat to do it with, so it stays minimised.)
    form->showMinimized();
    QTRY_VERIFY(!form->Panel1->surfaceVisible());
    FrameCounts counts(*form);
    const QString before = form->Panel3->text();
    QTRY_VERIFY_WITH_TIMEOUT(form->Panel3->text() != before, 10000);
    QVERIFY(counts.stepped > 0);
    QCOMPARE(counts.drawn, 0);
}

QTEST_MAIN(WaylandSessionTest)
#include "WaylandSessionTest.moc"
