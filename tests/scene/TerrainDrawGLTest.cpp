// The frame's terrain draw on a real context: around the camera's eye, along the form's path,
// with the normals overlay when it is on, counted into the form's instruments; nothing before
// the terrain is built. The bump's step is tested without a context (WanderingBumpTest).

#include "FormState.h"
#include "FrameInstruments.h"
#include "GlChecks.h"
#include "GlTestPanel.h"
#include "GlView.h"
#include "TerrainDraw.h"
#include "WanderingBumpForms.h"

#include <GL/gl.h>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

using namespace bumptest;

class TerrainDrawGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void drawsAroundTheCameraAlongTheFormsPath();
    void nothingIsDrawnBeforeTheTerrainIsBuilt();
    void levelsLeaveTheDesignedPassesState();

private:
    std::unique_ptr<GlTestPanel> panel_;
    FrameInstruments instruments_;
};

void TerrainDrawGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>(128, 128);
}

void TerrainDrawGLTest::init()
{
    panel_->makeCurrent();
    initRenderState(panel_->panel());
    glView.setPerspective(45.0f, 50.0f);
    beginFrame();
    instruments_.counters.reset();
}

// Eye at (0, z 0) on spacing 2, radius 60: cells 34 x 30, strips 35. The batched path draws
// them with one call per layer in view (every cell has layer 0), the literal path with one per
// cell; the normals overlay adds one batch of lines.
void TerrainDrawGLTest::drawsAroundTheCameraAlongTheFormsPath()
{
    auto form = makeForm(300, 300);
    form->instruments = &instruments_;
    form->camera.position = Vec3d{0.2, 9.0, 0.4};
    const TerrainDrawCounters& counted = instruments_.counters;
    const struct {
        TerrainPath path;
        bool normals;
        std::uint32_t drawCalls;
    } cases[] = {{TerrainPath::Batched, false, 35u + 1u},
                 {TerrainPath::Literal, false, 34u * 30u + 35u},
                 {TerrainPath::Literal, true, 34u * 30u + 35u + 1u}};
    for (const auto& c : cases) {
        instruments_.counters.reset();
        form->terrainPath = c.path;
        form->showNormals = c.normals;
        drawTerrain(*form);
        QCOMPARE(counted.cells, 34u * 30u);
        QCOMPARE(counted.strips, 35u);
        QCOMPARE(counted.drawCalls, c.drawCalls);
        QVERIFY(!glIsEnabled(GL_ALPHA_TEST)); // the colour passes' hand-over to the next sky
    }
    QCOMPARE(form->landscape.batches().groups()[0].size(), std::size_t(34 * 30 * 18));
    VERIFY_NO_GL_ERROR();
}

// Before the terrain is built neither half draws, also with the normals overlay on, nor with a
// landscape that was never created (null arrays).
void TerrainDrawGLTest::nothingIsDrawnBeforeTheTerrainIsBuilt()
{
    auto form = makeForm(40, 40);
    form->landscapeBuilt = false;
    form->showNormals = true;
    const auto empty = std::make_unique<TForm1State>();
    for (TForm1State* state : {form.get(), empty.get()}) {
        state->instruments = &instruments_;
        drawTerrain(*state);
        drawTerrainDepth(*state);
        drawTerrainColour(*state);
    }
    QCOMPARE(instruments_.counters.drawCalls, 0u);
    QCOMPARE(instruments_.counters.cells, 0u);
    QCOMPARE(instruments_.counters.strips, 0u);
    VERIFY_NO_GL_ERROR();
}

// The state a drawing leaves that the next one depends on.
struct HandOver {
    GLboolean enabled[9];
    GLint ints[5];
    GLfloat depthRange[2];
    GLfloat projection[16];
    bool operator==(const HandOver& o) const
    {
        return std::equal(enabled, enabled + 9, o.enabled) && std::equal(ints, ints + 5, o.ints) &&
               std::equal(depthRange, depthRange + 2, o.depthRange) &&
               std::equal(projection, projection + 16, o.projection);
    }
};

HandOver handOver()
{
    HandOver h{};
    const GLenum caps[9] = {GL_TEXTURE_2D,   GL_BLEND,        GL_ALPHA_TEST,  GL_LIGHTING, GL_CULL_FACE,
                            GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_FOG};
    for (int i = 0; i < 9; ++i)
        h.enabled[i] = glIsEnabled(caps[i]);
    const GLenum ints[5] = {GL_BLEND_SRC, GL_BLEND_DST, GL_DEPTH_WRITEMASK, GL_MATRIX_MODE, GL_TEXTURE_BINDING_2D};
    for (int i = 0; i < 5; ++i)
        h.ints[i] = integerState(ints[i]);
    glGetFloatv(GL_DEPTH_RANGE, h.depthRange);
    glGetFloatv(GL_PROJECTION_MATRIX, h.projection);
    return h;
}

// At view distance 500 the levels are drawn after the designed passes and leave what those
// leave, in one pass of their means (a light that cannot saturate), splatted (one that can), and
// lit and fogged on the CPU under a ground fog.
void TerrainDrawGLTest::levelsLeaveTheDesignedPassesState()
{
    auto form = makeForm(300, 300);
    form->camera.position = Vec3d{300.0, 9.0, 300.0};
    drawTerrain(*form);
    const HandOver designed = handOver();
    form->viewDistance = 500.0f;
    GLfloat modelview[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    form->groundFog.set(float3{300.0f, 9.0f, 300.0f}, modelview, 70.0f, 450.0f, std::vector<float>(3 * 73, 0.5f));
    const struct {
        GLfloat ambient;
        bool fogged;
    } cases[] = {{0.0f, false}, {0.5f, false}, {0.5f, true}};
    for (const auto& c : cases) {
        const GLfloat light[4] = {c.ambient, c.ambient, c.ambient, 1.0f};
        glLightfv(GL_LIGHT0, GL_AMBIENT, light);
        QCOMPARE(lightingStaysLinear(), c.ambient == 0.0f);
        form->fogFollowsSky = c.fogged;
        drawTerrain(*form);
        QVERIFY(!form->landscape.rings().levels().empty());
        QVERIFY(handOver() == designed);
    }
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(TerrainDrawGLTest)
#include "TerrainDrawGLTest.moc"
