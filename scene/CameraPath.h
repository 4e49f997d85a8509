#pragma once

#include "Vec3.h"

#include <QString>
#include <cstdint>
#include <vector>

struct TForm1State;

// A camera path: the camera's pose and the simulated clock of consecutive frame steps, as the
// window records them (F9) and plays them back (--camera-path).
//
// The file is plain text: the header line kCameraPathHeader, then one line per frame step with
// nine comma-separated values: the frame step's index since the window started, the eye's x, y
// and z (world units; the terrain's rows lie 2 apart), yaw, pitch and roll (degrees, each
// above -360 and below 360, as the camera keeps them), the day of the year (0 to 364) and the
// hour of the day (0 up to but not including 24). Each index is the one before plus 1. The
// numbers are written with as many digits as they need to be read back exactly (17 significant
// digits for the doubles, 9 for the hour), so a path played back gives the same frames.
struct PathPose {
    std::uint64_t frame = 0;
    Vec3d position;
    double yawDegrees = 0.0;
    double pitchDegrees = 0.0;
    double rollDegrees = 0.0;
    std::uint32_t day = 0;
    float hour = 0.0f;
};

extern const char* const kCameraPathHeader;

// The most poses a path file may hold: an hour of frames at the drawing timer's 100 a second.
// A longer file is refused at the first line beyond it, so reading one never holds more.
constexpr std::size_t kMaxPathPoses = 360000;

// The pose of frame step `frame`: the camera and the clock as they are now.
PathPose poseOf(const TForm1State& form, std::uint64_t frame);

// One line of the file for the pose, without the line break.
QString pathLine(const PathPose& pose);

// Reads a path file. A file that cannot be opened, is empty, has another header, a line that
// is short, long or not numbers, a value out of its range, an index out of sequence or more
// than kMaxPathPoses poses throws ViewerError "camera path <file>, line <n>: <what is wrong>".
std::vector<PathPose> readCameraPath(const QString& fileName);

// Puts the camera at the pose (out of orbit: an orbiting pose is played as its position and
// angles) and the clock at its day and hour. GL context current, GL_MODELVIEW selected (the
// clock composes the sun matrix).
void applyPose(TForm1State& form, const PathPose& pose);
