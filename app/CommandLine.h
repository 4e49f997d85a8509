#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class TWorld;

// The range of --view-distance and of the keys that change it, world units.
constexpr double kMinViewDistance = 50.0;
constexpr double kMaxViewDistance = 4000.0;

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
    float viewDistance = 50.0f;            // --view-distance, world units, 50 to 4000
    bool lodRings = true;                  // --lod on (the default) or off
};

// Parses the arguments (argv[0] first). Prints --help / --version or an error itself and
// returns false with the exit status in *exitStatus when the program should stop there:
// 0 after --help and --version, 2 for a bad option or value, 1 for a file or folder that
// cannot be written.
bool parseCommandLine(const QStringList& arguments, ViewerOptions* options, int* exitStatus);

// The text --help prints: usage, the options and the key and mouse table.
QString commandLineHelp();

// --day, --latitude, --tilt and --hour on the clock the start-up set (day 0, hour 5, latitude
// 40, tilt 23.27), before the first frame; the sun matrix follows. Nothing changes when none
// of them is given. Needs the GL context current, with the modelview matrix mode selected.
void applyStartClock(const ViewerOptions& options, TWorld& world);
