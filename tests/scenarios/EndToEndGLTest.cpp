// The whole program as a user meets it: the real window and start-up with the shipped
// textures, frames and time driven through the window's own handlers (so every run is the
// same), checked from the pictures it draws and from its live objects.

#include "GlTestPanel.h"
#include "GlView.h"
#include "ImageCompare.h"
#include "KeyCodes.h"
#include "StartedForm.h"
#include "WanderingBump.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <array>
#include <cmath>

namespace {

// The scene away from the panels: the upper band is sky (left of where the morning sun
// stands), the lower band ground.
const QRect kSkyBand(120, 10, 560, 180);
const QRect kGroundBand(0, 520, 1012, 90);

struct RegionStats {
    double red = 0, green = 0, blue = 0; // means, 0..255
    double spread = 0;                   // standard deviation of the brightness
    int clearPixels = 0;                 // pixels still at the clear colour (black)
};

RegionStats statsOf(const QImage& image, const QRect& region)
{
    RegionStats s;
    double sum2 = 0;
    int n = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            s.red += qRed(p);
            s.green += qGreen(p);
            s.blue += qBlue(p);
            const double brightness = (qRed(p) + qGreen(p) + qBlue(p)) / 3.0;
            sum2 += brightness * brightness;
            if (qRed(p) == 0 && qGreen(p) == 0 && qBlue(p) == 0)
                ++s.clearPixels;
            ++n;
        }
    s.red /= n;
    s.green /= n;
    s.blue /= n;
    const double mean = (s.red + s.green + s.blue) / 3.0;
    s.spread = std::sqrt(std::max(0.0, sum2 / n - mean * mean));
    return s;
}

void drawFrames(TForm1& form, int count)
{
    for (int i = 0; i < count; ++i)
        form.TimerForDrawingTimer();
}

// A morning with the sun up behind the viewer's left shoulder: sky and ground both lit.
void setDaylight(TForm1& form, float hour = 10.0f)
{
    form.Panel1->makeCurrent();
    form.world.setHour(hour);
}

std::array<GLfloat, 4> lightColour(GLenum which)
{
    std::array<GLfloat, 4> v{};
    glGetLightfv(GL_LIGHT0, which, v.data());
    return v;
}

std::array<GLfloat, 4> fogColour()
{
    std::array<GLfloat, 4> v{};
    glGetFloatv(GL_FOG_COLOR, v.data());
    return v;
}

} // namespace

class EndToEndGLTest : public QObject {
    Q_OBJECT
private slots:
    void readOutsAfterStartUp();
    void picture();
    void flying();
    void orbit();
    void time();
    void night();
    void sliderAndApply();
    void skyHidden();
};

void EndToEndGLTest::readOutsAfterStartUp()
{
    StartedForm started;
    TForm1& form = *started.form;
    drawFrames(form, 5);
    form.TimerBigBenTimer();
    form.TimerForFPSTimer();
    QVERIFY2(QRegularExpression(QStringLiteral("^FPS: \\d+$")).match(form.Panel2->text()).hasMatch(),
             qPrintable(form.Panel2->text()));
    QCOMPARE(form.Panel3->text(), QStringLiteral("Time: 5"));
    QCOMPARE(form.TrackBar1->value(), 0);
    QCOMPARE(form.TrackBar2->value(), 50);
    QCOMPARE(form.TrackBar3->value(), 80);
    QCOMPARE(form.Label4->text(), QStringLiteral("0%"));
    QCOMPARE(form.Label5->text(), QStringLiteral("50%"));
    QCOMPARE(form.Label6->text(), QStringLiteral("80%"));
    QCOMPARE(form.Edit1->text(), QStringLiteral("100000"));
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
}

void EndToEndGLTest::picture()
{
    StartedForm started;
    TForm1& form = *started.form;
    setDaylight(form);
    drawFrames(form, 3);
    const QImage frame = form.Panel1->readFramebuffer();
    QCOMPARE(frame.size(), QSize(1012, 614));

    // Sky above: blue from the default strengths (no red scattering), never the clear colour.
    const RegionStats sky = statsOf(frame, kSkyBand);
    QCOMPARE(sky.clearPixels, 0);
    QVERIFY2(sky.blue > sky.green && sky.green > sky.red, qPrintable(QString::number(sky.blue)));
    QCOMPARE(sky.red, 0.0);
    // Ground below: lit, textured (its brightness varies), never the clear colour.
    const RegionStats ground = statsOf(frame, kGroundBand);
    QCOMPARE(ground.clearPixels, 0);
    QVERIFY2(ground.red + ground.green + ground.blue > 60.0, qPrintable(QString::number(ground.red)));
    QVERIFY2(ground.spread > 4.0, qPrintable(QString::number(ground.spread)));

    // The window as the user sees it: the same scene, the panels over the top-left corner.
    const QImage window = grabWindowImage(form);
    QCOMPARE(window.size(), QSize(1012, 614));
    const QColor panelColour = form.Panel4->palette().window().color();
    QCOMPARE(QColor(window.pixel(29, 150)), panelColour); // inside Panel4, between two bars
    QVERIFY(window.pixel(500, 100) == frame.pixel(500, 100));
    QVERIFY(window.pixel(700, 580) == frame.pixel(700, 580));
    if (QTest::currentTestFailed()) {
        frame.save(testOutputFolder() + QStringLiteral("/end-to-end-frame.png"));
        window.save(testOutputFolder() + QStringLiteral("/end-to-end-window.png"));
    }
}

void EndToEndGLTest::flying()
{
    StartedForm started;
    TForm1& form = *started.form;
    setDaylight(form);
    drawFrames(form, 1);
    const QImage before = form.Panel1->readFramebuffer();
    const Vec3d start = form.camera.position;
    const Vec3d forward = form.camera.forward;
    const int frames = 20;
    QTest::keyPress(started.window(), Qt::Key_Up);
    drawFrames(form, frames);
    QTest::keyRelease(started.window(), Qt::Key_Up);
    const double distance = frames * double(0.3f);
    QVERIFY(std::fabs(form.camera.position.x - (start.x + forward.x * distance)) < 1e-9);
    QVERIFY(std::fabs(form.camera.position.y - (start.y + forward.y * distance)) < 1e-9);
    QVERIFY(std::fabs(form.camera.position.z - (start.z + forward.z * distance)) < 1e-9);
    const QImage after = form.Panel1->readFramebuffer();
    const double change = imageDifference(after, before).meanStep;
    QVERIFY2(change > 3.0, qPrintable(QString::number(change)));
}

void EndToEndGLTest::orbit()
{
    StartedForm started;
    TForm1& form = *started.form;
    drawFrames(form, 1); // the bump has an apex
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(form.camera.orbiting);
    for (int i = 0; i < 30; ++i) {
        form.TimerForDrawingTimer();
        const Camera& c = form.camera;
        QCOMPARE(c.target.x, form.bumpApex.x);
        QCOMPARE(c.target.y, form.bumpApex.y);
        QCOMPARE(c.target.z, form.bumpApex.z);
        const double dx = c.target.x - c.position.x, dy = c.target.y - c.position.y, dz = c.target.z - c.position.z;
        const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
        QVERIFY2(distance >= 3.0 - 1e-9, qPrintable(QString::number(distance)));
        // The eye looks along forward at the apex.
        QVERIFY(std::fabs(dx / distance - c.forward.x) < 1e-9);
        QVERIFY(std::fabs(dy / distance - c.forward.y) < 1e-9);
        QVERIFY(std::fabs(dz / distance - c.forward.z) < 1e-9);
    }
    // The bump wandered, and the orbit followed it.
    QVERIFY(form.bumpColumn != 10 || form.bumpRow != 10);
    QTest::keyClick(started.window(), Qt::Key_F);
    QVERIFY(!form.camera.orbiting);
}

void EndToEndGLTest::time()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.Panel1->makeCurrent();
    form.world.setHour(1.0f);
    for (int i = 0; i < 10; ++i)
        form.TimerBigBenTimer();
    const float normal = form.world.hour - 1.0f;
    QTest::keyPress(started.window(), Qt::Key_P);
    for (int i = 0; i < 10; ++i)
        form.TimerBigBenTimer();
    QTest::keyRelease(started.window(), Qt::Key_P);
    const float fast = form.world.hour - 1.0f - normal;
    QVERIFY(std::fabs(normal - 0.05f) < 1e-4f);
    QVERIFY(std::fabs(fast - 2.05f) < 1e-4f);
    QCOMPARE(form.Panel3->text(), QStringLiteral("Time: 3"));
    QTest::keyClick(started.window(), Qt::Key_T);
    const float frozen = form.world.hour;
    for (int i = 0; i < 10; ++i)
        form.TimerBigBenTimer();
    QCOMPARE(form.world.hour, frozen);
}

void EndToEndGLTest::night()
{
    StartedForm started;
    TForm1& form = *started.form;
    setDaylight(form, 12.0f);
    drawFrames(form, 1);
    const QImage noon = form.Panel1->readFramebuffer();
    setDaylight(form, 0.0f);
    drawFrames(form, 1);
    const QImage midnight = form.Panel1->readFramebuffer();
    // No sky light and no fog colour at night, and no sunlight reaches the ground.
    const auto fog = fogColour();
    const auto ambient = lightColour(GL_AMBIENT);
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(fog[c], 0.0f);
        QCOMPARE(ambient[c], 0.0f);
    }
    const RegionStats ground = statsOf(midnight, kGroundBand);
    QVERIFY2(ground.red + ground.green + ground.blue < 3.0, qPrintable(QString::number(ground.red)));
    // The sky itself does not follow the sun.
    const RegionStats skyNoon = statsOf(noon, kSkyBand);
    const RegionStats skyMidnight = statsOf(midnight, kSkyBand);
    QVERIFY(std::fabs(skyNoon.blue - skyMidnight.blue) < 1.0);
    QVERIFY(std::fabs(skyNoon.green - skyMidnight.green) < 1.0);
}

void EndToEndGLTest::sliderAndApply()
{
    StartedForm started;
    TForm1& form = *started.form;
    setDaylight(form);
    drawFrames(form, 1);
    const RegionStats skyBefore = statsOf(form.Panel1->readFramebuffer(), kSkyBand);
    const auto diffuseBefore = lightColour(GL_DIFFUSE);
    QCOMPARE(skyBefore.red, 0.0);

    form.TrackBar1->setValue(99);
    drawFrames(form, 1);
    const RegionStats redSky = statsOf(form.Panel1->readFramebuffer(), kSkyBand);
    QVERIFY2(redSky.red > 20.0, qPrintable(QString::number(redSky.red)));
    // Red scattered out of the sunlight.
    QVERIFY(lightColour(GL_DIFFUSE)[0] < diffuseBefore[0]);
    form.TrackBar1->setValue(0);

    // A thinner atmosphere lets more light through; the sky stays as it was.
    form.Edit1->setText(QStringLiteral("50000"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(form.world.atmosphereHeight, 50000.0f);
    drawFrames(form, 1);
    const auto diffuseThin = lightColour(GL_DIFFUSE);
    QVERIFY2(diffuseThin[2] > diffuseBefore[2], qPrintable(QString::number(diffuseThin[2])));
    const RegionStats skyThin = statsOf(form.Panel1->readFramebuffer(), kSkyBand);
    QVERIFY(std::fabs(skyThin.blue - skyBefore.blue) < 1.0);

    // Text that is no number: the exact message, nothing changed.
    form.Edit1->setText(QStringLiteral("abc"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(started.errors, QStringList{QStringLiteral("'abc' is not a valid floating point value")});
    QCOMPARE(form.world.atmosphereHeight, 50000.0f);
}

void EndToEndGLTest::skyHidden()
{
    StartedForm started;
    TForm1& form = *started.form;
    setDaylight(form);
    QTest::keyPress(started.window(), Qt::Key_K);
    drawFrames(form, 1);
    const RegionStats sky = statsOf(form.Panel1->readFramebuffer(), kSkyBand);
    QCOMPARE(sky.clearPixels, kSkyBand.width() * kSkyBand.height());
    QTest::keyRelease(started.window(), Qt::Key_K);
    drawFrames(form, 1);
    QCOMPARE(statsOf(form.Panel1->readFramebuffer(), kSkyBand).clearPixels, 0);
}

QTEST_MAIN(EndToEndGLTest)
#include "EndToEndGLTest.moc"
