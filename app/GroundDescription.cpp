#include "GroundDescription.h"

#include "CommandLine.h"
#include "ElevationModel.h"
#include "SolarPosition.h"
#include "World.h"

#include <cmath>

namespace {

constexpr double kDefaultLatitudeDegrees = 40.0;
constexpr double kDefaultTiltDegrees = 23.27;

QString clockText(double hours)
{
    const auto minutes = int(std::lround(hours * 60.0)) % (24 * 60);
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString metres(double value)
{
    return QString::number(value, 'f', value < 10.0 ? 3 : 1) + QStringLiteral(" m");
}

// The designed clock's crossings of the horizon on a day: its sun height sampled each minute,
// each change of sign refined by halving to well under a second.
QString designedSunriseAndSunset(std::uint32_t day, double tilt, double latitude)
{
    const auto height = [&](double hour) { return designedSunHeight(day, hour, tilt, latitude); };
    QString rise;
    QString set;
    const int steps = 24 * 60;
    for (int k = 0; k < steps; ++k) {
        double low = k / 60.0;
        double high = (k + 1) / 60.0;
        const bool upBefore = height(low) > 0.0;
        if (upBefore == (height(high) > 0.0))
            continue;
        for (int halving = 0; halving < 20; ++halving) {
            const double mid = 0.5 * (low + high);
            ((height(mid) > 0.0) == upBefore ? low : high) = mid;
        }
        (upBefore ? set : rise) = clockText(high);
    }
    if (rise.isEmpty() && set.isEmpty())
        return height(12.0) > 0.0 ? QStringLiteral("sunrise: none, sunset: none (the sun stays up all day)")
                                  : QStringLiteral("sunrise: none, sunset: none (the sun stays down all day)");
    return QStringLiteral("sunrise: %1, sunset: %2")
        .arg(rise.isEmpty() ? QStringLiteral("none") : rise, set.isEmpty() ? QStringLiteral("none") : set);
}

} // namespace

QString sunriseAndSunset(const ViewerOptions& options, double latitudeDegrees, double longitudeDegrees)
{
    if (!options.sunDate)
        return designedSunriseAndSunset(std::uint32_t(options.startDay.value_or(0)),
                                        options.axialTiltDegrees ? double(*options.axialTiltDegrees)
                                                                 : kDefaultTiltDegrees,
                                        latitudeDegrees);
    const SunTimes times = sunTimes(*options.sunDate, double(utcOffsetFor(options, longitudeDegrees)), latitudeDegrees,
                                    longitudeDegrees);
    if (times.polarDay)
        return QStringLiteral("sunrise: none, sunset: none (the sun stays up all day)");
    if (times.polarNight)
        return QStringLiteral("sunrise: none, sunset: none (the sun stays down all day)");
    return QStringLiteral("sunrise: %1, sunset: %2").arg(clockText(times.sunriseHours), clockText(times.sunsetHours));
}

QString describeGround(const ElevationModel& model, const ViewerOptions& options)
{
    QStringList lines;
    lines << QStringLiteral("file: %1").arg(QString::fromStdString(model.path));
    lines << QStringLiteral("driver: %1").arg(QString::fromStdString(model.driver));
    lines << QStringLiteral("raster: %1 x %2 cells, %3 band(s)")
                 .arg(model.rasterWidth)
                 .arg(model.rasterHeight)
                 .arg(model.bandCount);
    lines << QStringLiteral("coordinate system: %1").arg(QString::fromStdString(model.coordinateSystem));
    lines << QStringLiteral("cell size: %1%2")
                 .arg(metres(model.rasterCellMetres),
                      model.georeferenced ? QString() : QStringLiteral(" (no georeference: --cell-metres or 10 m)"));
    if (std::fabs(model.readCellMetres - model.rasterCellMetres) > 1e-6 * model.rasterCellMetres)
        lines << QStringLiteral("read at: %1 cells (a decimated read)").arg(metres(model.readCellMetres));
    lines << QStringLiteral("lattice row: %1").arg(metres(model.rowMetres));
    lines << QStringLiteral("heights: %1 to %2").arg(metres(model.minHeightMetres), metres(model.maxHeightMetres));
    lines << QStringLiteral("nodata filled: %1 cells").arg(model.nodataFilled);
    lines << QStringLiteral("lattice: %1 x %2").arg(model.latticeWidth).arg(model.latticeDepth);
    lines << QStringLiteral("metres per world unit: %1").arg(model.metresPerUnit, 0, 'f', 3);
    lines << QStringLiteral("exaggeration: %1").arg(model.exaggeration);

    const double latitude = options.latitudeDegrees ? double(*options.latitudeDegrees)
                                                    : model.centreLatitude.value_or(kDefaultLatitudeDegrees);
    const double longitude = options.longitudeDegrees ? double(*options.longitudeDegrees)
                                                      : model.centreLongitude.value_or(0.0);
    if (model.centreLatitude && model.centreLongitude)
        lines << QStringLiteral("centre: %1, %2")
                     .arg(*model.centreLatitude, 0, 'f', 6)
                     .arg(*model.centreLongitude, 0, 'f', 6);
    else
        lines << QStringLiteral("centre: unknown (%1)").arg(QString::fromStdString(model.placeProblem));
    if (options.sunDate)
        lines << QStringLiteral("sun: real, %1-%2-%3, clock UTC%4%5, latitude %6, longitude %7")
                     .arg(options.sunDate->year)
                     .arg(options.sunDate->month, 2, 10, QLatin1Char('0'))
                     .arg(options.sunDate->day, 2, 10, QLatin1Char('0'))
                     .arg(utcOffsetFor(options, longitude) < 0.0f ? QStringLiteral("") : QStringLiteral("+"))
                     .arg(double(utcOffsetFor(options, longitude)))
                     .arg(latitude, 0, 'f', 4)
                     .arg(longitude, 0, 'f', 4);
    else
        lines << QStringLiteral("sun: designed, day %1, latitude %2")
                     .arg(options.startDay.value_or(0))
                     .arg(latitude, 0, 'f', 4);
    lines << sunriseAndSunset(options, latitude, longitude);
    for (const std::string& note : model.notes)
        lines << QStringLiteral("note: %1").arg(QString::fromStdString(note));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString groundLine(const ElevationModel& model, const QString& dayText)
{
    QString place = QStringLiteral("place unknown");
    if (model.centreLatitude && model.centreLongitude) {
        const double lat = *model.centreLatitude;
        const double lon = *model.centreLongitude;
        place = QStringLiteral("%1 %2, %3 %4")
                    .arg(std::fabs(lat), 0, 'f', 4)
                    .arg(lat < 0.0 ? QLatin1Char('S') : QLatin1Char('N'))
                    .arg(std::fabs(lon), 0, 'f', 4)
                    .arg(lon < 0.0 ? QLatin1Char('W') : QLatin1Char('E'));
    }
    return QStringLiteral("%1  %2  %3").arg(QString::fromStdString(model.groundName()), place, dayText);
}
