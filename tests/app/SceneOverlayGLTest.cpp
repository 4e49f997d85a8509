// The overlays drawn into the frame: the translucent box over the scene where it is placed, its
// visible part when it reaches past the view, no picture of a hidden box, and every GL state as
// the frame left it.

#include "Frame.h"
#include "GlChecks.h"
#include "GlTestPanel.h"
#include "ImageCompare.h"
#include "SceneOverlay.h"
#include "ViewOverlays.h"

#include <GL/gl.h>
#include <QFont>
#include <QTest>
#include <cmath>
#include <vector>

namespace {

constexpr int kPanelWidth = 320;
constexpr int kPanelHeight = 200;
// The scene behind the overlays: a colour every channel of which the box visibly darkens.
constexpr GLfloat kScene[4] = {0.8f, 0.4f, 0.6f, 1.0f};

QFont overlayFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    return font;
}

void clearToScene()
{
    glClearColor(kScene[0], kScene[1], kScene[2], kScene[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

// The box's black at alpha 160 over a channel of the scene, as 8-bit values.
int darkened(GLfloat scene)
{
    return int(std::lround(scene * 255.0 * (255.0 - 160.0) / 255.0));
}

bool nearlyDarkened(QRgb pixel)
{
    return std::abs(qRed(pixel) - darkened(kScene[0])) <= 2 && std::abs(qGreen(pixel) - darkened(kScene[1])) <= 2 &&
           std::abs(qBlue(pixel) - darkened(kScene[2])) <= 2;
}

bool isScene(QRgb pixel)
{
    return std::abs(qRed(pixel) - 204) <= 1 && std::abs(qGreen(pixel) - 102) <= 1 && std::abs(qBlue(pixel) - 153) <= 1;
}

std::vector<OverlayPicture> picturesOf(std::initializer_list<SceneOverlay*> boxes, qreal ratio = 1.0)
{
    std::vector<OverlayPicture> pictures;
    for (SceneOverlay* box : boxes)
        pictures.push_back({&box->image(ratio), box->geometry().topLeft()});
    return pictures;
}

// The boxes' pictures drawn over the frame at device pixel ratio 1, by glDrawPixels or, with
// textures, as the frame-time graph is.
void drawBoxes(std::initializer_list<SceneOverlay*> boxes, QSize viewportPixels, OverlayTextures* textures = nullptr)
{
    if (textures)
        textures->draw(picturesOf(boxes), viewportPixels, 1.0);
    else
        drawOverlayPictures(picturesOf(boxes), viewportPixels, 1.0);
}

} // namespace

class SceneOverlayGLTest : public QObject {
    Q_OBJECT
private slots:
    void boxIsBlendedOverTheSceneWhereItIsPlaced();
    void partReachingPastTheViewIsStillDrawn();
    void hiddenOverlayDrawsNothing();
    void leavesEveryStateAsItFound();
    void texturesGiveThePixelsOfDrawPixels();
};

void SceneOverlayGLTest::boxIsBlendedOverTheSceneWhereItIsPlaced()
{
    GlTestPanel test(kPanelWidth, kPanelHeight);
    SceneOverlay overlay(Qt::PlainText, overlayFont());
    overlay.setText(QStringLiteral("Orbit"));
    overlay.adjustSize();
    overlay.move(40, 30);
    overlay.show();
    const QRect box = overlay.geometry();
    QVERIFY(box.width() > 20 && box.height() > 12);

    clearToScene();
    drawBoxes({&overlay}, test.panel()->pixelSize());
    VERIFY_NO_GL_ERROR();
    const QImage frame = test.readPixels();
    // The padding (no text) in the box's corners is the scene darkened by the box's alpha.
    for (const QPoint& corner : {box.topLeft() + QPoint(1, 1), box.topRight() + QPoint(-1, 1),
                                 box.bottomLeft() + QPoint(1, -1), box.bottomRight() + QPoint(-1, -1)})
        QVERIFY2(nearlyDarkened(frame.pixel(corner)),
                 qPrintable(
                     QStringLiteral("%1,%2: %3").arg(corner.x()).arg(corner.y()).arg(frame.pixel(corner), 0, 16)));
    // White text inside: some pixel in the box is much brighter than the darkened scene.
    int brightest = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            brightest = std::max(brightest, qGreen(frame.pixel(x, y)));
    QVERIFY2(brightest > 200, qPrintable(QString::number(brightest)));
    // Just outside the box, all round, the scene is untouched.
    for (const QPoint& outside : {box.topLeft() + QPoint(-1, -1), box.topRight() + QPoint(1, 0),
                                  box.bottomLeft() + QPoint(0, 1), box.bottomRight() + QPoint(1, 1)})
        QVERIFY2(isScene(frame.pixel(outside)), qPrintable(QStringLiteral("%1,%2").arg(outside.x()).arg(outside.y())));
}

void SceneOverlayGLTest::partReachingPastTheViewIsStillDrawn()
{
    // A box that reaches below and right of the view, and one larger than the view: their
    // raster positions lie outside it, and their visible parts are drawn all the same.
    GlTestPanel test(kPanelWidth, kPanelHeight);
    SceneOverlay corner(Qt::PlainText, overlayFont());
    corner.setText(QStringLiteral("A line that is longer than the rest of the view is wide"));
    corner.adjustSize();
    corner.move(kPanelWidth - 40, kPanelHeight - 8);
    corner.show();
    QVERIFY(corner.geometry().right() >= kPanelWidth && corner.geometry().bottom() >= kPanelHeight);

    clearToScene();
    drawBoxes({&corner}, test.panel()->pixelSize());
    QImage frame = test.readPixels();
    QVERIFY(nearlyDarkened(frame.pixel(kPanelWidth - 39, kPanelHeight - 7)));
    QVERIFY(isScene(frame.pixel(kPanelWidth - 41, kPanelHeight - 9)));

    SceneOverlay huge(Qt::RichText, overlayFont());
    QString rows;
    for (int i = 0; i < 20; ++i)
        rows += QStringLiteral("<tr><td>row %1</td><td>of a table taller and wider than the view</td></tr>").arg(i);
    huge.setText(QStringLiteral("<table>") + rows + QStringLiteral("</table>"));
    huge.adjustSize();
    huge.move(0, 0);
    huge.show();
    const QSize small(160, 120);
    QVERIFY2(huge.width() > small.width() && huge.height() > small.height(),
             qPrintable(QStringLiteral("%1x%2").arg(huge.width()).arg(huge.height())));
    clearToScene();
    drawBoxes({&huge}, small);
    frame = test.readPixels();
    // Drawn as if into a view of the small size: its whole lower-left is covered by the box
    // (padding or text), the rest of the panel above that view is the scene.
    const int top = kPanelHeight - small.height();
    QVERIFY(nearlyDarkened(frame.pixel(1, top + 1)));
    QVERIFY(isScene(frame.pixel(1, top - 1)));
    QVERIFY(!isScene(frame.pixel(small.width() - 1, kPanelHeight - 1)));
    VERIFY_NO_GL_ERROR();
}

void SceneOverlayGLTest::hiddenOverlayDrawsNothing()
{
    GlTestPanel test(kPanelWidth, kPanelHeight);
    ViewOverlays overlays(overlayFont());
    overlays.layout(QSize(kPanelWidth, kPanelHeight), QRect());
    overlays.setModeLine(QString());
    clearToScene();
    const QImage before = test.readPixels();
    QVERIFY(overlays.pictures(1.0).empty());
    drawOverlayPictures(overlays.pictures(1.0), test.panel()->pixelSize(), 1.0);
    const ImageTolerance sameRgba = ImageTolerance::identical().withAlpha();
    COMPARE_IMAGES(test.readPixels(), before, QStringLiteral("hidden-overlay"), sameRgba);
    overlays.setModeLine(QStringLiteral("Time frozen"));
    QCOMPARE(overlays.pictures(1.0).size(), std::size_t(1));
    drawOverlayPictures(overlays.pictures(1.0), test.panel()->pixelSize(), 1.0);
    QVERIFY(imageDifference(test.readPixels(), before, sameRgba).differingPixels > 0);
}

void SceneOverlayGLTest::leavesEveryStateAsItFound()
{
    GlTestPanel test(kPanelWidth, kPanelHeight);
    SceneOverlay overlay(Qt::PlainText, overlayFont());
    overlay.setText(QStringLiteral("Saved somewhere"));
    overlay.adjustSize();
    overlay.move(20, 20);
    overlay.show();

    // The frame's state after the terrain, and more that the overlays must not disturb.
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    GLuint terrainTexture = 0;
    glGenTextures(1, &terrainTexture);
    glBindTexture(GL_TEXTURE_2D, terrainTexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glTexCoord2f(0.3f, 0.7f);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(2.0f, 3.0f, 1.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    glEnable(GL_STENCIL_TEST);
    glEnable(GL_TEXTURE_GEN_S);
    enableStartupFog();
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 7);
    glPixelZoom(2.0f, 3.0f);
    glColor4f(0.25f, 0.5f, 0.75f, 1.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1.0, 1.0, -1.0, 1.0, 0.5, 50.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1.0f, 2.0f, -3.0f);
    glRasterPos3f(0.1f, 0.2f, -4.0f);

    const auto read = [] {
        std::vector<double> state;
        for (GLenum cap : {GL_DEPTH_TEST, GL_TEXTURE_2D, GL_LIGHTING, GL_CULL_FACE, GL_STENCIL_TEST, GL_FOG,
                           GL_ALPHA_TEST, GL_BLEND, GL_TEXTURE_1D, GL_TEXTURE_GEN_S})
            state.push_back(glIsEnabled(cap));
        for (GLenum name : {GL_BLEND_SRC, GL_BLEND_DST, GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH, GL_MATRIX_MODE,
                            GL_CURRENT_RASTER_POSITION_VALID, GL_TEXTURE_BINDING_2D, GL_POLYGON_MODE})
            state.push_back(integerState(name));
        for (GLenum name : {GL_ZOOM_X, GL_ZOOM_Y}) {
            GLfloat value = 0.0f;
            glGetFloatv(name, &value);
            state.push_back(value);
        }
        GLint environment = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &environment);
        state.push_back(environment);
        for (GLenum name : {GL_CURRENT_COLOR, GL_CURRENT_RASTER_POSITION, GL_CURRENT_TEXTURE_COORDS}) {
            GLfloat values[4] = {};
            glGetFloatv(name, values);
            state.insert(state.end(), values, values + 4);
        }
        for (GLenum name : {GL_PROJECTION_MATRIX, GL_MODELVIEW_MATRIX, GL_TEXTURE_MATRIX}) {
            GLfloat values[16] = {};
            glGetFloatv(name, values);
            state.insert(state.end(), values, values + 16);
        }
        return state;
    };
    const std::vector<double> before = read();
    drawBoxes({&overlay}, test.panel()->pixelSize());
    QCOMPARE(read(), before);
    {
        OverlayTextures textures;
        drawBoxes({&overlay}, test.panel()->pixelSize(), &textures);
        QCOMPARE(read(), before);
    }
    VERIFY_NO_GL_ERROR();
    glDeleteTextures(1, &terrainTexture);
}

// Quads of kept textures give drawOverlayPictures' pixels exactly: boxes of text (every alpha its
// antialiasing makes) inside the view, past its edges on all sides, at ratio 1 and 2, and again
// after a box's text changed and after a picture's pixels were written in place (as the graph
// writes its bars), when its texture must be uploaded anew. Textures of pictures no longer
// drawn are let go.
void SceneOverlayGLTest::texturesGiveThePixelsOfDrawPixels()
{
    GlTestPanel test(kPanelWidth, kPanelHeight);
    OverlayTextures textures;
    SceneOverlay inside(Qt::PlainText, overlayFont()), pastRight(Qt::PlainText, overlayFont()),
        pastTopLeft(Qt::RichText, overlayFont());
    inside.setText(QStringLiteral("Recording path (12 frames)"));
    pastRight.setText(QStringLiteral("A line that is longer than the rest of the view is wide"));
    pastTopLeft.setText(QStringLiteral("<b>F1</b> help<br>two rows"));
    for (SceneOverlay* box : {&inside, &pastRight, &pastTopLeft}) {
        box->adjustSize();
        box->show();
    }
    inside.move(30, 90);
    pastRight.move(kPanelWidth - 60, kPanelHeight - 10);
    pastTopLeft.move(-7, -5);

    QImage bars(40, 20, QImage::Format_RGBA8888_Premultiplied);
    bars.fill(qRgba(0, 0, 0, 160));

    const ImageTolerance sameRgba = ImageTolerance::identical().withAlpha();
    for (int round = 0; round < 3; ++round) {
        if (round == 2) {
            inside.setText(QStringLiteral("Saved path terrain-viewer-path.csv"));
            for (int y = 0; y < 12; ++y)
                bars.setPixel(39, y, qRgba(0, 180, 0, 220));
        }
        const qreal ratio = round == 1 ? 2.0 : 1.0;
        std::vector<OverlayPicture> pictures = picturesOf({&inside, &pastRight, &pastTopLeft}, ratio);
        pictures.push_back({&bars, QPoint(200, 20)});
        clearToScene();
        drawOverlayPictures(pictures, test.panel()->pixelSize(), ratio);
        const QImage expected = test.readPixels();
        clearToScene();
        textures.draw(pictures, test.panel()->pixelSize(), ratio);
        VERIFY_NO_GL_ERROR();
        COMPARE_IMAGES(test.readPixels(), expected, QStringLiteral("overlay-textures-%1").arg(round), sameRgba);
        QCOMPARE(textures.textureCount(), 4);
    }
    textures.draw(picturesOf({&inside}), test.panel()->pixelSize(), 1.0);
    QCOMPARE(textures.textureCount(), 1);
}

QTEST_MAIN(SceneOverlayGLTest)
#include "SceneOverlayGLTest.moc"
