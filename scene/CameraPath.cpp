#include "CameraPath.h"

#include "FormState.h"
#include "ViewerError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

const char* const kCameraPathHeader = "frame,x,y,z,yaw_degrees,pitch_degrees,roll_degrees,day,hour";

namespace {

constexpr int kFields = 9;
constexpr std::uint32_t kDaysInYear = 365;

// A decimal number in the "C" locale, the whole field and nothing else, finite.
bool parseNumber(const QByteArray& field, double* value)
{
    if (field.isEmpty() || field.contains('x') || field.contains('X') || field.contains('(') || field.front() == ' ' ||
        field.back() == ' ')
        return false;
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    char* end = nullptr;
    *value = strtod_l(field.constData(), &end, cLocale);
    return end == field.constData() + field.size() && std::isfinite(*value);
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
    explicit PathReader(const QString& fileName) : shown_(QDir::toNativeSeparators(fileName)) {}

    [[noreturn]] void fail(int line, const QString& what) const
    {
        throw ViewerError(QStringLiteral("camera path %1, line %2: %3").arg(shown_).arg(line).arg(what).toStdString());
    }

    PathPose parse(const QByteArray& text, int line, const PathPose* previous) const
    {
        const QList<QByteArray> fields = text.split(',');
        if (fields.size() != kFields)
            fail(line, QStringLiteral("%1 values instead of the %2 the header names").arg(fields.size()).arg(kFields));
        PathPose pose;
        if (!parseIndex(fields[0], &pose.frame))
            fail(line,
                 QStringLiteral("the frame '%1' is not a whole number").arg(QString::fromUtf8(fields[0].left(40))));
        if (previous && pose.frame != previous->frame + 1)
            fail(line, QStringLiteral("frame %1 follows frame %2: the frames must follow each other")
                           .arg(pose.frame)
                           .arg(previous->frame));
        double values[kFields] = {};
        static const char* const names[kFields] = {"frame", "x", "y", "z", "yaw", "pitch", "roll", "day", "hour"};
        for (int i = 1; i < kFields; ++i)
            if (!parseNumber(fields[i], &values[i]))
                fail(line, QStringLiteral("the %1 '%2' is not a number")
                               .arg(QLatin1String(names[i]), QString::fromUtf8(fields[i].left(40))));
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
        return pose;
    }

private:
    QString shown_;
};

} // namespace

PathPose poseOf(const TForm1State& form, std::uint64_t frame)
{
    const Camera& camera = form.camera;
    return PathPose{frame, camera.position, camera.yaw, camera.pitch, camera.roll, form.world.day, form.world.hour};
}

QString pathLine(const PathPose& pose)
{
    const auto exact = [](double value) { return QString::number(value, 'g', 17); };
    return QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9")
        .arg(pose.frame)
        .arg(exact(pose.position.x), exact(pose.position.y), exact(pose.position.z), exact(pose.yawDegrees),
             exact(pose.pitchDegrees), exact(pose.rollDegrees))
        .arg(pose.day)
        .arg(QString::number(double(pose.hour), 'g', 9));
}

std::vector<PathPose> readCameraPath(const QString& fileName)
{
    const PathReader reader(fileName);
    QFile file(fileName);
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly))
        throw ViewerError(QStringLiteral("Cannot open file %1: %2")
                              .arg(QDir::toNativeSeparators(fileName), file.errorString())
                              .toStdString());
    std::vector<PathPose> poses;
    int line = 0;
    // A line longer than any pose line can be is not read whole: it is refused as it stands.
    constexpr qint64 kLongestLine = 1024;
    while (!file.atEnd()) {
        QByteArray text = file.readLine(kLongestLine);
        ++line;
        if (text.size() >= kLongestLine - 1 && !text.endsWith('\n'))
            reader.fail(line, QStringLiteral("the line is longer than %1 characters").arg(kLongestLine - 2));
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        if (line == 1) {
            if (text != kCameraPathHeader)
                reader.fail(
                    1, QStringLiteral("the first line must be the header '%1'").arg(QLatin1String(kCameraPathHeader)));
            continue;
        }
        if (poses.size() == kMaxPathPoses)
            reader.fail(line, QStringLiteral("a path holds at most %1 poses").arg(kMaxPathPoses));
        poses.push_back(reader.parse(text, line, poses.empty() ? nullptr : &poses.back()));
    }
    if (line == 0)
        reader.fail(1, QStringLiteral("the file is empty: it needs the header '%1' and a line per frame")
                           .arg(QLatin1String(kCameraPathHeader)));
    if (poses.empty())
        reader.fail(line + 1, QStringLiteral("no pose follows the header"));
    return poses;
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
}
