// The frame as the viewer draws it against the drawing order the frame is defined by (the sky
// first over the whole view, then the terrain cell by cell): every pixel and every GL state the
// next frame starts from must be the same, over camera poses that look up, down and along the
// horizon, rolled, pitched over the top and orbiting the bump, at night, sunrise, noon and
// dusk, with K held and with the normals overlay. Checked on the viewer's own surface and on
// one with an alpha channel, whose alpha must agree too.

#include "GlChecks.h"
#include "GlTestPanel.h"
#include "ImageCompare.h"
#include "KeyCodes.h"
#include "Landscape.h"
#include "StartedForm.h"
#include "TerrainDraw.h"
#include "WanderingBump.h"

#include <GL/gl.h>
#include <utility>
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
    {"looking up", 300.0, 6.0, 300.0, 200.0, 20.0, 0.0},
    {"looking down", 200.0, 20.0, 320.0, 300.0, -30.0, 0.0},
    {"straight down", 180.0, 25.0, 180.0, 45.0, -90.0, 0.0},
    {"rolled", 260.0, 10.0, 150.0, 80.0, -10.0, 35.0},
    {"upside down", 150.0, 15.0, 260.0, 170.0, 5.0, 180.0},
    {"pitched over the top", 220.0, 9.0, 220.0, 250.0, 165.0, 0.0},
    {"low over the ground", 330.0, 2.5, 200.0, 20.0, -3.0, 5.0},
    {"far above", 300.0, 30.0, 300.0, 135.0, -25.0, 0.0},
};

struct Hour {
    const char* name;
    float hour;
};

const Hour kHours[] = {{"night", 1.0f}, {"sunrise", 7.0f}, {"noon", 12.0f}, {"dusk", 19.0f}};

// The ways the window can draw a frame; each must give the defined order's frame.
struct Variant {
    const char* name;
    TerrainPath path;
    bool skyBehindGround;
};

const Variant kDefined{"literal, sky first", TerrainPath::Literal, false};
const Variant kVariants[] = {{"batched, sky behind (the default)", TerrainPath::Batched, true},
                             {"literal, sky behind", TerrainPath::Literal, true},
                             {"batched, sky first", TerrainPath::Batched, false}};

std::size_t framePixels(TForm1& form)
{
    const QSize size = form.Panel1->pixelSize();
    return std::size_t(size.width()) * std::size_t(size.height());
}

// How many pixels the terrain's depth pass covered: those nearer than the far plane.
std::size_t groundPixels(TForm1& form)
{
    const QSize size = form.Panel1->pixelSize();
    std::vector<GLuint> depth(framePixels(form));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, size.width(), size.height(), GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, depth.data());
    std::size_t ground = 0;
    for (GLuint d : depth)
        ground += d != 0xFFFFFFFFu;
    return ground;
}

// The states a frame leaves that the next one starts from, each by its GL name, with its
// values (GL's integers and floats are all exact as doubles).
using FrameState = std::vector<std::pair<QString, std::vector<double>>>;

FrameState readFrameState()
{
    FrameState state;
    const auto add = [&state](const char* name, auto* values, int count) {
        state.emplace_back(QLatin1String(name), std::vector<double>(values, values + count));
    };
    const struct {
        GLenum cap;
        const char* name;
    } caps[] = {{GL_TEXTURE_2D, "GL_TEXTURE_2D"},
                {GL_TEXTURE_1D, "GL_TEXTURE_1D"},
                {GL_BLEND, "GL_BLEND"},
                {GL_ALPHA_TEST, "GL_ALPHA_TEST"},
                {GL_DEPTH_TEST, "GL_DEPTH_TEST"},
                {GL_CULL_FACE, "GL_CULL_FACE"},
                {GL_LIGHTING, "GL_LIGHTING"},
                {GL_FOG, "GL_FOG"},
                {GL_COLOR_MATERIAL, "GL_COLOR_MATERIAL"},
                {GL_STENCIL_TEST, "GL_STENCIL_TEST"},
                {GL_SCISSOR_TEST, "GL_SCISSOR_TEST"},
                {GL_POLYGON_OFFSET_FILL, "GL_POLYGON_OFFSET_FILL"},
                {GL_TEXTURE_GEN_S, "GL_TEXTURE_GEN_S"},
                {GL_VERTEX_ARRAY, "GL_VERTEX_ARRAY"}};
    for (const auto& cap : caps) {
        const GLboolean on = glIsEnabled(cap.cap);
        add(cap.name, &on, 1);
    }
    const struct {
        GLenum pname;
        const char* name;
    } integers[] = {{GL_DEPTH_FUNC, "GL_DEPTH_FUNC"},
                    {GL_BLEND_SRC, "GL_BLEND_SRC"},
                    {GL_BLEND_DST, "GL_BLEND_DST"},
                    {GL_STENCIL_FUNC, "GL_STENCIL_FUNC"},
                    {GL_STENCIL_REF, "GL_STENCIL_REF"},
                    {GL_STENCIL_FAIL, "GL_STENCIL_FAIL"},
                    {GL_STENCIL_PASS_DEPTH_PASS, "GL_STENCIL_PASS_DEPTH_PASS"},
                    {GL_STENCIL_PASS_DEPTH_FAIL, "GL_STENCIL_PASS_DEPTH_FAIL"},
                    {GL_TEXTURE_BINDING_2D, "GL_TEXTURE_BINDING_2D"},
                    {GL_TEXTURE_BINDING_1D, "GL_TEXTURE_BINDING_1D"},
                    {GL_MATRIX_MODE, "GL_MATRIX_MODE"},
                    {GL_DEPTH_WRITEMASK, "GL_DEPTH_WRITEMASK"}};
    for (const auto& integer : integers) {
        const GLint value = integerState(integer.pname);
        add(integer.name, &value, 1);
    }
    GLint box[4] = {};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    add("GL_SCISSOR_BOX", box, 4);
    GLfloat values[16] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, values);
    add("GL_COLOR_CLEAR_VALUE", values, 4);
    glGetFloatv(GL_FOG_COLOR, values);
    add("GL_FOG_COLOR", values, 4);
    glGetFloatv(GL_DEPTH_RANGE, values);
    add("GL_DEPTH_RANGE", values, 2);
    glGetFloatv(GL_MODELVIEW_MATRIX, values);
    add("GL_MODELVIEW_MATRIX", values, 16);
    glGetFloatv(GL_CURRENT_COLOR, values);
    add("GL_CURRENT_COLOR", values, 4);
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, values);
    add("GL_LIGHT0 GL_DIFFUSE", values, 4);
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, values);
    add("GL_LIGHT0 GL_AMBIENT", values, 4);
    glGetLightfv(GL_LIGHT0, GL_POSITION, values);
    add("GL_LIGHT0 GL_POSITION", values, 4);
    return state;
}

// The names of the states whose values differ.
QStringList differences(const FrameState& a, const FrameState& b)
{
    QStringList names;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i].second != b[i].second)
            names << a[i].first;
    return names;
}

// Gives `state` the value `from` has for the state of that name.
void takeValue(FrameState& state, const FrameState& from, const QString& name)
{
    for (std::size_t i = 0; i < state.size() && i < from.size(); ++i)
        if (state[i].first == name)
            state[i].second = from[i].second;
}

struct Drawn {
    QImage picture; // RGBA as drawn, alpha 255 throughout on a surface without alpha
    FrameState state;
};

Drawn drawAs(TForm1& form, const Variant& variant)
{
    form.terrainPath = variant.path;
    form.skyBehindGround = variant.skyBehindGround;
    form.Panel1->makeCurrent();
    drawScene(form, viewAlong(form.camera), form.KeyState[vk::letter('K')]);
    return Drawn{readColourBuffer(*form.Panel1), readFrameState()};
}

// Draws the form's present state the defined way and each other way, and compares every byte of
// the pictures (alpha included) and the states; a difference fails the test. Leaves the form
// drawing the default way. Returns the ground pixels of the default way's frame.
std::size_t compareWithDefinedOrder(TForm1& form, const QString& name, int* sceneCount)
{
    const Drawn defined = drawAs(form, kDefined);
    std::size_t ground = 0;
    for (const Variant& variant : kVariants) {
        const Drawn drawn = drawAs(form, variant);
        if (&variant == &kVariants[0])
            ground = groundPixels(form);
        const QString what = QStringLiteral("%1, %2").arg(name, QLatin1String(variant.name));
        if (!compareImages(drawn.picture, defined.picture, QStringLiteral("sky-order, ") + what,
                           ImageTolerance::identical().withAlpha(), __FILE__, __LINE__))
            break;
        // The two terrain paths leave a different texture bound (the last cell's, the last
        // layer's) and an undefined current colour (the colour array was on): each drawing binds
        // its own texture and sets its colour before it draws, so the next frame does not see
        // them. Between the two sky orders of one path the whole state must agree.
        FrameState expected = defined.state;
        if (variant.path != kDefined.path) {
            takeValue(expected, drawn.state, QStringLiteral("GL_TEXTURE_BINDING_2D"));
            takeValue(expected, drawn.state, QStringLiteral("GL_CURRENT_COLOR"));
        }
        const QStringList stateDifferences = differences(expected, drawn.state);
        if (!stateDifferences.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("%1: the GL state differs: %2")
                                        .arg(what, stateDifferences.join(QStringLiteral(", ")))),
                         __FILE__, __LINE__);
            break;
        }
        ++*sceneCount;
    }
    const Variant& byDefault = kVariants[0];
    form.terrainPath = byDefault.path;
    form.skyBehindGround = byDefault.skyBehindGround;
    return ground;
}

QSurfaceFormat surfaceWithAlpha()
{
    QSurfaceFormat format = viewSurfaceFormat();
    format.setAlphaBufferSize(8);
    return format;
}

} // namespace

class SkyOrderGLTest : public QObject {
    Q_OBJECT
private slots:
    void defaultIsTheViewerOwn();
    void posesAndHoursEqualTheDefinedOrder_data();
    void posesAndHoursEqualTheDefinedOrder();
    void orbitingFramesEqualTheDefinedOrder_data();
    void orbitingFramesEqualTheDefinedOrder();
    void longerViewEqualsTheDefinedOrder();
};

void SkyOrderGLTest::defaultIsTheViewerOwn()
{
    // The window draws the way compared first below unless told otherwise, and its surface has
    // the stencil that way needs.
    StartedForm started;
    QCOMPARE(started.form->terrainPath, kVariants[0].path);
    QCOMPARE(started.form->skyBehindGround, kVariants[0].skyBehindGround);
    QVERIFY(integerState(GL_STENCIL_BITS) >= 1);
}

void SkyOrderGLTest::posesAndHoursEqualTheDefinedOrder_data()
{
    QTest::addColumn<bool>("alpha");
    QTest::newRow("viewer's surface") << false;
    QTest::newRow("with alpha") << true;
}

void SkyOrderGLTest::posesAndHoursEqualTheDefinedOrder()
{
    QFETCH(bool, alpha);
    const QSurfaceFormat format = surfaceWithAlpha();
    StartedForm started({}, alpha ? &format : nullptr);
    TForm1& form = *started.form;
    QCOMPARE(integerState(GL_ALPHA_BITS) > 0, alpha);
    // The bump walks a few steps first, so its reshaped ground is in the data.
    for (int i = 0; i < 5; ++i)
        stepWanderingBump(form);

    int scenes = 0;
    int mixed = 0;
    for (const Hour& hour : kHours) {
        form.Panel1->makeCurrent();
        form.world.setHour(hour.hour);
        for (const Pose& pose : kPoses) {
            form.camera.setPosition(pose.x, pose.y, pose.z);
            form.camera.setAngles(pose.yaw, pose.pitch, pose.roll);
            const QString name = QStringLiteral("%1 at %2").arg(QLatin1String(pose.name), QLatin1String(hour.name));
            const std::size_t ground = compareWithDefinedOrder(form, name, &scenes);
            if (QTest::currentTestFailed())
                return;
            mixed += ground > 0 && ground < framePixels(form);
        }
    }
    // Every pose but straight down shows both sky and ground, so the sky is really kept off
    // some pixels and drawn on others.
    QVERIFY2(mixed >= 8 * 4, qPrintable(QString::number(mixed)));

    // K held: no sky, the clear colour behind the terrain, in every way.
    form.camera.setPosition(100.0, 7.0, 100.0);
    form.camera.setAngles(125.0, 5.0, 0.0);
    form.KeyState[vk::letter('K')] = true;
    compareWithDefinedOrder(form, QStringLiteral("K held"), &scenes);
    if (QTest::currentTestFailed())
        return;
    const QImage hidden = readColourBuffer(*form.Panel1);
    const QRgb topRight = hidden.pixel(hidden.width() - 1, 0); // looks above the hills
    for (int channel : {qRed(topRight), qGreen(topRight), qBlue(topRight)})
        QCOMPARE(channel, 0);
    QCOMPARE(qAlpha(topRight), 255); // the clear colour (0, 0, 0, 1): nothing drew there
    form.KeyState[vk::letter('K')] = false;

    form.showNormals = true;
    compareWithDefinedOrder(form, QStringLiteral("normals overlay"), &scenes);
    QCOMPARE(scenes, int(std::size(kVariants)) * (4 * int(std::size(kPoses)) + 2));
}

void SkyOrderGLTest::orbitingFramesEqualTheDefinedOrder_data()
{
    posesAndHoursEqualTheDefinedOrder_data();
}

void SkyOrderGLTest::orbitingFramesEqualTheDefinedOrder()
{
    // Real frame steps while orbiting the bump, drawn the default way; after each, the same
    // state is drawn every way.
    QFETCH(bool, alpha);
    const QSurfaceFormat format = surfaceWithAlpha();
    StartedForm started({}, alpha ? &format : nullptr);
    TForm1& form = *started.form;
    form.Panel1->makeCurrent();
    form.world.setHour(9.0f);
    std::uint16_t f = vk::letter('F');
    form.FormKeyDown(f);
    QVERIFY(form.camera.orbiting);
    form.KeyState[vk::Right] = true; // travel around the bump
    form.KeyState[vk::letter('W')] = true;
    int scenes = 0;
    for (int i = 0; i < 6; ++i) {
        form.TimerForDrawingTimer();
        compareWithDefinedOrder(form, QStringLiteral("orbit frame %1").arg(i), &scenes);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(scenes, 6 * int(std::size(kVariants)));
}

// A longer view: drawn behind the ground, the sky waits for the levels beyond the band, lit by
// the light it is about to set (each frame follows one lit at another hour); drawn first, it is
// painted over. Same pixels and, along one terrain path, the same state.
void SkyOrderGLTest::longerViewEqualsTheDefinedOrder()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.viewDistance = 300.0f;
    for (const Hour& hour : {kHours[1], kHours[2], kHours[3]}) {
        for (const Pose& pose : {kPoses[0], kPoses[1], kPoses[3], kPoses[9]}) {
            form.camera.setPosition(pose.x, pose.y, pose.z);
            form.camera.setAngles(pose.yaw, pose.pitch, pose.roll);
            const QString name = QStringLiteral("sky-order, %1 at %2, distance 300").arg(pose.name, hour.name);
            Drawn behind[2];
            for (int v = 0; v < 2; ++v) {
                form.world.setHour(hour.hour + 4.0f);
                drawAs(form, kVariants[v]);
                form.world.setHour(hour.hour);
                behind[v] = drawAs(form, kVariants[v]);
            }
            QVERIFY(hasLevels(form) && form.landscape.rings().levels().size() > 1);
            const Drawn defined = drawAs(form, kDefined);
            for (const Drawn& drawn : behind)
                COMPARE_IMAGES(drawn.picture, defined.picture, name, ImageTolerance::identical().withAlpha());
            QCOMPARE(differences(defined.state, behind[1].state), QStringList());
        }
    }

    // Two more, from two poses: the physical sky at sunset, whose far levels are lit and fogged
    // on the CPU, ahead of its sky too (once its tables have settled: they are built over
    // frames); and a ground of one layer, whose band triangles then carry one layer each and are
    // drawn in one pass, behind the ground before the sky, over it when it comes first.
    const struct {
        const char* name;
        SkyKind sky;
        float hour;
        bool oneLayer;
    } cases[] = {{"physical", SkyKind::Physical, 16.9f, false}, {"one layer", SkyKind::Classic, kHours[1].hour, true}};
    for (const auto& c : cases) {
        if (c.oneLayer) {
            TLandscape& land = form.landscape;
            std::fill(land.layers, land.layers + land.vertexCount(), 0u);
            land.markChanged(0, std::int32_t(land.width) - 1, 0, std::int32_t(land.depth) - 1);
        }
        form.sky = c.sky;
        form.world.setHour(c.hour);
        for (const Pose& pose : {kPoses[0], kPoses[3]}) {
            form.camera.setPosition(pose.x, pose.y, pose.z);
            form.camera.setAngles(pose.yaw, pose.pitch, pose.roll);
            const Drawn defined = drawnUntilSettled([&form] { return drawAs(form, kDefined); });
            QVERIFY(form.landscape.rings().levels().size() > 1 && lightingStaysLinear());
            const Drawn behind = drawAs(form, kVariants[0]);
            COMPARE_IMAGES(behind.picture, defined.picture,
                           QStringLiteral("sky-order, %1, %2").arg(QString::fromLatin1(c.name), pose.name),
                           ImageTolerance::identical().withAlpha());
        }
    }
}

QTEST_MAIN(SkyOrderGLTest)
#include "SkyOrderGLTest.moc"
