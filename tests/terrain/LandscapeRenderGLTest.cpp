// Terrain drawing on a real context (llvmpipe): the lattice window each pass covers, the GL
// state each drawing function leaves, and the blended pixels against references drawn
// independently, triangle by triangle, with the same texture, lighting and fog.

#include "DrawCounters.h"
#include "GlChecks.h"
#include "GlTestPanel.h"
#include "GlView.h"
#include "ImageCompare.h"
#include "Landscape.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QImage>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace {

constexpr int kPanelSize = 256;
constexpr double kColumnFactor = 0.8660254037844386; // sqrt(3)/2

using Rgba = std::array<GLubyte, 4>;

// A 2 x 2 layer texture, filtered linearly and repeated, so a layer varies smoothly across a
// cell: a wrong texture-coordinate scale shows, and neighbouring pixels still differ by only
// a step or two. No mipmaps: the minification filter must not need them.
GLuint makeTexture(const std::array<Rgba, 4>& texels)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return name;
}

GLuint makeSolidTexture(Rgba colour)
{
    return makeTexture({colour, colour, colour, colour});
}

// Texels of the "converted" layers are opaque (alpha 255).
const std::array<Rgba, 4> kSandTexels = {Rgba{200, 160, 120, 255}, Rgba{170, 190, 110, 255}, Rgba{180, 150, 150, 255},
                                         Rgba{210, 170, 130, 255}};

// A flat lattice at height 0 with upward normals everywhere (the border ring included, so
// every triangle is lit alike), white vertex colours with alpha 0, and layer 0 throughout.
void makeFlatLattice(TLandscape& land, std::uint32_t width, std::uint32_t depth, float spacing)
{
    land.create(width, depth, spacing, 4);
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        land.positions[k].y = 0.0f;
        land.normals[k] = float3{0.0f, 1.0f, 0.0f};
        land.colours[k] = ubyte4{255, 255, 255, 0};
        land.layers[k] = 0;
    }
}

struct Eye {
    double x, y, z;    // eye
    double cx, cy, cz; // look-at centre
};

void beginView(const Eye& eye, const GLfloat clear[4])
{
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    beginFrame();
    gluLookAt(eye.x, eye.y, eye.z, eye.cx, eye.cy, eye.cz, 0.0, 1.0, 0.0);
}

// The references: every lattice triangle whose three corners are interior vertices, drawn
// once per call with the layer's texture at coordinates (x/s, z/s) given per vertex, white
// vertex colours with the given alpha per vertex, and the frame's lighting and fog. The
// triangles are the lattice's column-pair strips, written out here from the vertex layout.
template <typename AlphaOf>
void drawReferenceTriangles(const TLandscape& land, GLuint texture, AlphaOf alphaOf)
{
    glDisable(GL_CULL_FACE);
    glBindTexture(GL_TEXTURE_2D, texture);
    glNormal3f(0.0f, 1.0f, 0.0f);
    const auto vertex = [&land, &alphaOf](std::uint32_t col, std::uint32_t row) {
        const std::uint32_t k = row * land.width + col;
        const float3& p = land.positions[k];
        glColor4ub(255, 255, 255, alphaOf(k));
        glTexCoord2f(p.x / land.spacing, p.z / land.spacing);
        glVertex3f(p.x, p.y, p.z);
    };
    for (std::uint32_t col = 1; col + 2 < land.width; ++col) {
        glBegin(GL_TRIANGLE_STRIP);
        for (std::uint32_t row = 1; row + 1 < land.depth; ++row) {
            // The odd column of the pair lies half a row lower in z: it leads each row.
            const bool evenCol = (col & 1u) == 0;
            vertex(evenCol ? col + 1 : col, row);
            vertex(evenCol ? col : col + 1, row);
        }
        glEnd();
    }
    glEnable(GL_CULL_FACE);
}

// One layer, opaque, with (source alpha, one minus source alpha) blending over a buffer cleared
// to alpha 0: its alpha marks exactly the pixels it covers.
void drawReference(const TLandscape& land, GLuint texture)
{
    drawReferenceTriangles(land, texture, [](std::uint32_t) { return GLubyte(255); });
}

// Splatting written triangle by triangle: one additive pass per layer in which the corners of
// that layer have alpha 1 and the others 0, so at any point the layer weighs the sum of its
// corners' barycentric weights.
void drawSplatReference(const TLandscape& land, std::uint32_t layerCount)
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    for (std::uint32_t layer = 0; layer < layerCount; ++layer)
        drawReferenceTriangles(land, land.textures[layer],
                               [&land, layer](std::uint32_t k) { return GLubyte(land.layers[k] == layer ? 255 : 0); });
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

bool covered(const QImage& reference, int x, int y)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px < 0 || py < 0 || px >= reference.width() || py >= reference.height())
                return false;
            if (qAlpha(reference.pixel(px, py)) != 255)
                return false;
        }
    return true;
}

int channelDelta(QRgb a, QRgb b, int channel)
{
    const int va[3] = {qRed(a), qGreen(a), qBlue(a)};
    const int vb[3] = {qRed(b), qGreen(b), qBlue(b)};
    return va[channel] - vb[channel];
}

// Within 4 steps wherever the reference covers a pixel and its eight neighbours (edge pixels
// may be rasterised by a different triangle): three contributions each rounded to 8 bits.
ImageTolerance whereCovered(const QImage& reference)
{
    return ImageTolerance::within(4, kAnyMeanStep).onlyWhere([&reference](int x, int y) {
        return covered(reference, x, y);
    });
}

// Feedback-mode capture of what a drawing operation hands to the rasteriser, in window
// coordinates with colour.
struct FeedbackVertex {
    double x, y, z;
    float r, g, b, a;
};
struct FeedbackCapture {
    std::vector<std::vector<FeedbackVertex>> polygons;
    std::vector<std::pair<FeedbackVertex, FeedbackVertex>> lines;
};

template <typename Draw>
FeedbackCapture captureFeedback(Draw draw)
{
    std::vector<GLfloat> buffer(1u << 21);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    FeedbackCapture capture;
    if (used < 0)
        return capture; // overflow: the caller's checks fail on the empty capture
    const auto readVertex = [&buffer](GLint& at) {
        FeedbackVertex v{buffer[at],     buffer[at + 1], buffer[at + 2], buffer[at + 3],
                         buffer[at + 4], buffer[at + 5], buffer[at + 6]};
        at += 7;
        return v;
    };
    for (GLint at = 0; at < used;) {
        const GLint token = GLint(buffer[at++]);
        if (token == GL_POLYGON_TOKEN) {
            const GLint n = GLint(buffer[at++]);
            std::vector<FeedbackVertex> polygon;
            polygon.reserve(std::size_t(n > 0 ? n : 0));
            for (GLint m = 0; m < n; ++m)
                polygon.push_back(readVertex(at));
            capture.polygons.push_back(polygon);
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            const FeedbackVertex a = readVertex(at);
            const FeedbackVertex b = readVertex(at);
            capture.lines.emplace_back(a, b);
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN || token == GL_DRAW_PIXEL_TOKEN ||
                   token == GL_COPY_PIXEL_TOKEN) {
            readVertex(at);
        } else {
            at += 1; // pass-through value
        }
    }
    return capture;
}

// A view straight down on the lattice, orthographic: eye x = world x, eye y = -world z,
// eye z = world y. Seen so, x runs right and z down, and the hexagons (turning from +x toward
// +z) are clockwise: front faces.
void loadTopDownView()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-10.0, 80.0, -80.0, 10.0, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    const GLdouble view[16] = {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1};
    glLoadMatrixd(view);
}

// The lattice vertex (column, row) under a fed-back window position, by undoing the view.
std::pair<int, int> latticeIndexAt(const FeedbackVertex& v, float spacing)
{
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx = 0, wy = 0, wz = 0;
    gluUnProject(v.x, v.y, v.z, model, projection, viewport, &wx, &wy, &wz);
    const int col = int(std::lround(wx / (spacing * kColumnFactor)));
    const int row = int(std::lround(wz / spacing + 0.5 * (col & 1)));
    return {col, row};
}

} // namespace

Q_DECLARE_METATYPE(Eye)

class LandscapeRenderGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void windowBoundsCountCellsAndStrips_data();
    void windowBoundsCountCellsAndStrips();
    void passesCoverTheDocumentedLatticeWindow();
    void renderDepthLeavesBaselineStatesOn();
    void depthPassWritesBlackWithAlphaZero();
    void renderLeavesDocumentedState();
    void renderNormalsDrawsOneLinePerVertex();
    void singleLayerEqualsLitFoggedTexture();
    void twoLayersBlendBetweenTheirColours();
    void thirtyTwoBitLayerAddsNothing();
    void normalsOverlayDrawsBlueLines();
    void noSpecklesOnSlantedFlatLattice_data();
    void noSpecklesOnSlantedFlatLattice();
    void groundFogOfOneColourIsGlFog();

private:
    // The frame's baseline: the GL view's render state, the window's projection and fog.
    void resetBaseline();
    QImage renderTerrain(TLandscape& land, const Eye& eye);
    QImage renderReference(TLandscape& land, GLuint texture, const Eye& eye);
    QImage renderSplatReference(TLandscape& land, std::uint32_t layerCount, const Eye& eye);

    std::unique_ptr<GlTestPanel> panel_;
    TerrainDrawCounters counters_;
};

void LandscapeRenderGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>(kPanelSize, kPanelSize);
}

void LandscapeRenderGLTest::init()
{
    resetBaseline();
    counters_.reset();
}

void LandscapeRenderGLTest::resetBaseline()
{
    panel_->makeCurrent();
    initRenderState(panel_->panel());
    glView.setPerspective(45.0f, 50.0f);
    enableStartupFog();
    VERIFY_NO_GL_ERROR();
}

QImage LandscapeRenderGLTest::renderTerrain(TLandscape& land, const Eye& eye)
{
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    beginView(eye, black);
    land.render(float(eye.x), float(eye.z), 60.0f);
    return panel_->readPixels();
}

QImage LandscapeRenderGLTest::renderReference(TLandscape& land, GLuint texture, const Eye& eye)
{
    resetBaseline();
    const GLfloat transparent[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    beginView(eye, transparent);
    drawReference(land, texture);
    QImage image = panel_->readPixels();
    resetBaseline();
    return image;
}

QImage LandscapeRenderGLTest::renderSplatReference(TLandscape& land, std::uint32_t layerCount, const Eye& eye)
{
    resetBaseline();
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    beginView(eye, black);
    drawSplatReference(land, layerCount);
    QImage image = panel_->readPixels();
    resetBaseline();
    return image;
}

// With spacing 2 and radius 60 the window is trunc((x -+ 62) / 2 * K) columns and
// trunc((z -+ 62) / 2) rows, K = 1.1547005591040845:
//   (0, 0):     cols -35..35, rows -31..31 -> cells cols 1..34 x rows 1..30 = 34 * 30;
//               strips from cols 0..34 (colLo - 1 clamped to 0) = 35.
//   (200, 300): cols trunc(69 K) = 79 .. trunc(131 K) = 151, rows 119..181 ->
//               cells cols 79..150 x rows 119..180 = 72 * 62; strips cols 78..150 = 73.
//   (-70, 300): colHi = trunc(-4 K) = -4: nothing in either pass.
//   (600, 300): colLo = trunc(269 K) = 310 beyond column 299: nothing.
//   (300, -70) and (300, 700): rows -100..-4 and 318..381: nothing.
void LandscapeRenderGLTest::windowBoundsCountCellsAndStrips_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("z");
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("strips");
    QTest::newRow("origin corner") << 0.0f << 0.0f << 34 * 30 << 35;
    QTest::newRow("middle, full window") << 200.0f << 300.0f << 72 * 62 << 73;
    QTest::newRow("beyond -x") << -70.0f << 300.0f << 0 << 0;
    QTest::newRow("beyond +x") << 600.0f << 300.0f << 0 << 0;
    QTest::newRow("beyond -z") << 300.0f << -70.0f << 0 << 0;
    QTest::newRow("beyond +z") << 300.0f << 700.0f << 0 << 0;
}

void LandscapeRenderGLTest::windowBoundsCountCellsAndStrips()
{
    QFETCH(float, x);
    QFETCH(float, z);
    QFETCH(int, cells);
    QFETCH(int, strips);
    TLandscape land;
    makeFlatLattice(land, 300, 300, 2.0f);
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    beginView(Eye{x, 5.0, z, x + 10.0, 0.0, z + 10.0}, black);
    land.render(x, z, 60.0f, &counters_);
    QCOMPARE(int(counters_.cells), cells);
    QCOMPARE(int(counters_.strips), strips);
    QCOMPARE(int(counters_.textureBinds), cells);
    QCOMPARE(int(counters_.drawCalls), cells + strips);
    VERIFY_NO_GL_ERROR();
}

// Which vertices each pass actually hands to the GL, seen from straight above in feedback
// mode: the pre-pass strips span columns 0..35 and rows 0..31 completely; the colour passes
// draw one hexagon centred on every vertex of columns 1..34 and rows 1..30 (the centre is the
// one vertex with alpha 1 during its draw).
void LandscapeRenderGLTest::passesCoverTheDocumentedLatticeWindow()
{
    TLandscape land;
    makeFlatLattice(land, 300, 300, 2.0f);
    loadTopDownView();

    const FeedbackCapture depthPass = captureFeedback([&land] { land.renderDepth(0.0f, 0.0f, 60.0f); });
    std::set<std::pair<int, int>> stripVertices;
    int notLatticeTriangles = 0;
    for (const auto& polygon : depthPass.polygons) {
        for (const FeedbackVertex& v : polygon)
            stripVertices.insert(latticeIndexAt(v, land.spacing));
        // A lattice triangle of a flat lattice is equilateral with side `spacing`; a strip
        // pair in the wrong order would span a long diagonal instead.
        if (polygon.size() != 3) {
            ++notLatticeTriangles;
            continue;
        }
        for (int m = 0; m < 3; ++m) {
            const FeedbackVertex& a = polygon[m];
            const FeedbackVertex& b = polygon[(m + 1) % 3];
            const double side = std::hypot(a.x - b.x, a.y - b.y) * 90.0 / kPanelSize; // ortho: 90 units
            if (std::abs(side - land.spacing) > 0.02) {
                ++notLatticeTriangles;
                break;
            }
        }
    }
    QCOMPARE(notLatticeTriangles, 0);
    QCOMPARE(int(depthPass.polygons.size()), 35 * 2 * (32 - 1)); // 35 strips of 32 row pairs
    QVERIFY(!stripVertices.empty());
    QCOMPARE(stripVertices.begin()->first, 0);
    QCOMPARE(stripVertices.rbegin()->first, 35);
    std::set<int> stripRows;
    for (const auto& cr : stripVertices)
        stripRows.insert(cr.second);
    QCOMPARE(*stripRows.begin(), 0);
    QCOMPARE(*stripRows.rbegin(), 31);
    QCOMPARE(int(stripVertices.size()), 36 * 32); // every vertex of the rectangle

    loadTopDownView();
    const FeedbackCapture full = captureFeedback([&land] { land.render(0.0f, 0.0f, 60.0f); });
    std::set<std::pair<int, int>> centres;
    for (const auto& polygon : full.polygons)
        for (const FeedbackVertex& v : polygon)
            if (v.a > 0.99f)
                centres.insert(latticeIndexAt(v, land.spacing));
    std::set<std::pair<int, int>> expected;
    for (int col = 1; col <= 34; ++col)
        for (int row = 1; row <= 30; ++row)
            expected.insert({col, row});
    QCOMPARE(centres.size(), expected.size());
    QVERIFY(centres == expected);
    VERIFY_NO_GL_ERROR();
}

void LandscapeRenderGLTest::renderDepthLeavesBaselineStatesOn()
{
    TLandscape land;
    makeFlatLattice(land, 20, 20, 2.0f);
    // Switched off beforehand: the pre-pass switches them on whatever they were.
    for (GLenum cap : {GL_TEXTURE_2D, GL_LIGHTING, GL_FOG, GL_BLEND, GL_ALPHA_TEST, GL_CULL_FACE})
        glDisable(cap);
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    beginView(Eye{15, 5, 10, 15, 0, 25}, black);
    land.renderDepth(15.0f, 10.0f, 60.0f, &counters_);
    for (GLenum cap : {GL_TEXTURE_2D, GL_LIGHTING, GL_FOG, GL_BLEND, GL_ALPHA_TEST, GL_CULL_FACE})
        QVERIFY2(glIsEnabled(cap), qPrintable(QString("capability 0x%1 off").arg(cap, 0, 16)));
    QVERIFY(!glIsEnabled(GL_VERTEX_ARRAY));
    GLfloat colour[4] = {1, 1, 1, 1};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    for (GLfloat c : colour)
        QCOMPARE(c, 0.0f);
    QVERIFY(counters_.strips > 0);
    QCOMPARE(counters_.cells, 0u);
    VERIFY_NO_GL_ERROR();
}

// The pre-pass lays down depth in black with alpha 0; the background keeps its clear colour.
void LandscapeRenderGLTest::depthPassWritesBlackWithAlphaZero()
{
    TLandscape land;
    makeFlatLattice(land, 40, 40, 2.0f);
    const Eye eye{35, 6, 15, 35, 0, 40};
    const GLfloat clear[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    beginView(eye, clear);
    land.renderDepth(float(eye.x), float(eye.z), 60.0f);

    const QRgb ground = panel_->pixelAt(kPanelSize / 2, 10);
    QCOMPARE(ground, qRgba(0, 0, 0, 0));
    const QRgb sky = panel_->pixelAt(kPanelSize / 2, kPanelSize - 5);
    QVERIFY(std::abs(qRed(sky) - 51) <= 1 && std::abs(qGreen(sky) - 102) <= 1 && std::abs(qBlue(sky) - 153) <= 1);
    GLfloat depthGround = 1.0f, depthSky = 0.0f;
    glReadPixels(kPanelSize / 2, 10, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depthGround);
    glReadPixels(kPanelSize / 2, kPanelSize - 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depthSky);
    QVERIFY(depthGround < 1.0f);
    QCOMPARE(depthSky, 1.0f);
    VERIFY_NO_GL_ERROR();
}

void LandscapeRenderGLTest::renderLeavesDocumentedState()
{
    TLandscape land;
    makeFlatLattice(land, 40, 40, 2.0f);
    land.textures[0] = makeTexture(kSandTexels);
    // Deliberately off the baseline beforehand: render sets each of these itself.
    glDepthFunc(GL_LESS);
    glBlendFunc(GL_ONE, GL_ZERO);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    const Eye eye{35, 6, 15, 35, 0, 40};
    renderTerrain(land, eye);

    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        QCOMPARE(int(land.colours[k].a), 0);
    QVERIFY(glIsEnabled(GL_TEXTURE_2D));
    QVERIFY(glIsEnabled(GL_BLEND));
    QVERIFY(!glIsEnabled(GL_ALPHA_TEST));
    QVERIFY(!glIsEnabled(GL_TEXTURE_GEN_S));
    QVERIFY(!glIsEnabled(GL_TEXTURE_GEN_T));
    QVERIFY(!glIsEnabled(GL_VERTEX_ARRAY));
    QVERIFY(!glIsEnabled(GL_NORMAL_ARRAY));
    QVERIFY(!glIsEnabled(GL_COLOR_ARRAY));
    QVERIFY(!glIsEnabled(GL_POLYGON_OFFSET_FILL));
    // The baseline the pre-pass restored stays on.
    QVERIFY(glIsEnabled(GL_CULL_FACE));
    QVERIFY(glIsEnabled(GL_LIGHTING));
    QVERIFY(glIsEnabled(GL_FOG));
    QCOMPARE(integerState(GL_DEPTH_FUNC), GLint(GL_LEQUAL));
    QCOMPARE(integerState(GL_BLEND_SRC), GLint(GL_SRC_ALPHA));
    QCOMPARE(integerState(GL_BLEND_DST), GLint(GL_ONE_MINUS_SRC_ALPHA));
    GLboolean depthMask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    QCOMPARE(depthMask, GLboolean(GL_TRUE));
    GLfloat offset[2] = {1, 1};
    glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &offset[0]);
    glGetFloatv(GL_POLYGON_OFFSET_UNITS, &offset[1]);
    QCOMPARE(offset[0], 0.0f);
    QCOMPARE(offset[1], 0.0f);
    VERIFY_NO_GL_ERROR();
}

// Fed back from straight above: exactly one line per vertex, border ring included, from the
// vertex to vertex + normal.
void LandscapeRenderGLTest::renderNormalsDrawsOneLinePerVertex()
{
    TLandscape land;
    makeFlatLattice(land, 6, 5, 2.0f);
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        land.positions[k].y = 0.25f * float(k % 7);
        // Tilted so each line has a horizontal extent of 1.5 world units toward +x.
        land.normals[k] = float3{0.6f, 0.8f, 0.0f};
    }
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    loadTopDownView();
    const FeedbackCapture capture = captureFeedback([this, &land] { land.renderNormals(&counters_); });
    QCOMPARE(int(capture.lines.size()), int(land.vertexCount()));

    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::set<std::uint32_t> starts;
    for (const auto& line : capture.lines) {
        GLdouble a[3], b[3];
        gluUnProject(line.first.x, line.first.y, line.first.z, model, projection, viewport, &a[0], &a[1], &a[2]);
        gluUnProject(line.second.x, line.second.y, line.second.z, model, projection, viewport, &b[0], &b[1], &b[2]);
        // Find the vertex the line starts at and check it ends one normal further.
        bool matched = false;
        for (std::uint32_t k = 0; k < land.vertexCount() && !matched; ++k) {
            const float3& p = land.positions[k];
            if (std::abs(a[0] - p.x) < 0.05 && std::abs(a[1] - p.y) < 0.05 && std::abs(a[2] - p.z) < 0.05) {
                QVERIFY(std::abs(b[0] - (p.x + 0.6)) < 0.05);
                QVERIFY(std::abs(b[1] - (p.y + 0.8)) < 0.05);
                QVERIFY(std::abs(b[2] - p.z) < 0.05);
                starts.insert(k);
                matched = true;
            }
        }
        QVERIFY(matched);
        // The colour is blue (lighting is off during the lines).
        QCOMPARE(line.first.r, 0.0f);
        QCOMPARE(line.first.g, 0.0f);
        QCOMPARE(line.first.b, 1.0f);
    }
    QCOMPARE(int(starts.size()), int(land.vertexCount()));
    QVERIFY(glIsEnabled(GL_TEXTURE_2D));
    QVERIFY(glIsEnabled(GL_LIGHTING));
    QVERIFY(glIsEnabled(GL_BLEND));
    QCOMPARE(counters_.drawCalls, 1u);
    VERIFY_NO_GL_ERROR();
}

// One layer everywhere: the three corner weights of every triangle sum to 1, so the additive
// hexagons give exactly the lit, fogged texture that the triangles drawn once with alpha 1
// give (compared where the reference covers).
void LandscapeRenderGLTest::singleLayerEqualsLitFoggedTexture()
{
    TLandscape land;
    makeFlatLattice(land, 40, 40, 2.0f);
    land.textures[0] = makeTexture(kSandTexels);
    const Eye eye{35, 6, 15, 35, 0, 40};
    const QImage reference = renderReference(land, land.textures[0], eye);
    const QImage actual = renderTerrain(land, eye);

    const int compared = imageDifference(actual, reference, whereCovered(reference)).comparedPixels;
    // The ground fills most of the lower half of the view.
    QVERIFY2(compared > kPanelSize * kPanelSize / 3, qPrintable(QString::number(compared)));
    COMPARE_IMAGES(actual, reference, "single-layer", whereCovered(reference));
    VERIFY_NO_GL_ERROR();
}

// Layers alternating from vertex to vertex: the ground equals the blend worked out triangle by
// triangle (each layer weighted by the barycentric weights of its corners; compared where the
// first layer's reference covers), every pixel lies channel by channel between the two layers'
// own lit references, and much of the ground is a real mixture of both.
void LandscapeRenderGLTest::twoLayersBlendBetweenTheirColours()
{
    TLandscape land;
    makeFlatLattice(land, 40, 40, 2.0f);
    land.textures[0] = makeSolidTexture({220, 60, 40, 255});
    land.textures[1] = makeSolidTexture({40, 80, 220, 255});
    for (std::uint32_t j = 0; j < land.depth; ++j)
        for (std::uint32_t i = 0; i < land.width; ++i)
            land.layers[j * land.width + i] = (i + j) & 1u;
    const Eye eye{35, 6, 15, 35, 0, 40};
    const QImage first = renderReference(land, land.textures[0], eye);
    const QImage second = renderReference(land, land.textures[1], eye);
    const QImage splat = renderSplatReference(land, 2, eye);
    const QImage actual = renderTerrain(land, eye);

    int compared = 0, outside = 0, separable = 0, mixed = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x) {
            if (!covered(first, x, y))
                continue;
            ++compared;
            const QRgb a = first.pixel(x, y), b = second.pixel(x, y), t = actual.pixel(x, y);
            bool between = true;
            for (int c = 0; c < 3; ++c) {
                const int lo = std::min(channelDelta(a, 0, c), channelDelta(b, 0, c));
                const int hi = std::max(channelDelta(a, 0, c), channelDelta(b, 0, c));
                const int v = channelDelta(t, 0, c);
                between = between && v >= lo - 4 && v <= hi + 4;
            }
            if (!between)
                ++outside;
            // Where the two layers differ clearly (fog narrows the gap with distance), the
            // share of the first layer is read off the red channel.
            const int gap = channelDelta(a, b, 0);
            if (std::abs(gap) > 30) {
                ++separable;
                const double share = double(channelDelta(t, b, 0)) / gap;
                if (share > 0.2 && share < 0.8)
                    ++mixed;
            }
        }
    QVERIFY(compared > kPanelSize * kPanelSize / 3);
    QVERIFY(separable > compared / 3);
    COMPARE_IMAGES(actual, splat, "two-layers", whereCovered(first));
    if (outside != 0 || mixed < separable / 3)
        writeFailureImages("two-layers", actual, splat);
    QVERIFY2(outside == 0, qPrintable(QString("%1 of %2 pixels outside").arg(outside).arg(compared)));
    QVERIFY2(mixed >= separable / 3, qPrintable(QString("%1 of %2 pixels mixed").arg(mixed).arg(separable)));
    VERIFY_NO_GL_ERROR();
}

// A layer whose texels have alpha 0 (a bitmap already 32 bits deep) weighs nothing: the ground
// stays the pre-pass black.
void LandscapeRenderGLTest::thirtyTwoBitLayerAddsNothing()
{
    TLandscape land;
    makeFlatLattice(land, 40, 40, 2.0f);
    land.textures[0] = makeSolidTexture({200, 200, 200, 0});
    const Eye eye{35, 6, 15, 35, 0, 40};
    GLuint opaque = makeSolidTexture({200, 200, 200, 255});
    const QImage reference = renderReference(land, opaque, eye);
    glDeleteTextures(1, &opaque);
    const QImage actual = renderTerrain(land, eye);
    int compared = 0, lit = 0;
    for (int y = 0; y < reference.height(); ++y)
        for (int x = 0; x < reference.width(); ++x) {
            if (!covered(reference, x, y))
                continue;
            ++compared;
            const QRgb t = actual.pixel(x, y);
            if (qRed(t) > 2 || qGreen(t) > 2 || qBlue(t) > 2)
                ++lit;
        }
    QVERIFY(compared > kPanelSize * kPanelSize / 3);
    if (lit != 0)
        writeFailureImages("thirty-two-bit", actual, reference);
    QCOMPARE(lit, 0);
    VERIFY_NO_GL_ERROR();
}

// Over black ground the normals overlay shows as blue lines (fogged toward grey with distance,
// so blue stands clearly above red and green).
void LandscapeRenderGLTest::normalsOverlayDrawsBlueLines()
{
    TLandscape land;
    makeFlatLattice(land, 40, 40, 2.0f);
    land.textures[0] = makeSolidTexture({200, 200, 200, 0});
    const Eye eye{35, 6, 15, 35, 0, 40};
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    beginView(eye, black);
    land.render(float(eye.x), float(eye.z), 60.0f);
    const QImage before = panel_->readPixels();
    land.renderNormals();
    const QImage after = panel_->readPixels();
    const auto countBlue = [](const QImage& image) {
        int blue = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qBlue(p) > qRed(p) + 60 && qBlue(p) > qGreen(p) + 60)
                    ++blue;
            }
        return blue;
    };
    QCOMPARE(countBlue(before), 0);
    const int blue = countBlue(after);
    if (blue < 200)
        after.save(testOutputFolder() + "/normals-overlay-actual.png");
    QVERIFY2(blue >= 200, qPrintable(QString::number(blue)));
    VERIFY_NO_GL_ERROR();
}

// The pre-pass strips and the three hexagons through a triangle give it its vertices in
// different orders; a colour pass that tested against (and wrote) depth with no allowance
// for that lost some of its fragments as dark speckles and broken lines. On a flat,
// single-layer lattice no ground pixel may come out darker than the lit texture drawn once.
void LandscapeRenderGLTest::noSpecklesOnSlantedFlatLattice_data()
{
    QTest::addColumn<Eye>("eye");
    QTest::newRow("grazing") << Eye{260, 2, 260, 300, 0, 340};
    QTest::newRow("oblique") << Eye{300, 12, 250, 320, 0, 290};
    QTest::newRow("diagonal low") << Eye{250, 4, 250, 290, 1, 275};
}

void LandscapeRenderGLTest::noSpecklesOnSlantedFlatLattice()
{
    QFETCH(Eye, eye);
    TLandscape land;
    makeFlatLattice(land, 300, 300, 2.0f);
    land.textures[0] = makeSolidTexture({180, 180, 180, 255});
    const QImage reference = renderReference(land, land.textures[0], eye);
    const QImage actual = renderTerrain(land, eye);
    int compared = 0, darker = 0;
    for (int y = 0; y < reference.height(); ++y)
        for (int x = 0; x < reference.width(); ++x) {
            if (!covered(reference, x, y))
                continue;
            ++compared;
            for (int c = 0; c < 3; ++c)
                if (channelDelta(actual.pixel(x, y), reference.pixel(x, y), c) < -4) {
                    ++darker;
                    break;
                }
        }
    QVERIFY(compared > kPanelSize * kPanelSize / 4);
    if (darker != 0)
        writeFailureImages(QString("speckles-%1").arg(QTest::currentDataTag()), actual, reference);
    QVERIFY2(darker == 0, qPrintable(QString("%1 of %2 ground pixels darker").arg(darker).arg(compared)));
    VERIFY_NO_GL_ERROR();
}

// A ground fog whose band is GL's fog colour all round gives GL fog's picture: its pre-pass
// holds (1 - f) times the colour and the colour passes add f times the lit ground, where GL fog
// blends the two in each pass. Over hills, from the near ground to the fully fogged.
void LandscapeRenderGLTest::groundFogOfOneColourIsGlFog()
{
    TLandscape land;
    makeFlatLattice(land, 120, 120, 1.0f);
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        land.positions[k].y = 2.0f * std::sin(0.11f * land.positions[k].x) * std::cos(0.07f * land.positions[k].z);
    land.computeNormals(0, land.width - 1, 0, land.depth - 1);
    land.textures[0] = makeTexture(kSandTexels);
    const Eye eye{20, 5, 20, 60, 0, 70};
    const QImage reference = renderTerrain(land, eye);

    GLfloat fogColour[4];
    glGetFloatv(GL_FOG_COLOR, fogColour);
    GLfloat modelview[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    GroundFog fog;
    std::vector<float> band;
    for (int k = 0; k <= 72; ++k)
        band.insert(band.end(), fogColour, fogColour + 3);
    fog.set(float3{float(eye.x), float(eye.y), float(eye.z)}, modelview, 7.0f, 45.0f, band);
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    beginView(eye, black);
    land.renderDepth(float(eye.x), float(eye.z), 60.0f, nullptr, &fog);
    glFogfv(GL_FOG_COLOR, black);
    land.renderColour(float(eye.x), float(eye.z), 60.0f);
    glFogfv(GL_FOG_COLOR, fogColour);
    const QImage actual = panel_->readPixels();

    // The share is worked out per vertex and GL's factor per fragment, and each pass rounds on
    // its own: at most 3 steps apart here, 0.3 on average.
    COMPARE_IMAGES(actual, reference, "ground-fog", ImageTolerance::within(4, 0.6));
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(LandscapeRenderGLTest)
#include "LandscapeRenderGLTest.moc"
