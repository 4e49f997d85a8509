// buildLandscape with a real context (llvmpipe): heights, normals, colours, layers and the
// four layer textures, and a build that stops at a missing texture.

#include "FormState.h"
#include "GlChecks.h"
#include "GlTestPanel.h"
#include "TerrainBuild.h"
#include "Texture.h"
#include "TextureTestBitmaps.h"
#include "ViewerError.h"

#include <GL/gl.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <memory>

using namespace testbmp;

namespace {

// One colour a layer file, so that a texture shows which file it came from.
const quint32 kLayerColours[4] = {0xFF20A020u, 0xFF808020u, 0xFF906030u, 0xFFA0A0A0u};

QString layerFile(int slot)
{
    return QStringLiteral("LandTex%1.bmp").arg(slot);
}

QByteArray firstTexel(GLuint name)
{
    GLint w = 0, h = 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    QByteArray rgba(w * h * 4, '\0');
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba.left(4);
}

// The layer band of a unit normal's y, from the thresholds rather than the formula.
unsigned expectedLayer(float y)
{
    if (y > 0.9375f)
        return 0;
    if (y > 0.875f)
        return 1;
    if (y > 0.8125f)
        return 2;
    return 3;
}

QString buildError(TForm1State& form)
{
    try {
        buildLandscape(form);
    } catch (const ViewerError& e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

} // namespace

class TerrainBuildGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void buildsWholeTerrain();
    void heightsFollowThreeSines();
    void layersFollowSlope();
    void rebuildReplacesTextures();
    void missingTextureStopsBuild();
    void failedRebuildClearsBuiltFlag();
    void degenerateLatticeSettings();
    void shippedAssetsAreFoundOrTheirFolderNamed();

private:
    std::unique_ptr<GlTestPanel> panel_;
    QTemporaryDir allLayers_;
    QTemporaryDir withoutLayer2_;
    QTemporaryDir empty_;
    QString startDir_;
    int baseline_ = 0;
};

void TerrainBuildGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>(64, 64);
    QVERIFY(allLayers_.isValid() && withoutLayer2_.isValid() && empty_.isValid());
    for (int slot = 0; slot < 4; ++slot) {
        const QByteArray file = encode(solid(8, 8, kLayerColours[slot]));
        QVERIFY(writeFile(allLayers_.filePath(layerFile(slot)), file));
        if (slot != 2)
            QVERIFY(writeFile(withoutLayer2_.filePath(layerFile(slot)), file));
    }
    startDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(allLayers_.path()));
    setTextureSearchFolders({}); // the working directory only
    baseline_ = liveTextures();
    VERIFY_NO_GL_ERROR();
}

void TerrainBuildGLTest::cleanupTestCase()
{
    QDir::setCurrent(startDir_);
    resetTextureSearchFolders();
    panel_.reset();
}

void TerrainBuildGLTest::cleanup()
{
    // Every landscape of a test has been destroyed by now, and its textures with it.
    panel_->makeCurrent();
    QVERIFY(QDir::setCurrent(allLayers_.path()));
    setTextureSearchFolders({});
    QCOMPARE(liveTextures(), baseline_);
    VERIFY_NO_GL_ERROR();
}

void TerrainBuildGLTest::buildsWholeTerrain()
{
    TForm1State form;
    QVERIFY(!form.landscapeBuilt);
    buildLandscape(form);
    QVERIFY(form.landscapeBuilt);

    const TLandscape& land = form.landscape;
    QCOMPARE(land.width, 300u);
    QCOMPARE(land.depth, 300u);
    QCOMPARE(land.spacing, 2.0f);
    QCOMPARE(land.textureCount, 100u);

    for (int slot = 0; slot < 4; ++slot) {
        QVERIFY2(glIsTexture(land.textures[slot]), qPrintable(QString::number(slot)));
        QCOMPARE(firstTexel(land.textures[slot]), expectedBytes(kLayerColours[slot] & 0xFFFFFFu, 255));
    }
    for (std::uint32_t slot = 4; slot < 100; ++slot)
        QCOMPARE(land.textures[slot], GLuint(0));
    QCOMPARE(liveTextures(), baseline_ + 4);

    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        const ubyte4 c = land.colours[k];
        QVERIFY(c.r == 255 && c.g == 255 && c.b == 255 && c.a == 0);
    }
    // Interior normals are computed, the border ring keeps its zeros.
    for (std::uint32_t j = 0; j < land.depth; ++j) {
        for (std::uint32_t i = 0; i < land.width; ++i) {
            const float3& n = land.normals[j * land.width + i];
            const double len = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
            if (i == 0 || j == 0 || i == land.width - 1 || j == land.depth - 1)
                QVERIFY(len == 0.0);
            else
                QVERIFY(qAbs(len - 1.0) < 1e-6 && n.y > 0.0f);
        }
    }
    VERIFY_NO_GL_ERROR();
}

void TerrainBuildGLTest::heightsFollowThreeSines()
{
    TForm1State form;
    buildLandscape(form);
    const TLandscape& land = form.landscape;
    QCOMPARE(land.positions[0].y, 4.0f);
    QVERIFY(qAbs(land.positions[1].x - 1.7320508f) < 1e-6f);
    QCOMPARE(land.positions[1].z, -1.0f);
    QVERIFY2(qAbs(land.positions[1].y - 4.44032) < 1e-5, qPrintable(QString::number(land.positions[1].y, 'g', 9)));

    // Every height, against the same waves in long double: the stored float may differ from
    // it by the last bit at most.
    const long double a = 0.7f, b = 0.6f, c = 0.4f;
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        const float3& p = land.positions[k];
        const long double x = p.x, z = p.z;
        const float expected = float(((std::sin(a * x) + std::sin(b * z) + std::sin(c * (x + z))) / 3.0L + 2.0L) *
                                     2.0L);
        QVERIFY(p.y >= 2.0f && p.y <= 6.0f);
        QVERIFY2(p.y == expected || p.y == std::nextafter(expected, 0.0f) || p.y == std::nextafter(expected, 7.0f),
                 qPrintable(
                     QStringLiteral("vertex %1: %2 against %3").arg(k).arg(p.y, 0, 'g', 9).arg(expected, 0, 'g', 9)));
    }
}

void TerrainBuildGLTest::layersFollowSlope()
{
    TForm1State form;
    buildLandscape(form);
    const TLandscape& land = form.landscape;
    int perLayer[4] = {0, 0, 0, 0};
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        QCOMPARE(land.layers[k], expectedLayer(land.normals[k].y));
        ++perLayer[land.layers[k]];
    }
    // The waves are steep enough to use every layer.
    for (int layer = 0; layer < 4; ++layer)
        QVERIFY2(perLayer[layer] > 0, qPrintable(QString::number(layer)));
}

void TerrainBuildGLTest::rebuildReplacesTextures()
{
    TForm1State form;
    buildLandscape(form);
    buildLandscape(form);
    QVERIFY(form.landscapeBuilt);
    QCOMPARE(liveTextures(), baseline_ + 4);
    VERIFY_NO_GL_ERROR();
}

void TerrainBuildGLTest::missingTextureStopsBuild()
{
    QVERIFY(QDir::setCurrent(withoutLayer2_.path()));
    const QString here = QDir::currentPath();
    {
        TForm1State form;
        QCOMPARE(buildError(form), QStringLiteral("Cannot open file %1/LandTex2.bmp\nLooked in: %1").arg(here));
        QVERIFY(!form.landscapeBuilt);
        const TLandscape& land = form.landscape;
        QVERIFY(glIsTexture(land.textures[0]) && glIsTexture(land.textures[1]));
        QCOMPARE(firstTexel(land.textures[1]), expectedBytes(kLayerColours[1] & 0xFFFFFFu, 255));
        QCOMPARE(land.textures[2], GLuint(0));
        QCOMPARE(land.textures[3], GLuint(0));
        QCOMPARE(liveTextures(), baseline_ + 2);
        // Nothing after the textures was made.
        for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
            QCOMPARE(land.positions[k].y, 0.0f);
            QCOMPARE(land.colours[k].r, std::uint8_t(0));
            QCOMPARE(land.normals[k].y, 0.0f);
        }
        VERIFY_NO_GL_ERROR();
    }
    // The two textures went with the landscape (checked again in cleanup()).
    QCOMPARE(liveTextures(), baseline_);
}

void TerrainBuildGLTest::failedRebuildClearsBuiltFlag()
{
    TForm1State form;
    buildLandscape(form);
    QVERIFY(form.landscapeBuilt);
    QVERIFY(QDir::setCurrent(withoutLayer2_.path()));
    QVERIFY(buildError(form).startsWith("Cannot open file "));
    QVERIFY(!form.landscapeBuilt);
    // The first build's four textures were released with its lattice.
    QCOMPARE(liveTextures(), baseline_ + 2);
}

void TerrainBuildGLTest::degenerateLatticeSettings()
{
    TForm1State form;
    form.latticeWidth = -5;
    form.latticeDepth = 3;
    buildLandscape(form);
    QVERIFY(form.landscapeBuilt);
    QCOMPARE(form.landscape.width, 2u);
    QCOMPARE(form.landscape.depth, 3u);
    QCOMPARE(form.landscape.positions[0].y, 4.0f);
    QCOMPARE(form.landscape.colours[5].a, std::uint8_t(0));
    QCOMPARE(form.landscape.colours[5].r, std::uint8_t(255));
}

void TerrainBuildGLTest::shippedAssetsAreFoundOrTheirFolderNamed()
{
    // From a working directory without textures the build falls back to the built-in folders:
    // with the shipped textures in the source tree it completes, without them the error names
    // the source assets folder among those tried.
    resetTextureSearchFolders();
    QVERIFY(QDir::setCurrent(empty_.path()));
    const QString assets = QDir::cleanPath(qEnvironmentVariable("TERRAIN_SOURCE_DIR") + "/assets");
    bool shipped = true;
    for (int slot = 0; slot < 4; ++slot)
        shipped = shipped && QFileInfo(assets + "/" + layerFile(slot)).isFile();

    TForm1State form;
    const QString error = buildError(form);
    if (shipped) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(form.landscapeBuilt);
        for (int slot = 0; slot < 4; ++slot)
            QVERIFY(glIsTexture(form.landscape.textures[slot]));
    } else {
        QVERIFY2(error.contains(QStringLiteral("\nLooked in: %1, %2").arg(QDir::currentPath(), assets)),
                 qPrintable(error));
        QVERIFY(!form.landscapeBuilt);
    }
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(TerrainBuildGLTest)
#include "TerrainBuildGLTest.moc"
