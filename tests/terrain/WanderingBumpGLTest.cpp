// The wandering bump's frame step on a real context: the walk followed by the terrain draw
// along the form's path, and the guard before the build. The walk alone is tested without a
// context (WanderingBumpTest).

#include "DrawCounters.h"
#include "FormState.h"
#include "GlChecks.h"
#include "GlTestPanel.h"
#include "GlView.h"
#include "TerrainDraw.h"
#include "WanderingBump.h"
#include "WanderingBumpForms.h"

#include <GL/gl.h>
#include <QTest>
#include <cstring>
#include <memory>
#include <vector>

using namespace bumptest;

class WanderingBumpGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void stepIsTheWalkThenTheDraw();
    void stepDrawsTheTerrainAroundTheCamera();
    void drawTerrainTakesTheFormsPath();
    void nothingHappensBeforeTheTerrainIsBuilt();

private:
    std::unique_ptr<GlTestPanel> panel_;
};

void WanderingBumpGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>(128, 128);
}

void WanderingBumpGLTest::init()
{
    panel_->makeCurrent();
    initRenderState(panel_->panel());
    glView.setPerspective(45.0f, 50.0f);
    beginFrame();
    bumpRandomSource().reset();
    terrainDrawCounters.reset();
}

// The step does to the form exactly what the walk does, and draws what drawTerrain draws.
void WanderingBumpGLTest::stepIsTheWalkThenTheDraw()
{
    auto stepped = makeForm(60, 60);
    auto walked = makeForm(60, 60);
    stepped->camera.enterOrbit(Vec3d{30.0, 0.0, 30.0}, 1.0);
    walked->camera.enterOrbit(Vec3d{30.0, 0.0, 30.0}, 1.0);
    for (int frame = 0; frame < 12; ++frame) {
        bumpRandomSource().reset();
        for (int n = 0; n < 2 * frame; ++n)
            bumpRandomSource().next();
        terrainDrawCounters.reset();
        stepWanderingBump(*stepped);
        const TerrainDrawCounters stepCounts = terrainDrawCounters;

        bumpRandomSource().reset();
        for (int n = 0; n < 2 * frame; ++n)
            bumpRandomSource().next();
        walkWanderingBump(*walked);
        terrainDrawCounters.reset();
        drawTerrain(*walked);

        QCOMPARE(stepped->bumpColumn, walked->bumpColumn);
        QCOMPARE(stepped->bumpRow, walked->bumpRow);
        QVERIFY(sameCamera(stepped->camera, walked->camera));
        const std::size_t n = stepped->landscape.vertexCount();
        QCOMPARE(std::memcmp(stepped->landscape.positions, walked->landscape.positions, n * sizeof(float3)), 0);
        QCOMPARE(std::memcmp(stepped->landscape.layers, walked->landscape.layers, n * sizeof(std::uint32_t)), 0);
        QCOMPARE(stepCounts.drawCalls, terrainDrawCounters.drawCalls);
        QCOMPARE(stepCounts.cells, terrainDrawCounters.cells);
        QVERIFY(stepCounts.cells > 0);
    }
    VERIFY_NO_GL_ERROR();
}

// The batched path draws the same cells and strips with one call per layer in view.
void WanderingBumpGLTest::drawTerrainTakesTheFormsPath()
{
    auto form = makeForm(300, 300);
    form->camera.position = Vec3d{0.2, 9.0, 0.4};
    form->terrainPath = TerrainPath::Batched;
    drawTerrain(*form);
    QCOMPARE(terrainDrawCounters.cells, 34u * 30u);
    QCOMPARE(terrainDrawCounters.strips, 35u);
    QCOMPARE(terrainDrawCounters.drawCalls, 35u + 1u); // every cell has layer 0
    QCOMPARE(form->landscape.batches().groups()[0].size(), std::size_t(34 * 30 * 18));

    terrainDrawCounters.reset();
    form->terrainPath = TerrainPath::Literal;
    drawTerrain(*form);
    QCOMPARE(terrainDrawCounters.drawCalls, 34u * 30u + 35u);
    QVERIFY(!glIsEnabled(GL_ALPHA_TEST));
    VERIFY_NO_GL_ERROR();
}

// The step ends with the frame's terrain around the camera's eye (radius 60), then the normals
// when the overlay is on. Eye at (0, z 0) on spacing 2: cells 34 x 30, strips 35.
void WanderingBumpGLTest::stepDrawsTheTerrainAroundTheCamera()
{
    auto form = makeForm(300, 300);
    form->terrainPath = TerrainPath::Literal; // one draw call per cell
    form->camera.position = Vec3d{0.2, 9.0, 0.4};
    stepWanderingBump(*form);
    QCOMPARE(terrainDrawCounters.cells, 34u * 30u);
    QCOMPARE(terrainDrawCounters.strips, 35u);
    QCOMPARE(terrainDrawCounters.drawCalls, 34u * 30u + 35u);
    QVERIFY(!glIsEnabled(GL_ALPHA_TEST)); // render's hand-over to the next frame's sky

    terrainDrawCounters.reset();
    form->showNormals = true;
    stepWanderingBump(*form);
    QCOMPARE(terrainDrawCounters.drawCalls, 34u * 30u + 35u + 1u);
    VERIFY_NO_GL_ERROR();
}

// Before the terrain is built the step draws nothing, touches no array and draws no number.
void WanderingBumpGLTest::nothingHappensBeforeTheTerrainIsBuilt()
{
    auto form = makeForm(40, 40);
    form->landscapeBuilt = false;
    form->showNormals = true;
    form->camera.orbiting = true;
    form->bumpApex = Vec3d{1.0, 2.0, 3.0};
    TLandscape& land = form->landscape;
    const std::size_t n = land.vertexCount();
    const std::vector<float3> positions(land.positions, land.positions + n);
    const std::vector<float3> normals(land.normals, land.normals + n);
    const std::vector<std::uint32_t> layers(land.layers, land.layers + n);
    const Camera camera = form->camera;

    for (int frame = 0; frame < 5; ++frame)
        stepWanderingBump(*form);
    QCOMPARE(bumpRandomSource().state(), std::uint64_t(1));
    QCOMPARE(form->bumpColumn, 10);
    QCOMPARE(form->bumpRow, 10);
    QCOMPARE(form->bumpApex.x, 1.0);
    QCOMPARE(form->bumpApex.y, 2.0);
    QCOMPARE(form->bumpApex.z, 3.0);
    QVERIFY(sameCamera(form->camera, camera));
    QCOMPARE(std::memcmp(positions.data(), land.positions, n * sizeof(float3)), 0);
    QCOMPARE(std::memcmp(normals.data(), land.normals, n * sizeof(float3)), 0);
    QCOMPARE(std::memcmp(layers.data(), land.layers, n * sizeof(std::uint32_t)), 0);
    QCOMPARE(terrainDrawCounters.drawCalls, 0u);
    QCOMPARE(terrainDrawCounters.cells, 0u);
    QCOMPARE(terrainDrawCounters.strips, 0u);

    // Nor with a landscape that was never created (null arrays).
    const auto empty = std::make_unique<TForm1State>();
    stepWanderingBump(*empty);
    QCOMPARE(bumpRandomSource().state(), std::uint64_t(1));
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(WanderingBumpGLTest)
#include "WanderingBumpGLTest.moc"
