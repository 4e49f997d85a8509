// terrain-bench: times the viewer's start-up and frames on its real window and GL view and
// prints one JSON object per line, first the start-up, then the frames.

#include "AllocatorTuning.h"
#include "BenchOptions.h"
#include "ElevationModel.h"
#include "FrameDriver.h"
#include "GlPanel.h"
#include "GlView.h"
#include "JsonLine.h"
#include "MainForm.h"
#include "StartupSteps.h"
#include "Stats.h"
#include "TerrainRings.h"

#include <GL/gl.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QOpenGLWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartupTimeoutMs = 300000;

// By FramePhase, in its order.
const char* const kPhaseKeys[kFramePhaseCount] = {"bumpCpuMs",   "cameraMs",       "skyMs",
                                                  "depthPassMs", "colourPassesMs", "swapMs"};

struct StartupRecord {
    double formShowMs = 0.0;
    QString renderer;
    QString glVersion;
};

// The measured frames presented one way at one view distance, and what they handed to the GL.
struct FrameRecord {
    PresentMode mode;
    float viewDistance = 50.0f;
    int frames = 0;
    std::vector<double> phaseSamples[kFramePhaseCount];
    std::vector<double> frameSamples;
    std::vector<double> presentSamples;
    std::vector<double> composeSamples;
    std::vector<double> cycleSamples;
    long pageFaults = 0;
    long compositions = 0;
    long panelPaints = 0;
    double drawCalls = 0.0;
    double textureBinds = 0.0;
    double cells = 0.0;
    double strips = 0.0;
    int ringLevels = 0;           // the levels of detail drawn at the last frame
    double ringMemoryBytes = 0.0; // ... and what they held
    // The CPU time each frame's update of the levels took on the drawing thread: a level's
    // rebuild done all at once shows here, apart from the machine's own hiccups.
    std::vector<double> ringUpdateSamples;

    // Room for every sample up front, so the bench's own allocations fault no page in while
    // frames are counted.
    FrameRecord(PresentMode presentMode, float distance, int framesExpected) : mode(presentMode), viewDistance(distance)
    {
        for (std::vector<double>* samples :
             {&phaseSamples[0], &phaseSamples[1], &phaseSamples[2], &phaseSamples[3], &phaseSamples[4],
              &phaseSamples[5], &frameSamples, &presentSamples, &composeSamples, &cycleSamples, &ringUpdateSamples})
            samples->reserve(std::size_t(framesExpected));
    }

    void add(const FrameTimes& times, long faults, int compositionsSeen, int paintsSeen,
             const TerrainDrawCounters& before, const TerrainDrawCounters& after)
    {
        ++frames;
        for (int p = 0; p < kFramePhaseCount; ++p) {
            if (times.marked[p])
                phaseSamples[p].push_back(times.phaseMs[p]);
        }
        frameSamples.push_back(times.frameMs);
        presentSamples.push_back(times.cycleMs - times.frameMs);
        composeSamples.push_back(times.composeMs);
        cycleSamples.push_back(times.cycleMs);
        pageFaults += faults;
        compositions += compositionsSeen;
        panelPaints += paintsSeen;
        // The counters only grow during a frame (unsigned differences stay right across a wrap).
        drawCalls += double(after.drawCalls - before.drawCalls);
        textureBinds += double(after.textureBinds - before.textureBinds);
        cells += double(after.cells - before.cells);
        strips += double(after.strips - before.strips);
    }

    void addTo(JsonLine& line) const
    {
        for (int p = 0; p < kFramePhaseCount; ++p) {
            if (phaseSamples[p].empty())
                line.addNull(kPhaseKeys[p]);
            else
                line.add(kPhaseKeys[p], spreadOf(phaseSamples[p]));
        }
        const double n = frames;
        // The worst frame against its two neighbours: how much one frame stands out (a ring
        // update done all at once would show here as one slow frame among quick ones).
        double spike = 0.0;
        for (std::size_t i = 1; i + 1 < frameSamples.size(); ++i)
            spike = std::max(spike, frameSamples[i] - 0.5 * (frameSamples[i - 1] + frameSamples[i + 1]));
        if (ringUpdateSamples.empty()) {
            line.addNull("ringUpdateCpuMs");
            line.addNull("ringUpdateRiseOverNeighboursCpuMs");
        } else {
            line.add("ringUpdateCpuMs", spreadOf(ringUpdateSamples));
            line.add("ringUpdateRiseOverNeighboursCpuMs", largestRiseOverNeighbours(ringUpdateSamples));
        }
        line.add("frameMs", spreadOf(frameSamples))
            .add("frameOverNeighboursMaxMs", spike)
            .add("presentMs", spreadOf(presentSamples))
            .add("composeMs", spreadOf(composeSamples))
            .add("cycleMs", spreadOf(cycleSamples))
            .add("frameStddevMs", standardDeviation(frameSamples))
            .add("frameRiseOverNeighboursMs", largestRiseOverNeighbours(frameSamples))
            .add("cycleStddevMs", standardDeviation(cycleSamples))
            .add("drawCallsPerFrame", drawCalls / n)
            .add("textureBindsPerFrame", textureBinds / n)
            .add("cellsPerFrame", cells / n)
            .add("stripsPerFrame", strips / n)
            .add("pageFaultsPerFrame", double(pageFaults) / n)
            .add("compositionsPerFrame", double(compositions) / n)
            .add("panelPaintsPerFrame", double(panelPaints) / n);
    }
};

long minorPageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

QString glText(GLenum name)
{
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? QString::fromUtf8(text) : QString();
}

void printLine(const JsonLine& line)
{
    std::fputs(qPrintable(line.text()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Processes events until done() holds, or throws after timeoutMs.
template <typename Done>
void processEventsUntil(Done&& done, int timeoutMs, const char* what)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > timeoutMs)
            throw std::runtime_error(std::string("timed out waiting for ") + what);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// The shipped textures are read from the working directory, as the viewer reads them; the
// source tree's assets folder is made the working directory when it is there, and otherwise
// the texture search folders stand in.
void enterAssetFolder()
{
    const QString folder = QStringLiteral(TERRAIN_BENCH_ASSET_DIR);
    if (QFileInfo::exists(folder + QStringLiteral("/LandTex0.bmp")))
        QDir::setCurrent(folder);
}

int runBench(const BenchOptions& options)
{
    enterAssetFolder();

    QStringList errors;
    TForm1 form;
    form.terrainPath = options.terrain;
    form.skyBehindGround = options.sky == SkyChoice::Behind;
    form.sky = options.physicalSky ? SkyKind::Physical : SkyKind::Classic;
    form.showError = [&errors](const QString& message) { errors << message; };
    form.latticeWidth = options.lattice;
    form.latticeDepth = options.lattice;
    // A ground of the user's own: read as the program reads it before its window exists; the
    // window's start-up then lays it (inside formShowMs).
    double heightmapLoadMs = 0.0;
    if (!options.heightmap.isEmpty()) {
        const Clock::time_point start = Clock::now();
        form.groundRequest = ElevationRequest{options.heightmap.toStdString(), {}, 1.0, {}};
        form.ground = loadElevationModel(*form.groundRequest);
        heightmapLoadMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    form.viewDistance = options.viewDistances.front();
    form.lodRings = options.lod;
    // The panel fills the window's client area (a grid layout without margins). The window
    // goes to the screen's top-left corner, so that even the largest size lies wholly on the
    // screen: a part off the screen would be clipped by the X server and cost less to present.
    form.resize(options.panelWidth, options.panelHeight);
    form.move(0, 0);

    // The window's start-up runs inside the first show; it is timed as a whole there, and the
    // timers it starts are stopped at once so that only the bench draws frames.
    StartupRecord startup;
    const std::function<void()> firstShow = form.Panel1->onInitialize;
    form.Panel1->onInitialize = [&] {
        const Clock::time_point start = Clock::now();
        firstShow();
        glFinish();
        startup.formShowMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        form.TimerForDrawing->stop();
        form.TimerForFPS->stop();
        form.TimerBigBen->stop();
        startup.renderer = glText(GL_RENDERER);
        startup.glVersion = glText(GL_VERSION);
    };
    int compositions = 0;
    form.Panel1->setPresentation(options.surface == SurfaceChoice::Widget ? Presentation::Widget
                                                                          : Presentation::Window);
    // Polished now, so the surface exists to be watched; the start-up's first present follows.
    form.Panel1->ensurePolished();
    if (QOpenGLWidget* composed = form.Panel1->composedSurface())
        QObject::connect(composed, &QOpenGLWidget::frameSwapped, &form, [&compositions] { ++compositions; });
    else
        QObject::connect(form.Panel1, &GlPanel::presented, &form, [&compositions] { ++compositions; });

    form.show();
    // A frame step draws only on a surface the window system shows (a native window's may be
    // exposed after the start-up has presented once).
    processEventsUntil([&] { return form.started() && compositions > 0 && form.Panel1->surfaceVisible(); },
                       kStartupTimeoutMs, "the window's start-up, first composition and exposed surface");
    // An error of the start-up is shown from a zero-time timer once the show has finished.
    QCoreApplication::processEvents();
    if (!errors.isEmpty())
        throw std::runtime_error("the start-up failed: " + errors.join(QStringLiteral("; ")).toStdString());
    if (!form.landscapeBuilt)
        throw std::runtime_error("the start-up did not build the terrain");
    if (form.Panel1->width() != options.panelWidth || form.Panel1->height() != options.panelHeight)
        throw std::runtime_error(QStringLiteral("the panel is %1x%2, not the %3x%4 asked for")
                                     .arg(form.Panel1->width())
                                     .arg(form.Panel1->height())
                                     .arg(options.panelWidth)
                                     .arg(options.panelHeight)
                                     .toStdString());

    // The presenting way of measured frame i, and one record per way used.
    const auto modeOfFrame = [&options](int i) {
        if (options.present == PresentChoice::Alternate)
            return i % 2 == 0 ? PresentMode::Outside : PresentMode::Inside;
        return options.present == PresentChoice::Inside ? PresentMode::Inside : PresentMode::Outside;
    };
    std::vector<FrameRecord> records;
    for (const float distance : options.viewDistances) {
        if (options.present != PresentChoice::Inside)
            records.emplace_back(PresentMode::Outside, distance, options.frames);
        if (options.present != PresentChoice::Outside)
            records.emplace_back(PresentMode::Inside, distance, options.frames);
    }
    const auto recordOf = [&records](PresentMode mode, float distance) -> FrameRecord& {
        return *std::find_if(records.begin(), records.end(),
                             [&](const FrameRecord& r) { return r.mode == mode && r.viewDistance == distance; });
    };
    // Over a loaded ground the camera keeps its start point but looks as the built-in start
    // does (yaw 125, level): the frame then holds about as much ground as the built-in one's,
    // and the two measure the same view.
    if (form.ground)
        form.camera.setAngles(125.0, 0.0, 0.0);
    if (options.graph)
        form.toggleFrameGraph();
    double firstFrameMs = 0.0;
    {
        FrameDriver driver(form, options.fly, options.timing == TimingChoice::Phases);
        const auto moveSun = [&form, &options] {
            if (options.hoursPerFrame > 0.0) {
                form.Panel1->makeCurrent();
                form.world.advance(float(options.hoursPerFrame));
            }
        };
        for (int i = 0; i < options.warmupFrames; ++i) {
            moveSun();
            const FrameTimes times = driver.step(modeOfFrame(i));
            // The first frame builds what the sky keeps (the physical sky's tables).
            if (i == 0)
                firstFrameMs = times.frameMs;
        }
        // Several view distances take turns of kTurnFrames measured frames, each turn after
        // kTurnWarmup frames that bring the levels to the new distance.
        constexpr int kTurnFrames = 20;
        constexpr int kTurnWarmup = 10;
        const bool turns = options.viewDistances.size() > 1;
        std::vector<int> measured(options.viewDistances.size(), 0);
        for (std::size_t turn = 0; measured.back() < options.frames; ++turn) {
            const std::size_t which = turns ? turn % options.viewDistances.size() : 0;
            const float distance = options.viewDistances[which];
            if (turns) {
                form.viewDistance = distance;
                for (int i = 0; i < kTurnWarmup; ++i) {
                    moveSun();
                    driver.step(modeOfFrame(i));
                }
            }
            const int end = turns ? std::min(options.frames, measured[which] + kTurnFrames) : options.frames;
            for (int i = measured[which]; i < end; ++i) {
                moveSun();
                const PresentMode mode = modeOfFrame(i);
                const TerrainDrawCounters countersBefore = driver.drawCounters();
                const int compositionsBefore = driver.compositions();
                const int paintsBefore = driver.panelPaints();
                const long faultsBefore = minorPageFaults();
                const FrameTimes times = driver.step(mode);
                FrameRecord& record = recordOf(mode, distance);
                record.add(times, minorPageFaults() - faultsBefore, driver.compositions() - compositionsBefore,
                           driver.panelPaints() - paintsBefore, countersBefore, driver.drawCounters());
                // The levels drawn (none at the designed view, where those of a longer
                // distance measured before are kept but not drawn).
                const bool ringsDrawn = form.lodRings && double(distance) > kDesignedViewDistance;
                record.ringLevels = ringsDrawn ? int(form.landscape.rings().levels().size()) : 0;
                if (ringsDrawn)
                    record.ringUpdateSamples.push_back(form.landscape.ringUpdateCpuMs());
                record.ringMemoryBytes = double(form.landscape.rings().memoryBytes());
            }
            measured[which] = end;
        }
    }

    form.Panel1->makeCurrent();
    // The lattice's five arrays, against which the levels' memory is weighed.
    const double latticeBytes = double(form.landscape.vertexCount()) *
                                double(2 * sizeof(float3) + sizeof(ubyte4) + sizeof(std::uint32_t));
    const StartupSteps steps = timeStartupSteps(options.lattice);

    const QString size = QStringLiteral("%1x%2").arg(options.panelWidth).arg(options.panelHeight);
    // The lattice drawn: the loaded ground's, or the N x N built-in one.
    const QString lattice = QStringLiteral("%1x%2").arg(form.landscape.width).arg(form.landscape.depth);
    const QString ground = form.ground ? QString::fromStdString(form.ground->groundName()) : QStringLiteral("built-in");
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);

    JsonLine textures;
    for (int slot = 0; slot < 4; ++slot)
        textures.add(qPrintable(steps.textureFiles[slot]), steps.loadTextureMs[slot]);
    JsonLine startupLine;
    startupLine.add("phase", "startup")
        .add("renderer", startup.renderer)
        .add("size", size)
        .add("lattice", options.lattice)
        .add("ground", ground)
        .add("latticeDrawn", lattice)
        .add("heightmapLoadMs", heightmapLoadMs)
        .add("formShowMs", startup.formShowMs)
        .add("worldInitMs", steps.worldInitMs)
        .add("loadTextureMs", textures)
        .add("createMs", steps.createMs)
        .add("heightsMs", steps.heightsMs)
        .add("normalsMs", steps.normalsMs)
        .add("layersMs", steps.layersMs)
        .add("buildLandscapeMs", steps.buildLandscapeMs)
        .add("innerSteps", "re-run on scratch objects after start-up")
        .add("peakRssMiB", double(usage.ru_maxrss) / 1024.0);
    printLine(startupLine);

    for (const FrameRecord& record : records) {
        JsonLine frameLine;
        frameLine.add("phase", "frame")
            .add("renderer", startup.renderer)
            .add("glVersion", startup.glVersion)
            .add("size", size)
            .add("terrain", terrainName(options.terrain))
            .add("surface", surfaceName(options.surface))
            .add("sky", skyName(options.sky))
            .add("skyModel", options.physicalSky ? "physical" : "classic")
            .add("hoursPerFrame", options.hoursPerFrame)
            .add("firstFrameMs", firstFrameMs)
            .add("present", presentName(record.mode))
            .add("allocator", allocatorName(options.allocator))
            .add("timing", timingName(options.timing))
            .add("graph", options.graph)
            .add("lattice", options.lattice)
            .add("ground", ground)
            .add("latticeDrawn", lattice)
            .add("viewDistance", double(record.viewDistance))
            .add("lod", options.lod)
            .add("ringLevels", record.ringLevels)
            .add("ringMemoryBytes", record.ringMemoryBytes)
            .add("latticeMemoryBytes", double(latticeBytes))
            .add("fly", options.fly)
            .add("frames", record.frames)
            .add("warmup", options.warmupFrames);
        record.addTo(frameLine);
        printLine(frameLine);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    BenchOptions options;
    QString error;
    bool helpAsked = false;
    if (!parseBenchOptions(arguments, &options, &error, &helpAsked)) {
        if (helpAsked) {
            // A plain application object: the help needs no display.
            QCoreApplication helpApplication(argc, argv);
            parseBenchOptions(arguments, &options, &error, &helpAsked);
            std::fputs(qPrintable(error), stdout);
            return 0;
        }
        std::fprintf(stderr, "terrain-bench: %s\n", qPrintable(error));
        return 2;
    }
    if (options.listTerrainPaths) {
        std::fputs("literal\nbatched\n", stdout);
        return 0;
    }
    // As early as the options allow: the window and the GL driver allocate under the new rules.
    if (options.allocator == AllocatorChoice::Tuned && !tuneAllocatorForDrawing()) {
        // AddressSanitizer, for one, replaces the C library's heap: measure with what there is
        // and say so in the output.
        std::fprintf(stderr, "terrain-bench: the C library refused the heap settings; measuring with its defaults\n");
        options.allocator = AllocatorChoice::Default;
    }

    QSurfaceFormat::setDefaultFormat(viewSurfaceFormat());
    QApplication application(argc, argv);
    try {
        return runBench(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "terrain-bench: %s\n", e.what());
        return 1;
    }
}
