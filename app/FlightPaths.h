#pragma once

#include "CameraPath.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <vector>

// F9: the camera path of the frame steps while recording, written as it goes into
// terrain-viewer-path-YYYYMMDD-HHMMSS.csv (CameraPath.h gives the format).
class PathRecorder {
public:
    bool recording() const { return file_.isOpen(); }
    std::uint64_t poses() const { return poses_; }

    // Creates the file in folder (-2, -3 ... added when the name is taken) and writes its
    // header. Returns its path; throws ViewerError when it cannot be created.
    QString start(const QString& folder);
    // One frame step's line; a write that fails is remembered for stop.
    void append(const PathPose& pose);
    // Closes the file and returns its path; throws ViewerError naming the file when a line
    // could not be written.
    QString stop();

private:
    QFile file_;
    std::uint64_t poses_ = 0;
    bool failed_ = false;
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
    std::size_t size() const { return poses_.size(); }

private:
    std::vector<PathPose> poses_;
    Mode mode_;
    std::size_t index_ = 0;
};
