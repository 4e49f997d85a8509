#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include "SolarPosition.h"
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
    QSize viewSize;                        // valid: the drawing view's size in pixels (--size)
    bool sceneOnly = false;                // saved pictures hold the scene without the panels

    // A ground of the user's own (ElevationModel.h).
    QString heightmapFile;                   // non-empty: --heightmap
    std::optional<double> cellMetres;        // --cell-metres: lattice row on the ground, 0.01 to 100000
    double exaggeration = 1.0;               // --exaggeration: 0.01 to 100
    std::optional<double> heightRangeMetres; // --height-range: a plain picture's full grey range, 1 to 20000
    bool bumpOnGround = false;               // --bump
    bool describe = false;                   // --describe: print what the file makes and exit
    // The real sun: the date of --date, or today's with --sun real; unset: the designed clock.
    std::optional<CalendarDate> sunDate;
    std::optional<float> utcOffsetHours;   // --utc-offset: -14 to 14
    std::optional<float> longitudeDegrees; // --longitude: -180 to 180
    // The loaded ground's place (degrees), set once the file has been read.
    std::optional<double> groundLatitude;
    std::optional<double> groundLongitude;
    bool physicalSky = false;         // --sky physical (default classic)
    std::optional<double> exposureEv; // --exposure <stops>, -20 to 20; empty: automatic
    float viewDistance = 50.0f;       // --view-distance, world units, 50 to 4000
    bool viewDistanceGiven = false;   // --view-distance was on the command line
    bool lodRings = true;             // --lod on (the default) or off
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
// A loaded ground's latitude stands in for 40 unless --latitude is given. With a date (--date,
// --sun real) the clock becomes the real sun's (TWorld::realSun): the date's day of its year,
// --hour on a clock --utc-offset hours ahead of UTC (default: the longitude's nominal zone,
// round(longitude / 15)), at --longitude or the ground's (else 0). Without a date or a ground
// the designed clock is set exactly as before.
void applyStartClock(const ViewerOptions& options, TWorld& world);

// The UTC offset the real sun's clock uses: --utc-offset, else round(longitude / 15).
float utcOffsetFor(const ViewerOptions& options, double longitudeDegrees);
