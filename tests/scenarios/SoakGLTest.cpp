// The real window run for many frames in one process: the bump wanders, simulated time runs,
// keys are held and modes flipped now and then. Afterwards the terrain must still be sound,
// GL must report nothing, no texture may have been created or lost, and the resident memory
// must have stopped growing once the first frames are behind it.
//
// The frame count comes from TERRAIN_SOAK_FRAMES (the test registration sets it; scripts/soak
// runs this binary with a larger one).

#include "GlChecks.h"
#include "KeyCodes.h"
#include "StartedForm.h"

#include <GL/gl.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QVector>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <malloc.h>
#include <random>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_UNDER_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef SOAK_UNDER_ADDRESS_SANITIZER
// The sanitizer runtime's count of the bytes in live allocations (its allocator interface; GCC
// ships the runtime but not the header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

constexpr int kDefaultFrames = 10000;
// The terrain's heights: the build gives [spacing, 3 * spacing] = [2, 6]; the bump pulls a
// vertex toward an absolute height in [2, 4] by a convex step, so it can only stay inside.
constexpr float kLowestHeight = 2.0f;
constexpr float kHighestHeight = 6.0f;
// computeNormals scales each normal to unit length in single precision: a few ulps of 1.
constexpr double kUnitTolerance = 1e-5;

int frameCountFromEnvironment()
{
    bool ok = false;
    const int frames = qEnvironmentVariableIntValue("TERRAIN_SOAK_FRAMES", &ok);
    return ok && frames > 0 ? frames : kDefaultFrames;
}

// The memory the process holds. Under AddressSanitizer freed blocks wait in its quarantine
// (hundreds of MiB) and stay resident, so there the allocator's own count of the bytes in use
// stands in for the resident size.
#ifdef SOAK_UNDER_ADDRESS_SANITIZER
const char* const kMemoryMeasure = "heap in use";
qint64 heldBytes()
{
    return qint64(__sanitizer_get_current_allocated_bytes());
}
#else
const char* const kMemoryMeasure = "resident memory";
// The resident set, from the second field of /proc/self/statm (pages), after the allocator has
// handed its free pages back: otherwise the renderer's high-water mark would show, not what is
// really held.
qint64 heldBytes()
{
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
    if (fields.size() < 2)
        return -1;
    return fields[1].toLongLong() * sysconf(_SC_PAGESIZE);
}
#endif

double mebibytes(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

// One stretch of the soak: a key held for some frames (Qt key 0: none).
struct HeldKey {
    Qt::Key key;
    std::uint16_t code;
};

const HeldKey kHeldKeys[] = {
    {Qt::Key(0), 0},
    {Qt::Key_Up, vk::Up},
    {Qt::Key_Down, vk::Down},
    {Qt::Key_Left, vk::Left},
    {Qt::Key_Right, vk::Right},
    {Qt::Key_Space, vk::Space},
    {Qt::Key_Control, vk::Control},
    {Qt::Key_D, vk::letter('D')},
    {Qt::Key_A, vk::letter('A')},
    {Qt::Key_W, vk::letter('W')},
    {Qt::Key_S, vk::letter('S')},
    {Qt::Key_E, vk::letter('E')},
    {Qt::Key_Q, vk::letter('Q')},
    {Qt::Key_P, vk::letter('P')}, // fast time
    {Qt::Key_K, vk::letter('K')}, // no sky
};

// The single presses of the run: a tour of the modes early on (overlay, orbit, horizontal
// moves, straightening), then the same now and then.
QVector<Qt::Key> pressesAt(int frame)
{
    switch (frame) {
    case 160:
    case 166: return {Qt::Key_N};
    case 170:
    case 220: return {Qt::Key_F};
    case 230:
    case 260: return {Qt::Key_L};
    case 270: return {Qt::Key_H, Qt::Key_V, Qt::Key_B};
    default: break;
    }
    if (frame < 300)
        return {};
    QVector<Qt::Key> keys;
    if (frame % 1700 == 0 || frame % 1700 == 600)
        keys << Qt::Key_F;
    if (frame % 2300 == 0)
        keys << Qt::Key_H << Qt::Key_V << Qt::Key_B;
    if (frame % 3100 == 0)
        keys << Qt::Key_L;
    // The overlay draws every vertex: short spells of it.
    if (frame % 2500 == 1200 || frame % 2500 == 1220)
        keys << Qt::Key_N;
    return keys;
}

// Memory held with the window at rest: the start-up view, no key held, no overlay, a few
// frames drawn and finished. llvmpipe's working memory follows what is in view, so the figures
// are only comparable for one and the same view.
qint64 memoryAtRest(TForm1& form)
{
    const Camera camera = form.camera;
    bool keys[256];
    std::copy(std::begin(form.KeyState), std::end(form.KeyState), keys);
    const bool normals = form.showNormals;
    form.camera = Camera();
    form.camera.setPosition(100.0, 7.0, 100.0);
    form.camera.setAngles(125.0, 0.0, 0.0);
    std::fill(std::begin(form.KeyState), std::end(form.KeyState), false);
    form.showNormals = false;
    for (int i = 0; i < 5; ++i)
        form.TimerForDrawingTimer();
    glFinish();
    const qint64 bytes = heldBytes();
    form.camera = camera;
    std::copy(std::begin(keys), std::end(keys), form.KeyState);
    form.showNormals = normals;
    return bytes;
}

} // namespace

class SoakGLTest : public QObject {
    Q_OBJECT
private slots:
    void manyFrames();
};

void SoakGLTest::manyFrames()
{
    const int frames = frameCountFromEnvironment();
    // Memory is compared from here on: by then every cache of the frame path has been filled.
    const int settledFrame = std::min(1000, frames / 5);

    StartedForm started;
    TForm1& form = *started.form;
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
    QWindow* window = started.window();

    // A small view keeps the frames cheap; the panel fills the window.
    form.resize(160, 120);
    QTRY_COMPARE(form.Panel1->size(), QSize(160, 120));
    form.Panel1->makeCurrent();
    form.TimerForDrawingTimer();
    QCoreApplication::processEvents();
    form.Panel1->makeCurrent();
    VERIFY_NO_GL_ERROR();
    // The overlays' textures come and go with the boxes shown; the scene's stay.
    const int texturesAfterStartUp = liveTextures() - form.overlayTextures.textureCount();
    QVERIFY(texturesAfterStartUp >= 6); // four layers, the optical depth and the halo at least
    const qint64 memoryAtStart = memoryAtRest(form);
    QVERIFY(memoryAtStart > 0);

    const TWorld& world = form.world;
    double hoursAdvanced = 0.0; // summed over the frames, across day carries
    float lastHour = world.hour;
    QSet<qint64> bumpCentres;

    // The test's own generator, so the bump's source keeps its one sequence.
    std::mt19937 random(20240607u);
    std::uniform_int_distribution<int> pickKey(0, int(std::size(kHeldKeys)) - 1);
    std::uniform_int_distribution<int> pickLength(10, 150);
    int stretch = 0;
    int stretchLeft = 0;
    const HeldKey* held = &kHeldKeys[0];
    qint64 memorySettled = -1;
    const int reportEvery = std::max(1000, frames / 10);

    QElapsedTimer clock;
    clock.start();
    for (int frame = 1; frame <= frames; ++frame) {
        if (stretchLeft-- <= 0) {
            if (held->code != 0)
                QTest::keyRelease(window, held->key);
            QVERIFY(!form.KeyState[held->code] || held->code == 0);
            // First every key in turn, so that all of the frame's paths have run before the
            // memory is first measured; then at random.
            const bool touring = stretch < int(std::size(kHeldKeys));
            held = touring ? &kHeldKeys[stretch] : &kHeldKeys[pickKey(random)];
            stretchLeft = touring ? 10 : pickLength(random);
            ++stretch;
            if (held->code != 0)
                QTest::keyPress(window, held->key);
            QVERIFY(held->code == 0 || form.KeyState[held->code]);
            // A camera that has flown off the terrain is brought back over it, so the terrain
            // keeps being drawn around it.
            const Vec3d& eye = form.camera.position;
            if (!form.camera.orbiting &&
                (eye.x < -60 || eye.x > 580 || eye.z < -60 || eye.z > 660 || std::fabs(eye.y) > 100))
                form.camera.setPosition(100.0, 7.0, 100.0);
        }
        for (Qt::Key key : pressesAt(frame))
            QTest::keyClick(window, key);

        try {
            form.TimerForDrawingTimer();
            form.TimerBigBenTimer();
            if (frame % 100 == 0)
                form.TimerForFPSTimer();
        } catch (const std::exception& error) {
            QFAIL(qPrintable(QStringLiteral("frame %1: %2").arg(frame).arg(QString::fromUtf8(error.what()))));
        }
        hoursAdvanced += double(world.hour) - double(lastHour) + (world.hour < lastHour ? 24.0 : 0.0);
        lastHour = world.hour;
        bumpCentres.insert(qint64(form.bumpColumn) << 32 | form.bumpRow);

        // Qt composes the frames (and delivers the key events' side effects) from its loop.
        if (frame % 10 == 0) {
            QCoreApplication::processEvents();
            form.Panel1->makeCurrent();
        }
        if (frame % 1000 == 0) {
            const GLenum error = glGetError();
            QVERIFY2(error == GL_NO_ERROR,
                     qPrintable(QStringLiteral("frame %1: GL error 0x%2").arg(frame).arg(error, 0, 16)));
        }
        if (frame == settledFrame || frame % reportEvery == 0) {
            const qint64 held = memoryAtRest(form);
            if (frame == settledFrame)
                memorySettled = held;
            qInfo("soak: frame %d, %.1f s, %s at rest %.2f MiB", frame, double(clock.elapsed()) / 1000.0,
                  kMemoryMeasure, mebibytes(held));
        }
    }
    const double seconds = double(clock.elapsed()) / 1000.0;
    VERIFY_NO_GL_ERROR();
    if (held->code != 0)
        QTest::keyRelease(window, held->key);
    QCoreApplication::processEvents();
    form.Panel1->makeCurrent();
    const qint64 memoryAtEnd = memoryAtRest(form);
    qInfo(
        "soak: %d frames in %.1f s (%.0f frames/s); %s at rest %.2f MiB after start-up, "
        "%.2f MiB at frame %d, %.2f MiB at the end",
        frames, seconds, double(frames) / std::max(seconds, 1e-3), kMemoryMeasure, mebibytes(memoryAtStart),
        mebibytes(memorySettled), settledFrame, mebibytes(memoryAtEnd));
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));

    // The bump wandered and time ran.
    QVERIFY2(bumpCentres.size() >= std::min(frames / 20, 100), qPrintable(QString::number(bumpCentres.size())));
    // Time is never frozen here: at least 0.005 hours a tick (0.205 with P held).
    QVERIFY2(hoursAdvanced >= frames * 0.005 * 0.999, qPrintable(QString::number(hoursAdvanced)));

    // The terrain is sound.
    const TLandscape& land = form.landscape;
    QCOMPARE(land.width, 300u);
    QCOMPARE(land.depth, 300u);
    int badHeights = 0, nanPositions = 0, nanNormals = 0, notUnit = 0, badLayers = 0, badAlphas = 0;
    QString firstFault;
    const auto note = [&firstFault](const QString& what, std::uint32_t i, std::uint32_t j, double value) {
        if (firstFault.isEmpty())
            firstFault = QStringLiteral("%1 at column %2 row %3: %4").arg(what).arg(i).arg(j).arg(value, 0, 'g', 9);
    };
    for (std::uint32_t j = 0; j < land.depth; ++j) {
        for (std::uint32_t i = 0; i < land.width; ++i) {
            const std::size_t k = std::size_t(j) * land.width + i;
            const float3& p = land.positions[k];
            const float3& n = land.normals[k];
            if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) {
                ++nanPositions;
                note(QStringLiteral("NaN position"), i, j, p.y);
            } else if (!(p.y >= kLowestHeight && p.y <= kHighestHeight)) {
                ++badHeights;
                note(QStringLiteral("height"), i, j, p.y);
            }
            if (std::isnan(n.x) || std::isnan(n.y) || std::isnan(n.z)) {
                ++nanNormals;
                note(QStringLiteral("NaN normal"), i, j, n.y);
            }
            const bool interior = i > 0 && j > 0 && i + 1 < land.width && j + 1 < land.depth;
            const double length = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
            if (interior && !(std::fabs(length - 1.0) <= kUnitTolerance)) {
                ++notUnit;
                note(QStringLiteral("normal length"), i, j, length);
            }
            if (land.layers[k] > 3) {
                ++badLayers;
                note(QStringLiteral("layer"), i, j, land.layers[k]);
            }
            if (land.colours[k].a != 0) {
                ++badAlphas;
                note(QStringLiteral("alpha"), i, j, land.colours[k].a);
            }
        }
    }
    QVERIFY2(badHeights + nanPositions + nanNormals + notUnit + badLayers + badAlphas == 0,
             qPrintable(QStringLiteral("heights %1, NaN positions %2, NaN normals %3, normals not unit %4, "
                                       "layers %5, alphas %6; first: %7")
                            .arg(badHeights)
                            .arg(nanPositions)
                            .arg(nanNormals)
                            .arg(notUnit)
                            .arg(badLayers)
                            .arg(badAlphas)
                            .arg(firstFault)));
    QVERIFY(form.bumpColumn >= form.bumpRadius && form.bumpColumn <= form.latticeWidth - form.bumpRadius - 1);
    QVERIFY(form.bumpRow >= form.bumpRadius && form.bumpRow <= form.latticeDepth - form.bumpRadius - 1);

    // GL is clean and holds the textures it held after start-up, no more, no fewer, and one
    // for each overlay box of the last frame.
    VERIFY_NO_GL_ERROR();
    QCOMPARE(liveTextures() - form.overlayTextures.textureCount(), texturesAfterStartUp);
    QVERIFY(form.overlayTextures.textureCount() <= 6); // help, message, mode and ground lines, graph
    for (std::uint32_t slot = 0; slot < 4; ++slot)
        QVERIFY(glIsTexture(land.textures[slot]));
    QVERIFY(glIsTexture(world.opticalDepthTexture));
    QVERIFY(glIsTexture(world.haloTexture));

    // Once settled, the frame loop holds on to no more memory.
    QVERIFY(memorySettled > 0 && memoryAtEnd > 0);
    const qint64 growth = memoryAtEnd - memorySettled;
    QVERIFY2(growth < 1024 * 1024, qPrintable(QStringLiteral("%1 grew by %2 KiB from frame %3 to %4")
                                                  .arg(QLatin1String(kMemoryMeasure))
                                                  .arg(growth / 1024)
                                                  .arg(settledFrame)
                                                  .arg(frames)));
}

int main(int argc, char** argv)
{
    // llvmpipe's rasteriser threads keep scene memory whose size depends on how far they ran
    // behind; rasterising on this thread makes the renderer's footprint depend on what is
    // drawn alone, so the memory held can be compared from one point of the run to another.
    // The driver reads this when the first context is made.
    if (!qEnvironmentVariableIsSet("LP_NUM_THREADS"))
        qputenv("LP_NUM_THREADS", "0");
    QApplication application(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    SoakGLTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SoakGLTest.moc"
