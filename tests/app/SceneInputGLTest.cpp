// The real window driven as a user drives it beyond the key table: the mouse over the view,
// F1, F11, F12, Home and the mode line, held keys when the window loses the activation, the
// clock's rate behind slow frames, and the start clock of the command line. Also that the
// keys of the table and an unused key behave as they did.

#include "CameraChecks.h"
#include "CommandLine.h"
#include "GlView.h"
#include "ImageCompare.h"
#include "KeyCodes.h"
#include "KeyHelp.h"
#include "PicturesFolder.h"
#include "SceneMouse.h"
#include "StartedForm.h"
#include "ViewerError.h"

#include <GL/gl.h>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>
#include <cmath>

namespace {

// A wheel event as the window system delivers it: spontaneous, so a panel that ignores it
// passes it on to the view under it.
void wheel(QWidget* target, QPoint pos, int angleDelta)
{
    QWheelEvent event(QPointF(pos), QPointF(target->mapToGlobal(pos)), QPoint(), QPoint(0, angleDelta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::sendEvent(target, &event);
}

double distance(const Vec3d& a, const Vec3d& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

} // namespace

class SceneInputGLTest : public QObject {
    Q_OBJECT
private slots:
    void dragTurnsTheCamera();
    void dragInOrbitCarriesTheEye();
    void wheelMovesAndZooms();
    void panelsAreNotTheScene();
    void dragLeavingTheWindowEnds();
    void helpPanel();
    void helpFitsSmallWindows();
    void hourKeysCrossMidnight();
    void fullScreen();
    void screenshotKey();
    void screenshotFailureIsShown();
    void homeKey();
    void modeLine();
    void tableKeysAndUnusedKeyUnchanged();
    void heldKeyReleasedWhenMessageBoxTakesActivation();
    void clockCatchesUpTicks();
    void clockKeepsItsRateBehindSlowFrames();
    void startClock();
    void skyKey();
};

void SceneInputGLTest::dragTurnsTheCamera()
{
    StartedForm started;
    TForm1& form = *started.form;
    Camera expected = form.camera;
    QTest::mousePress(started.window(), Qt::LeftButton, {}, QPoint(500, 300));
    QVERIFY(form.sceneMouse->dragging());
    QCOMPARE(form.Panel1->cursor().shape(), Qt::ClosedHandCursor);
    QTest::mouseMove(started.window(), QPoint(550, 280));
    QTest::mouseMove(started.window(), QPoint(530, 310));
    QTest::mouseRelease(started.window(), Qt::LeftButton, {}, QPoint(530, 310));
    // Right 50 then left 20 pixels, up 20 then down 30: the camera's own turns, 0.2 degrees a
    // pixel, up looking up.
    expected.turnYaw(50 * 0.2);
    expected.turnPitch(20 * 0.2);
    expected.turnYaw(-20 * 0.2);
    expected.turnPitch(-30 * 0.2);
    QVERIFY2(sameCamera(form.camera, expected),
             qPrintable(describeCamera(form.camera) + " vs " + describeCamera(expected)));
    QVERIFY(std::fabs(form.camera.yaw - (125.0 + 6.0)) < 1e-9);
    QVERIFY(std::fabs(form.camera.pitch - (-2.0)) < 1e-9);
    QVERIFY(!form.sceneMouse->dragging());
    QVERIFY(!form.Panel1->testAttribute(Qt::WA_SetCursor));
    // A move with no button held does nothing.
    const Camera after = form.camera;
    QTest::mouseMove(started.window(), QPoint(700, 100));
    QVERIFY(sameCamera(form.camera, after));
}

void SceneInputGLTest::dragInOrbitCarriesTheEye()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.TimerForDrawingTimer(); // the bump's apex exists
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(form.camera.orbiting);
    Camera expected = form.camera;
    const Camera before = form.camera;
    const double radius = distance(form.camera.position, form.camera.target);
    QTest::mousePress(started.window(), Qt::LeftButton, {}, QPoint(400, 400));
    QTest::mouseMove(started.window(), QPoint(440, 390));
    QTest::mouseRelease(started.window(), Qt::LeftButton, {}, QPoint(440, 390));
    expected.turnYaw(40 * 0.2);
    expected.turnPitch(10 * 0.2);
    QVERIFY2(sameCamera(form.camera, expected),
             qPrintable(describeCamera(form.camera) + " vs " + describeCamera(expected)));
    // Around the orbit point, as eight frames of D and two of W carry it: the camera inverts
    // the turns, so the yaw falls by 8 and the pitch by 2, and the distance stays.
    QVERIFY(std::fabs(wrapAngle(form.camera.yaw - (before.yaw - 8.0))) < 1e-9);
    QVERIFY(std::fabs(wrapAngle(form.camera.pitch - (before.pitch - 2.0))) < 1e-9);
    QVERIFY(std::fabs(distance(form.camera.position, form.camera.target) - radius) < 1e-9);
}

void SceneInputGLTest::wheelMovesAndZooms()
{
    StartedForm started;
    TForm1& form = *started.form;
    Camera expected = form.camera;
    wheel(form.Panel1, QPoint(500, 300), 120);
    expected.move(10.0 * double(0.3f), 0.0, 0.0);
    QVERIFY2(sameCamera(form.camera, expected),
             qPrintable(describeCamera(form.camera) + " vs " + describeCamera(expected)));
    wheel(form.Panel1, QPoint(500, 300), -240);
    expected.move(-2.0 * 10.0 * double(0.3f), 0.0, 0.0);
    QVERIFY2(sameCamera(form.camera, expected), qPrintable(describeCamera(form.camera)));
    // The speed factor is read at every notch.
    form.speedFactor = 1.0f;
    wheel(form.Panel1, QPoint(500, 300), 120);
    expected.move(10.0, 0.0, 0.0);
    QVERIFY(sameCamera(form.camera, expected));

    // Orbit: a notch zooms by 10 speed factors, and stops at the minimum distance 3.
    form.speedFactor = 0.3f;
    form.TimerForDrawingTimer();
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(form.camera.orbiting);
    form.camera.move(-20.0, 0.0, 0.0); // well away: 20 units more
    const double far = form.camera.orbitDistance;
    wheel(form.Panel1, QPoint(500, 300), 120);
    QVERIFY(std::fabs(form.camera.orbitDistance - (far - 3.0)) < 1e-6);
    for (int i = 0; i < 100; ++i)
        wheel(form.Panel1, QPoint(500, 300), 120);
    QCOMPARE(form.camera.orbitDistance, 3.0);
    QVERIFY(std::fabs(distance(form.camera.position, form.camera.target) - 3.0) < 1e-9);
}

void SceneInputGLTest::panelsAreNotTheScene()
{
    StartedForm started;
    TForm1& form = *started.form;
    const Camera before = form.camera;
    // The "FPS:" read-out and the slider column lie over the view; what happens over them is
    // not the scene's.
    const QPoint overReadOut = form.Panel2->geometry().center();
    QTest::mousePress(started.window(), Qt::LeftButton, {}, overReadOut);
    QVERIFY(!form.sceneMouse->dragging());
    QTest::mouseMove(started.window(), overReadOut + QPoint(300, 100));
    QTest::mouseRelease(started.window(), Qt::LeftButton, {}, overReadOut + QPoint(300, 100));
    wheel(form.Panel3, QPoint(5, 5), 120);
    wheel(form.Label7, QPoint(5, 5), 120);
    QVERIFY2(sameCamera(form.camera, before), qPrintable(describeCamera(form.camera)));
    // The slider takes the wheel itself.
    const int position = form.TrackBar2->value();
    wheel(form.TrackBar2, QPoint(10, 80), 120);
    QVERIFY(form.TrackBar2->value() != position);
    QVERIFY(sameCamera(form.camera, before));
}

void SceneInputGLTest::dragLeavingTheWindowEnds()
{
    StartedForm started;
    TForm1& form = *started.form;
    Camera expected = form.camera;
    QTest::mousePress(started.window(), Qt::LeftButton, {}, QPoint(900, 500));
    // Out of the window to the right and below: the press grabbed the mouse, so the drag goes on
    // out there and ends where the button comes up.
    QTest::mouseMove(started.window(), QPoint(1100, 700));
    QTest::mouseRelease(started.window(), Qt::LeftButton, {}, QPoint(1100, 700));
    expected.turnYaw(200 * 0.2);
    expected.turnPitch(-200 * 0.2);
    QVERIFY2(sameCamera(form.camera, expected), qPrintable(describeCamera(form.camera)));
    QVERIFY(!form.sceneMouse->dragging());
    QVERIFY(!form.Panel1->testAttribute(Qt::WA_SetCursor));
    // Back in the window without a button: nothing turns.
    QTest::mouseMove(started.window(), QPoint(500, 300));
    QVERIFY(sameCamera(form.camera, expected));

    // Another window takes the activation in the middle of a drag: the drag ends there.
    QTest::mousePress(started.window(), Qt::LeftButton, {}, QPoint(500, 300));
    QVERIFY(form.sceneMouse->dragging());
    QWidget other;
    other.resize(200, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!form.sceneMouse->dragging());
    QVERIFY(!form.Panel1->testAttribute(Qt::WA_SetCursor));
    QVERIFY(sameCamera(form.camera, expected));
}

void SceneInputGLTest::helpPanel()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.TimerForDrawingTimer();
    const QImage without = grabWindowImage(form);
    QVERIFY(!form.overlays->helpPanel.isVisible());
    QTest::keyPress(started.window(), Qt::Key_F1);
    QVERIFY(form.KeyState[vk::F1]);
    QVERIFY(form.overlays->helpPanel.isVisible());
    QTest::keyRelease(started.window(), Qt::Key_F1);
    QVERIFY(!form.KeyState[vk::F1]);
    // Every row of the table is on it, over the middle of the view.
    for (const KeyHelpRow& row : keyHelpRows()) {
        QVERIFY2(form.overlays->helpPanel.text().contains(QString(QLatin1String(row.action)).toHtmlEscaped()),
                 row.action);
        QVERIFY2(form.overlays->helpPanel.text().contains(QString(QLatin1String(row.keys)).toHtmlEscaped()), row.keys);
    }
    const QRect area = form.overlays->helpPanel.geometry();
    QVERIFY(form.Panel1->rect().contains(area));
    QVERIFY(std::abs(area.center().x() - form.Panel1->width() / 2) <= 1);
    // Translucent: the picture shows the panel, and the scene through it.
    const QImage with = grabWindowImage(form);
    QVERIFY(imageDifference(with.copy(area), without.copy(area)).meanStep > 1.0);
    const QRect below(0, area.bottom() + 1, form.Panel1->width(), form.Panel1->height() - area.bottom() - 1);
    QVERIFY(below.height() > 20);
    COMPARE_IMAGES(with.copy(below), without.copy(below), QStringLiteral("help-below"), ImageTolerance::identical());
    const QPoint blank = area.topLeft() + QPoint(area.width() - 3, 3); // padding, no text
    const QColor seen = with.pixelColor(blank), behind = without.pixelColor(blank);
    QVERIFY2(seen.value() < behind.value() || behind.value() == 0, qPrintable(seen.name() + behind.name()));
    // F1 again hides it.
    QTest::keyClick(started.window(), Qt::Key_F1);
    QVERIFY(!form.overlays->helpPanel.isVisible());
    // A click hides it and is used for nothing else: no drag starts.
    QTest::keyClick(started.window(), Qt::Key_F1);
    const Camera before = form.camera;
    QTest::mousePress(started.window(), Qt::LeftButton, {}, area.center());
    QVERIFY(!form.overlays->helpPanel.isVisible());
    QTest::mouseMove(started.window(), area.center() + QPoint(50, 0));
    QTest::mouseRelease(started.window(), Qt::LeftButton, {}, area.center() + QPoint(50, 0));
    QVERIFY(sameCamera(form.camera, before));
}

// In a smaller window the table takes a smaller layout, always inside the view and clear of the
// panels; where none fits it asks for a larger window instead.
void SceneInputGLTest::helpFitsSmallWindows()
{
    StartedForm started;
    TForm1& form = *started.form;
    const QRect panels = form.Panel2->geometry() | form.Panel3->geometry() | form.Panel4->geometry() |
                         form.Panel5->geometry();
    const struct {
        QSize size;
        bool table;
    } cases[] = {{{640, 360}, true}, {{580, 350}, true}, {{420, 260}, false}, {{1012, 614}, true}};
    for (const auto& c : cases) {
        form.resize(c.size);
        QVERIFY(QTest::qWaitFor([&] { return form.Panel1->size() == c.size; }));
        form.TimerForDrawingTimer();
        const QImage without = grabWindowImage(form);
        QTest::keyClick(started.window(), Qt::Key_F1);
        const QRect box = form.overlays->helpPanel.geometry();
        const QString where = QStringLiteral("%1x%2: %3,%4 %5x%6")
                                  .arg(c.size.width())
                                  .arg(c.size.height())
                                  .arg(box.x())
                                  .arg(box.y())
                                  .arg(box.width())
                                  .arg(box.height());
        QVERIFY2(form.Panel1->rect().contains(box) && !box.intersects(panels), qPrintable(where));
        QVERIFY2(imageDifference(grabWindowImage(form).copy(box), without.copy(box)).meanStep > 1.0, qPrintable(where));
        const QString text = form.overlays->helpPanel.text();
        QCOMPARE(text.contains(QStringLiteral("too small")), !c.table);
        for (const KeyHelpRow& row : keyHelpRows())
            QVERIFY2(!c.table || text.contains(QString(QLatin1String(row.keys)).toHtmlEscaped()), qPrintable(where));
        QTest::keyClick(started.window(), Qt::Key_F1);
    }
}

// Page Up and Page Down move the clock half an hour, frozen or not, across midnight into the
// next and the previous day (and across the year's end), with the read-out following at once.
void SceneInputGLTest::hourKeysCrossMidnight()
{
    StartedForm started;
    TForm1& form = *started.form;
    QTest::keyClick(started.window(), Qt::Key_T); // frozen: the keys move the clock all the same
    QVERIFY(form.timeFrozen);
    const struct {
        std::uint32_t day;
        float hour;
        Qt::Key key;
        std::uint32_t dayAfter;
        float hourAfter;
    } cases[] = {{0, 23.75f, Qt::Key_PageUp, 1, 0.25f},     {1, 0.25f, Qt::Key_PageDown, 0, 23.75f},
                 {0, 0.25f, Qt::Key_PageDown, 364, 23.75f}, {364, 23.5f, Qt::Key_PageUp, 0, 0.0f},
                 {10, 12.0f, Qt::Key_PageDown, 10, 11.5f},  {10, 0.5f, Qt::Key_PageDown, 10, 0.0f}};
    for (const auto& c : cases) {
        form.Panel1->makeCurrent();
        form.world.day = c.day;
        form.world.setHour(c.hour);
        QTest::keyPress(started.window(), c.key);
        QVERIFY(form.KeyState[c.key == Qt::Key_PageUp ? vk::PageUp : vk::PageDown]);
        QTest::keyRelease(started.window(), c.key);
        QCOMPARE(form.world.day, c.dayAfter);
        QCOMPARE(form.world.hour, c.hourAfter);
        QCOMPARE(form.Panel3->text(), QStringLiteral("Time: %1").arg(int(c.hourAfter)));
    }
}

void SceneInputGLTest::fullScreen()
{
    StartedForm started;
    TForm1& form = *started.form;
    const QSize screen = form.screen()->geometry().size();
    QTest::keyClick(started.window(), Qt::Key_F11);
    QTRY_VERIFY(form.isFullScreen());
    QTRY_COMPARE(form.Panel1->size(), screen);
    // The projection follows the panel: viewport and aspect of the full screen.
    form.TimerForDrawingTimer();
    form.Panel1->makeCurrent();
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(QSize(viewport[2], viewport[3]), screen * form.Panel1->devicePixelRatioF());
    GLfloat projection[16] = {};
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    // gluPerspective: element 0 is f / aspect, element 5 is f.
    const double aspect = double(projection[5]) / double(projection[0]);
    QVERIFY2(std::fabs(aspect - double(screen.width()) / screen.height()) < 1e-4, qPrintable(QString::number(aspect)));
    // The panels stay in the top-left corner; the mode line follows the bottom.
    QCOMPARE(form.Panel2->mapTo(&form, QPoint()), QPoint(0, 0));
    QCOMPARE(form.Panel5->mapTo(&form, QPoint()), QPoint(0, 232));
    QTest::keyClick(started.window(), Qt::Key_F);
    QCOMPARE(form.overlays->modeLine.geometry().bottom(), screen.height() - 5);
    QCOMPARE(grabWindowImage(form).size(), screen);
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
    // And back.
    QTest::keyClick(started.window(), Qt::Key_F11);
    QTRY_VERIFY(!form.isFullScreen());
    QTRY_COMPARE(form.Panel1->size(), QSize(1012, 614));
    form.Panel1->makeCurrent();
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(QSize(viewport[2], viewport[3]), QSize(1012, 614) * form.Panel1->devicePixelRatioF());
}

void SceneInputGLTest::screenshotKey()
{
    const PicturesFolder picturesFolder;
    const QString pictures = picturesFolder.path();
    StartedForm started;
    TForm1& form = *started.form;
    form.TimerForDrawingTimer();
    QTest::keyClick(started.window(), Qt::Key_F1); // the picture shows what the user sees
    const QImage expected = grabWindowImage(form);
    const QDateTime before = QDateTime::currentDateTime();
    QTest::keyPress(started.window(), Qt::Key_F12);
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(form.KeyState[vk::F12]);
    QTest::keyRelease(started.window(), Qt::Key_F12);
    const QStringList files = QDir(pictures).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    // Named after the local time of the key, to the second.
    QStringList names;
    for (qint64 second = before.toSecsSinceEpoch(); second <= after.toSecsSinceEpoch(); ++second)
        names << QDateTime::fromSecsSinceEpoch(second).toString(
            QStringLiteral("'terrain-viewer-'yyyyMMdd-HHmmss'.png'"));
    QVERIFY2(names.contains(files.first()), qPrintable(files.first() + QStringLiteral(" vs ") + names.join(' ')));
    const QString path = QDir(pictures).filePath(files.first());
    const QImage saved(path);
    QCOMPARE(saved.size(), QSize(1012, 614));
    COMPARE_IMAGES(saved, expected, QStringLiteral("screenshot-key"), ImageTolerance::identical());
    // The panels are in it: the slider column's grey.
    const QColor panel = saved.pixelColor(29, 150);
    QVERIFY2(panel.red() == panel.green() && panel.red() > 200, qPrintable(panel.name()));
    // "Saved <path>" over the view, for three seconds.
    QVERIFY(form.overlays->messagePanel.isVisible());
    QCOMPARE(form.overlays->messagePanel.text(), QStringLiteral("Saved ") + QDir::toNativeSeparators(path));
    QVERIFY(form.Panel1->rect().contains(form.overlays->messagePanel.geometry()));
    // A second picture in the same second does not overwrite the first, and leaves out the
    // first one's "Saved" line.
    QTest::keyClick(started.window(), Qt::Key_F12);
    const QStringList both = QDir(pictures).entryList(QDir::Files, QDir::Time | QDir::Reversed);
    QCOMPARE(both.size(), 2);
    const QString secondPath = form.overlays->messagePanel.text().mid(QStringLiteral("Saved ").size());
    COMPARE_IMAGES(QImage(secondPath), expected, QStringLiteral("screenshot-key-again"), ImageTolerance::identical());
    QElapsedTimer shown;
    shown.start();
    QTRY_VERIFY_WITH_TIMEOUT(!form.overlays->messagePanel.isVisible(), 6000);
    QVERIFY2(shown.elapsed() >= 2500, qPrintable(QString::number(shown.elapsed())));
}

void SceneInputGLTest::screenshotFailureIsShown()
{
    // No pictures folder: the working folder is used, and one that has gone cannot be written.
    const PicturesFolder pictures(PicturesFolder::Missing);
    StartedForm started;
    TForm1& form = *started.form;
    const QString home = QDir::currentPath();
    QString gone;
    {
        QTemporaryDir folder;
        gone = folder.path();
        QDir::setCurrent(gone);
    }
    QCOMPARE(screenshotFolder(), QDir::currentPath());
    QTest::keyClick(started.window(), Qt::Key_F12);
    QDir::setCurrent(home);
    // The name it tried and the writer's reason, reported as every failed action is (as F9's).
    QVERIFY(!form.overlays->messagePanel.isVisible());
    QCOMPARE(started.errors.size(), 1);
    const QString message = started.errors.first();
    QVERIFY2(QRegularExpression(QStringLiteral("^Cannot save .*terrain-viewer-\\d{8}-\\d{6}\\.png: .{10,}$"))
                 .match(message)
                 .hasMatch(),
             qPrintable(message));
}

void SceneInputGLTest::homeKey()
{
    StartedForm started;
    TForm1& form = *started.form;
    Camera placed; // the start-up's placement, done on a fresh camera
    placed.setPosition(100.0, 7.0, 100.0);
    placed.setAngles(125.0, 0.0, 0.0);
    QVERIFY(sameCamera(form.camera, placed));
    // Lost somewhere, turned and orbiting.
    form.camera.move(40.0, -3.0, 12.0);
    form.camera.setAngles(-30.0, 70.0, 15.0);
    form.TimerForDrawingTimer();
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(form.camera.orbiting);
    QTest::keyPress(started.window(), Qt::Key_Home);
    QVERIFY(form.KeyState[vk::Home]);
    QTest::keyRelease(started.window(), Qt::Key_Home);
    QVERIFY(!form.KeyState[vk::Home]);
    QVERIFY(!form.camera.orbiting);
    QCOMPARE(form.camera.position.x, 100.0);
    QCOMPARE(form.camera.position.y, 7.0);
    QCOMPARE(form.camera.position.z, 100.0);
    QCOMPARE(form.camera.yaw, 125.0);
    QCOMPARE(form.camera.pitch, 0.0);
    QCOMPARE(form.camera.roll, 0.0);
    // Free again: the target one unit ahead, so the arrows fly as after start-up.
    QCOMPARE(form.camera.target.x, placed.target.x);
    QCOMPARE(form.camera.target.z, placed.target.z);
    QCOMPARE(form.camera.forward.x, placed.forward.x);
    QCOMPARE(form.camera.up.y, placed.up.y);
    QVERIFY(!form.overlays->modeLine.isVisible());
}

void SceneInputGLTest::modeLine()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.TimerForDrawingTimer();
    QVERIFY(!form.overlays->modeLine.isVisible());
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(form.overlays->modeLine.isVisible());
    QCOMPARE(form.overlays->modeLine.text(), QStringLiteral("Orbit"));
    // Bottom-left of the view.
    const QRect line = form.overlays->modeLine.geometry();
    QVERIFY2(line.left() <= 8 && line.bottom() >= form.Panel1->height() - 8 && line.bottom() < form.Panel1->height(),
             qPrintable(QStringLiteral("%1,%2").arg(line.left()).arg(line.bottom())));
    QTest::keyClick(started.window(), Qt::Key_T);
    QTest::keyClick(started.window(), Qt::Key_L);
    QTest::keyPress(started.window(), Qt::Key_P);
    QCOMPARE(form.overlays->modeLine.text(), QStringLiteral("Orbit  |  Time frozen  |  Fast time  |  Horizontal move"));
    // In the saved picture too.
    const QImage image = grabWindowImage(form);
    form.overlays->modeLine.hide();
    QVERIFY(imageDifference(image.copy(line), grabWindowImage(form).copy(line)).meanStep > 1.0);
    QTest::keyRelease(started.window(), Qt::Key_P);
    QCOMPARE(form.overlays->modeLine.text(), QStringLiteral("Orbit  |  Time frozen  |  Horizontal move"));
    QVERIFY(form.overlays->modeLine.isVisible());
    QTest::keyClick(started.window(), Qt::Key_F);
    QTest::keyClick(started.window(), Qt::Key_L);
    QCOMPARE(form.overlays->modeLine.text(), QStringLiteral("Time frozen"));
    QTest::keyClick(started.window(), Qt::Key_T);
    QVERIFY(!form.overlays->modeLine.isVisible());
}

void SceneInputGLTest::tableKeysAndUnusedKeyUnchanged()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.TimerForDrawingTimer();
    // Every key of the table and every added key sets its flag on press and clears it on
    // release; the actions of the table's keys are those of the window's own tests.
    const std::pair<Qt::Key, std::uint16_t> keys[] = {{Qt::Key_Up, vk::Up},
                                                      {Qt::Key_Down, vk::Down},
                                                      {Qt::Key_Left, vk::Left},
                                                      {Qt::Key_Right, vk::Right},
                                                      {Qt::Key_Space, vk::Space},
                                                      {Qt::Key_Control, vk::Control},
                                                      {Qt::Key_K, 75},
                                                      {Qt::Key_P, 80},
                                                      {Qt::Key_D, 68},
                                                      {Qt::Key_A, 65},
                                                      {Qt::Key_W, 87},
                                                      {Qt::Key_S, 83},
                                                      {Qt::Key_E, 69},
                                                      {Qt::Key_Q, 81},
                                                      {Qt::Key_F1, 112},
                                                      {Qt::Key_F11, 122},
                                                      {Qt::Key_F12, 123},
                                                      {Qt::Key_Home, 36},
                                                      {Qt::Key_F2, 113}};
    for (const auto& [qtKey, code] : keys) {
        if (qtKey == Qt::Key_F11 || qtKey == Qt::Key_F12)
            continue; // their actions are tested above; the flag is checked below without them
        QTest::keyPress(started.window(), qtKey);
        QVERIFY2(form.KeyState[code], qPrintable(QString::number(code)));
        QTest::keyRelease(started.window(), qtKey);
        QVERIFY2(!form.KeyState[code], qPrintable(QString::number(code)));
    }
    for (const std::uint16_t code : {vk::F11, vk::F12}) {
        std::uint16_t key = code;
        form.FormKeyDown(key);
        QVERIFY(form.KeyState[code]);
        form.FormKeyUp(key);
        QVERIFY(!form.KeyState[code]);
    }
    if (form.overlays->helpPanel.isVisible())
        QTest::keyClick(started.window(), Qt::Key_F1);

    // F2 does nothing but its flag: no camera change, no mode, no overlay, no picture, the
    // window as it was, and the next frame the same as without it.
    const Camera before = form.camera;
    const QImage picture = grabWindowImage(form);
    const bool modes[3] = {form.timeFrozen, form.horizontalMove, form.showNormals};
    QTest::keyPress(started.window(), Qt::Key_F2);
    QVERIFY(form.KeyState[vk::F2]);
    QVERIFY(sameCamera(form.camera, before));
    COMPARE_IMAGES(grabWindowImage(form), picture, QStringLiteral("f2-held"), ImageTolerance::identical());
    QTest::keyRelease(started.window(), Qt::Key_F2);
    QVERIFY(!form.KeyState[vk::F2]);
    QVERIFY(sameCamera(form.camera, before));
    QCOMPARE(form.timeFrozen, modes[0]);
    QCOMPARE(form.horizontalMove, modes[1]);
    QCOMPARE(form.showNormals, modes[2]);
    QVERIFY(!form.overlays->helpPanel.isVisible() && !form.overlays->messagePanel.isVisible() &&
            !form.overlays->modeLine.isVisible());
    QVERIFY(!form.isFullScreen());
    for (int code = 0; code < 256; ++code)
        QVERIFY2(!form.KeyState[code], qPrintable(QString::number(code)));
}

void SceneInputGLTest::heldKeyReleasedWhenMessageBoxTakesActivation()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.TimerForDrawingTimer();
    QTest::keyPress(started.window(), Qt::Key_Right);
    QVERIFY(form.KeyState[vk::Right]);
    // An error of ours opens its message box; the user lets go of the key while the box has the
    // focus, so the window never sees the release.
    bool boxSeen = false, releasedInBox = false;
    form.showError = [&](const QString& message) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("terrain-viewer"), message, QMessageBox::Ok, &form);
        QTimer::singleShot(0, &box, [&] {
            box.activateWindow();
            // The box's window counts as active already while its parent has the focus; the
            // application's active window is the one that gets the keys.
            boxSeen = QTest::qWaitFor([&] { return QApplication::activeWindow() == &box; }, 10000);
            QTest::keyRelease(box.windowHandle(), Qt::Key_Right);
            releasedInBox = !form.isActiveWindow();
            box.accept();
        });
        box.exec();
    };
    form.runHandler([] { throw ViewerError("an error while the key is held"); });
    QVERIFY(boxSeen);
    QVERIFY(releasedInBox);
    QVERIFY(!form.KeyState[vk::Right]);
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // The camera stops.
    form.TimerForDrawingTimer();
    const Camera stopped = form.camera;
    form.TimerForDrawingTimer();
    QVERIFY2(sameCamera(form.camera, stopped),
             qPrintable(describeCamera(form.camera) + " vs " + describeCamera(stopped)));
    // And a key pressed again is held again.
    QTest::keyPress(started.window(), Qt::Key_Right);
    form.TimerForDrawingTimer();
    QVERIFY(!sameCamera(form.camera, stopped));
    QTest::keyRelease(started.window(), Qt::Key_Right);
}

void SceneInputGLTest::clockCatchesUpTicks()
{
    // The wiring of the clock timer, on a counter the test moves: each tick that fell due is a
    // call of the time step (the count itself is TickCatchUp's own test).
    StartedForm started;
    TForm1& form = *started.form;
    std::uint32_t nowMs = 5000;
    form.tickCount = [&nowMs] { return nowMs; };
    form.bigBenCatchUp.start(nowMs);
    form.Panel1->makeCurrent();
    form.world.setHour(1.0f);
    float expected = 1.0f;
    nowMs += 35; // a 35 ms frame: three ticks of 0.005 hours
    form.deliverDueBigBenTicks();
    for (int i = 0; i < 3; ++i)
        expected += 0.005f;
    QCOMPARE(form.world.hour, expected);
    form.KeyState[vk::letter('P')] = true;
    nowMs += 25; // 5 ms left over and 25 more: three ticks of 0.205
    form.deliverDueBigBenTicks();
    for (int i = 0; i < 3; ++i)
        expected += float(0.2 + double(0.005f));
    QCOMPARE(form.world.hour, expected);
    form.KeyState[vk::letter('P')] = false;
    // A minute away (a suspended machine): one second's worth, no more.
    nowMs += 60000;
    form.deliverDueBigBenTicks();
    for (int i = 0; i < 100; ++i)
        expected += 0.005f;
    QCOMPARE(form.world.hour, expected);
    QCOMPARE(form.Panel3->text(), QStringLiteral("Time: 2"));
    // Frozen: the read-out refreshes, the clock stands.
    form.timeFrozen = true;
    form.Panel3->setText(QString());
    nowMs += 30;
    form.deliverDueBigBenTicks();
    QCOMPARE(form.world.hour, expected);
    QCOMPARE(form.Panel3->text(), QStringLiteral("Time: 2"));
}

void SceneInputGLTest::clockKeepsItsRateBehindSlowFrames()
{
    // The timers running as in the program, on a tick counter that moves 40 ms with every
    // drawn frame: the 10 ms clock timer fires about once a frame, yet each frame is four
    // ticks of simulated time, however fast the frames really come.
    StartedForm started(StartedForm::TimersRunning);
    TForm1& form = *started.form;
    std::uint32_t nowMs = 5000;
    form.tickCount = [&nowMs] { return nowMs; };
    form.bigBenCatchUp.start(nowMs);
    int frames = 0;
    QObject::connect(&form, &TForm1::frameDrawn, &form, [&frames, &nowMs] {
        ++frames;
        nowMs += 40;
    });
    const std::uint32_t dayBefore = form.world.day;
    float expected = form.world.hour;
    constexpr int kFrames = 30;
    QVERIFY2(QTest::qWaitFor([&frames] { return frames >= kFrames; }, 60000), qPrintable(QString::number(frames)));
    form.TimerForDrawing->stop();
    form.TimerBigBen->stop();
    form.deliverDueBigBenTicks(); // the ticks of the last frame
    for (int i = 0; i < 4 * frames; ++i)
        expected += 0.005f;
    QCOMPARE(form.world.day, dayBefore);
    QCOMPARE(form.world.hour, expected);
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
}

void SceneInputGLTest::startClock()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.Panel1->makeCurrent();
    const float* m = form.world.sunMatrix;
    // Nothing asked: the start-up's clock stays.
    const float hour = form.world.hour;
    applyStartClock(ViewerOptions{}, form.world);
    QCOMPARE(form.world.hour, hour);
    QCOMPARE(form.world.latitude, 40.0f);
    // Day 91 at noon, latitude 40, tilt 23.27: the sun stands at (-0.8931, 0.0019, 0.4498).
    ViewerOptions options;
    options.startDay = 91;
    options.startHour = 12.0f;
    applyStartClock(options, form.world);
    QCOMPARE(form.world.day, 91u);
    QCOMPARE(form.world.hour, 12.0f);
    QVERIFY2(std::fabs(m[4] + 0.8931f) < 1e-3f && std::fabs(m[5] - 0.0019f) < 1e-3f &&
                 std::fabs(m[6] - 0.4498f) < 1e-3f,
             qPrintable(QStringLiteral("%1 %2 %3").arg(m[4]).arg(m[5]).arg(m[6])));
    // At the equator with no tilt the noon sun is overhead on any day; at the pole it is on
    // the horizon: every rotation but the day's is 0 or a right angle.
    options = ViewerOptions{};
    options.startDay = 200;
    options.startHour = 12.0f;
    options.latitudeDegrees = 0.0f;
    options.axialTiltDegrees = 0.0f;
    applyStartClock(options, form.world);
    const double dayAngle = 200.0 * 360.0 / 365.0 * 0.017453292519943295;
    QVERIFY2(std::fabs(m[4]) < 1e-5f && std::fabs(m[5] - float(std::cos(dayAngle))) < 1e-5f &&
                 std::fabs(m[6] - float(std::sin(dayAngle))) < 1e-5f,
             qPrintable(QStringLiteral("%1 %2 %3").arg(m[4]).arg(m[5]).arg(m[6])));
    options.startDay = 0;
    options.latitudeDegrees = 90.0f;
    applyStartClock(options, form.world);
    QVERIFY2(std::fabs(m[5]) < 1e-6f, qPrintable(QString::number(m[5])));
    QCOMPARE(form.world.latitude, 90.0f);
    QCOMPARE(form.world.axialTilt, 0.0f);
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

QTEST_MAIN(SceneInputGLTest)
#include "SceneInputGLTest.moc"

void SceneInputGLTest::skyKey()
{
    // Y switches between the classic and the physical sky, and back, and still sets and clears
    // its held flag; the frame then shows the other sky: at noon the physical sky overhead is a
    // deep blue where the classic one's zenith is darker and greener.
    StartedForm started;
    TForm1& form = *started.form;
    QCOMPARE(form.sky, SkyKind::Classic);
    form.Panel1->makeCurrent();
    form.world.setHour(12.0f);
    form.camera.setAngles(125.0, 60.0, 0.0);
    form.TimerForDrawingTimer();
    const QImage classic = grabWindowImage(form);
    for (const SkyKind expected : {SkyKind::Physical, SkyKind::Classic}) {
        QTest::keyPress(started.window(), Qt::Key_Y);
        QVERIFY(form.KeyState[vk::letter('Y')]);
        QCOMPARE(form.sky, expected);
        QTest::keyRelease(started.window(), Qt::Key_Y);
        QVERIFY(!form.KeyState[vk::letter('Y')]);
        QCOMPARE(form.overlays->messagePanel.text(),
                 expected == SkyKind::Physical ? QStringLiteral("Physical sky") : QStringLiteral("Classic sky"));
        if (expected == SkyKind::Physical) {
            form.TimerForDrawingTimer();
            const QImage physical = grabWindowImage(form);
            const QColor top = physical.pixelColor(physical.width() / 2, 40);
            const QColor classicTop = classic.pixelColor(classic.width() / 2, 40);
            QVERIFY2(top.blue() > top.red() + 60 && top.blue() > classicTop.blue() + 40,
                     qPrintable(top.name() + " against " + classicTop.name()));
        }
    }
}
