#pragma once

#include "Vec3.h"

#include <QFile>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct TForm1State;

// A camera path: what each of consecutive frame steps was drawn with, as the window records
// it (F9) and plays it back (--camera-path). All of the format lives here: the pose of a line,
// the reader, the writer (PathRecorder) and the playback (PathPlayback).
//
// The file is plain text in two versions.
//
// Version 1 is the column header kCameraPathHeader, then one line per frame step with nine
// comma-separated values: the frame step's index since the window started, the eye's x, y and
// z (world units; the terrain's rows lie 2 apart), yaw, pitch and roll (degrees, each above
// -360 and below 360, as the camera keeps them), the day of the year (0 to 364) and the hour
// of the day (0 up to but not including 24). It holds the camera and the clock only.
//
// Version 2 (what the recorder writes) starts with a settings line
//   # terrain-viewer camera path, version 2; latitude <degrees>; tilt <degrees>; view <W>x<H>
// (the world's latitude and axial tilt, -90 to 90, and the drawing view's size in pixels),
// then the column header kCameraPathHeaderV2: the nine values above followed by the look-at's
// target x, y, z and up x, y, z, the x and z the terrain window was centred on, sky (1 drawn,
// 0 hidden by K), normals (1 shown by N, 0 not), the three scattering strengths (0 to 1) and
// the atmosphere height in metres. That is everything a frame's picture depends on beside the
// bump, whose walk is the same on every run and is stepped to the line's frame, so a version-2
// path replays every frame pixel for pixel, in orbit or free flight, whatever moved the camera.
//
// In both versions each index is the one before plus 1, and the numbers are written with as
// many digits as they need to be read back exactly (17 significant digits for the doubles, 9
// for single precision). A UTF-8 byte-order mark before the first line, CR LF line ends and
// blank lines after the last pose are accepted. Positions lie within kPathReach: larger ones
// are no place on any ground the viewer draws and are refused with their line.
struct PathPose {
    std::uint64_t frame = 0;
    Vec3d position;
    double yawDegrees = 0.0;
    double pitchDegrees = 0.0;
    double rollDegrees = 0.0;
    std::uint32_t day = 0;
    float hour = 0.0f;

    // Version 2 only; false for a version-1 line, whose frame is drawn along the camera at
    // position and angles, with the sky, normals and atmosphere as they are.
    bool hasScene = false;
    Vec3d target;         // the look-at's centre
    Vec3d up;             // the look-at's up vector
    float groundX = 0.0f; // x of the terrain window's centre
    float groundZ = 0.0f; // z of the terrain window's centre
    bool skyHidden = false;
    bool showNormals = false;
    std::array<float, 3> scattering{}; // the world's per-channel strengths, 0 to 1
    float atmosphereHeightMetres = 0.0f;
};

// The settings a version-2 path was recorded with.
struct PathSettings {
    float latitudeDegrees = 0.0f;
    float axialTiltDegrees = 0.0f;
    QSize viewPixels;
    // How far the view reached, world units (50, the designed view, in files that do not say).
    float viewDistance = 50.0f;
    // The ground it was flown over: the elevation model's file name, or empty for the
    // built-in hills. A file that does not say was flown over the built-in hills.
    QString groundName;
};

struct CameraPathFile {
    int version = 1;
    std::optional<PathSettings> settings; // set for version 2
    std::vector<PathPose> poses;
};

extern const char* const kCameraPathHeader;
extern const char* const kCameraPathHeaderV2;

// The positions a path may hold, in world units: |x| and |z| (of the eye, the target and the
// terrain window's centre) at most 1e6, |y| at most 1e5. The largest ground the viewer draws,
// a lattice of 4096 x 4096 cells 2 units apart, spans about 8200 units, and heights stay far
// below 1e5; a position beyond these is a file gone wrong, which would draw a black picture.
struct PathReach {
    static constexpr double kHorizontal = 1e6;
    static constexpr double kVertical = 1e5;
};

// The most poses a path file may hold: an hour of frames at the drawing timer's 100 a second.
// A longer file is refused at the first line beyond it, so reading one never holds more.
constexpr std::size_t kMaxPathPoses = 360000;

// One line of the file for the pose, without the line break: nine values for a version-1
// pose, twenty-three for one with hasScene.
QString pathLine(const PathPose& pose);

// The settings line of a version-2 file, without the line break.
QString pathSettingsLine(const PathSettings& settings);

// Reads a path file of either version. A folder, a file that cannot be opened, is empty, has
// another header, a line that is short, long or not numbers, a value out of its range, an index
// out of sequence or more than kMaxPathPoses poses throws ViewerError
// "camera path <file>, line <n>: <what is wrong>" (or "camera path <file>: ..." for the file).
CameraPathFile readCameraPathFile(const QString& fileName);
// The poses of readCameraPathFile.
std::vector<PathPose> readCameraPath(const QString& fileName);

// Puts the camera at the pose (out of orbit: an orbiting pose is played as its position and
// angles) and the clock at its day and hour; a version-2 pose also sets the normals, the
// scattering strengths and the atmosphere height (its table rebuilt when it changed). GL
// context current, GL_MODELVIEW selected (the clock composes the sun matrix).
void applyPose(TForm1State& form, const PathPose& pose);

// F9: the camera path of the frame steps while recording, a version-2 file written line by
// line as the frames come. Each line reaches the file before the next frame step: a write that
// fails stops the recording at once, with the file cut back to its last whole line.
class PathRecorder {
public:
    ~PathRecorder();
    bool recording() const { return file_.isOpen(); }
    std::uint64_t poses() const { return poses_; }
    QString fileName() const { return file_.fileName(); }

    // Creates the file at path (which must not exist yet, unless it is a device such as
    // /dev/null) and writes its settings and header lines. Throws ViewerError naming the file
    // when it cannot be created or written; nothing is recording then.
    void start(const QString& path, const PathSettings& settings);
    // One frame step's line. A line that cannot be written cuts the file back to the lines
    // before it, closes it and throws ViewerError naming the file, the reason and the frames
    // kept.
    void append(const PathPose& pose);
    // Closes the file and returns its path.
    QString stop();

private:
    void write(const QByteArray& bytes);

    QFile file_;
    std::uint64_t poses_ = 0;
    qint64 written_ = 0; // bytes of whole lines in the file
};

// --camera-path: the poses the frame steps take, one each.
class PathPlayback {
public:
    enum class Mode {
        Loop,     // from the first pose to the last, again and again
        Once,     // the poses once, then the last one stays
        LastPose, // only the last pose
    };
    PathPlayback(std::vector<PathPose> poses, Mode mode);

    // The frame step the playback starts at: the bump is stepped up to it first, so that the
    // ground is where it was when the path was recorded.
    std::uint64_t startFrame() const { return mode_ == Mode::LastPose ? poses_.back().frame : poses_.front().frame; }
    // The pose of the next frame step.
    const PathPose& next();

private:
    std::vector<PathPose> poses_;
    Mode mode_;
    std::size_t index_ = 0;
};
