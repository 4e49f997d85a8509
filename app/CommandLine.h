#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

class TWorld;

// What the command line asks for beyond the default run. Without options the viewer runs as
// an ordinary interactive window.
struct ViewerOptions {
    QString screenshotPath;                // non-empty: draw `frames` frames, save the window, exit
    QByteArray screenshotFormat = "PNG";   // "PNG" or "JPEG", from the path's suffix
    QString recordFolder;                  // non-empty: save each of the first `frames` frames there, exit
    int frames = 60;                       // frames drawn before the screenshot, or recorded
    bool framesGiven = false;              // --frames was given
    QString cameraPathFile;                // non-empty: play this camera path (CameraPath.h)
    bool batchedTerrain = true;            // --terrain batched (the default) or literal
    float startHour = -1.0f;               // >= 0: the simulated clock starts at this hour instead of 5
    std::optional<int> startDay;           // 0 to 364: day of the year to start on
    std::optional<float> latitudeDegrees;  // -90 to 90
    std::optional<float> axialTiltDegrees; // -90 to 90
    std::optional<float> hoursPerFrame;    // 0 to 24: the clock advances this much per frame
    QSize viewSize;                        // valid: the drawing view's size in pixels (--size)
    bool sceneOnly = false;                // saved pictures hold the scene without the panels
};

// Parses the arguments (argv[0] first). Prints --help / --version or an error itself and
// returns false with the exit status in *exitStatus when the program should stop there:
// 0 after --help and --version, 2 for a bad option or value, 1 for a file or folder that
// cannot be written.
bool parseCommandLine(const QStringList& arguments, ViewerOptions* options, int* exitStatus);

// --record's folder, made now (with the folders above it) if it does not exist: after the
// inputs have been read, so that a refused run creates nothing. Prints the error and returns
// false when it cannot be made.
bool makeRecordFolder(const ViewerOptions& options);

// --size's bounds in pixels, each side.
constexpr int kSmallestViewSide = 64;
constexpr int kLargestViewSide = 16384;

// The text --help prints: usage, the options and the key and mouse table.
QString commandLineHelp();

// --day, --latitude, --tilt and --hour on the clock the start-up set (day 0, hour 5, latitude
// 40, tilt 23.27), before the first frame; the sun matrix follows. Nothing changes when none
// of them is given. Needs the GL context current, with the modelview matrix mode selected.
void applyStartClock(const ViewerOptions& options, TWorld& world);
