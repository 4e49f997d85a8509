#pragma once

#include "TerrainPath.h"

#include <QString>
#include <QStringList>
#include <vector>

// Where the frame is drawn relative to Qt's paint of the panel.
enum class PresentMode {
    Outside, // the viewer's way: the timer tick draws after makeCurrent(), update() asks Qt to composite
    Inside,  // the tick only calls update(); the frame is drawn in the composed surface's paint event
};

// Which way the measured frames are presented: one way throughout, or the two ways taking
// turns frame by frame, so both meet the same machine load (each gets its own frame line).
enum class PresentChoice { Outside, Inside, Alternate };

// How the panel hands its frames to the screen (GlPanel's Presentation): its own native GL
// window, or a QOpenGLWidget composited by Qt. Drawing inside Qt's paint needs the latter.
enum class SurfaceChoice { Window, Widget };

// Where the sky goes in the frame: drawn first over the whole view, or after the terrain's
// depth pass, kept off the ground by its stencil mark (the window's skyBehindGround setting).
enum class SkyChoice { Behind, First };

// How a frame is timed: each phase finished by glFinish at its end (which keeps the driver's
// threads from overlapping one phase with the next), or only the whole frame step, finished
// once at its end, as it runs in the viewer.
enum class TimingChoice { Phases, Whole };

// The C library heap as the viewer sets it up for drawing (tuneAllocatorForDrawing), or as
// glibc leaves it by default; the page faults per frame tell the two apart.
enum class AllocatorChoice { Tuned, Default };

// What one run of terrain-bench measures.
struct BenchOptions {
    int panelWidth = 1012; // pixels of the drawing panel (the window's client area)
    int panelHeight = 614;
    int frames = 300;      // measured frames, at least 1 (2 when alternating)
    int warmupFrames = 30; // frames drawn before measuring, not counted
    TerrainPath terrain = TerrainPath::Batched;
    int lattice = 300; // vertices per side of the terrain lattice
    bool fly = false;  // hold the up arrow every frame
    // World units, each 50 (the designed view) to 4000. Several are measured in turns within
    // the run, one record each, so that all meet the same load of the machine.
    std::vector<float> viewDistances{50.0f};
    bool lod = true; // levels of detail beyond 50 units, or every cell in full
    PresentChoice present = PresentChoice::Outside;
    SurfaceChoice surface = SurfaceChoice::Window;
    SkyChoice sky = SkyChoice::Behind;
    AllocatorChoice allocator = AllocatorChoice::Tuned;
    TimingChoice timing = TimingChoice::Phases;
    bool physicalSky = false;      // the physical sky (the viewer's --sky physical) instead of the classic one
    double hoursPerFrame = 0.0;    // the clock advanced this much before each frame (0: the sun stands still)
    bool graph = false;            // the window's frame-time graph (F3) shown, measuring the frames itself
    bool listTerrainPaths = false; // print the terrain paths this build has, one a line, and stop
    QString heightmap;             // non-empty: the ground of this elevation model instead of the built-in one
};

constexpr int kMinPanelSide = 16;
constexpr int kMaxPanelSide = 8192;
// Below 2 * bump radius + 1 the bump's random walk has no room; above 4096 the arrays of the
// lattice and its scratch copy pass a gigabyte.
constexpr int kMinLattice = 8;
constexpr int kMaxLattice = 4096;

// Parses the arguments (argv[0] first) into *options. Returns false with a message in *error
// for an unknown option or a value out of range; with --help, returns false with *helpAsked
// set and, when a QCoreApplication exists (the text needs one), the usage text in *error.
bool parseBenchOptions(const QStringList& arguments, BenchOptions* options, QString* error, bool* helpAsked);

QString terrainName(TerrainPath terrain);
QString surfaceName(SurfaceChoice surface);
QString skyName(SkyChoice sky);
QString presentName(PresentMode mode);
QString allocatorName(AllocatorChoice allocator);
QString timingName(TimingChoice timing);
