// The main window started for real: start-up, keys (with key preview), the frame, the
// read-outs, the sliders, Apply and Enter, errors escaping handlers, closing.

#include "GlChecks.h"
#include "GlView.h"
#include "KeyCodes.h"
#include "Platform.h"
#include "StartedForm.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QWindow>
#include <cmath>

namespace {

bool nearVec(const Vec3d& a, double x, double y, double z, double tolerance = 1e-9)
{
    return std::fabs(a.x - x) <= tolerance && std::fabs(a.y - y) <= tolerance && std::fabs(a.z - z) <= tolerance;
}

} // namespace

class MainFormGLTest : public QObject {
    Q_OBJECT
private slots:
    void startUp();
    void timersRunAfterStartUp();
    void trackBars();
    void keyPreviewWhileEditHasFocus();
    void autoRepeat();
    void pressKeys();
    void enterLeavesFieldWithoutApplying();
    void applyTakesHeightAndFocus();
    void applyRejects_data();
    void applyRejects();
    void frameMovesAndTurns();
    void horizontalModeIgnoresSpaceAndCtrl();
    void frameSetsLookAt();
    void frameRateReadOut();
    void tickCounterRuns();
    void timeReadOut();
    void handlerErrorsAreShownOnceAndTimersGoOn();
    void escapeCloses();
    void closeBoxCloses();
    void windowWithoutContextEnds();
};

void MainFormGLTest::startUp()
{
    StartedForm started;
    TForm1& form = *started.form;
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
    // The description's 2, 60, 90 and "50000" are replaced before the first frame.
    QCOMPARE(form.TrackBar1->value(), 0);
    QCOMPARE(form.TrackBar2->value(), 50);
    QCOMPARE(form.TrackBar3->value(), 80);
    QCOMPARE(form.Label4->text(), QStringLiteral("0%"));
    QCOMPARE(form.Label5->text(), QStringLiteral("50%"));
    QCOMPARE(form.Label6->text(), QStringLiteral("80%"));
    QCOMPARE(form.Edit1->text(), QStringLiteral("100000"));
    // The strengths keep their values after the round trip through the sliders.
    QCOMPARE(form.world.scattering[0], 0.0f);
    QCOMPARE(form.world.scattering[1], 0.5f);
    QCOMPARE(form.world.scattering[2], 0.8f);
    // The camera is placed.
    QVERIFY(nearVec(form.camera.position, 100, 7, 100));
    QCOMPARE(form.camera.yaw, 125.0);
    QVERIFY(!form.camera.orbiting);
    // The world kept the three settings written before its initialisation.
    QCOMPARE(form.world.atmosphereHeight, 100000.0f);
    QCOMPARE(form.world.sunAngle, 2.0f);
    QCOMPARE(form.world.haloAngle, 22.0f);
    QCOMPARE(form.world.planetRadius, 6371000.0f);
    QCOMPARE(form.world.daysPerYear, 365u);
    QVERIFY(form.world.hour >= 5.0f && form.world.hour < 6.0f);
    QVERIFY(form.world.opticalDepthTexture != 0);
    QVERIFY(form.landscapeBuilt);
    QCOMPARE(form.landscape.width, 300u);
    // The projection and fog of the start-up.
    QCOMPARE(glView.projectionMode, std::int32_t(Perspective));
    QCOMPARE(glView.fieldOfView, 45.0f);
    QCOMPARE(glView.farPlane, 50.0f);
    QVERIFY(glIsEnabled(GL_FOG));
    QCOMPARE(integerState(GL_FOG_MODE), GL_LINEAR);
    GLfloat fogStart = 0, fogEnd = 0;
    glGetFloatv(GL_FOG_START, &fogStart);
    glGetFloatv(GL_FOG_END, &fogEnd);
    QCOMPARE(fogStart, 7.0f);
    QCOMPARE(fogEnd, 45.0f);
    VERIFY_NO_GL_ERROR();
}

void MainFormGLTest::timersRunAfterStartUp()
{
    StartedForm started(StartedForm::TimersRunning);
    TForm1& form = *started.form;
    QVERIFY(form.TimerForDrawing->isActive());
    QVERIFY(form.TimerForFPS->isActive());
    QVERIFY(form.TimerBigBen->isActive());
    const float hour = form.world.hour;
    // Frames are drawn and simulated time runs from the timers alone.
    QTRY_VERIFY(form.world.hour > hour);
    // The read-out follows the clock, whatever hour the start-up's ticks have reached by now.
    QTRY_COMPARE(form.Panel3->text(), QStringLiteral("Time: %1").arg(int(form.world.hour)));
    QTRY_VERIFY_WITH_TIMEOUT(form.Panel2->text().startsWith(QStringLiteral("FPS: ")), 3000);
    bool ok = false;
    const int fps = form.Panel2->text().mid(5).toInt(&ok);
    QVERIFY(ok);
    // Frames come from a 10 ms timer: a real rate lies between 1 and about 100 a second.
    QVERIFY2(fps > 0 && fps <= 200, qPrintable(form.Panel2->text()));
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
}

void MainFormGLTest::trackBars()
{
    StartedForm started;
    TForm1& form = *started.form;
    // A position equal to the current one fires nothing.
    form.world.scattering[0] = 0.123f;
    form.TrackBar1->setValue(form.TrackBar1->value());
    QCOMPARE(form.world.scattering[0], 0.123f);
    // A new position writes position * 0.01 and refreshes all three labels.
    form.Label5->setText(QStringLiteral("stale"));
    form.TrackBar1->setValue(99);
    QCOMPARE(form.world.scattering[0], float(99 * 0.01));
    QCOMPARE(form.Label4->text(), QStringLiteral("99%"));
    QCOMPARE(form.Label5->text(), QStringLiteral("50%"));
    form.TrackBar2->setValue(7);
    QCOMPARE(form.world.scattering[1], float(7 * 0.01));
    form.TrackBar3->setValue(120); // clamped to the range
    QCOMPARE(form.TrackBar3->value(), 99);
    QCOMPARE(form.world.scattering[2], 0.99f);
    QCOMPARE(form.Label6->text(), QStringLiteral("99%"));
    // The labels grow to show their whole text.
    QVERIFY(form.Label4->width() >= form.Label4->fontMetrics().horizontalAdvance(QStringLiteral("99%")));
}

void MainFormGLTest::keyPreviewWhileEditHasFocus()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.Edit1->setFocus();
    QTRY_VERIFY(form.Edit1->hasFocus());
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(form.camera.orbiting);
    // The field still got the key.
    QCOMPARE(form.Edit1->text(), QStringLiteral("100000f"));
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(!form.camera.orbiting);

    QTest::keyPress(started.window(), Qt::Key_Up);
    QVERIFY(form.KeyState[vk::Up]);
    const Vec3d before = form.camera.position;
    const Vec3d forward = form.camera.forward;
    form.TimerForDrawingTimer();
    const double s = double(0.3f);
    QVERIFY(
        nearVec(form.camera.position, before.x + forward.x * s, before.y + forward.y * s, before.z + forward.z * s));
    QTest::keyRelease(started.window(), Qt::Key_Up);
    QVERIFY(!form.KeyState[vk::Up]);
    QVERIFY(form.Edit1->hasFocus());
}

void MainFormGLTest::autoRepeat()
{
    StartedForm started;
    TForm1& form = *started.form;
    QTest::keyPress(started.window(), Qt::Key_W);
    QVERIFY(form.KeyState[vk::letter('W')]);
    // X11 auto-repeat: a release and a press for every repeat; the key stays held.
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_W, Qt::NoModifier, QStringLiteral("w"), true);
    QCoreApplication::sendEvent(started.window(), &repeatRelease);
    QVERIFY(form.KeyState[vk::letter('W')]);
    QTest::keyRelease(started.window(), Qt::Key_W);
    QVERIFY(!form.KeyState[vk::letter('W')]);

    // Every repeated press of a press key flips its mode again.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_N, Qt::NoModifier, QStringLiteral("n"), false);
    QKeyEvent repeatPress(QEvent::KeyPress, Qt::Key_N, Qt::NoModifier, QStringLiteral("n"), true);
    QCoreApplication::sendEvent(started.window(), &press);
    QVERIFY(form.showNormals);
    QCoreApplication::sendEvent(started.window(), &repeatPress);
    QVERIFY(!form.showNormals);
    QCoreApplication::sendEvent(started.window(), &repeatPress);
    QVERIFY(form.showNormals);
}

void MainFormGLTest::pressKeys()
{
    StartedForm started;
    TForm1& form = *started.form;
    QTest::keyClick(started.window(), Qt::Key_L);
    QVERIFY(form.horizontalMove);
    QTest::keyClick(started.window(), Qt::Key_T);
    QVERIFY(form.timeFrozen);
    QTest::keyClick(started.window(), Qt::Key_T);
    QVERIFY(!form.timeFrozen);
    form.camera.setAngles(30.0, 20.0, 10.0);
    QTest::keyClick(started.window(), Qt::Key_H);
    QCOMPARE(form.camera.yaw, 0.0);
    QCOMPARE(form.camera.pitch, 20.0);
    QTest::keyClick(started.window(), Qt::Key_V);
    QCOMPARE(form.camera.pitch, 0.0);
    QTest::keyClick(started.window(), Qt::Key_B);
    QCOMPARE(form.camera.roll, 0.0);
    // F orbits the bump's apex at a distance of at least 3.
    form.bumpApex = {100.5, 7.0, 100.0};
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(form.camera.orbiting);
    QCOMPARE(form.camera.minOrbitDistance, 3.0);
    QVERIFY(nearVec(form.camera.target, 100.5, 7.0, 100.0));
    QVERIFY(form.camera.orbitDistance >= 3.0);
    // Keys without a command only record themselves.
    QTest::keyPress(started.window(), Qt::Key_Z);
    QVERIFY(form.KeyState[vk::letter('Z')]);
    QTest::keyRelease(started.window(), Qt::Key_Z);
    QVERIFY(!form.KeyState[vk::letter('Z')]);
}

void MainFormGLTest::enterLeavesFieldWithoutApplying()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.Edit1->setFocus();
    QTRY_VERIFY(form.Edit1->hasFocus());
    form.Edit1->setText(QStringLiteral("5000"));
    QTest::keyClick(started.window(), Qt::Key_Return);
    QVERIFY(!form.Edit1->hasFocus());
    QCOMPARE(form.world.atmosphereHeight, 100000.0f);
    // Typed keys no longer reach the field.
    QTest::keyClick(started.window(), Qt::Key_1);
    QCOMPARE(form.Edit1->text(), QStringLiteral("5000"));
    // The keypad's Enter does the same.
    form.Edit1->setFocus();
    QTRY_VERIFY(form.Edit1->hasFocus());
    QTest::keyClick(started.window(), Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(!form.Edit1->hasFocus());
}

void MainFormGLTest::applyTakesHeightAndFocus()
{
    StartedForm started;
    TForm1& form = *started.form;
    const GLuint oldTexture = form.world.opticalDepthTexture;
    form.Edit1->setFocus();
    form.Edit1->setText(QStringLiteral("50000"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(form.world.atmosphereHeight, 50000.0f);
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
    // The table was rebuilt: the old texture is gone, a new one is there.
    form.Panel1->makeCurrent();
    QVERIFY(glIsTexture(form.world.opticalDepthTexture));
    QVERIFY(form.world.opticalDepthTexture == oldTexture || !glIsTexture(oldTexture));
    QVERIFY(!form.Edit1->hasFocus());
    QVERIFY(!form.Button1->hasFocus());
    VERIFY_NO_GL_ERROR();
}

void MainFormGLTest::applyRejects_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("abc") << "abc"
                         << "'abc' is not a valid floating point value";
    QTest::newRow("empty") << ""
                           << "'' is not a valid floating point value";
    QTest::newRow("1,5") << "1,5"
                         << "'1,5' is not a valid floating point value";
    const QString range = QStringLiteral("greater than 0 and at most");
    QTest::newRow("0") << "0" << range;
    QTest::newRow("-1") << "-1" << range;
    QTest::newRow("nan") << "nan" << range;
    QTest::newRow("inf") << "inf" << range;
    QTest::newRow("1e39") << "1e39" << range;
}

void MainFormGLTest::applyRejects()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    StartedForm started;
    TForm1& form = *started.form;
    const GLuint texture = form.world.opticalDepthTexture;
    form.Edit1->setFocus();
    QTRY_VERIFY(form.Edit1->hasFocus());
    form.Edit1->setText(text);
    // Applied through the button's wiring, as a click does, so the error takes the shown path.
    form.Button1->click();
    QCOMPARE(started.errors.size(), 1);
    QVERIFY2(started.errors.first().contains(message), qPrintable(started.errors.first()));
    QCOMPARE(form.world.atmosphereHeight, 100000.0f);
    QCOMPARE(form.world.opticalDepthTexture, texture);
    QVERIFY(form.Edit1->hasFocus());
    // The program goes on: a frame still draws.
    form.TimerForDrawingTimer();
    VERIFY_NO_GL_ERROR();
}

void MainFormGLTest::frameMovesAndTurns()
{
    StartedForm started;
    TForm1& form = *started.form;
    Camera& camera = form.camera;
    camera.setAngles(0.0, 0.0, 0.0); // forward +x, up +y, right +z
    const Vec3d start = camera.position;
    const double s = double(0.3f);

    form.KeyState[vk::Up] = true;
    form.KeyState[vk::Space] = true;
    form.KeyState[vk::Right] = true;
    form.TimerForDrawingTimer();
    QVERIFY(nearVec(camera.position, start.x + s, start.y + s, start.z + s));

    // Opposite keys cancel, for moves and for turns.
    form.KeyState[vk::Down] = form.KeyState[vk::Control] = form.KeyState[vk::Left] = true;
    for (char a : {'D', 'A', 'W', 'S', 'E', 'Q'})
        form.KeyState[vk::letter(a)] = true;
    const Vec3d held = camera.position;
    form.TimerForDrawingTimer();
    QVERIFY(nearVec(camera.position, held.x, held.y, held.z));
    QCOMPARE(camera.yaw, 0.0);
    QCOMPARE(camera.pitch, 0.0);
    QCOMPARE(camera.roll, 0.0);

    // One degree per frame for each held turn key.
    for (std::uint16_t key : {vk::Up, vk::Down, vk::Space, vk::Control, vk::Right, vk::Left})
        form.KeyState[key] = false;
    form.KeyState[vk::letter('A')] = form.KeyState[vk::letter('S')] = form.KeyState[vk::letter('Q')] = false;
    form.TimerForDrawingTimer();
    QCOMPARE(camera.yaw, 1.0);
    QCOMPARE(camera.pitch, 1.0);
    QCOMPARE(camera.roll, 1.0);
    VERIFY_NO_GL_ERROR();
}

void MainFormGLTest::horizontalModeIgnoresSpaceAndCtrl()
{
    StartedForm started;
    TForm1& form = *started.form;
    Camera& camera = form.camera;
    camera.setAngles(90.0, 30.0, 0.0); // yaw 90: heading +z, whatever the pitch
    form.horizontalMove = true;
    const Vec3d start = camera.position;
    form.KeyState[vk::Space] = true;
    form.TimerForDrawingTimer();
    QVERIFY(nearVec(camera.position, start.x, start.y, start.z));
    form.KeyState[vk::Space] = false;
    form.KeyState[vk::Up] = true;
    form.TimerForDrawingTimer();
    QVERIFY(nearVec(camera.position, start.x, start.y, start.z + double(0.3f), 1e-9));
}

void MainFormGLTest::frameSetsLookAt()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.camera.setAngles(40.0, -10.0, 5.0);
    form.TimerForDrawingTimer();
    GLdouble afterFrame[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, afterFrame);
    const Camera& c = form.camera;
    glPushMatrix();
    glLoadIdentity();
    gluLookAt(c.position.x, c.position.y, c.position.z, c.target.x, c.target.y, c.target.z, c.up.x, c.up.y, c.up.z);
    GLdouble expected[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, expected);
    glPopMatrix();
    for (int i = 0; i < 16; ++i)
        QVERIFY2(std::fabs(afterFrame[i] - expected[i]) < 1e-5, qPrintable(QString::number(i)));
    QCOMPARE(integerState(GL_MATRIX_MODE), GL_MODELVIEW);
}

void MainFormGLTest::frameRateReadOut()
{
    StartedForm started;
    TForm1& form = *started.form;
    std::uint32_t now = 0;
    form.tickCount = [&now] { return now; };
    // Across the counter's wrap: 500 ms for 250 frames.
    form.lastTick = 0xFFFFFF0Cu;
    now = 0x00000100u;
    form.frameCount = 250;
    form.TimerForFPSTimer();
    QCOMPARE(form.Panel2->text(), QStringLiteral("FPS: 500"));
    // The seconds are single precision: 0.512 s is stored as 0.51200002, so 256 frames in
    // 512 ms read 499.99998, truncated to 499.
    form.lastTick = now;
    now += 512;
    form.frameCount = 256;
    form.TimerForFPSTimer();
    QCOMPARE(form.Panel2->text(), QStringLiteral("FPS: 499"));
    QCOMPARE(form.frameCount, 0u);
    QCOMPARE(form.lastTick, now);
    // No millisecond passed: 0.001 s is used, as the float 0.0010000000475, so 3 frames read
    // 2999.99986, truncated.
    form.frameCount = 3;
    form.TimerForFPSTimer();
    QCOMPARE(form.Panel2->text(), QStringLiteral("FPS: 2999"));
    // The rate is truncated: 10 frames in 3 ms.
    now += 3;
    form.frameCount = 10;
    form.TimerForFPSTimer();
    QCOMPARE(form.Panel2->text(), QStringLiteral("FPS: 3333"));
}

void MainFormGLTest::tickCounterRuns()
{
    const std::uint32_t before = platformTickCount();
    QTest::qWait(60);
    const std::uint32_t elapsed = platformTickCount() - before;
    QVERIFY2(elapsed >= 50 && elapsed < 5000, qPrintable(QString::number(elapsed)));
}

void MainFormGLTest::timeReadOut()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.world.setHour(5.999f);
    form.TimerBigBenTimer();
    QCOMPARE(form.Panel3->text(), QStringLiteral("Time: 6")); // 5.999 + 0.005
    QCOMPARE(form.world.hour, 5.999f + 0.005f);
    // Frozen: the read-out keeps refreshing, the hour stands still.
    QTest::keyClick(started.window(), Qt::Key_T);
    const float frozen = form.world.hour;
    form.Panel3->setText(QString());
    form.TimerBigBenTimer();
    QCOMPARE(form.world.hour, frozen);
    QCOMPARE(form.Panel3->text(), QStringLiteral("Time: 6"));
    QTest::keyClick(started.window(), Qt::Key_T);
    // P held: 0.205 hours per tick.
    form.world.setHour(10.0f);
    QTest::keyPress(started.window(), Qt::Key_P);
    form.TimerBigBenTimer();
    QCOMPARE(form.world.hour, 10.0f + float(0.2 + double(0.005f)));
    QTest::keyRelease(started.window(), Qt::Key_P);
    form.TimerBigBenTimer();
    QCOMPARE(form.world.hour, 10.0f + float(0.2 + double(0.005f)) + 0.005f);
    QCOMPARE(form.Panel3->text(), QStringLiteral("Time: 10"));
}

void MainFormGLTest::handlerErrorsAreShownOnceAndTimersGoOn()
{
    StartedForm started(StartedForm::TimersRunning);
    TForm1& form = *started.form;
    int shown = 0;
    bool stacked = false;
    float hourWhileShowing = 0.0f;
    form.showError = [&](const QString& message) {
        const int before = ++shown;
        started.errors << message;
        // A modal box runs an event loop: the timers go on (and fail) underneath it.
        const float hour = form.world.hour;
        QTest::qWait(200);
        hourWhileShowing = form.world.hour - hour;
        stacked = stacked || shown != before;
    };
    // An orbit around the bump with no minimum distance makes every frame fail.
    form.bumpRadius = 0;
    form.camera.enterOrbit(form.bumpApex, 3.0);
    QTRY_VERIFY(shown >= 1);
    QVERIFY(hourWhileShowing > 0.0f);
    QVERIFY(started.errors.first().contains(QStringLiteral("greater than 0")));
    // After the first box is closed, the next failure is shown again: one box at a time.
    QTRY_VERIFY(shown >= 2);
    QVERIFY(!stacked);
    QVERIFY(form.TimerForDrawing->isActive());
    QVERIFY(form.TimerBigBen->isActive());
    form.bumpRadius = 3;
    form.TimerForDrawing->stop();
    form.TimerBigBen->stop();
    form.TimerForFPS->stop();
}

void MainFormGLTest::escapeCloses()
{
    StartedForm started;
    QVERIFY(started.form->isVisible());
    QTest::keyClick(started.window(), Qt::Key_Escape);
    QVERIFY(!started.form->isVisible());
}

void MainFormGLTest::closeBoxCloses()
{
    StartedForm started;
    // The close box asks the window to close, as Esc does.
    QCloseEvent closeEvent;
    QCoreApplication::sendEvent(started.window(), &closeEvent);
    QVERIFY(!started.form->isVisible());
}

void MainFormGLTest::windowWithoutContextEnds()
{
    // No context from the first show (an OpenVG one, which no GL platform makes), or the one
    // it had lost later: the failure and the advice are shown once, the timers stop and the
    // window closes; the start-up and the clock's GL work never run on no context.
    const auto expectEnded = [](TForm1& form, const QStringList& errors, const char* says) {
        QTRY_VERIFY(!form.isVisible());
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(QLatin1String(says)) &&
                     errors.first().endsWith(QLatin1String(kNoScreenAdvice)),
                 qPrintable(errors.first()));
        QVERIFY(!form.TimerForDrawing->isActive() && !form.TimerBigBen->isActive() && !form.TimerForFPS->isActive());
    };
    {
        QDir::setCurrent(assetsFolder());
        TForm1 form;
        QStringList errors;
        form.showError = [&errors](const QString& message) { errors << message; };
        QSurfaceFormat format = viewSurfaceFormat();
        format.setRenderableType(QSurfaceFormat::OpenVG);
        form.Panel1->setFormat(format);
        form.show();
        expectEnded(form, errors, "could not create the view's OpenGL context");
        QVERIFY(!form.started());
        QVERIFY(!form.worldReady && !form.landscapeBuilt);
    }
    {
        StartedForm started;
        TForm1& form = *started.form;
        const float hour = form.world.hour;
        form.Panel1->nativeSurface()->destroy();
        form.runHandler([&form] { form.advanceClock(1.0f); });
        form.runHandler([&form] { form.advanceClock(1.0f); });
        expectEnded(form, started.errors, "could not be made current");
        QCOMPARE(form.world.hour, hour);
    }
}

QTEST_MAIN(MainFormGLTest)
#include "MainFormGLTest.moc"
