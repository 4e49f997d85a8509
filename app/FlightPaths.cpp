#include "FlightPaths.h"

#include "ViewerError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

QString PathRecorder::start(const QString& folder)
{
    const QDir dir(folder);
    const QString stem = QStringLiteral("terrain-viewer-path-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = dir.filePath(stem + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(stem + QStringLiteral("-%1.csv").arg(n));
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly))
        throw ViewerError(QStringLiteral("Cannot record the path into %1: %2")
                              .arg(QDir::toNativeSeparators(path), file_.errorString())
                              .toStdString());
    poses_ = 0;
    failed_ = file_.write(QByteArray(kCameraPathHeader) + '\n') < 0;
    return path;
}

void PathRecorder::append(const PathPose& pose)
{
    failed_ = file_.write((pathLine(pose) + QLatin1Char('\n')).toLatin1()) < 0 || failed_;
    ++poses_;
}

QString PathRecorder::stop()
{
    QString path = file_.fileName();
    file_.close();
    const bool failed = failed_ || file_.error() != QFileDevice::NoError;
    failed_ = false;
    if (failed)
        throw ViewerError(QStringLiteral("Cannot save the path %1: %2")
                              .arg(QDir::toNativeSeparators(path), file_.errorString())
                              .toStdString());
    return path;
}

PathPlayback::PathPlayback(std::vector<PathPose> poses, Mode mode) : poses_(std::move(poses)), mode_(mode) {}

const PathPose& PathPlayback::next()
{
    if (mode_ == Mode::LastPose)
        return poses_.back();
    const PathPose& pose = poses_[index_];
    if (index_ + 1 < poses_.size())
        ++index_;
    else if (mode_ == Mode::Loop)
        index_ = 0;
    return pose;
}
