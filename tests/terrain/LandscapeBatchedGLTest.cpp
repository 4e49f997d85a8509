// The batched terrain path against the literal one on a real context (llvmpipe): the same
// frame pixel for pixel from several poses, after many steps of the wandering bump and while
// the camera crosses cell boundaries; the state left behind; the draw calls and binds; what
// the cache copies again, and a lattice created a second time.

#include "FormState.h"
#include "FrameInstruments.h"
#include "GlChecks.h"
#include "GlTestPanel.h"
#include "GlView.h"
#include "ImageCompare.h"
#include "Landscape.h"
#include "TerrainBuild.h"
#include "TerrainDraw.h"
#include "TerrainPath.h"
#include "WanderingBump.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QImage>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

namespace {

constexpr int kPanelWidth = 400;
constexpr int kPanelHeight = 240;
constexpr std::uint32_t kSlots = 100; // as the terrain build: four textures, 96 empty slots

struct Eye {
    double x, y, z;
    double cx, cy, cz;
};

// Four clearly different 16 x 16 layers, mipmapped and filtered as the build uploads them,
// each with a pattern so that a wrong texture coordinate or a wrong layer shows.
GLuint makeLayerTexture(int layer)
{
    const GLubyte base[4][3] = {{60, 150, 50}, {150, 130, 60}, {120, 80, 50}, {200, 200, 210}};
    std::vector<GLubyte> texels(16 * 16 * 4);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            GLubyte* t = &texels[std::size_t(y * 16 + x) * 4];
            const int shade = ((x / 4 + y / 4) % 2) * 40 + x * 2 - y;
            for (int c = 0; c < 3; ++c)
                t[c] = GLubyte(std::clamp(base[layer][c] + shade - 20, 0, 255));
            t[3] = 255;
        }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, 16, 16, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    return name;
}

// A lattice built like the window's terrain: heights from the three sines, normals, white
// vertex colours with alpha 0, layers by steepness into four loaded slots. A patch of layer 5
// (an empty slot, texture name 0) and one of layer 250 (beyond the table) take the literal
// path's "no texture" branch.
void buildLattice(TLandscape& land, std::uint32_t width, std::uint32_t depth, float spacing)
{
    land.create(width, depth, spacing, kSlots);
    for (int slot = 0; slot < 4; ++slot)
        land.textures[slot] = makeLayerTexture(slot);
    for (std::uint32_t i = 0; i < width; ++i)
        for (std::uint32_t j = 0; j < depth; ++j) {
            float3& p = land.positions[std::size_t(j) * width + i];
            const double x = p.x, z = p.z;
            const double waves = std::sin(double(0.7f) * x) + std::sin(double(0.6f) * z) +
                                 std::sin(double(0.4f) * (x + z));
            p.y = float((waves / 3.0 + 2.0) * spacing);
        }
    land.computeNormals(0, width, 0, depth);
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        land.colours[k] = ubyte4{255, 255, 255, 0};
        land.layers[k] = layerForSlope(land.normals[k].y);
    }
    for (std::uint32_t j = 52; j < 56; ++j)
        for (std::uint32_t i = 55; i < 59; ++i) {
            land.layers[j * width + i] = 5;
            land.layers[(j + 6) * width + i] = 250;
        }
}

void beginView(const Eye& eye)
{
    glClearColor(0.25f, 0.35f, 0.6f, 1.0f);
    beginFrame();
    gluLookAt(eye.x, eye.y, eye.z, eye.cx, eye.cy, eye.cz, 0.0, 1.0, 0.0);
}

// Bit-identical, alpha included, is what we expect and get: the cache holds the lattice's own
// floats and bytes, each triangle reaches the rasteriser with the same corners in the same
// order, and the colour passes add with saturation without writing depth, so neither the
// cells' order nor their grouping by layer can change a pixel. No tolerance is allowed.
const ImageTolerance kSameFrame = ImageTolerance::identical().withAlpha();

// Pixels that differ from the clear colour: the share of the frame the terrain covers.
double coveredShare(const QImage& image, QRgb clear)
{
    int covered = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            covered += image.pixel(x, y) != clear ? 1 : 0;
    return double(covered) / (image.width() * image.height());
}

// The colour passes' cells, computed here from the window formula: columns and rows of the
// cells drawn around (x, z) with radius r, border ring excluded.
struct Cells {
    int colLo, colHi, rowLo, rowHi;
};
Cells expectedCells(const TLandscape& land, float x, float z, float r)
{
    const double s = land.spacing;
    const double k = 1.1547005591040845;
    Cells c{int((x - r - s) / s * k), int((x + r + s) / s * k), int((z - r - s) / s), int((z + r + s) / s)};
    c.colLo = std::max(c.colLo, 1);
    c.colHi = std::min(c.colHi, int(land.width) - 1);
    c.rowLo = std::max(c.rowLo, 1);
    c.rowHi = std::min(c.rowHi, int(land.depth) - 1);
    return c;
}

std::uint32_t cellCount(const Cells& c)
{
    if (c.colHi <= c.colLo || c.rowHi <= c.rowLo)
        return 0;
    return std::uint32_t((c.colHi - c.colLo) * (c.rowHi - c.rowLo));
}

// Distinct textures the cells of the window draw with: their layer, or "none" for a layer
// without a slot.
std::size_t groupsInView(const TLandscape& land, const Cells& c)
{
    std::set<std::uint32_t> groups;
    for (int row = c.rowLo; row < c.rowHi; ++row)
        for (int col = c.colLo; col < c.colHi; ++col)
            groups.insert(std::min(land.layers[std::size_t(row) * land.width + std::size_t(col)], land.textureCount));
    return groups.size();
}

} // namespace

Q_DECLARE_METATYPE(Eye)

class LandscapeBatchedGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void sameFrameFromEveryPose_data();
    void sameFrameFromEveryPose();
    void stateLeftBehindMatchesTheLiteralPath();
    void drawCallsAndBindsPerLayer();
    void bumpStepsKeepBothPathsEqual();
    void staleCacheWouldShowUntilMarked();
    void cameraCrossingCellsRefillsOnlyWhatEnters();
    void markChangedRefreshesTheCellsAroundAVertex();
    void secondCreateInvalidatesTheCache();
    void radiusChangesResizeTheCache();

private:
    QImage frame(TLandscape& land, const Eye& eye, TerrainPath path, float radius = 60.0f);

    std::unique_ptr<GlTestPanel> panel_;
    FrameInstruments instruments_;
    std::unique_ptr<TLandscape> land_;
};

void LandscapeBatchedGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>(kPanelWidth, kPanelHeight);
    land_ = std::make_unique<TLandscape>();
    buildLattice(*land_, 300, 300, 2.0f);
    VERIFY_NO_GL_ERROR();
}

void LandscapeBatchedGLTest::init()
{
    panel_->makeCurrent();
    initRenderState(panel_->panel());
    glView.setPerspective(45.0f, 50.0f);
    enableStartupFog();
    instruments_.counters.reset();
}

QImage LandscapeBatchedGLTest::frame(TLandscape& land, const Eye& eye, TerrainPath path, float radius)
{
    beginView(eye);
    if (path == TerrainPath::Batched)
        land.renderBatched(float(eye.x), float(eye.z), radius, &instruments_.counters);
    else
        land.render(float(eye.x), float(eye.z), radius, &instruments_.counters);
    return panel_->readPixels();
}

void LandscapeBatchedGLTest::sameFrameFromEveryPose_data()
{
    QTest::addColumn<Eye>("eye");
    QTest::addColumn<double>("minCovered");
    // The window's start-up view: eye (100, 7, 100) turned to yaw 125 degrees.
    const double yaw = 125.0 * 0.017453292519943295;
    const Eye startUp{100.0, 7.0, 100.0, 100.0 + std::cos(yaw), 7.0, 100.0 + std::sin(yaw)};
    QTest::newRow("start-up view") << startUp << 0.3;
    QTest::newRow("down a slope") << Eye{260.0, 15.0, 40.0, 230.0, 0.0, 80.0} << 0.5;
    QTest::newRow("over the textureless patches") << Eye{85.0, 14.0, 95.0, 97.0, 3.0, 112.0} << 0.5;
    QTest::newRow("corner, window clamped") << Eye{3.0, 9.0, 3.0, 40.0, 0.0, 40.0} << 0.3;
    QTest::newRow("far edge, window clamped") << Eye{515.0, 10.0, 595.0, 480.0, 2.0, 560.0} << 0.3;
    QTest::newRow("high, looking down") << Eye{150.0, 30.0, 150.0, 150.5, 0.0, 160.0} << 0.9;
    QTest::newRow("off the lattice, nothing drawn") << Eye{-200.0, 10.0, -200.0, -150.0, 0.0, -150.0} << 0.0;
}

void LandscapeBatchedGLTest::sameFrameFromEveryPose()
{
    QFETCH(Eye, eye);
    QFETCH(double, minCovered);
    const QImage literal = frame(*land_, eye, TerrainPath::Literal);
    const std::uint32_t literalCells = instruments_.counters.cells;
    instruments_.counters.reset();
    const QImage batched = frame(*land_, eye, TerrainPath::Batched);
    QCOMPARE(instruments_.counters.cells, literalCells);
    QCOMPARE(literalCells, cellCount(expectedCells(*land_, float(eye.x), float(eye.z), 60.0f)));
    COMPARE_IMAGES(batched, literal, QString("pose-%1").arg(QTest::currentDataTag()), kSameFrame);
    // The comparison sees real terrain: the frame is mostly ground where the pose looks at it.
    beginView(eye);
    const QRgb clear = panel_->pixelAt(0, 0);
    const double covered = coveredShare(batched, clear);
    QVERIFY2(covered >= minCovered, qPrintable(QString::number(covered)));
    if (minCovered == 0.0)
        QCOMPARE(covered, 0.0);
    VERIFY_NO_GL_ERROR();
}

// What render leaves, read back after each path from a changed entry state (depth mask off,
// a polygon offset set) as well as from the baseline.
void LandscapeBatchedGLTest::stateLeftBehindMatchesTheLiteralPath()
{
    const Eye eye{100.0, 7.0, 100.0, 99.0, 6.5, 101.0};
    for (int variant = 0; variant < 2; ++variant) {
        for (TerrainPath path : {TerrainPath::Literal, TerrainPath::Batched}) {
            init();
            if (variant == 1) {
                glDepthMask(GL_FALSE);
                glEnable(GL_POLYGON_OFFSET_FILL);
                glPolygonOffset(2.0f, 3.0f);
                glBlendFunc(GL_ONE, GL_ONE);
            }
            frame(*land_, eye, path);
            const char* which = path == TerrainPath::Batched ? "batched" : "literal";
            QVERIFY2(glIsEnabled(GL_TEXTURE_2D), which);
            QVERIFY2(glIsEnabled(GL_BLEND), which);
            QVERIFY2(!glIsEnabled(GL_ALPHA_TEST), which);
            QVERIFY2(!glIsEnabled(GL_TEXTURE_GEN_S), which);
            QVERIFY2(!glIsEnabled(GL_TEXTURE_GEN_T), which);
            QVERIFY2(!glIsEnabled(GL_VERTEX_ARRAY), which);
            QVERIFY2(!glIsEnabled(GL_NORMAL_ARRAY), which);
            QVERIFY2(!glIsEnabled(GL_COLOR_ARRAY), which);
            QVERIFY2(!glIsEnabled(GL_POLYGON_OFFSET_FILL), which);
            // The pre-pass switches these back on whatever they were.
            QVERIFY2(glIsEnabled(GL_CULL_FACE) && glIsEnabled(GL_FOG) && glIsEnabled(GL_LIGHTING), which);
            GLboolean depthMask = GL_FALSE;
            GLfloat factor = -9.0f, units = -9.0f;
            glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
            glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &factor);
            glGetFloatv(GL_POLYGON_OFFSET_UNITS, &units);
            QCOMPARE(integerState(GL_DEPTH_FUNC), GLint(GL_LEQUAL));
            QCOMPARE(integerState(GL_BLEND_SRC), GLint(GL_SRC_ALPHA));
            QCOMPARE(integerState(GL_BLEND_DST), GLint(GL_ONE_MINUS_SRC_ALPHA));
            QCOMPARE(depthMask, GLboolean(GL_TRUE));
            QCOMPARE(factor, 0.0f);
            QCOMPARE(units, 0.0f);
            for (std::uint32_t k = 0; k < land_->vertexCount(); ++k)
                if (land_->colours[k].a != 0)
                    QFAIL(
                        qPrintable(QString("%1: vertex %2 keeps alpha %3").arg(which).arg(k).arg(land_->colours[k].a)));
            VERIFY_NO_GL_ERROR();
        }
    }
}

// One draw call and one bind per texture in view: the pre-pass's strips plus at most a group
// per layer, against one of each per cell on the literal path.
void LandscapeBatchedGLTest::drawCallsAndBindsPerLayer()
{
    const Eye poses[] = {{100.0, 7.0, 100.0, 99.0, 6.5, 101.0},
                         {85.0, 14.0, 95.0, 97.0, 3.0, 112.0},
                         {0.2, 9.0, 0.4, 20.0, 0.0, 20.0}};
    for (const Eye& eye : poses) {
        const Cells cells = expectedCells(*land_, float(eye.x), float(eye.z), 60.0f);
        instruments_.counters.reset();
        frame(*land_, eye, TerrainPath::Literal);
        const TerrainDrawCounters literal = instruments_.counters;
        instruments_.counters.reset();
        frame(*land_, eye, TerrainPath::Batched);
        const TerrainDrawCounters batched = instruments_.counters;
        QCOMPARE(literal.cells, cellCount(cells));
        QCOMPARE(literal.drawCalls, literal.strips + literal.cells);
        QCOMPARE(literal.textureBinds, literal.cells);
        QCOMPARE(batched.cells, literal.cells);
        QCOMPARE(batched.strips, literal.strips);
        QCOMPARE(std::size_t(batched.textureBinds), groupsInView(*land_, cells));
        QCOMPARE(batched.drawCalls, batched.strips + batched.textureBinds);
        QVERIFY2(batched.drawCalls <= 100, qPrintable(QString::number(batched.drawCalls)));
    }
    // The eye at (0.2, 0.4): cells 34 x 30, strips 35, and the full set of four layers.
    QCOMPARE(instruments_.counters.cells, 34u * 30u);
    QCOMPARE(instruments_.counters.strips, 35u);
    QCOMPARE(instruments_.counters.textureBinds, 4u);
    VERIFY_NO_GL_ERROR();
}

// The bump reshapes heights, layers and normals every frame and the frame draws with the
// batched path; the literal path then draws the very same lattice. A cell the cache did not
// copy again would show as a difference. The camera follows the bump, so the window moves
// too, and the rate is raised so that every step changes the ground visibly.
void LandscapeBatchedGLTest::bumpStepsKeepBothPathsEqual()
{
    auto form = std::make_unique<TForm1State>();
    buildLattice(form->landscape, 300, 300, 2.0f);
    form->landscapeBuilt = true;
    form->terrainPath = TerrainPath::Batched;
    form->bumpColumn = 50;
    form->bumpRow = 50;
    form->bumpRate = 0.5f;
    form->instruments = &instruments_;
    TLandscape& land = form->landscape;
    const std::vector<float3> before(land.positions, land.positions + land.vertexCount());

    for (int step = 0; step < 40; ++step) {
        const float3& apex = land.positions[std::size_t(form->bumpRow) * 300 + std::size_t(form->bumpColumn)];
        const Eye eye{apex.x - 14.0, 14.0, apex.z - 16.0, apex.x, apex.y, apex.z};
        form->camera.position = Vec3d{eye.x, eye.y, eye.z};
        beginView(eye);
        instruments_.counters.reset();
        stepWanderingBump(*form);
        drawTerrain(*form);
        QVERIFY(instruments_.counters.drawCalls <= 100);
        QVERIFY(land.batches().refreshedCells() > 0); // the bump's cells at least
        const QImage batched = panel_->readPixels();
        const QImage literal = frame(land, eye, TerrainPath::Literal);
        COMPARE_IMAGES(batched, literal, QString("bump-step-%1").arg(step), kSameFrame);
    }
    // The bump did reshape the ground it crossed.
    int moved = 0;
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        moved += land.positions[k].y != before[k].y ? 1 : 0;
    QVERIFY2(moved > 200, qPrintable(QString::number(moved)));
    VERIFY_NO_GL_ERROR();
}

// The comparison above can fail: a change the cache is not told about stays out of the
// batched frame, and markChanged brings it in.
void LandscapeBatchedGLTest::staleCacheWouldShowUntilMarked()
{
    auto land = std::make_unique<TLandscape>();
    buildLattice(*land, 120, 120, 2.0f);
    const Eye eye{60.0, 12.0, 60.0, 80.0, 2.0, 80.0};
    frame(*land, eye, TerrainPath::Batched);
    for (std::uint32_t i = 44; i <= 47; ++i)
        for (std::uint32_t j = 39; j <= 42; ++j) {
            land->positions[j * 120 + i].y += 3.0f;
            land->layers[j * 120 + i] = 3;
        }
    land->computeNormals(43, 48, 38, 43);
    const QImage literal = frame(*land, eye, TerrainPath::Literal);
    const QImage stale = frame(*land, eye, TerrainPath::Batched);
    QVERIFY(imageDifference(stale, literal, kSameFrame).differingPixels > 100);
    land->markChanged(43, 48, 38, 43);
    const QImage fresh = frame(*land, eye, TerrainPath::Batched);
    COMPARE_IMAGES(fresh, literal, "marked", kSameFrame);
    VERIFY_NO_GL_ERROR();
}

// The camera moves less than a cell per frame along a diagonal: the window moves by at most
// one column and one row, and the cache copies only the cells that enter it.
void LandscapeBatchedGLTest::cameraCrossingCellsRefillsOnlyWhatEnters()
{
    auto land = std::make_unique<TLandscape>();
    buildLattice(*land, 300, 300, 2.0f);
    Eye eye{120.0, 8.0, 120.0, 121.0, 7.0, 121.5};
    frame(*land, eye, TerrainPath::Batched);
    QCOMPARE(land->batches().refreshedCells(), cellCount(expectedCells(*land, float(eye.x), float(eye.z), 60)));
    Cells previous = expectedCells(*land, float(eye.x), float(eye.z), 60.0f);
    int framesThatMoved = 0;
    for (int step = 0; step < 24; ++step) {
        eye.x += 0.45;
        eye.cx += 0.45;
        eye.z += 0.55;
        eye.cz += 0.55;
        const Cells now = expectedCells(*land, float(eye.x), float(eye.z), 60.0f);
        const QImage batched = frame(*land, eye, TerrainPath::Batched);
        const std::uint32_t refreshed = land->batches().refreshedCells();
        // Entering cells: those of the new window outside the previous one.
        std::uint32_t entering = 0;
        for (int row = now.rowLo; row < now.rowHi; ++row)
            for (int col = now.colLo; col < now.colHi; ++col)
                entering += (col < previous.colLo || col >= previous.colHi || row < previous.rowLo ||
                             row >= previous.rowHi)
                                ? 1
                                : 0;
        QCOMPARE(refreshed, entering);
        framesThatMoved += entering > 0 ? 1 : 0;
        previous = now;
        const QImage literal = frame(*land, eye, TerrainPath::Literal);
        COMPARE_IMAGES(batched, literal, QString("moving-%1").arg(step), kSameFrame);
    }
    QVERIFY(framesThatMoved >= 8); // 24 * 0.45 / 1.73 columns and 24 * 0.55 / 2 rows crossed
    VERIFY_NO_GL_ERROR();
}

// A changed vertex lies in the hexagons of the cells around it: its own and those one column
// and one row away, nine at most; marking a square marks the square grown by one.
void LandscapeBatchedGLTest::markChangedRefreshesTheCellsAroundAVertex()
{
    auto land = std::make_unique<TLandscape>();
    buildLattice(*land, 120, 120, 2.0f);
    const Eye eye{60.0, 12.0, 60.0, 80.0, 2.0, 80.0};
    frame(*land, eye, TerrainPath::Batched);
    frame(*land, eye, TerrainPath::Batched);
    QCOMPARE(land->batches().refreshedCells(), 0u);

    land->markChanged(40, 40, 30, 30);
    frame(*land, eye, TerrainPath::Batched);
    QCOMPARE(land->batches().refreshedCells(), 9u);

    // Bounds in either order; a bump's 7 x 7 square becomes 9 x 9 cells.
    land->markChanged(47, 41, 36, 30);
    frame(*land, eye, TerrainPath::Batched);
    QCOMPARE(land->batches().refreshedCells(), 81u);

    // Clamped to the lattice: the border ring has no cells, and bounds far outside are fine.
    land->markChanged(-1000, 0, -5, 0);
    frame(*land, eye, TerrainPath::Batched);
    QCOMPARE(land->batches().refreshedCells(), 1u); // cell (1, 1)
    land->markChanged(INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX);
    frame(*land, eye, TerrainPath::Batched);
    QCOMPARE(land->batches().refreshedCells(), cellCount(expectedCells(*land, float(eye.x), float(eye.z), 60)));
    VERIFY_NO_GL_ERROR();
}

// create() again gives new arrays (of another size, or another spacing at the same size):
// the cache of the old lattice must not be drawn.
void LandscapeBatchedGLTest::secondCreateInvalidatesTheCache()
{
    auto land = std::make_unique<TLandscape>();
    buildLattice(*land, 300, 300, 2.0f);
    const Eye eye{100.0, 9.0, 100.0, 110.0, 3.0, 115.0};
    frame(*land, eye, TerrainPath::Batched);

    buildLattice(*land, 260, 280, 2.0f);
    for (std::uint32_t k = 0; k < land->vertexCount(); ++k)
        land->positions[k].y *= 0.5f;
    COMPARE_IMAGES(frame(*land, eye, TerrainPath::Batched), frame(*land, eye, TerrainPath::Literal), "recreated-size",
                   kSameFrame);

    buildLattice(*land, 260, 280, 2.5f);
    COMPARE_IMAGES(frame(*land, eye, TerrainPath::Batched), frame(*land, eye, TerrainPath::Literal),
                   "recreated-spacing", kSameFrame);
    VERIFY_NO_GL_ERROR();
}

// A small window, a full one (the cache grows) and a small one again (the cache keeps its
// size and holds cells outside the window), each against the literal path.
void LandscapeBatchedGLTest::radiusChangesResizeTheCache()
{
    const Eye eye{140.0, 10.0, 140.0, 150.0, 3.0, 152.0};
    for (float radius : {12.0f, 60.0f, 12.0f, 30.0f}) {
        instruments_.counters.reset();
        const QImage literal = frame(*land_, eye, TerrainPath::Literal, radius);
        const std::uint32_t cells = instruments_.counters.cells;
        instruments_.counters.reset();
        const QImage batched = frame(*land_, eye, TerrainPath::Batched, radius);
        QCOMPARE(instruments_.counters.cells, cells);
        COMPARE_IMAGES(batched, literal, QString("radius-%1").arg(double(radius)), kSameFrame);
    }
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(LandscapeBatchedGLTest)
#include "LandscapeBatchedGLTest.moc"
