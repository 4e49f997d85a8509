// The sky drawn behind the ground against the sky drawn first: the same state drawn both ways
// must give the same RGBA in every pixel and leave the same GL state, over camera poses that
// look up, down and along the horizon, rolled, pitched over the top and orbiting, at night,
// sunrise, noon and dusk, with K held and with the normals overlay, on both terrain paths.
// And the frame nobody sees: while the window is minimised the frame step makes no GL call,
// and the state after it is the one the drawn frames reach.

#include "AppTestSupport.h"
#include "GlTestPanel.h"
#include "KeyCodes.h"
#include "WanderingBump.h"

#include <GL/gl.h>
#include <cstring>
#include <vector>

namespace {

struct Pose {
    const char* name;
    double x, y, z;          // eye
    double yaw, pitch, roll; // degrees
};

// Eyes over the middle of the lattice (300 x 300 vertices, spacing 2), as high as the ground
// allows a view of it from above and below the horizon.
const Pose kPoses[] = {
    {"start-up view", 100.0, 7.0, 100.0, 125.0, 0.0, 0.0},
    {"along the horizon", 250.0, 12.0, 250.0, 10.0, 0.0, 0.0},
    {"looking up", 300.0, 6.0, 300.0, 200.0, 60.0, 0.0},
    {"looking down", 200.0, 30.0, 320.0, 300.0, -70.0, 0.0},
    {"straight down", 180.0, 25.0, 180.0, 45.0, -90.0, 0.0},
    {"rolled", 260.0, 10.0, 150.0, 80.0, -10.0, 35.0},
    {"upside down", 150.0, 15.0, 260.0, 170.0, 5.0, 180.0},
    {"pitched over the top", 220.0, 9.0, 220.0, 250.0, 120.0, 0.0},
    {"low over the ground", 330.0, 2.5, 200.0, 20.0, -3.0, 5.0},
    {"far above", 300.0, 60.0, 300.0, 135.0, -35.0, 0.0},
};

struct Hour {
    const char* name;
    float hour;
};

const Hour kHours[] = {{"night", 1.0f}, {"sunrise", 7.0f}, {"noon", 12.0f}, {"dusk", 19.0f}};

// The colour buffer, RGBA as drawn, bottom row first.
std::vector<unsigned char> colourBuffer(TForm1& form)
{
    const int w = int(form.Panel1->width() * form.Panel1->devicePixelRatioF());
    const int h = int(form.Panel1->height() * form.Panel1->devicePixelRatioF());
    std::vector<unsigned char> rgba(std::size_t(w) * std::size_t(h) * 4u);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

// The states a frame leaves that the next one starts from.
struct FrameState {
    GLboolean enabled[12];
    GLint depthFunc, blendSrc, blendDst, stencilFunc, stencilPass, boundTexture;
    GLfloat fog[4], lightDiffuse[4], lightAmbient[4], lightPosition[4], depthRange[2];
    GLboolean depthMask;

    static FrameState read()
    {
        FrameState s;
        std::memset(&s, 0, sizeof s); // padding too: the states are compared byte by byte
        const GLenum caps[12] = {GL_TEXTURE_2D,          GL_TEXTURE_1D,   GL_BLEND, GL_ALPHA_TEST,     GL_DEPTH_TEST,
                                 GL_CULL_FACE,           GL_LIGHTING,     GL_FOG,   GL_COLOR_MATERIAL, GL_STENCIL_TEST,
                                 GL_POLYGON_OFFSET_FILL, GL_TEXTURE_GEN_S};
        for (int i = 0; i < 12; ++i)
            s.enabled[i] = glIsEnabled(caps[i]);
        glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
        glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
        glGetIntegerv(GL_BLEND_DST, &s.blendDst);
        glGetIntegerv(GL_STENCIL_FUNC, &s.stencilFunc);
        glGetIntegerv(GL_STENCIL_PASS_DEPTH_PASS, &s.stencilPass);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.boundTexture);
        glGetFloatv(GL_FOG_COLOR, s.fog);
        glGetLightfv(GL_LIGHT0, GL_DIFFUSE, s.lightDiffuse);
        glGetLightfv(GL_LIGHT0, GL_AMBIENT, s.lightAmbient);
        glGetLightfv(GL_LIGHT0, GL_POSITION, s.lightPosition);
        glGetFloatv(GL_DEPTH_RANGE, s.depthRange);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
        return s;
    }
    bool operator==(const FrameState& o) const { return std::memcmp(this, &o, sizeof(FrameState)) == 0; }
};

TForm1::SceneView viewOf(const Camera& camera)
{
    return TForm1::SceneView{camera.position, camera.target, camera.up};
}

struct Drawn {
    std::vector<unsigned char> pixels;
    FrameState state;
};

Drawn drawOnce(TForm1& form, bool skyBehindGround)
{
    form.skyBehindGround = skyBehindGround;
    form.Panel1->makeCurrent();
    form.drawScene(viewOf(form.camera));
    return Drawn{colourBuffer(form), FrameState::read()};
}

// Draws the form's present state first with the sky first, then behind the ground, and
// compares; on a difference both pictures are written out under the case's name.
void compareOrders(TForm1& form, const QString& name, int* sceneCount)
{
    const Drawn first = drawOnce(form, false);
    const Drawn behind = drawOnce(form, true);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < first.pixels.size(); ++i)
        differing += first.pixels[i] != behind.pixels[i];
    if (differing != 0) {
        const int w = form.Panel1->width(), h = form.Panel1->height();
        const QString stem = testOutputFolder() + QStringLiteral("/sky-order-") + QString(name).replace(' ', '-');
        QImage(first.pixels.data(), w, h, QImage::Format_RGBA8888).mirrored().save(stem + "-first.png");
        QImage(behind.pixels.data(), w, h, QImage::Format_RGBA8888).mirrored().save(stem + "-behind.png");
    }
    QVERIFY2(differing == 0, qPrintable(QStringLiteral("%1: %2 bytes differ").arg(name).arg(differing)));
    QVERIFY2(first.state == behind.state, qPrintable(name + QStringLiteral(": the GL state differs")));
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
    ++*sceneCount;
}

// A picture that is not all one colour (a pose that saw nothing would prove nothing).
bool hasSkyAndGround(const std::vector<unsigned char>& rgba)
{
    std::size_t ground = 0; // the depth pass leaves alpha 0 where it drew, colour passes add
    std::size_t sky = 0;
    for (std::size_t i = 3; i < rgba.size(); i += 4)
        (rgba[i] == 255 ? sky : ground) += 1;
    return ground > 0 && sky > 0;
}

} // namespace

class SkyOrderTest : public QObject {
    Q_OBJECT
private slots:
    void behindTheGroundEqualsSkyFirst_data();
    void behindTheGroundEqualsSkyFirst();
    void orbitingFramesEqualSkyFirst();
    void minimisedWindowMakesNoGlCall();
};

void SkyOrderTest::behindTheGroundEqualsSkyFirst_data()
{
    QTest::addColumn<bool>("batched");
    QTest::newRow("batched") << true;
    QTest::newRow("literal") << false;
}

void SkyOrderTest::behindTheGroundEqualsSkyFirst()
{
    QFETCH(bool, batched);
    StartedForm started;
    TForm1& form = *started.form;
    form.terrainPath = batched ? TerrainPath::Batched : TerrainPath::Literal;
    // The bump walks a few steps first, so its reshaped ground is in the data.
    for (int i = 0; i < 5; ++i)
        walkWanderingBump(form);

    int scenes = 0;
    int mixed = 0;
    for (const Hour& hour : kHours) {
        form.Panel1->makeCurrent();
        form.world.setHour(hour.hour);
        for (const Pose& pose : kPoses) {
            form.camera.setPosition(pose.x, pose.y, pose.z);
            form.camera.setAngles(pose.yaw, pose.pitch, pose.roll);
            const QString name = QStringLiteral("%1 at %2").arg(QLatin1String(pose.name), QLatin1String(hour.name));
            compareOrders(form, name, &scenes);
            if (QTest::currentTestFailed())
                return;
            form.skyBehindGround = false;
            form.drawScene(viewOf(form.camera));
            mixed += hasSkyAndGround(colourBuffer(form));
        }
    }
    // Most poses show both sky and ground (straight down and far above may show one only).
    QVERIFY2(mixed >= 7 * 4, qPrintable(QString::number(mixed)));

    // K held: no sky, the clear colour behind the terrain, in both orders; then the normals.
    form.camera.setPosition(100.0, 7.0, 100.0);
    form.camera.setAngles(125.0, 5.0, 0.0);
    form.KeyState[vk::letter('K')] = true;
    compareOrders(form, QStringLiteral("K held"), &scenes);
    if (QTest::currentTestFailed())
        return;
    const std::vector<unsigned char> hidden = colourBuffer(form);
    const std::size_t top = hidden.size() - 4; // the top-right pixel looks above the hills
    QCOMPARE(int(hidden[top]), 0);
    QCOMPARE(int(hidden[top + 3]), 255); // the clear colour (0, 0, 0, 1): nothing drew there
    form.KeyState[vk::letter('K')] = false;
    form.showNormals = true;
    compareOrders(form, QStringLiteral("normals overlay"), &scenes);
    QCOMPARE(scenes, 4 * int(std::size(kPoses)) + 2);
}

void SkyOrderTest::orbitingFramesEqualSkyFirst()
{
    // Real frame steps while orbiting the bump, the sky behind the ground; after each, the
    // same state is drawn both ways.
    StartedForm started;
    TForm1& form = *started.form;
    form.world.setHour(9.0f);
    std::uint16_t f = vk::letter('F');
    form.FormKeyDown(f);
    QVERIFY(form.camera.orbiting);
    form.KeyState[vk::Right] = true; // travel around the bump
    form.KeyState[vk::letter('W')] = true;
    int scenes = 0;
    for (int i = 0; i < 6; ++i) {
        form.skyBehindGround = true;
        form.TimerForDrawingTimer();
        compareOrders(form, QStringLiteral("orbit frame %1").arg(i), &scenes);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(scenes, 6);
}

void SkyOrderTest::minimisedWindowMakesNoGlCall()
{
    // Two windows from the same start take the same keys for the same frames: one shown, one
    // minimised. Afterwards their state is the same, and the minimised one drew nothing.
    const auto drive = [](TForm1& form, int frames) {
        form.KeyState[vk::Up] = true;
        form.KeyState[vk::letter('D')] = true;
        for (int i = 0; i < frames; ++i)
            form.TimerForDrawingTimer();
    };
    constexpr int kFrames = 25;

    bumpRandomSource().reset();
    StartedForm shown;
    bumpRandomSource().reset();
    drive(*shown.form, kFrames);

    bumpRandomSource().reset();
    StartedForm hidden;
    TForm1& form = *hidden.form;
    bumpRandomSource().reset();
    form.showMinimized();
    QVERIFY(QTest::qWaitFor([&] { return !form.Panel1->surfaceVisible(); }));
    // A colour no frame draws: a frame step that cleared or drew would change it.
    form.Panel1->makeCurrent();
    glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glFinish();
    const std::uint32_t framesBefore = form.frameCount;
    int presented = 0;
    QObject::connect(form.Panel1, &GlPanel::presented, [&presented] { ++presented; });
    drive(form, kFrames);
    QCOMPARE(presented, 0);
    QCOMPARE(form.frameCount - framesBefore, std::uint32_t(kFrames));
    form.Panel1->makeCurrent();
    const std::vector<unsigned char> rgba = colourBuffer(form);
    std::size_t magenta = 0;
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        magenta += rgba[i] == 255 && rgba[i + 1] == 0 && rgba[i + 2] == 255;
    QCOMPARE(magenta, rgba.size() / 4);

    // The CPU steps ran: the camera, the bump and the ground are where the drawn frames put them.
    const TForm1& reference = *shown.form;
    QCOMPARE(form.camera.position.x, reference.camera.position.x);
    QCOMPARE(form.camera.position.z, reference.camera.position.z);
    QCOMPARE(form.camera.yaw, reference.camera.yaw);
    QCOMPARE(form.bumpColumn, reference.bumpColumn);
    QCOMPARE(form.bumpRow, reference.bumpRow);
    QCOMPARE(form.bumpApex.y, reference.bumpApex.y);
    QVERIFY(std::memcmp(form.landscape.positions, reference.landscape.positions,
                        sizeof(float3) * form.landscape.vertexCount()) == 0);

    // Restored, the next frame is drawn and presented again.
    form.showNormal();
    QVERIFY(QTest::qWaitFor([&] { return form.Panel1->surfaceVisible(); }));
    form.TimerForDrawingTimer();
    QCOMPARE(presented, 1);
}

QTEST_MAIN(SkyOrderTest)
#include "SkyOrderTest.moc"
