// Sky and sun rendering on a real context: light 0 and the fog colour that follow the sun,
// the GL state and matrix the render leaves, and the sky and sun as llvmpipe draws them.

#include "World.h"
#include "WorldGlSupport.h"

#include <GL/glu.h>
#include <QImage>
#include <memory>

namespace {

constexpr int kPanelSize = 255; // odd, so the centre pixel lies exactly on the view axis
constexpr int kCentre = kPanelSize / 2;
constexpr double kDegrees = 0.017453292519943295;

// A sun matrix turned about z so that the sun direction is (-sin, height, 0) with the given
// height: element 5 is the height.
void placeSun(TWorld& world, float height)
{
    const float c = height;
    const float s = float(std::sqrt(1.0 - double(height) * height));
    const float m[16] = {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::copy(m, m + 16, world.sunMatrix);
}

void lookAlong(double x, double y, double z, double upX, double upY, double upZ)
{
    beginFrame();
    gluLookAt(0.0, 0.0, 0.0, x, y, z, upX, upY, upZ);
}

// Saves the frame for inspection and returns the message of a failed pixel check; only called
// once a check has failed (see VERIFY_PIXEL).
QString pixelFailure(const QImage& image, const QString& name, const QString& detail)
{
    const QString file = testOutputFolder() + "/" + name + ".png";
    image.convertToFormat(QImage::Format_RGB32).save(file);
    return detail + " (frame written to " + file + ")";
}

#define VERIFY_PIXEL(condition, image, name, detail)                                                                   \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            QFAIL(qPrintable(pixelFailure(image, name, detail)));                                                      \
    } while (0)

struct Rgb {
    int r, g, b;
};

Rgb pixel(const QImage& image, int x, int yFromBottom)
{
    const QRgb p = image.pixel(x, image.height() - 1 - yFromBottom);
    return {qRed(p), qGreen(p), qBlue(p)};
}

bool near(const Rgb& actual, const Rgb& expected, int tolerance)
{
    return std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
           std::abs(actual.b - expected.b) <= tolerance;
}

QString text(const Rgb& c)
{
    return QString("(%1, %2, %3)").arg(c.r).arg(c.g).arg(c.b);
}

} // namespace

class SkyRenderGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void lightAndFogFollowSun_data();
    void lightAndFogFollowSun();
    void lightDirectionFollowsCamera();
    void stateAndMatrixAfterRender_data();
    void stateAndMatrixAfterRender();
    void skyHorizonAndZenith();
    void sunAndHalo();

private:
    std::unique_ptr<GlTestPanel> panel_;
    std::unique_ptr<TWorld> world_;
};

void SkyRenderGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>(kPanelSize, kPanelSize);
    setUpViewerState(*panel_);
    // The window's start-up.
    world_ = std::make_unique<TWorld>();
    world_->setHour(5.0f);
    world_->atmosphereHeight = 100000.0f;
    world_->sunAngle = 2.0f;
    world_->haloAngle = 22.0f;
    world_->init();
    VERIFY_NO_GL_ERROR();
}

void SkyRenderGLTest::init()
{
    panel_->makeCurrent();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void SkyRenderGLTest::cleanupTestCase()
{
    panel_->makeCurrent();
    world_.reset();
    panel_.reset();
}

void SkyRenderGLTest::lightAndFogFollowSun_data()
{
    QTest::addColumn<float>("height");
    QTest::addColumn<QVector<double>>("diffuse");
    QTest::addColumn<QVector<double>>("ambient");
    QTest::addColumn<QVector<double>>("fog");
    QTest::addColumn<double>("tolerance");
    QTest::addRow("below horizon") << -0.3f << QVector<double>{1, 0.5, 0.2} << QVector<double>{0, 0, 0}
                                   << QVector<double>{0, 0, 0} << 1e-6;
    QTest::addRow("zenith") << 1.0f << QVector<double>{1, 0.9559, 0.9294} << QVector<double>{0, 0.0441, 0.0706}
                            << QVector<double>{1, 0.9559, 0.9294} << 0.00006;
    QTest::addRow("noon of day 0") << 0.4498f << QVector<double>{1, 0.9047, 0.8476}
                                   << QVector<double>{0, 0.0429, 0.0686} << QVector<double>{0.4498, 0.4069, 0.3812}
                                   << 0.00006;
}

void SkyRenderGLTest::lightAndFogFollowSun()
{
    QFETCH(float, height);
    QFETCH(QVector<double>, diffuse);
    QFETCH(QVector<double>, ambient);
    QFETCH(QVector<double>, fog);
    QFETCH(double, tolerance);

    placeSun(*world_, height);
    beginFrame();
    world_->render();
    VERIFY_NO_GL_ERROR();

    GLfloat lightDiffuse[4], lightAmbient[4], fogColour[4], position[4];
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    glGetFloatv(GL_FOG_COLOR, fogColour);
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    const SunLight expected = computeSunLight(height, world_->planetRadius, world_->atmosphereHeight, world_->sunColour,
                                              world_->scattering);
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(std::fabs(lightDiffuse[i] - diffuse[i]) <= tolerance,
                 qPrintable(QString("diffuse %1: %2").arg(i).arg(double(lightDiffuse[i]))));
        QVERIFY2(std::fabs(lightAmbient[i] - ambient[i]) <= tolerance,
                 qPrintable(QString("ambient %1: %2").arg(i).arg(double(lightAmbient[i]))));
        QVERIFY2(std::fabs(fogColour[i] - fog[i]) <= tolerance,
                 qPrintable(QString("fog %1: %2").arg(i).arg(double(fogColour[i]))));
        QCOMPARE(lightDiffuse[i], expected.transmitted[i]);
        QCOMPARE(lightAmbient[i], expected.ambient[i]);
        QCOMPARE(fogColour[i], expected.fogColour[i]);
    }
    QCOMPARE(lightDiffuse[3], 1.0f);
    QCOMPARE(lightAmbient[3], 1.0f);
    QCOMPARE(fogColour[3], 1.0f);
    // A directional light along the sun direction (the camera is the identity here).
    QVERIFY(std::fabs(position[0] - world_->sunMatrix[4]) < 1e-6f);
    QVERIFY(std::fabs(position[1] - world_->sunMatrix[5]) < 1e-6f);
    QVERIFY(std::fabs(position[2] - world_->sunMatrix[6]) < 1e-6f);
    QCOMPARE(position[3], 0.0f);
}

void SkyRenderGLTest::lightDirectionFollowsCamera()
{
    world_->setHour(12.0f);
    beginFrame();
    gluLookAt(5.0, 2.0, 3.0, 7.0, 2.5, 4.0, 0.0, 1.0, 0.0);
    const std::array<GLfloat, 16> view = modelviewMatrix();
    world_->render();
    VERIFY_NO_GL_ERROR();
    GLfloat position[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    // Eye coordinates: the camera's rotation applied to the sun direction.
    const float* d = world_->sunMatrix + 4;
    for (int row = 0; row < 3; ++row) {
        const double expected = double(view[std::size_t(row)]) * d[0] + double(view[4 + std::size_t(row)]) * d[1] +
                                double(view[8 + std::size_t(row)]) * d[2];
        QVERIFY2(std::fabs(position[row] - expected) < 1e-5,
                 qPrintable(QString("row %1: %2 vs %3").arg(row).arg(double(position[row])).arg(expected)));
    }
    QCOMPARE(position[3], 0.0f);
    GLfloat spot[3];
    glGetLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spot);
    QCOMPARE(spot[0], 0.0f);
    QCOMPARE(spot[1], 0.0f);
    QCOMPARE(spot[2], 0.0f);
}

void SkyRenderGLTest::stateAndMatrixAfterRender_data()
{
    QTest::addColumn<bool>("scrambled");
    QTest::addRow("from the baseline") << false;
    QTest::addRow("from everything switched the other way") << true;
}

void SkyRenderGLTest::stateAndMatrixAfterRender()
{
    QFETCH(bool, scrambled);
    if (scrambled) {
        for (GLenum cap : {GL_DEPTH_TEST, GL_ALPHA_TEST, GL_LIGHTING, GL_CULL_FACE, GL_COLOR_MATERIAL, GL_FOG,
                           GL_TEXTURE_2D, GL_BLEND})
            glDisable(cap);
        glEnable(GL_TEXTURE_1D);
        glDepthMask(GL_FALSE);
    }
    world_->setHour(10.0f);
    beginFrame();
    gluLookAt(12.0, 3.0, -4.0, 20.0, 1.0, 6.0, 0.0, 1.0, 0.0);
    glRotatef(10.0f, 0.3f, 0.4f, 0.5f);
    const std::array<GLfloat, 16> before = modelviewMatrix();
    const GLint depthBefore = integerState(GL_MODELVIEW_STACK_DEPTH);

    world_->render();
    VERIFY_NO_GL_ERROR();

    const std::array<GLfloat, 16> after = modelviewMatrix();
    for (int i = 0; i < 16; ++i)
        QCOMPARE(after[std::size_t(i)], before[std::size_t(i)]);
    QCOMPARE(integerState(GL_MATRIX_MODE), GLint(GL_MODELVIEW));
    QCOMPARE(integerState(GL_MODELVIEW_STACK_DEPTH), depthBefore);

    for (GLenum cap :
         {GL_DEPTH_TEST, GL_ALPHA_TEST, GL_LIGHTING, GL_CULL_FACE, GL_COLOR_MATERIAL, GL_FOG, GL_TEXTURE_2D, GL_BLEND})
        QVERIFY2(glIsEnabled(cap), qPrintable(QString("capability 0x%1 disabled").arg(cap, 0, 16)));
    QVERIFY(!glIsEnabled(GL_TEXTURE_1D));
    GLboolean depthMask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    QCOMPARE(depthMask, GLboolean(GL_TRUE));
    QCOMPARE(integerState(GL_TEXTURE_BINDING_2D), GLint(world_->opticalDepthTexture));
    QCOMPARE(integerState(GL_TEXTURE_BINDING_1D), GLint(world_->haloTexture));
    // The states the render does not own are as the baseline left them.
    QVERIFY(glIsEnabled(GL_LIGHT0));
    QCOMPARE(integerState(GL_DEPTH_FUNC), GLint(GL_LEQUAL));
    QCOMPARE(integerState(GL_BLEND_SRC), GLint(GL_SRC_ALPHA));
    QCOMPARE(integerState(GL_BLEND_DST), GLint(GL_ONE_MINUS_SRC_ALPHA));
    VERIFY_NO_GL_ERROR();
}

void SkyRenderGLTest::skyHorizonAndZenith()
{
    // The sun behind the camera (height 0.5, towards -x), looking along +x at the horizon.
    placeSun(*world_, 0.5f);
    lookAlong(1.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    world_->render();
    glFinish();
    VERIFY_NO_GL_ERROR();
    const QImage horizonView = panel_->readPixels();

    std::vector<float> table(kOpticalDepthEntries);
    world_->computeOpticalDepth(table.data());
    const float3 scattering = world_->scattering;
    auto skyColour = [&](double opticalDepth) {
        return Rgb{int(std::lround(scattering.x * opticalDepth * 255.0)),
                   int(std::lround(scattering.y * opticalDepth * 255.0)),
                   int(std::lround(scattering.z * opticalDepth * 255.0))};
    };

    // At the horizon the optical depth is 1: the pixel is the scattering colour itself.
    const Rgb horizon = pixel(horizonView, kCentre, kCentre);
    VERIFY_PIXEL(near(horizon, skyColour(1.0), 3), horizonView, "sky-horizon", "horizon " + text(horizon));
    // Scattering has no red: no pixel of the sky has any.
    for (int y = 0; y < horizonView.height(); ++y)
        for (int x = 0; x < horizonView.width(); ++x)
            VERIFY_PIXEL(qRed(horizonView.pixel(x, y)) == 0, horizonView, "sky-horizon",
                         QString("red at (%1, %2)").arg(x).arg(y));
    // The sky darkens upwards from the horizon and mirrors below it.
    int previous = horizon.b;
    for (int d = 16; d <= kCentre; d += 16) {
        const Rgb above = pixel(horizonView, kCentre, kCentre + d);
        const Rgb below = pixel(horizonView, kCentre, kCentre - d);
        VERIFY_PIXEL(above.b < previous, horizonView, "sky-horizon", QString("row +%1: %2").arg(d).arg(text(above)));
        VERIFY_PIXEL(near(above, below, 1), horizonView, "sky-horizon",
                     QString("+-%1: %2 vs %3").arg(d).arg(text(above)).arg(text(below)));
        previous = above.b;
    }

    // Straight up: the zenith value of the table, far darker than the horizon.
    lookAlong(0.0, 1.0, 0.0, 1.0, 0.0, 0.0);
    world_->render();
    glFinish();
    VERIFY_NO_GL_ERROR();
    const QImage zenithView = panel_->readPixels();
    const Rgb zenith = pixel(zenithView, kCentre, kCentre);
    VERIFY_PIXEL(near(zenith, skyColour(table[0]), 3), zenithView, "sky-zenith",
                 "zenith " + text(zenith) + " expected " + text(skyColour(table[0])));
    QVERIFY(zenith.g * 5 < horizon.g);
    QVERIFY(zenith.b * 5 < horizon.b);

    // The sky is drawn around the eye wherever it stands: far from the origin the same view
    // along +x gives the same frame.
    beginFrame();
    gluLookAt(300.0, 40.0, -250.0, 301.0, 40.0, -250.0, 0.0, 1.0, 0.0);
    world_->render();
    glFinish();
    VERIFY_NO_GL_ERROR();
    const QImage movedView = panel_->readPixels();
    for (int d = -kCentre; d <= kCentre; d += 8) {
        const Rgb moved = pixel(movedView, kCentre, kCentre + d);
        const Rgb atOrigin = pixel(horizonView, kCentre, kCentre + d);
        VERIFY_PIXEL(near(moved, atOrigin, 1), movedView, "sky-moved-eye",
                     QString("row %1: %2 vs %3 at the origin").arg(kCentre + d).arg(text(moved)).arg(text(atOrigin)));
    }
}

void SkyRenderGLTest::sunAndHalo()
{
    // The sun at 30 degrees elevation towards +x, looked at straight on.
    placeSun(*world_, 0.5f);
    const double sx = -world_->sunMatrix[4];
    QVERIFY(sx > 0.0);
    lookAlong(world_->sunMatrix[4], world_->sunMatrix[5], world_->sunMatrix[6], 0.0, 1.0, 0.0);
    world_->render();
    glFinish();
    VERIFY_NO_GL_ERROR();
    const QImage image = panel_->readPixels();

    // The disc: opaque sun colour at its centre.
    const Rgb centre = pixel(image, kCentre, kCentre);
    VERIFY_PIXEL(near(centre, Rgb{255, 255, 255}, 2), image, "sun", "centre " + text(centre));

    // The halo along the row to the right, which follows one of the fan's spokes. Its red comes
    // from the halo alone (the sky has none): 255 * (1 - t)^2, where t runs from 0 at the disc's
    // rim to k at the halo's rim, linear in the radius on the cone.
    const SunLight light = computeSunLight(0.5f, world_->planetRadius, world_->atmosphereHeight, world_->sunColour,
                                           world_->scattering);
    auto rim = [](double degrees) {
        const double t = degrees * kDegrees;
        return std::sin(t) / (1.0 + std::sin(t) + std::cos(t));
    };
    const double a = rim(2.0);
    const double b = rim(22.0);
    const double halfHeight = std::tan(22.5 * kDegrees);
    auto expectedRed = [&](double d) {
        // The ray through a point d pixels right of the view axis meets the cone, on which
        // lateral + axial distance = 1.
        const double slope = (2.0 * d / kPanelSize) * halfHeight;
        const double r = slope / (1.0 + slope);
        const double t = std::min(1.0, light.haloExtent * (r - a) / (b - a));
        return 255.0 * (1.0 - t) * (1.0 - t);
    };
    int previous = 256;
    bool reachedEdge = false;
    for (int d = 9; d < kCentre; d += 3) {
        const Rgb p = pixel(image, kCentre + d, kCentre);
        // Rasterisation and mipmap filtering may shift the ramp by up to half a pixel: the red
        // must lie between the model's values half a pixel either side, give or take 3 steps.
        const double inner = expectedRed(d - 0.5);
        const double outer = expectedRed(d + 0.5);
        VERIFY_PIXEL(p.r >= outer - 3.0 && p.r <= inner + 3.0, image, "sun",
                     QString("halo at +%1 px: %2, red expected %3 to %4").arg(d).arg(text(p)).arg(outer).arg(inner));
        // Fading outward until nothing is left.
        VERIFY_PIXEL(p.r < previous || p.r == 0, image, "sun", QString("halo at +%1 px: %2").arg(d).arg(text(p)));
        previous = p.r;
        reachedEdge = reachedEdge || p.r == 0;
    }
    QVERIFY(reachedEdge);
    // The other directions fade the same way.
    for (int d : {15, 30, 45}) {
        const int r = pixel(image, kCentre + d, kCentre).r;
        QVERIFY(std::abs(pixel(image, kCentre - d, kCentre).r - r) <= 2);
        QVERIFY(std::abs(pixel(image, kCentre, kCentre + d).r - r) <= 2);
        QVERIFY(std::abs(pixel(image, kCentre, kCentre - d).r - r) <= 2);
    }
}

QTEST_MAIN(SkyRenderGLTest)
#include "SkyRenderGLTest.moc"
