// The physical sky on a real context: the GL state it leaves, light and fog from the model, the
// horizon without a seam, the drawn sky by day and night, the stars, and the tables' rebuilding.

#include "PhysicalSky.h"
#include "SkyDirections.h"
#include "StarField.h"
#include "World.h"
#include "WorldGlSupport.h"

#include <GL/glu.h>
#include <QImage>
#include <QScopeGuard>
#include <memory>
#include <utility>

namespace {

constexpr int kPanelSize = 255; // odd, so the centre pixel lies exactly on the view axis
constexpr int kCentre = kPanelSize / 2;

struct Pixel {
    int r, g, b;
};

Pixel pixel(const QImage& image, int x, int yFromBottom)
{
    const QRgb p = image.pixel(x, image.height() - 1 - yFromBottom);
    return {qRed(p), qGreen(p), qBlue(p)};
}

QString text(const Pixel& c)
{
    return QString("(%1, %2, %3)").arg(c.r).arg(c.g).arg(c.b);
}

// Saves the frame for inspection when a check on it fails.
QString saved(const QImage& image, const QString& name, const QString& detail)
{
    const QString file = testOutputFolder() + "/" + name + ".png";
    image.convertToFormat(QImage::Format_RGB32).save(file);
    return detail + " (frame written to " + file + ")";
}

#define VERIFY_FRAME(condition, image, name, detail)                                                                   \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            QFAIL(qPrintable(saved(image, name, detail)));                                                             \
    } while (0)

Vec3d sunDirection(const TWorld& world)
{
    return {world.sunMatrix[4], world.sunMatrix[5], world.sunMatrix[6]};
}

bool sameRgb(const Rgb& a, const Rgb& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

std::array<GLfloat, 4> floatState(GLenum name, GLenum light = 0)
{
    std::array<GLfloat, 4> v{};
    if (light)
        glGetLightfv(light, name, v.data());
    else
        glGetFloatv(name, v.data());
    return v;
}

} // namespace

class PhysicalSkyGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void stateAndMatrixAfterRender();
    void lightAndFogFollowTheSun();
    void fogMeetsTheHorizon();
    void horizonBandContinuesTheSky();
    void noonSunsetAndNight();
    void starsKeepTheirPlaceAboutTheSun();
    void starsFadeTowardTheHorizon();
    void tablesKeptUntilSomethingChanges();
    void rebuiltSkyEqualsAFreshOne();

private:
    void frame(double x, double y, double z);
    void settle();
    std::unique_ptr<GlTestPanel> panel_;
    std::unique_ptr<TWorld> world_;
    std::unique_ptr<PhysicalSky> sky_;
};

void PhysicalSkyGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>(kPanelSize, kPanelSize);
    setUpViewerState(*panel_);
    world_ = std::make_unique<TWorld>();
    world_->setHour(5.0f);
    setStartupWorldSettings(*world_);
    world_->init();
    sky_ = std::make_unique<PhysicalSky>();
    VERIFY_NO_GL_ERROR();
}

void PhysicalSkyGLTest::init()
{
    panel_->makeCurrent();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    world_->day = 0;
    world_->scattering = {0.0f, 0.5f, 0.8f};
    world_->atmosphereHeight = 100000.0f;
    settle(); // the settings a test before may have changed drawn again
}

void PhysicalSkyGLTest::cleanupTestCase()
{
    panel_->makeCurrent();
    world_.reset();
    panel_.reset();
}

void PhysicalSkyGLTest::frame(double x, double y, double z)
{
    beginFrame();
    gluLookAt(0.0, 0.0, 0.0, x, y, z, 0.0, 1.0, 0.0);
    sky_->render(*world_);
    glFinish();
}

// Frames until new settings are drawn.
void PhysicalSkyGLTest::settle()
{
    frame(1.0, 0.0, 0.0);
    for (int i = 0; sky_->rebuilding() && i < 10 * PhysicalSky::kRebuildSteps; ++i)
        frame(1.0, 0.0, 0.0);
    QVERIFY(!sky_->rebuilding());
}

void PhysicalSkyGLTest::stateAndMatrixAfterRender()
{
    // From everything switched the other way, at night (stars drawn) and by day.
    const GLenum onCaps[] = {GL_DEPTH_TEST,     GL_ALPHA_TEST, GL_LIGHTING,   GL_CULL_FACE,
                             GL_COLOR_MATERIAL, GL_FOG,        GL_TEXTURE_2D, GL_BLEND};
    for (const float hour : {1.0f, 12.0f}) {
        for (GLenum cap : onCaps)
            glDisable(cap);
        glEnable(GL_TEXTURE_1D);
        glDepthMask(GL_FALSE);
        world_->setHour(hour);
        beginFrame();
        gluLookAt(12.0, 3.0, -4.0, 20.0, 1.0, 6.0, 0.0, 1.0, 0.0);
        const std::array<GLfloat, 16> before = modelviewMatrix();
        const GLint depthBefore = integerState(GL_MODELVIEW_STACK_DEPTH);
        sky_->render(*world_);
        VERIFY_NO_GL_ERROR();
        QCOMPARE(modelviewMatrix(), before);
        QCOMPARE(integerState(GL_MODELVIEW_STACK_DEPTH), depthBefore);
        QCOMPARE(integerState(GL_MATRIX_MODE), GLint(GL_MODELVIEW));
        for (GLenum cap : onCaps)
            QVERIFY2(glIsEnabled(cap), qPrintable(QString("capability 0x%1 disabled").arg(cap, 0, 16)));
        for (GLenum cap : {GL_TEXTURE_1D, GL_CLIP_PLANE0, GL_VERTEX_ARRAY, GL_COLOR_ARRAY})
            QVERIFY2(!glIsEnabled(cap), qPrintable(QString("capability 0x%1 enabled").arg(cap, 0, 16)));
        GLboolean depthMask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
        QCOMPARE(depthMask, GLboolean(GL_TRUE));
        QCOMPARE(integerState(GL_TEXTURE_BINDING_2D), GLint(world_->opticalDepthTexture));
        QCOMPARE(integerState(GL_TEXTURE_BINDING_1D), GLint(world_->haloTexture));
        QCOMPARE(integerState(GL_BLEND_SRC), GLint(GL_SRC_ALPHA));
        QCOMPARE(integerState(GL_BLEND_DST), GLint(GL_ONE_MINUS_SRC_ALPHA));
        QCOMPARE(floatState(GL_POINT_SIZE)[0], 1.0f);
        QVERIFY(glIsEnabled(GL_LIGHT0));
    }
}

void PhysicalSkyGLTest::lightAndFogFollowTheSun()
{
    // Day 0 at latitude 40: noon (sun 26.7 degrees up), sunset's red light, and night's none.
    struct Case {
        float hour;
        const char* what;
    };
    const Case cases[] = {{12.0f, "noon"}, {16.3f, "sun low"}, {0.0f, "midnight"}};
    for (const Case& c : cases) {
        world_->setHour(c.hour);
        frame(1.0, 0.0, 0.0);
        const auto diffuse = floatState(GL_DIFFUSE, GL_LIGHT0);
        const auto ambient = floatState(GL_AMBIENT, GL_LIGHT0);
        const auto fog = floatState(GL_FOG_COLOR);
        const auto rgb = [](const std::array<GLfloat, 4>& v) {
            return QString("(%1, %2, %3)").arg(v[0]).arg(v[1]).arg(v[2]);
        };
        const QString detail = QString("%1: sun %2 deg, diffuse %3, ambient %4")
                                   .arg(c.what)
                                   .arg(sky_->sunElevationDegrees())
                                   .arg(rgb(diffuse), rgb(ambient));
        // GL holds what the model gave.
        QCOMPARE(diffuse[0], float(sky_->lightDiffuse().r));
        QCOMPARE(ambient[2], float(sky_->lightAmbient().b));
        QCOMPARE(fog[1], float(sky_->fogColour().g));
        if (c.hour == 12.0f) {
            QVERIFY2(diffuse[0] > 0.9f && diffuse[2] > 0.8f, qPrintable(detail));
            QVERIFY2(ambient[2] > ambient[0] && ambient[2] > 0.2f, qPrintable(detail)); // a blue sky's light
        } else if (c.hour == 16.3f) {
            QVERIFY2(sky_->sunElevationDegrees() > 0.0 && sky_->sunElevationDegrees() < 4.0, qPrintable(detail));
            QVERIFY2(diffuse[0] > diffuse[1] && diffuse[1] > diffuse[2], qPrintable(detail));
            QVERIFY2(diffuse[0] - diffuse[2] > 0.3f, qPrintable(detail));
        } else {
            QVERIFY2(diffuse[0] + diffuse[1] + diffuse[2] == 0.0f, qPrintable(detail));
            QVERIFY2(ambient[0] + ambient[1] + ambient[2] < 0.03f, qPrintable(detail));
            QVERIFY2(fog[0] + fog[1] + fog[2] < 0.03f, qPrintable(detail));
        }
    }
}

void PhysicalSkyGLTest::fogMeetsTheHorizon()
{
    // Looking level, the pixels just under the horizon show the dome's horizon colour in the view's
    // direction, which the fog colour must equal: the far ground fades into the sky there. At each
    // hour, towards the sun and away from it.
    for (const float hour : {8.0f, 12.0f, 16.3f, 16.9f}) {
        world_->setHour(hour);
        const Vec3d sun = sunDirection(*world_);
        for (const double side : {1.0, -1.0}) {
            frame(side * sun.x, 0.0, side * sun.z);
            const QImage image = panel_->readPixels();
            const auto fog = floatState(GL_FOG_COLOR);
            const Pixel below = pixel(image, kCentre, kCentre - 3);
            const Pixel expected{int(std::lround(fog[0] * 255.0f)), int(std::lround(fog[1] * 255.0f)),
                                 int(std::lround(fog[2] * 255.0f))};
            const QString detail =
                QString("hour %1 side %2: pixel %3, fog %4").arg(hour).arg(side).arg(text(below), text(expected));
            VERIFY_FRAME(std::abs(below.r - expected.r) <= 3 && std::abs(below.g - expected.g) <= 3 &&
                             std::abs(below.b - expected.b) <= 3,
                         image, "physical-fog-horizon", detail);
        }
    }
}

void PhysicalSkyGLTest::horizonBandContinuesTheSky()
{
    // Around sunset, level towards the sun (5 degrees beside it, off its disc), sideways and away:
    // through a 3-degree field (0.012 degrees a pixel, the horizon on the centre row) the band
    // under the horizon meets the sky with no step in colour (a pixel above against a pixel
    // below) and no crease in its gradient (the change over 12 pixels above against that over 12
    // below), each within 3 steps of 255: a crease reads as a line at the horizon.
    glView.setPerspective(3.0f, 50.0f);
    const auto restore = qScopeGuard([] { glView.setPerspective(45.0f, 50.0f); });
    for (const float hour : {16.3f, 16.6f, 16.9f}) {
        world_->setHour(hour);
        const Vec3d sun = sunDirection(*world_);
        for (const double away : {5.0, 45.0, 90.0, 180.0}) {
            const Vec3d view = direction(0.0, std::atan2(sun.z, sun.x) * 180.0 / kTestPi + away);
            frame(view.x, 0.0, view.z);
            const QImage image = panel_->readPixels();
            for (const int x : {kCentre, kCentre + 60}) {
                const auto at = [&](int dy) {
                    const Pixel c = pixel(image, x, kCentre + dy);
                    return std::array<int, 3>{c.r, c.g, c.b};
                };
                const auto u = at(12), p = at(1), h = at(0), q = at(-1), d = at(-12);
                const QString detail =
                    QString("hour %1, %2 degrees from the sun, column %3").arg(hour).arg(away).arg(x);
                for (int c = 0; c < 3; ++c) {
                    VERIFY_FRAME(std::abs(p[c] - q[c]) <= 3, image, "physical-horizon-step", detail);
                    VERIFY_FRAME(std::abs((u[c] - h[c]) - (h[c] - d[c])) <= 3, image, "physical-horizon-crease",
                                 detail);
                }
            }
        }
    }
}

void PhysicalSkyGLTest::noonSunsetAndNight()
{
    // Noon: overhead the sky is blue, darker than at the horizon.
    world_->setHour(12.0f);
    frame(0.0001, 1.0, 0.0);
    QImage image = panel_->readPixels();
    const Pixel zenith = pixel(image, kCentre, kCentre);
    VERIFY_FRAME(zenith.b > zenith.r + 40 && zenith.b > zenith.g, image, "physical-noon-zenith", text(zenith));
    frame(1.0, 0.0, 0.0);
    image = panel_->readPixels();
    const Pixel horizon = pixel(image, kCentre, kCentre + 3);
    VERIFY_FRAME(horizon.r + horizon.g + horizon.b > zenith.r + zenith.g + zenith.b, image, "physical-noon-horizon",
                 text(horizon) + " against the zenith's " + text(zenith));

    // Sunset: towards the sun, just over the horizon, red over blue.
    world_->setHour(16.3f);
    const Vec3d sun = sunDirection(*world_);
    frame(sun.x, 0.0, sun.z);
    image = panel_->readPixels();
    const Pixel west = pixel(image, kCentre, kCentre + 2);
    VERIFY_FRAME(west.r > west.b + 20, image, "physical-sunset", text(west));

    // Night: a black sky with stars. Looking up, most pixels are black and some are stars.
    world_->setHour(0.0f);
    frame(0.0001, 1.0, 0.0);
    image = panel_->readPixels();
    QCOMPARE(sky_->starVisibility(), 1.0);
    int dark = 0, bright = 0;
    for (int y = 0; y < kPanelSize; ++y)
        for (int x = 0; x < kPanelSize; ++x) {
            const Pixel p = pixel(image, x, y);
            const int sum = p.r + p.g + p.b;
            dark += sum < 15 ? 1 : 0;
            bright += sum > 150 ? 1 : 0;
        }
    VERIFY_FRAME(dark > kPanelSize * kPanelSize * 9 / 10, image, "physical-night", QString("%1 dark").arg(dark));
    VERIFY_FRAME(bright >= 5, image, "physical-night", QString("%1 star pixels").arg(bright));
    // By day no star is drawn.
    world_->setHour(12.0f);
    frame(1.0, 0.0, 0.0);
    QCOMPARE(sky_->starVisibility(), 0.0);
}

void PhysicalSkyGLTest::starsKeepTheirPlaceAboutTheSun()
{
    // The matrix the stars are drawn through: a star put at the sun's own place (its right
    // ascension on the day, declination -latitude) lands on the sun direction at every hour,
    // and a star 30 degrees east of the sun (greater right ascension) culminates two hours
    // after it.
    const double sunRa = sunRightAscensionOnDay(0.0);
    const auto drawnDirection = [&](double ra, double dec) {
        float m[16];
        sky_->starSkyMatrix(*world_, m);
        return timesMatrix(m, equatorialVector(ra, dec));
    };
    double bestHour = -1.0, bestHeight = -2.0;
    for (float hour = 0.0f; hour < 24.0f; hour += 0.25f) {
        world_->setHour(hour);
        const Vec3d atSun = drawnDirection(sunRa, -double(world_->latitude));
        QVERIFY(length(atSun - sunDirection(*world_)) < 1e-5);
        const double height = drawnDirection(sunRa + 30.0, -double(world_->latitude)).y;
        if (height > bestHeight) {
            bestHeight = height;
            bestHour = hour;
        }
    }
    QCOMPARE(bestHour, 14.0);
    // A real clock's sky: Polaris over the north point (+x) at latitude 40.
    sky_->realSky = PhysicalSky::RealSky{julianDayFromCalendar(2026, 12, 9, 19.5), 40.0, 8.5};
    const Vec3d polaris = drawnDirection(37.95, 89.264);
    sky_->realSky.reset();
    QVERIFY(std::abs(std::asin(polaris.y) * 180.0 / kTestPi - 40.0) < 0.75);
    QVERIFY(polaris.x > 0.75 && std::abs(polaris.z) < 0.02);
}

void PhysicalSkyGLTest::starsFadeTowardTheHorizon()
{
    // One white star of brightness 1 at the zenith, 5 degrees up and 1 degree down, the star
    // frame taken as the world's, at visibility 0.5.
    StarField::Batch batch;
    for (const double elevation : {90.0, 5.0, -1.0}) {
        const Vec3d d = direction(elevation, 0.0);
        batch.positions.insert(batch.positions.end(), {float(d.x), float(d.y), float(d.z)});
        batch.colours.insert(batch.colours.end(), {1.0f, 1.0f, 1.0f});
    }
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<float> positions, colours;
    starsOverTheGround(batch, identity, *sky_->tables(), 0.5, positions, colours);
    // The star below the horizon is not drawn; the others keep their places.
    QCOMPARE(positions.size(), std::size_t(6));
    QCOMPARE(positions[4], float(direction(5.0, 0.0).y));

    // Expected: the zenith optical depth of the published coefficients (Rayleigh over its 8 km
    // scale height, Mie extinction over 1.2 km, ozone over its tent's area of 15 km) times one
    // less than Kasten and Young's airmass (1989) 85 degrees from the zenith,
    // X = 1 / (cos z + 0.50572 (96.07995 - z)^-1.6364) = 10.3. The drawn colour goes as the square
    // root of the transmittance, so tau = -2 ln(colour at 5 degrees / colour at the zenith). The
    // 6 % allowed: the thin Mie layer's airmass is some 10 % above that of the 8 km air, the high
    // ozone layer's some 25 % below (1 / sqrt(sin^2 e + 2 h / R) with h = 25 km is 7.9).
    const double z = 85.0;
    const double airmass = 1.0 / (std::cos(z * kTestPi / 180.0) + 0.50572 * std::pow(96.07995 - z, -1.6364));
    const double rayleigh[3] = {5.802e-6, 13.558e-6, 33.1e-6};
    const double ozone[3] = {0.650e-6, 1.881e-6, 0.085e-6};
    for (int c = 0; c < 3; ++c) {
        const double zenithDepth = rayleigh[c] * 8000.0 + 4.44e-6 * 1200.0 + ozone[c] * 15000.0;
        const double expected = zenithDepth * (airmass - 1.0);
        const double drawn = -2.0 * std::log(double(colours[3 + c]) / double(colours[c]));
        QVERIFY2(std::abs(drawn / expected - 1.0) < 0.06,
                 qPrintable(QString("channel %1: %2 against %3").arg(c).arg(drawn).arg(expected)));
        // At the zenith the star shows nearly whole, times the visibility.
        QVERIFY(colours[c] > 0.5f * 0.85f && colours[c] < 0.5f);
    }
}

void PhysicalSkyGLTest::tablesKeptUntilSomethingChanges()
{
    world_->setHour(9.0f);
    // A few frames: the tables for this sun, and the one ahead of it a few rows a frame.
    for (int i = 0; i < SkyViewTable::kRows; ++i)
        frame(1.0, 0.0, 0.0);
    const AtmosphereTables* tables = sky_->tables();
    const long rows = sky_->rowsComputed();
    // The same sun and settings, another view: nothing is computed again.
    frame(0.0, 0.3, 1.0);
    QCOMPARE(sky_->tables(), tables);
    QCOMPARE(sky_->rowsComputed(), rows);
    // The sun a little further: at most a few rows a frame.
    world_->advance(0.01f);
    frame(1.0, 0.0, 0.0);
    QVERIFY(sky_->rowsComputed() - rows <= PhysicalSky::kRowsPerFrame);
    // A new setting: the old tables drawn while the new ones are built a slice a frame, then
    // swapped whole with the sky-view tables around the sun, which no frame then computes.
    for (const auto change :
         {+[](TWorld& w) { w.atmosphereHeight = 60000.0f; }, +[](TWorld& w) { w.scattering.z = 0.6f; }}) {
        const double oldTop = sky_->tables()->model().topRadiusMetres;
        const Rgb oldZenith = sky_->radianceAt(90.0, 0.0);
        const long rowsBefore = sky_->rowsComputed();
        const long stepsBefore = sky_->rebuildStepsTaken();
        change(*world_);
        frame(1.0, 0.0, 0.0);
        QVERIFY(sky_->rebuilding());
        QCOMPARE(sky_->rebuildStepsTaken(), stepsBefore);
        while (sky_->rebuilding()) {
            QCOMPARE(sky_->tables()->model().topRadiusMetres, oldTop);
            QVERIFY(sameRgb(sky_->radianceAt(90.0, 0.0), oldZenith));
            const long before = sky_->rebuildStepsTaken();
            frame(1.0, 0.0, 0.0);
            QVERIFY(sky_->rebuildStepsTaken() > before);
            QVERIFY(sky_->rebuildStepsTaken() - before <= PhysicalSky::kRebuildStepsPerFrame);
        }
        QCOMPARE(sky_->rebuildStepsTaken() - stepsBefore, long(PhysicalSky::kRebuildSteps));
        QCOMPARE(sky_->rowsComputed(), rowsBefore);
        QVERIFY(!sameRgb(sky_->radianceAt(90.0, 0.0), oldZenith));
    }
    // Less blue scattering makes a less blue sky overhead.
    world_->atmosphereHeight = 100000.0f;
    world_->scattering.z = 0.8f;
    settle();
    const Rgb blue = sky_->radianceAt(90.0, 90.0);
    world_->scattering.z = 0.3f;
    settle();
    QVERIFY(sky_->radianceAt(90.0, 90.0).b < 0.6 * blue.b);
}

void PhysicalSkyGLTest::rebuiltSkyEqualsAFreshOne()
{
    // Settings changed once, then again while the first change is being built (a slider
    // dragged), the sun moving meanwhile: the sky ends exactly as one that started with the last
    // settings, tables, colours and exposure alike.
    world_->setHour(15.0f);
    settle();
    world_->scattering = {0.3f, 0.5f, 0.8f};
    frame(1.0, 0.0, 0.0);
    frame(1.0, 0.0, 0.0);
    world_->scattering = {0.1f, 0.7f, 0.6f};
    world_->atmosphereHeight = 80000.0f;
    for (int i = 0; i < 5; ++i) {
        world_->advance(0.05f);
        frame(1.0, 0.0, 0.0);
    }
    settle();

    // Its second frame: the first shows the table nearer the sun alone.
    PhysicalSky fresh;
    for (int i = 0; i < 2; ++i) {
        beginFrame();
        gluLookAt(0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0);
        fresh.render(*world_);
    }
    const AtmosphereTables& a = *sky_->tables();
    const AtmosphereTables& b = *fresh.tables();
    QCOMPARE(a.model().topRadiusMetres, b.model().topRadiusMetres);
    const double bottom = b.model().groundRadiusMetres;
    for (double altitude : {0.0, 3000.0, 25000.0, 70000.0})
        for (double mu = -1.0; mu <= 1.0; mu += 0.05) {
            QVERIFY(sameRgb(a.transmittanceToTop(bottom + altitude, mu), b.transmittanceToTop(bottom + altitude, mu)));
            QVERIFY(sameRgb(a.multipleScattering(bottom + altitude, mu), b.multipleScattering(bottom + altitude, mu)));
        }
    QCOMPARE(sky_->exposure(), fresh.exposure());
    for (const auto& [x, y] :
         {std::pair{sky_->lightDiffuse(), fresh.lightDiffuse()}, std::pair{sky_->lightAmbient(), fresh.lightAmbient()},
          std::pair{sky_->fogColour(), fresh.fogColour()}, std::pair{sky_->haloColour(), fresh.haloColour()}})
        QVERIFY(sameRgb(x, y));
    for (double elevation : {0.0, 5.0, 30.0, 90.0})
        for (double azimuth : {0.0, 45.0, 180.0})
            QVERIFY(sameRgb(sky_->radianceAt(elevation, azimuth), fresh.radianceAt(elevation, azimuth)));
}

QTEST_MAIN(PhysicalSkyGLTest)
#include "PhysicalSkyGLTest.moc"
