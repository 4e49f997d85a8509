// The wandering bump's step on a real context (the step draws the terrain): the walk, the
// reshaping under the bump, the apex, the orbiting camera and the guard before the build.

#include "DrawCounters.h"
#include "FormState.h"
#include "GlTestPanel.h"
#include "GlView.h"
#include "WanderingBump.h"

#include <GL/gl.h>
#include <QTest>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

// The reshaping of the radius-3 bump by squared distance d^2 from its centre: the target
// height 2 (w + 1) of the raised cosine w = 0.5 cos(pi d / 3) + 0.5, and the layer.
struct Reshape {
    double target;
    std::uint32_t layer;
};
const std::map<int, Reshape> kRadiusThreeTable = {
    {0, {4.0, 3}},       {1, {3.5, 3}},       {2, {3.0897146, 3}}, {4, {2.5, 2}},
    {5, {2.3032845, 2}}, {8, {2.0160975, 2}}, {9, {2.0, 2}},
};

// A form whose terrain is "built": a flat lattice at height 0 with computed normals, white
// vertex colours with alpha 0, layer 0, four empty texture slots.
std::unique_ptr<TForm1State> makeForm(std::int32_t width, std::int32_t depth)
{
    auto form = std::make_unique<TForm1State>();
    form->landscape.create(std::uint32_t(width), std::uint32_t(depth), 2.0f, 4);
    TLandscape& land = form->landscape;
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        land.positions[k].y = 0.0f;
        land.colours[k] = ubyte4{255, 255, 255, 0};
        land.layers[k] = 0;
    }
    land.computeNormals(0, land.width, 0, land.depth);
    form->latticeWidth = width;
    form->latticeDepth = depth;
    form->camera.position = Vec3d{20.0, 8.0, 20.0};
    form->landscapeBuilt = true;
    return form;
}

// A bump that cannot move: with W = D = 2r + 1 every target is (r, r).
std::unique_ptr<TForm1State> makePinnedForm()
{
    auto form = makeForm(7, 7);
    form->bumpColumn = 3;
    form->bumpRow = 3;
    return form;
}

float& heightAt(TForm1State& form, std::int32_t col, std::int32_t row)
{
    return form.landscape.positions[std::size_t(row) * form.landscape.width + std::size_t(col)].y;
}

bool sameCamera(const Camera& a, const Camera& b)
{
    const auto same = [](const Vec3d& u, const Vec3d& v) { return u.x == v.x && u.y == v.y && u.z == v.z; };
    return same(a.position, b.position) && same(a.target, b.target) && same(a.forward, b.forward) &&
           same(a.up, b.up) && same(a.right, b.right) && a.yaw == b.yaw && a.pitch == b.pitch &&
           a.roll == b.roll && a.orbiting == b.orbiting && a.orbitDistance == b.orbitDistance &&
           a.minOrbitDistance == b.minOrbitDistance;
}

} // namespace

class WanderingBumpGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstStepGoesToElevenEleven();
    void walkStepsOneCellTowardEachFrameTarget();
    void pinnedBumpNeverMoves();
    void reshapingPullsTowardTheRaisedCosine();
    void centreVertexApproachesFour();
    void normalsRecomputedOverTheSquareOnly();
    void apexIsTheCentreVertexAfterTheStep();
    void cameraUntouchedWhileNotOrbiting();
    void orbitingCameraFollowsTheApex();
    void stepDrawsTheTerrainAroundTheCamera();
    void nothingHappensBeforeTheTerrainIsBuilt();
    void bumpStartingOffTheLatticeWalksOnto();

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

void WanderingBumpGLTest::firstStepGoesToElevenEleven()
{
    auto form = makeForm(300, 300);
    // The window's own starting values.
    QCOMPARE(form->bumpColumn, 10);
    QCOMPARE(form->bumpRow, 10);
    QCOMPARE(form->bumpRadius, 3);
    QCOMPARE(form->bumpRate, 0.05f);
    stepWanderingBump(*form);
    QCOMPARE(form->bumpColumn, 11);
    QCOMPARE(form->bumpRow, 11);
    // Exactly two draws were taken (target column 55, then row 131).
    RandomSource mirror;
    mirror.next();
    mirror.next();
    QCOMPARE(bumpRandomSource().state(), mirror.state());
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

// Each frame draws a fresh target in [r, W - r - 1] x [r, D - r - 1]; the centre moves one
// cell per axis toward it.
void WanderingBumpGLTest::walkStepsOneCellTowardEachFrameTarget()
{
    auto form = makeForm(40, 30);
    const std::int32_t r = form->bumpRadius;
    RandomSource mirror;
    for (int frame = 0; frame < 150; ++frame) {
        const std::int32_t col = form->bumpColumn, row = form->bumpRow;
        const std::int32_t targetCol = mirror.next() % (40 - 2 * r) + r;
        const std::int32_t targetRow = mirror.next() % (30 - 2 * r) + r;
        stepWanderingBump(*form);
        const auto toward = [](std::int32_t from, std::int32_t to) { return from + (to > from) - (to < from); };
        QCOMPARE(form->bumpColumn, toward(col, targetCol));
        QCOMPARE(form->bumpRow, toward(row, targetRow));
        QVERIFY(form->bumpColumn >= r && form->bumpColumn <= 40 - r - 1);
        QVERIFY(form->bumpRow >= r && form->bumpRow <= 30 - r - 1);
    }
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void WanderingBumpGLTest::pinnedBumpNeverMoves()
{
    auto form = makePinnedForm();
    for (int frame = 0; frame < 40; ++frame) {
        stepWanderingBump(*form);
        QCOMPARE(form->bumpColumn, 3);
        QCOMPARE(form->bumpRow, 3);
    }
    RandomSource mirror;
    for (int n = 0; n < 80; ++n)
        mirror.next();
    QCOMPARE(bumpRandomSource().state(), mirror.state());
}

// The 29 vertices within distance 3 close 5 % of their gap to the raised-cosine height and
// take its layer; the rest of the square is not touched. Checked twice: from height 0 one
// step moves a vertex to 0.05 * target; standing at its target a vertex stays there.
void WanderingBumpGLTest::reshapingPullsTowardTheRaisedCosine()
{
    auto form = makePinnedForm();
    const double rate = double(form->bumpRate);
    stepWanderingBump(*form);
    int reshaped = 0;
    for (std::int32_t col = 0; col < 7; ++col)
        for (std::int32_t row = 0; row < 7; ++row) {
            const int d2 = (col - 3) * (col - 3) + (row - 3) * (row - 3);
            const auto entry = kRadiusThreeTable.find(d2);
            const std::uint32_t layer = form->landscape.layers[std::size_t(row) * 7 + std::size_t(col)];
            const double y = heightAt(*form, col, row);
            if (entry == kRadiusThreeTable.end()) {
                QCOMPARE(y, 0.0);
                QCOMPARE(layer, 0u);
                continue;
            }
            ++reshaped;
            QVERIFY2(std::abs(y / rate - entry->second.target) < 2e-6,
                     qPrintable(QString("(%1, %2): %3").arg(col).arg(row).arg(y / rate, 0, 'g', 9)));
            QCOMPARE(layer, entry->second.layer);
        }
    QCOMPARE(reshaped, 29);

    for (std::int32_t col = 0; col < 7; ++col)
        for (std::int32_t row = 0; row < 7; ++row) {
            const auto entry = kRadiusThreeTable.find((col - 3) * (col - 3) + (row - 3) * (row - 3));
            heightAt(*form, col, row) = entry == kRadiusThreeTable.end() ? 7.5f : float(entry->second.target);
        }
    stepWanderingBump(*form);
    for (std::int32_t col = 0; col < 7; ++col)
        for (std::int32_t row = 0; row < 7; ++row) {
            const auto entry = kRadiusThreeTable.find((col - 3) * (col - 3) + (row - 3) * (row - 3));
            const double expected = entry == kRadiusThreeTable.end() ? 7.5 : entry->second.target;
            QVERIFY(std::abs(heightAt(*form, col, row) - expected) < 1e-6);
        }
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

// (6 - 4) * 0.95^n left of the gap: 5.9 after one frame, 4 + 0.199 after 45.
void WanderingBumpGLTest::centreVertexApproachesFour()
{
    auto form = makePinnedForm();
    heightAt(*form, 3, 3) = 6.0f;
    stepWanderingBump(*form);
    QVERIFY(std::abs(heightAt(*form, 3, 3) - 5.9f) < 1e-6f);
    for (int frame = 1; frame < 45; ++frame)
        stepWanderingBump(*form);
    const float y = heightAt(*form, 3, 3);
    QVERIFY2(y > 4.0f && y - 4.0f < 0.2f, qPrintable(QString::number(y, 'g', 9)));
    QVERIFY(std::abs(y - (4.0 + 2.0 * std::pow(0.95, 45))) < 1e-4);
}

// Normals are recomputed over the bump's square (columns and rows centre +- r, border ring
// excepted) and nowhere else.
void WanderingBumpGLTest::normalsRecomputedOverTheSquareOnly()
{
    auto form = makeForm(30, 30);
    TLandscape& land = form->landscape;
    form->bumpColumn = 12;
    form->bumpRow = 12;
    const float3 sentinel{0.0f, -1.0f, 0.0f};
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        land.normals[k] = sentinel;
    stepWanderingBump(*form);
    const std::int32_t col = form->bumpColumn, row = form->bumpRow, r = form->bumpRadius;

    TLandscape check;
    check.create(30, 30, 2.0f, 1);
    std::memcpy(check.positions, land.positions, sizeof(float3) * land.vertexCount());
    check.computeNormals(0, 30, 0, 30);
    for (std::int32_t i = 0; i < 30; ++i)
        for (std::int32_t j = 0; j < 30; ++j) {
            const std::size_t k = std::size_t(j) * 30 + std::size_t(i);
            const bool inSquare = std::abs(i - col) <= r && std::abs(j - row) <= r;
            const float3& expected = inSquare ? check.normals[k] : sentinel;
            QCOMPARE(land.normals[k].x, expected.x);
            QCOMPARE(land.normals[k].y, expected.y);
            QCOMPARE(land.normals[k].z, expected.z);
        }
    // The bump did tilt the ground: the square's normals are not all upright.
    QVERIFY(land.normals[std::size_t(row) * 30 + std::size_t(col + 2)].x != 0.0f);
}

void WanderingBumpGLTest::apexIsTheCentreVertexAfterTheStep()
{
    auto form = makeForm(60, 60);
    for (int frame = 0; frame < 30; ++frame) {
        stepWanderingBump(*form);
        const float3& p =
            form->landscape.positions[std::size_t(form->bumpRow) * 60 + std::size_t(form->bumpColumn)];
        QCOMPARE(form->bumpApex.x, double(p.x));
        QCOMPARE(form->bumpApex.y, double(p.y));
        QCOMPARE(form->bumpApex.z, double(p.z));
        QVERIFY(p.y > 0.0f); // this frame's pull is already in it
    }
}

void WanderingBumpGLTest::cameraUntouchedWhileNotOrbiting()
{
    auto form = makeForm(40, 40);
    Camera& camera = form->camera;
    camera.position = Vec3d{21.0, 7.0, 33.0};
    camera.target = Vec3d{22.0, 6.5, 34.0};
    camera.forward = Vec3d{0.6, -0.1, 0.79};
    camera.up = Vec3d{0.0, 1.0, 0.0};
    camera.right = Vec3d{-0.79, 0.0, 0.6};
    camera.yaw = 52.0;
    camera.pitch = -6.0;
    camera.roll = 1.5;
    camera.orbitDistance = 1.0;
    camera.minOrbitDistance = 1.0;
    const Camera before = camera;
    for (int frame = 0; frame < 10; ++frame) {
        stepWanderingBump(*form);
        QVERIFY(sameCamera(camera, before));
    }
}

void WanderingBumpGLTest::orbitingCameraFollowsTheApex()
{
    auto form = makeForm(60, 60);
    form->camera.position = Vec3d{40.0, 10.0, 40.0};
    form->camera.enterOrbit(Vec3d{30.0, 0.0, 30.0}, 1.0);
    for (int frame = 0; frame < 20; ++frame) {
        stepWanderingBump(*form);
        QVERIFY(form->camera.orbiting);
        QCOMPARE(form->camera.target.x, form->bumpApex.x);
        QCOMPARE(form->camera.target.y, form->bumpApex.y);
        QCOMPARE(form->camera.target.z, form->bumpApex.z);
        QCOMPARE(form->camera.minOrbitDistance, 3.0);
    }
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

// The step ends with the frame's terrain around the camera's eye (radius 60), then the normals
// when the overlay is on. Eye at (0, z 0) on spacing 2: cells 34 x 30, strips 35.
void WanderingBumpGLTest::stepDrawsTheTerrainAroundTheCamera()
{
    auto form = makeForm(300, 300);
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
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
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
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

// A bump placed outside a small lattice reshapes only the vertices that exist and walks onto
// the lattice, then stays at the one target (r, r).
void WanderingBumpGLTest::bumpStartingOffTheLatticeWalksOnto()
{
    auto form = makeForm(7, 7); // the bump starts at the window's (10, 10)
    stepWanderingBump(*form);
    QCOMPARE(form->bumpColumn, 9);
    for (std::uint32_t k = 0; k < form->landscape.vertexCount(); ++k)
        QCOMPARE(form->landscape.positions[k].y, 0.0f); // nothing within reach yet
    for (int frame = 1; frame < 10; ++frame)
        stepWanderingBump(*form);
    QCOMPARE(form->bumpColumn, 3);
    QCOMPARE(form->bumpRow, 3);
    QCOMPARE(form->bumpApex.y, double(heightAt(*form, 3, 3)));
    QVERIFY(heightAt(*form, 3, 3) > 0.0f);
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

QTEST_MAIN(WanderingBumpGLTest)
#include "WanderingBumpGLTest.moc"
