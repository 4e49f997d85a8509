#include "CameraPath.h"

#include "DecimalNumber.h"
#include "FormState.h"
#include "ViewerError.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

const char* const kCameraPathHeader = "frame,x,y,z,yaw_degrees,pitch_degrees,roll_degrees,day,hour";
const char* const kCameraPathHeaderV2 =
    "frame,x,y,z,yaw_degrees,pitch_degrees,roll_degrees,day,hour,target_x,target_y,target_z,up_x,up_y,up_z,"
    "ground_x,ground_z,sky,normals,scattering_red,scattering_green,scattering_blue,atmosphere_height_metres";

namespace {

constexpr int kFieldsV1 = 9;
constexpr int kFieldsV2 = 23;
constexpr std::uint32_t kDaysInYear = 365;
const QByteArray kByteOrderMark("\xEF\xBB\xBF");
const QString kSettingsPattern = QStringLiteral(
    "^# terrain-viewer camera path, version 2; latitude (\\S+); tilt (\\S+); view (\\d{1,5})x(\\d{1,5})"
    "(?:; view distance (\\S+))?(?:; ground (.+))?$");

QString exact(double value)
{
    return QString::number(value, 'g', 17);
}

QString exactFloat(float value)
{
    return QString::number(double(value), 'g', 9);
}

// A finite decimal number, the whole field.
bool parseNumber(const QByteArray& field, double* value)
{
    return parseDecimalNumber(std::string_view(field.constData(), std::size_t(field.size())), value) &&
           std::isfinite(*value);
}

// A whole number of digits only, without sign.
bool parseIndex(const QByteArray& field, std::uint64_t* value)
{
    if (field.isEmpty() || field.size() > 19)
        return false;
    *value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
        *value = *value * 10 + std::uint64_t(c - '0');
    }
    return true;
}

class PathReader {
public:
    PathReader(const QString& fileName, int fields) : shown_(QDir::toNativeSeparators(fileName)), fields_(fields) {}

    [[noreturn]] void fail(int line, const QString& what) const
    {
        throw ViewerError(QStringLiteral("camera path %1, line %2: %3").arg(shown_).arg(line).arg(what).toStdString());
    }

    PathPose parse(const QByteArray& text, int line, const PathPose* previous) const
    {
        const QList<QByteArray> fields = text.split(',');
        if (fields.size() != fields_)
            fail(line, QStringLiteral("%1 values instead of the %2 the header names").arg(fields.size()).arg(fields_));
        PathPose pose;
        if (!parseIndex(fields[0], &pose.frame))
            fail(line,
                 QStringLiteral("the frame '%1' is not a whole number").arg(QString::fromUtf8(fields[0].left(40))));
        if (previous && pose.frame != previous->frame + 1)
            fail(line, QStringLiteral("frame %1 follows frame %2: the frames must follow each other")
                           .arg(pose.frame)
                           .arg(previous->frame));
        double values[kFieldsV2] = {};
        static const char* const names[kFieldsV2] = {"frame",
                                                     "x",
                                                     "y",
                                                     "z",
                                                     "yaw",
                                                     "pitch",
                                                     "roll",
                                                     "day",
                                                     "hour",
                                                     "target x",
                                                     "target y",
                                                     "target z",
                                                     "up x",
                                                     "up y",
                                                     "up z",
                                                     "ground x",
                                                     "ground z",
                                                     "sky",
                                                     "normals",
                                                     "red scattering",
                                                     "green scattering",
                                                     "blue scattering",
                                                     "atmosphere height"};
        for (int i = 1; i < fields_; ++i)
            if (!parseNumber(fields[i], &values[i]))
                fail(line, QStringLiteral("the %1 '%2' is not a number")
                               .arg(QLatin1String(names[i]), QString::fromUtf8(fields[i].left(40))));
        const auto within = [&](int first, double bound, int count) {
            for (int i = first; i < first + count; ++i)
                if (!(std::abs(values[i]) <= bound))
                    fail(line, QStringLiteral("the %1 %2 lies beyond %3, outside any ground")
                                   .arg(QLatin1String(names[i]))
                                   .arg(values[i], 0, 'g', 6)
                                   .arg(bound, 0, 'g', 6));
        };
        within(1, PathReach::kHorizontal, 1);
        within(2, PathReach::kVertical, 1);
        within(3, PathReach::kHorizontal, 1);
        pose.position = Vec3d{values[1], values[2], values[3]};
        for (int i = 4; i <= 6; ++i)
            if (!(std::abs(values[i]) < 360.0))
                fail(line, QStringLiteral("the %1 %2 is not above -360 and below 360 degrees")
                               .arg(QLatin1String(names[i]))
                               .arg(values[i]));
        pose.yawDegrees = values[4];
        pose.pitchDegrees = values[5];
        pose.rollDegrees = values[6];
        const double day = values[7];
        if (!(day >= 0.0 && day < kDaysInYear && day == std::trunc(day)))
            fail(line, QStringLiteral("the day %1 is not a whole number from 0 to %2").arg(day).arg(kDaysInYear - 1));
        pose.day = std::uint32_t(day);
        // The clock keeps its hour in single precision, which must stay below 24.
        pose.hour = float(values[8]);
        if (!(values[8] >= 0.0 && values[8] < 24.0))
            fail(line,
                 QStringLiteral("the hour %1 is not from 0 up to but not including 24").arg(values[8], 0, 'g', 10));
        if (!(pose.hour < 24.0f))
            fail(line, QStringLiteral("the hour %1 is below 24 but becomes 24 in the clock's single precision")
                           .arg(values[8], 0, 'g', 10));
        if (fields_ == kFieldsV2)
            parseScene(values, line, &pose, within);
        return pose;
    }

private:
    template <typename Within>
    void parseScene(const double* values, int line, PathPose* pose, const Within& within) const
    {
        within(9, PathReach::kHorizontal, 1);
        within(10, PathReach::kVertical, 1);
        within(11, PathReach::kHorizontal, 1);
        within(15, PathReach::kHorizontal, 2);
        pose->hasScene = true;
        pose->target = Vec3d{values[9], values[10], values[11]};
        pose->up = Vec3d{values[12], values[13], values[14]};
        // gluLookAt needs a direction to look along and an up vector (the camera's is a unit
        // vector; the bounds leave room for rounding and refuse a zero one).
        const Vec3d along = pose->target - pose->position;
        if (!(dot(along, along) > 0.0))
            fail(line, QStringLiteral("the target is the eye: the view looks nowhere"));
        const double upLength = std::sqrt(dot(pose->up, pose->up));
        if (!(upLength > 0.5 && upLength < 1.5))
            fail(line, QStringLiteral("the up vector's length %1 is not near 1").arg(upLength, 0, 'g', 6));
        pose->groundX = float(values[15]);
        pose->groundZ = float(values[16]);
        for (int i : {17, 18})
            if (values[i] != 0.0 && values[i] != 1.0)
                fail(line, QStringLiteral("the %1 %2 is not 0 or 1")
                               .arg(QLatin1String(i == 17 ? "sky" : "normals"))
                               .arg(values[i]));
        pose->skyHidden = values[17] == 0.0;
        pose->showNormals = values[18] == 1.0;
        for (int c = 0; c < 3; ++c) {
            if (!(values[19 + c] >= 0.0 && values[19 + c] <= 1.0))
                fail(line, QStringLiteral("the scattering strength %1 is not from 0 to 1").arg(values[19 + c]));
            pose->scattering[std::size_t(c)] = float(values[19 + c]);
        }
        pose->atmosphereHeightMetres = float(values[22]);
        if (!(pose->atmosphereHeightMetres > 0.0f && values[22] <= 1e18))
            fail(line, QStringLiteral("the atmosphere height %1 is not above 0 and at most 1e18 metres")
                           .arg(values[22], 0, 'g', 10));
    }

    QString shown_;
    int fields_;
};

// The settings line of a version-2 file, or nothing when the line is none.
std::optional<PathSettings> parseSettings(const QByteArray& text, const PathReader& reader)
{
    const QRegularExpressionMatch match = QRegularExpression(kSettingsPattern).match(QString::fromUtf8(text));
    if (!match.hasMatch())
        return std::nullopt;
    PathSettings settings;
    double latitude = 0.0, tilt = 0.0;
    if (!parseNumber(match.captured(1).toLatin1(), &latitude) || !(std::abs(latitude) <= 90.0))
        reader.fail(1, QStringLiteral("the latitude '%1' is not a number from -90 to 90").arg(match.captured(1)));
    if (!parseNumber(match.captured(2).toLatin1(), &tilt) || !(std::abs(tilt) <= 90.0))
        reader.fail(1, QStringLiteral("the tilt '%1' is not a number from -90 to 90").arg(match.captured(2)));
    settings.latitudeDegrees = float(latitude);
    settings.axialTiltDegrees = float(tilt);
    settings.viewPixels = QSize(match.captured(3).toInt(), match.captured(4).toInt());
    if (settings.viewPixels.width() < 1 || settings.viewPixels.height() < 1)
        reader.fail(1, QStringLiteral("the view %1x%2 has no pixels")
                           .arg(settings.viewPixels.width())
                           .arg(settings.viewPixels.height()));
    if (!match.captured(5).isEmpty()) {
        double distance = 0.0;
        if (!parseNumber(match.captured(5).toLatin1(), &distance) || !(distance >= 50.0 && distance <= 4000.0))
            reader.fail(
                1, QStringLiteral("the view distance '%1' is not a number from 50 to 4000").arg(match.captured(5)));
        settings.viewDistance = float(distance);
    }
    if (!match.captured(6).isEmpty())
        settings.groundName = match.captured(6);
    return settings;
}

} // namespace

QString pathLine(const PathPose& pose)
{
    QString line = QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9")
                       .arg(pose.frame)
                       .arg(exact(pose.position.x), exact(pose.position.y), exact(pose.position.z),
                            exact(pose.yawDegrees), exact(pose.pitchDegrees), exact(pose.rollDegrees))
                       .arg(pose.day)
                       .arg(exactFloat(pose.hour));
    if (!pose.hasScene)
        return line;
    const QStringList scene = {exact(pose.target.x),
                               exact(pose.target.y),
                               exact(pose.target.z),
                               exact(pose.up.x),
                               exact(pose.up.y),
                               exact(pose.up.z),
                               exactFloat(pose.groundX),
                               exactFloat(pose.groundZ),
                               pose.skyHidden ? QStringLiteral("0") : QStringLiteral("1"),
                               pose.showNormals ? QStringLiteral("1") : QStringLiteral("0"),
                               exactFloat(pose.scattering[0]),
                               exactFloat(pose.scattering[1]),
                               exactFloat(pose.scattering[2]),
                               exactFloat(pose.atmosphereHeightMetres)};
    return line + QLatin1Char(',') + scene.join(QLatin1Char(','));
}

QString pathSettingsLine(const PathSettings& settings)
{
    QString line = QStringLiteral(
                       "# terrain-viewer camera path, version 2; latitude %1; tilt %2; view %3x%4; "
                       "view distance %5")
                       .arg(exactFloat(settings.latitudeDegrees), exactFloat(settings.axialTiltDegrees))
                       .arg(settings.viewPixels.width())
                       .arg(settings.viewPixels.height())
                       .arg(exactFloat(settings.viewDistance));
    if (!settings.groundName.isEmpty())
        line += QStringLiteral("; ground ") + settings.groundName;
    return line;
}

CameraPathFile readCameraPathFile(const QString& fileName)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    if (QFileInfo(fileName).isDir())
        throw ViewerError(
            QStringLiteral("camera path %1: it is a folder; give the path file inside it").arg(shown).toStdString());
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw ViewerError(QStringLiteral("Cannot open file %1: %2").arg(shown, file.errorString()).toStdString());
    CameraPathFile path;
    PathReader reader(fileName, kFieldsV1);
    int line = 0;
    int headerLine = 1;
    int blankLine = 0; // the first of the blank lines since the last pose
    // A line longer than any pose line can be is not read whole: it is refused as it stands.
    constexpr qint64 kLongestLine = 1024;
    while (!file.atEnd()) {
        QByteArray text = file.readLine(kLongestLine);
        ++line;
        if (text.size() >= kLongestLine - 1 && !text.endsWith('\n'))
            reader.fail(line, QStringLiteral("the line is longer than %1 characters").arg(kLongestLine - 2));
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        if (line == 1 && text.startsWith(kByteOrderMark))
            text.remove(0, kByteOrderMark.size());
        if (line == 1) {
            if (const std::optional<PathSettings> settings = parseSettings(text, reader)) {
                path.version = 2;
                path.settings = settings;
                reader = PathReader(fileName, kFieldsV2);
                headerLine = 2;
                continue;
            }
        }
        if (line == headerLine) {
            const char* header = path.version == 2 ? kCameraPathHeaderV2 : kCameraPathHeader;
            if (text != header) {
                if (path.version == 1 && text.startsWith("# terrain-viewer camera path"))
                    reader.fail(1, QStringLiteral("the settings line must read '%1'")
                                       .arg(pathSettingsLine(
                                           PathSettings{40.0f, 23.27f, QSize(1012, 614), 50.0f, QString()})));
                reader.fail(line, QStringLiteral("the first line must be the header '%1'").arg(QLatin1String(header)));
            }
            continue;
        }
        if (text.trimmed().isEmpty()) {
            if (!blankLine)
                blankLine = line;
            continue;
        }
        if (blankLine)
            reader.fail(blankLine, QStringLiteral("a blank line between poses"));
        if (path.poses.size() == kMaxPathPoses)
            reader.fail(line, QStringLiteral("a path holds at most %1 poses").arg(kMaxPathPoses));
        path.poses.push_back(reader.parse(text, line, path.poses.empty() ? nullptr : &path.poses.back()));
    }
    if (line == 0)
        reader.fail(1, QStringLiteral("the file is empty: it needs the header '%1' and a line per frame")
                           .arg(QLatin1String(kCameraPathHeader)));
    if (path.poses.empty())
        reader.fail(blankLine ? blankLine : line + 1, QStringLiteral("no pose follows the header"));
    return path;
}

std::vector<PathPose> readCameraPath(const QString& fileName)
{
    return readCameraPathFile(fileName).poses;
}

void applyPose(TForm1State& form, const PathPose& pose)
{
    Camera& camera = form.camera;
    if (camera.orbiting)
        camera.leaveOrbit();
    camera.setPosition(pose.position);
    camera.setAngles(pose.yawDegrees, pose.pitchDegrees, pose.rollDegrees);
    form.world.day = pose.day;
    form.world.setHour(pose.hour);
    if (!pose.hasScene)
        return;
    form.showNormals = pose.showNormals;
    for (std::size_t c = 0; c < 3; ++c)
        form.world.scattering[int(c)] = pose.scattering[c];
    if (form.world.atmosphereHeight != pose.atmosphereHeightMetres) {
        form.world.atmosphereHeight = pose.atmosphereHeightMetres;
        if (form.worldReady)
            form.world.buildOpticalDepthTexture();
    }
}

PathRecorder::~PathRecorder()
{
    file_.close();
}

void PathRecorder::start(const QString& path, const PathSettings& settings)
{
    file_.setFileName(path);
    const QFileInfo info(path);
    // A regular file is made new, never overwritten; a device (a test's /dev/full) is opened.
    const QIODevice::OpenMode newFile = info.exists() && !info.isFile() ? QIODevice::OpenMode() : QIODevice::NewOnly;
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered | newFile))
        throw ViewerError(QStringLiteral("Cannot record the path into %1: %2")
                              .arg(QDir::toNativeSeparators(path), file_.errorString())
                              .toStdString());
    poses_ = 0;
    written_ = 0;
    write(pathSettingsLine(settings).toUtf8() + '\n' + kCameraPathHeaderV2 + '\n');
}

void PathRecorder::append(const PathPose& pose)
{
    write((pathLine(pose) + QLatin1Char('\n')).toLatin1());
    ++poses_;
}

void PathRecorder::write(const QByteArray& bytes)
{
    // Unbuffered: each line goes to the file system now, and its failure is known now.
    if (file_.write(bytes) == bytes.size()) {
        written_ += bytes.size();
        return;
    }
    const QString reason = file_.errorString();
    const QString path = file_.fileName();
    // What reached the disk is kept, down to the last whole line, so the file still reads.
    if (file_.isOpen() && QFileInfo(path).isFile())
        file_.resize(written_);
    file_.close();
    throw ViewerError(QStringLiteral("Recording stopped: cannot write the path %1: %2. The file keeps the first %3 "
                                     "frames.")
                          .arg(QDir::toNativeSeparators(path), reason)
                          .arg(poses_)
                          .toStdString());
}

QString PathRecorder::stop()
{
    QString path = file_.fileName();
    file_.close();
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
