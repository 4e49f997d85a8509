// The atmosphere tables on a real context: init's defaults, the optical-depth and halo
// textures as GL holds them, and the GL objects the world creates, replaces and deletes.

#include "World.h"
#include "WorldGlSupport.h"

#include <memory>

namespace {

std::vector<float> referenceTable(float planetRadius)
{
    TWorld world;
    world.planetRadius = planetRadius;
    std::vector<float> table(kOpticalDepthEntries);
    world.computeOpticalDepth(table.data());
    return table;
}

} // namespace

class AtmosphereTablesGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void initDefaults();
    void initKeepsSetValues();
    void opticalDepthTexture();
    void sameTableAfterNewAtmosphereHeight();
    void rebuildReplacesTexture();
    void unusablePlanetRadius();
    void haloTexture();
    void destructorDeletesTextures();

private:
    std::unique_ptr<GlTestPanel> panel_;
};

void AtmosphereTablesGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>();
    setUpViewerState(*panel_);
    VERIFY_NO_GL_ERROR();
}

void AtmosphereTablesGLTest::init()
{
    panel_->makeCurrent();
}

void AtmosphereTablesGLTest::cleanupTestCase()
{
    panel_.reset();
}

void AtmosphereTablesGLTest::initDefaults()
{
    TWorld world;
    world.init();
    QCOMPARE(world.daysPerYear, 365u);
    QCOMPARE(world.hoursPerDay, 24.0f);
    QCOMPARE(world.planetRadius, 6371000.0f);
    QCOMPARE(world.atmosphereHeight, 100000.0f);
    QCOMPARE(double(world.sunAngle), 0.5357999801635742);
    QCOMPARE(world.haloAngle, 22.0f);
    QVERIFY(world.skyQuadric != nullptr);
    QVERIFY(world.opticalDepthTexture != 0);
    QVERIFY(world.haloTexture != 0);
    QVERIFY(world.opticalDepthTexture != world.haloTexture);
    QVERIFY(glIsTexture(world.opticalDepthTexture));
    QVERIFY(glIsTexture(world.haloTexture));
    QCOMPARE(world.sunFan.count, 32);
    // The clock fields init does not default are untouched.
    QCOMPARE(world.day, 0u);
    QCOMPARE(world.hour, 0.0f);
    QCOMPARE(world.sunMatrix[15], 0.0f);
    VERIFY_NO_GL_ERROR();
}

void AtmosphereTablesGLTest::initKeepsSetValues()
{
    // The window's own values, set before init, survive it; so do odd ones, negative included.
    TWorld world;
    world.setHour(5.0f);
    world.atmosphereHeight = 100000.0f;
    world.sunAngle = 2.0f;
    world.haloAngle = 22.0f;
    world.init();
    QCOMPARE(world.sunAngle, 2.0f);
    QCOMPARE(world.haloAngle, 22.0f);
    QCOMPARE(world.hour, 5.0f);

    TWorld odd;
    odd.daysPerYear = 100;
    odd.hoursPerDay = 10.0f;
    odd.planetRadius = 3389500.0f;
    odd.atmosphereHeight = -5.0f;
    odd.sunAngle = -1.0f;
    odd.haloAngle = 30.0f;
    odd.init();
    QCOMPARE(odd.daysPerYear, 100u);
    QCOMPARE(odd.hoursPerDay, 10.0f);
    QCOMPARE(odd.planetRadius, 3389500.0f);
    QCOMPARE(odd.atmosphereHeight, -5.0f);
    QCOMPARE(odd.sunAngle, -1.0f);
    QCOMPARE(odd.haloAngle, 30.0f);

    // The one exception: a planet radius the integration cannot use becomes the default.
    TWorld negative;
    negative.planetRadius = -6371000.0f;
    negative.init();
    QCOMPARE(negative.planetRadius, 6371000.0f);
    TWorld notANumber;
    notANumber.planetRadius = NAN;
    notANumber.init();
    QCOMPARE(notANumber.planetRadius, 6371000.0f);
    VERIFY_NO_GL_ERROR();
}

void AtmosphereTablesGLTest::opticalDepthTexture()
{
    TWorld world;
    world.init();
    QCOMPARE(integerState(GL_TEXTURE_BINDING_2D), GLint(world.opticalDepthTexture));
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    QCOMPARE(width, 1);
    QCOMPARE(height, 1024);
    // A full mipmap chain down to 1 x 1 (level 10), as the default minification needs.
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 10, GL_TEXTURE_HEIGHT, &height);
    QCOMPARE(height, 1);
    // GL's default parameters.
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    QCOMPARE(value, GLint(GL_REPEAT));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    QCOMPARE(value, GLint(GL_NEAREST_MIPMAP_LINEAR));

    const std::vector<float> texels = readAlphaTexture(GL_TEXTURE_2D, world.opticalDepthTexture);
    QCOMPARE(int(texels.size()), kOpticalDepthTexels);
    const double tolerance = alphaTolerance(GL_TEXTURE_2D, world.opticalDepthTexture);
    const std::vector<float> table = referenceTable(world.planetRadius);
    for (int k = 0; k < kOpticalDepthEntries; ++k) {
        QVERIFY2(std::fabs(texels[std::size_t(k)] - table[std::size_t(k)]) <= tolerance,
                 qPrintable(QString("texel %1: %2 vs %3")
                                .arg(k)
                                .arg(double(texels[std::size_t(k)]))
                                .arg(double(table[std::size_t(k)]))));
        // The mirror: the second half reads the first backwards.
        QCOMPARE(texels[std::size_t(kOpticalDepthTexels - 1 - k)], texels[std::size_t(k)]);
    }
    QCOMPARE(texels[512], texels[511]);
    QCOMPARE(texels[1023], texels[0]);
    VERIFY_NO_GL_ERROR();
}

void AtmosphereTablesGLTest::sameTableAfterNewAtmosphereHeight()
{
    TWorld world;
    world.init();
    const std::vector<float> before = readAlphaTexture(GL_TEXTURE_2D, world.opticalDepthTexture);
    world.atmosphereHeight = 50000.0f;
    world.buildOpticalDepthTexture();
    const std::vector<float> after = readAlphaTexture(GL_TEXTURE_2D, world.opticalDepthTexture);
    QCOMPARE(after.size(), before.size());
    for (std::size_t k = 0; k < after.size(); ++k)
        QCOMPARE(after[k], before[k]);
    VERIFY_NO_GL_ERROR();
}

void AtmosphereTablesGLTest::rebuildReplacesTexture()
{
    TWorld world;
    world.init();
    const int live = liveTextures();
    int renamed = 0;
    for (int apply = 0; apply < 5; ++apply) {
        const GLuint old = world.opticalDepthTexture;
        world.buildOpticalDepthTexture();
        QVERIFY(world.skyQuadric != nullptr);
        QVERIFY(world.opticalDepthTexture != 0);
        QVERIFY(glIsTexture(world.opticalDepthTexture));
        // The old name is gone, unless GL handed the same name out again.
        if (world.opticalDepthTexture != old) {
            QVERIFY(!glIsTexture(old));
            ++renamed;
        }
        QCOMPARE(integerState(GL_TEXTURE_BINDING_2D), GLint(world.opticalDepthTexture));
        QCOMPARE(liveTextures(), live);
    }
    QVERIFY(renamed > 0);
    // A second init rebuilds the halo too, without leaking the first ramp or fan.
    const GLuint oldHalo = world.haloTexture;
    world.init();
    QCOMPARE(liveTextures(), live);
    if (world.haloTexture != oldHalo)
        QVERIFY(!glIsTexture(oldHalo));
    QCOMPARE(world.sunFan.count, 32);
    VERIFY_NO_GL_ERROR();
}

void AtmosphereTablesGLTest::unusablePlanetRadius()
{
    TWorld reference;
    reference.init();
    const std::vector<float> expected = readAlphaTexture(GL_TEXTURE_2D, reference.opticalDepthTexture);

    // Written after init, where init's replacement no longer runs: the table is built with the
    // default radius all the same.
    TWorld world;
    world.init();
    for (float radius : {0.0f, -1.0f, -6371000.0f, NAN}) {
        world.planetRadius = radius;
        world.buildOpticalDepthTexture();
        const std::vector<float> texels = readAlphaTexture(GL_TEXTURE_2D, world.opticalDepthTexture);
        QCOMPARE(texels.size(), expected.size());
        for (std::size_t k = 0; k < texels.size(); ++k) {
            QVERIFY(std::isfinite(texels[k]));
            QCOMPARE(texels[k], expected[k]);
        }
    }
    VERIFY_NO_GL_ERROR();
}

void AtmosphereTablesGLTest::haloTexture()
{
    TWorld world;
    world.init();
    QCOMPARE(integerState(GL_TEXTURE_BINDING_1D), GLint(world.haloTexture));
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_1D, 0, GL_TEXTURE_WIDTH, &width);
    QCOMPARE(width, 256);
    glGetTexLevelParameteriv(GL_TEXTURE_1D, 8, GL_TEXTURE_WIDTH, &width);
    QCOMPARE(width, 1);
    GLint wrap = 0;
    glGetTexParameteriv(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, &wrap);
    QCOMPARE(wrap, GLint(GL_CLAMP));

    const std::vector<float> ramp = readAlphaTexture(GL_TEXTURE_1D, world.haloTexture);
    QCOMPARE(int(ramp.size()), kHaloRampTexels);
    const double tolerance = alphaTolerance(GL_TEXTURE_1D, world.haloTexture);
    QVERIFY(std::fabs(ramp[0] - 1.0) <= tolerance);
    QVERIFY2(std::fabs(ramp[128] - 0.2481) <= tolerance + 0.00005, qPrintable(QString::number(double(ramp[128]))));
    QVERIFY(std::fabs(ramp[255]) <= tolerance);
    for (int i = 0; i < kHaloRampTexels; ++i) {
        const double expected = (1.0 - i / 255.0) * (1.0 - i / 255.0);
        QVERIFY2(std::fabs(ramp[std::size_t(i)] - expected) <= tolerance, qPrintable(QString("texel %1").arg(i)));
    }
    VERIFY_NO_GL_ERROR();
}

void AtmosphereTablesGLTest::destructorDeletesTextures()
{
    const int live = liveTextures();
    GLuint sky = 0, halo = 0;
    {
        TWorld world;
        world.init();
        sky = world.opticalDepthTexture;
        halo = world.haloTexture;
        QCOMPARE(liveTextures(), live + 2);
    }
    QVERIFY(!glIsTexture(sky));
    QVERIFY(!glIsTexture(halo));
    QCOMPARE(liveTextures(), live);
    // A world that was never initialised makes no GL calls on destruction.
    {
        TWorld idle;
    }
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(AtmosphereTablesGLTest)
#include "AtmosphereTablesGLTest.moc"
