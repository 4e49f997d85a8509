#include "CommandLine.h"

#include "InputConversion.h"
#include "KeyHelp.h"
#include "World.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// The options, in the order --help lists them. QCommandLineParser::helpText needs an
// application object, and the options are read before the window system is touched (so
// --help works without a display): the help is written from this table instead.
struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version.")};
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Draw the frames, save the window at <path> (.png or .jpg), exit."),
                                  QStringLiteral("path")};
    QCommandLineOption record{QStringLiteral("record"),
                              QStringLiteral("Save the first frames as frame-00001.png ... in <folder>, exit."),
                              QStringLiteral("folder")};
    QCommandLineOption frames{QStringLiteral("frames"),
                              QStringLiteral("Frames drawn before the screenshot, or recorded (default 60)."),
                              QStringLiteral("n"), QStringLiteral("60")};
    QCommandLineOption hoursPerFrame{QStringLiteral("hours-per-frame"),
                                     QStringLiteral("Advance the clock by <h> hours (0 to 24) each frame instead "
                                                    "of half an hour a second."),
                                     QStringLiteral("h")};
    QCommandLineOption hour{QStringLiteral("hour"),
                            QStringLiteral("Start the simulated day at hour <h> (0 or more, below 24) instead of 5."),
                            QStringLiteral("h")};
    QCommandLineOption day{QStringLiteral("day"),
                           QStringLiteral("Start on day <n> of the year (0 to 364) instead of 0."),
                           QStringLiteral("n")};
    QCommandLineOption latitude{QStringLiteral("latitude"),
                                QStringLiteral("Latitude in degrees (-90 to 90) instead of 40."),
                                QStringLiteral("degrees")};
    QCommandLineOption tilt{QStringLiteral("tilt"),
                            QStringLiteral("Axial tilt in degrees (-90 to 90) instead of 23.27."),
                            QStringLiteral("degrees")};
    QCommandLineOption cameraPath{QStringLiteral("camera-path"),
                                  QStringLiteral("Play the camera path <file> (recorded with F9): in the window "
                                                 "in a loop, with --record one frame per pose, with --screenshot "
                                                 "its last pose."),
                                  QStringLiteral("file")};
    QCommandLineOption terrain{QStringLiteral("terrain"),
                               QStringLiteral("How the terrain is drawn: batched (default, one draw per layer) "
                                              "or literal (one per cell); the picture is the same."),
                               QStringLiteral("batched|literal"), QStringLiteral("batched")};
    QCommandLineOption sky{QStringLiteral("sky"),
                           QStringLiteral("Which sky: classic (default) or physical (scattering computed from "
                                          "the sun's place, with twilight and stars; Y switches)."),
                           QStringLiteral("classic|physical"), QStringLiteral("classic")};
    QCommandLineOption exposure{QStringLiteral("exposure"),
                                QStringLiteral("The physical sky's exposure: auto (default, follows the sky's "
                                               "brightness) or fixed at <stops> (-20 to 20) from that of a sun "
                                               "45 degrees up."),
                                QStringLiteral("auto|stops"), QStringLiteral("auto")};

    QCommandLineOption size{QStringLiteral("size"),
                            QStringLiteral("The view's size in pixels, for the window and the saved pictures "
                                           "(for instance 1920x1080)."),
                            QStringLiteral("WxH")};
    QCommandLineOption sceneOnly{QStringLiteral("scene-only"),
                                 QStringLiteral("Save the scene alone with --screenshot or --record, without "
                                                "the read-out and control panels.")};

    QCommandLineOption heightmap{QStringLiteral("heightmap"),
                                 QStringLiteral("Show the elevation model <file> (any single-band raster GDAL reads) "
                                                "as the ground, north toward +x, at its own latitude."),
                                 QStringLiteral("file")};
    QCommandLineOption cellMetres{QStringLiteral("cell-metres"),
                                  QStringLiteral("One lattice row is <m> metres of ground (default: one raster cell; "
                                                 "10 for a raster without georeference)."),
                                  QStringLiteral("m")};
    QCommandLineOption exaggeration{QStringLiteral("exaggeration"),
                                    QStringLiteral("Heights times <x> (0.01 to 100, default 1)."), QStringLiteral("x")};
    QCommandLineOption heightRange{QStringLiteral("height-range"),
                                   QStringLiteral("Metres spanned by the full grey range of an 8- or 16-bit raster "
                                                  "without georeference (default 1000)."),
                                   QStringLiteral("m")};
    QCommandLineOption bump{QStringLiteral("bump"),
                            QStringLiteral("Let the wandering bump reshape the loaded ground too.")};
    QCommandLineOption describe{QStringLiteral("describe"),
                                QStringLiteral("With --heightmap: print what the viewer makes of the file and exit.")};
    QCommandLineOption date{QStringLiteral("date"),
                            QStringLiteral("The real sun of this date (YYYY-MM-DD) over the place; --hour is then "
                                           "clock time at --utc-offset."),
                            QStringLiteral("date")};
    QCommandLineOption sun{QStringLiteral("sun"),
                           QStringLiteral("designed (default: the simulated clock) or real (today's real sun)."),
                           QStringLiteral("designed|real"), QStringLiteral("designed")};
    QCommandLineOption utcOffset{QStringLiteral("utc-offset"),
                                 QStringLiteral("With the real sun: hours the clock is ahead of UTC (-14 to 14; "
                                                "default round(longitude / 15))."),
                                 QStringLiteral("h")};
    QCommandLineOption longitude{QStringLiteral("longitude"),
                                 QStringLiteral("With the real sun: longitude in degrees east (-180 to 180) instead "
                                                "of the ground's, or 0."),
                                 QStringLiteral("degrees")};

    QCommandLineOption viewDistance{QStringLiteral("view-distance"),
                                    QStringLiteral("How far the view reaches, in world units (50 to 4000; default "
                                                   "50, the designed view). Keys , and . change it."),
                                    QStringLiteral("d"), QStringLiteral("50")};
    QCommandLineOption lod{QStringLiteral("lod"),
                           QStringLiteral("Beyond 50 units: on (default) draws coarser rings of the ground "
                                          "farther out; off draws every cell in full (slow)."),
                           QStringLiteral("on|off"), QStringLiteral("on")};

    std::vector<const QCommandLineOption*> all() const
    {
        return {&help,         &version,     &screenshot, &record,   &frames,   &cameraPath,   &hoursPerFrame,
                &hour,         &day,         &latitude,   &tilt,     &terrain,  &heightmap,    &cellMetres,
                &exaggeration, &heightRange, &bump,       &describe, &date,     &sun,          &utcOffset,
                &longitude,    &size,        &sceneOnly,  &sky,      &exposure, &viewDistance, &lod};
    }
};

void printError(const QString& message)
{
    std::fprintf(stderr, "terrain-viewer: %s\n", qPrintable(message));
}

// Whether a file can be created in folder: asked of the file system itself, which also knows
// read-only mounts and, for root, folders whose permission bits alone would say yes.
bool canCreateFileIn(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("terrain-viewer-probe-XXXXXX")));
    return probe.open();
}

// A number within [low, high] (or below high when highExcluded); false for text that is no
// number, for NaN and for a number out of range.
bool numberInRange(const QString& text, double low, double high, bool highExcluded, double* value)
{
    bool ok = false;
    *value = text.toDouble(&ok);
    if (!ok || !std::isfinite(*value))
        return false;
    return *value >= low && (highExcluded ? *value < high : *value <= high);
}

// An option whose value, when it is given, must be a number of `unit` from low to high: read
// into target, or refused with "--name needs a number of <unit> from <low> to <high>, not '...'".
template <typename T, typename Fail>
bool readNumber(const QCommandLineParser& parser, const QCommandLineOption& option, double low, double high,
                const char* unit, T& target, const Fail& fail)
{
    if (!parser.isSet(option))
        return true;
    double value = 0.0;
    if (!numberInRange(parser.value(option), low, high, false, &value))
        return fail(2, QStringLiteral("--%1 needs a number of %2 from %3 to %4, not '%5'")
                           .arg(option.names().first(), QLatin1String(unit))
                           .arg(low)
                           .arg(high)
                           .arg(quotedInput(parser.value(option))));
    target = value;
    return true;
}

// An option that takes one of two words: *isFirst says which, or the value is refused with
// "--name takes <first> or <second>, not '...'".
template <typename Fail>
bool readChoice(const QCommandLineParser& parser, const QCommandLineOption& option, const char* first,
                const char* second, bool* isFirst, const Fail& fail)
{
    const QString value = parser.value(option);
    *isFirst = value == QLatin1String(first);
    if (*isFirst || value == QLatin1String(second))
        return true;
    return fail(2, QStringLiteral("--%1 takes %2 or %3, not '%4'")
                       .arg(option.names().first(), QLatin1String(first), QLatin1String(second), quotedInput(value)));
}

// --heightmap and its options, --date, --sun, --utc-offset and --longitude.
template <typename Fail>
bool parseGroundAndSun(const QCommandLineParser& parser, const Options& o, ViewerOptions* options, const Fail& fail)
{
    options->heightmapFile = parser.value(o.heightmap);
    if (parser.isSet(o.heightmap) && options->heightmapFile.isEmpty())
        return fail(2, QStringLiteral("--heightmap needs the name of an elevation model file"));
    options->bumpOnGround = parser.isSet(o.bump);
    options->describe = parser.isSet(o.describe);
    if (options->describe && options->heightmapFile.isEmpty())
        return fail(2, QStringLiteral("--describe describes the file of --heightmap: give one"));
    if (!readNumber(parser, o.cellMetres, 0.01, 100000.0, "metres", options->cellMetres, fail) ||
        !readNumber(parser, o.exaggeration, 0.01, 100.0, "times", options->exaggeration, fail) ||
        !readNumber(parser, o.heightRange, 1.0, 20000.0, "metres", options->heightRangeMetres, fail) ||
        !readNumber(parser, o.utcOffset, -14.0, 14.0, "hours", options->utcOffsetHours, fail) ||
        !readNumber(parser, o.longitude, -180.0, 180.0, "degrees", options->longitudeDegrees, fail))
        return false;
    for (const QCommandLineOption* groundOption : {&o.cellMetres, &o.exaggeration, &o.heightRange, &o.bump})
        if (parser.isSet(*groundOption) && options->heightmapFile.isEmpty())
            return fail(2, QStringLiteral("--%1 shapes the ground of --heightmap: give one")
                               .arg(groundOption->names().first()));

    bool designedSun = true;
    if (!readChoice(parser, o.sun, "designed", "real", &designedSun, fail))
        return false;
    if (parser.isSet(o.date)) {
        const QString text = parser.value(o.date);
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$")).match(text);
        const CalendarDate date{match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()};
        if (!match.hasMatch() || !isValidDate(date) || date.year < 1800 || date.year > 2200)
            return fail(2, QStringLiteral("--date needs a date YYYY-MM-DD of the years 1800 to 2200, not '%1'")
                               .arg(quotedInput(text)));
        if (designedSun && parser.isSet(o.sun))
            return fail(2, QStringLiteral("--date sets the real sun: --sun designed cannot be used with it"));
        options->sunDate = date;
    } else if (!designedSun) {
        const QDate today = QDate::currentDate();
        options->sunDate = CalendarDate{today.year(), today.month(), today.day()};
    }
    if (options->sunDate && parser.isSet(o.day))
        return fail(2, QStringLiteral("--day counts the designed clock's days: give --date instead"));
    if (!options->sunDate)
        for (const QCommandLineOption* realOption : {&o.utcOffset, &o.longitude})
            if (parser.isSet(*realOption))
                return fail(2, QStringLiteral("--%1 places the real sun: give --date or --sun real")
                                   .arg(realOption->names().first()));
    return true;
}

} // namespace

QString commandLineHelp()
{
    const Options options;
    QString text = QStringLiteral(
        "Usage: terrain-viewer [options]\n"
        "Interactive real-time 3D terrain viewer under a simulated sky.\n\nOptions:\n");
    QStringList names;
    int width = 0;
    for (const QCommandLineOption* option : options.all()) {
        QStringList forms;
        for (const QString& name : option->names())
            forms << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString form = forms.join(QStringLiteral(", "));
        if (!option->valueName().isEmpty())
            form += QStringLiteral(" <%1>").arg(option->valueName());
        names << form;
        width = qMax(width, int(form.size()));
    }
    for (std::size_t i = 0; i < options.all().size(); ++i)
        text += QStringLiteral("  %1  %2\n").arg(names[int(i)], -width).arg(options.all()[i]->description());
    text += QStringLiteral("\nKeys and mouse:\n") + keyHelpText();
    text += QStringLiteral(
        "\nTextures LandTex0.bmp .. LandTex3.bmp are read from the working directory,\n"
        "then from the shipped assets folder.\n"
        "\nWith --date or --sun real, --hour is clock time on a clock --utc-offset hours ahead\n"
        "of UTC (default: the longitude's nominal zone, round(longitude / 15)), not local\n"
        "solar time; the sun stands where it really does over the place on that date.\n"
        "Without them the designed clock runs as ever: --hour is its hour of the day.\n");
    return text;
}

bool parseCommandLine(const QStringList& arguments, ViewerOptions* options, int* exitStatus)
{
    const Options o;
    QCommandLineParser parser;
    for (const QCommandLineOption* option : o.all())
        parser.addOption(*option);
    const auto fail = [exitStatus](int status, const QString& message) {
        printError(message);
        *exitStatus = status;
        return false;
    };

    if (!parser.parse(arguments)) {
        // Qt names an unknown option without its dashes (and a single-dash word letter by
        // letter); the message quotes the first unknown one as typed.
        if (!parser.unknownOptionNames().isEmpty()) {
            QStringList known;
            for (const QCommandLineOption* option : o.all())
                known << option->names();
            for (const QString& argument : arguments.mid(1)) {
                const QString typed = argument.section(QLatin1Char('='), 0, 0);
                const QString name = QString(typed).remove(QRegularExpression(QStringLiteral("^-+")));
                if (typed.startsWith(QLatin1Char('-')) && !name.isEmpty() && !known.contains(name))
                    return fail(2, QStringLiteral("unknown option '%1' (see --help)").arg(quotedInput(typed)));
            }
        }
        return fail(2, parser.errorText() + QStringLiteral(" (see --help)"));
    }
    if (parser.isSet(o.help)) {
        std::fputs(qPrintable(commandLineHelp()), stdout);
        *exitStatus = 0;
        return false;
    }
    if (parser.isSet(o.version)) {
        std::printf("terrain-viewer %s\n", qPrintable(QCoreApplication::applicationVersion()));
        *exitStatus = 0;
        return false;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(2,
                    QStringLiteral("unexpected argument '%1' (see --help)").arg(parser.positionalArguments().first()));

    bool ok = false;
    options->frames = parser.value(o.frames).toInt(&ok);
    if (!ok || options->frames < 1)
        return fail(2, QStringLiteral("--frames needs a whole number of at least 1, not '%1'")
                           .arg(quotedInput(parser.value(o.frames))));
    options->framesGiven = parser.isSet(o.frames);
    if (options->framesGiven && !parser.isSet(o.screenshot) && !parser.isSet(o.record))
        return fail(2, QStringLiteral("--frames counts the frames of --screenshot or --record: give one of them"));
    if (parser.isSet(o.cameraPath)) {
        options->cameraPathFile = parser.value(o.cameraPath);
        if (options->cameraPathFile.isEmpty())
            return fail(2, QStringLiteral("--camera-path needs the name of a path file"));
        for (const QCommandLineOption* clock : {&o.hour, &o.day, &o.hoursPerFrame})
            if (parser.isSet(*clock))
                return fail(2, QStringLiteral("--camera-path sets the clock from its file: --%1 cannot be used with it")
                                   .arg(clock->names().first()));
        if (options->framesGiven && parser.isSet(o.screenshot))
            return fail(2, QStringLiteral("--screenshot with --camera-path draws the path's last pose: --frames "
                                          "cannot be used with them"));
    }
    bool classicSky = true;
    if (!readChoice(parser, o.terrain, "batched", "literal", &options->batchedTerrain, fail) ||
        !readChoice(parser, o.sky, "classic", "physical", &classicSky, fail))
        return false;
    options->physicalSky = !classicSky;

    double value = 0.0;
    const QString exposure = parser.value(o.exposure);
    if (exposure != QLatin1String("auto")) {
        if (!numberInRange(exposure, -20.0, 20.0, false, &value))
            return fail(2, QStringLiteral("--exposure takes auto or a number of stops from -20 to 20, not '%1'")
                               .arg(quotedInput(exposure)));
        options->exposureEv = value;
    }
    const QString distance = parser.value(o.viewDistance);
    if (!numberInRange(distance, kMinViewDistance, kMaxViewDistance, false, &value))
        return fail(2, QStringLiteral("--view-distance needs a number of world units from 50 to 4000, not '%1'")
                           .arg(quotedInput(distance)));
    options->viewDistance = float(value);
    options->viewDistanceGiven = parser.isSet(o.viewDistance);
    if (!readChoice(parser, o.lod, "on", "off", &options->lodRings, fail))
        return false;

    if (parser.isSet(o.hour)) {
        const QString hour = parser.value(o.hour);
        if (!numberInRange(hour, 0.0, 24.0, true, &value))
            return fail(2, QStringLiteral("--hour needs a number from 0 up to but not including 24, not '%1'")
                               .arg(quotedInput(hour)));
        // The clock keeps its hour in single precision, where the largest hour below 24 is
        // 23.999998: anything closer to 24 is stored as 24, which is the next day.
        if (!(float(value) < 24.0f))
            return fail(2, QStringLiteral("--hour '%1' is below 24 but becomes 24 in the clock's single precision: "
                                          "give at most %2")
                               .arg(quotedInput(hour))
                               .arg(double(std::nextafter(24.0f, 0.0f)), 0, 'g', 8));
        options->startHour = float(value);
    }
    if (parser.isSet(o.day)) {
        const int day = parser.value(o.day).toInt(&ok);
        if (!ok || day < 0 || day > 364)
            return fail(2, QStringLiteral("--day needs a whole number from 0 to 364, not '%1'")
                               .arg(quotedInput(parser.value(o.day))));
        options->startDay = day;
    }
    if (!readNumber(parser, o.latitude, -90.0, 90.0, "degrees", options->latitudeDegrees, fail) ||
        !readNumber(parser, o.tilt, -90.0, 90.0, "degrees", options->axialTiltDegrees, fail) ||
        !readNumber(parser, o.hoursPerFrame, 0.0, 24.0, "hours", options->hoursPerFrame, fail))
        return false;

    if (!parseGroundAndSun(parser, o, options, fail))
        return false;

    if (parser.isSet(o.screenshot) && parser.isSet(o.record))
        return fail(2, QStringLiteral("--screenshot and --record cannot be used together"));
    if (parser.isSet(o.screenshot)) {
        options->screenshotPath = parser.value(o.screenshot);
        const QFileInfo file(options->screenshotPath);
        const QString suffix = file.suffix().toLower();
        if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
            options->screenshotFormat = "JPEG";
        else if (suffix.isEmpty() || suffix == QLatin1String("png"))
            options->screenshotFormat = "PNG";
        else
            return fail(
                2, QStringLiteral("--screenshot writes .png or .jpg files, not '.%1'").arg(quotedInput(file.suffix())));
        if (options->screenshotPath.isEmpty())
            return fail(2, QStringLiteral("--screenshot needs the name of the file to write"));
        if (file.isDir())
            return fail(
                1, QStringLiteral("cannot write the screenshot '%1': it is a folder").arg(options->screenshotPath));
        if (!file.absoluteDir().exists() || !canCreateFileIn(file.absolutePath()))
            return fail(1,
                        QStringLiteral("cannot write the screenshot '%1': its folder does not exist or is not writable")
                            .arg(options->screenshotPath));
    }
    if (parser.isSet(o.record)) {
        options->recordFolder = parser.value(o.record);
        // The folder is made only once the inputs have been read (makeRecordFolder); here the
        // nearest folder that exists must take it.
        QFileInfo nearest(QDir::cleanPath(QDir().absoluteFilePath(options->recordFolder)));
        while (!nearest.exists() && !nearest.isRoot() && nearest.absoluteFilePath() != nearest.absolutePath())
            nearest = QFileInfo(nearest.absolutePath());
        if (options->recordFolder.isEmpty() || !nearest.isDir() || !canCreateFileIn(nearest.absoluteFilePath()))
            return fail(1, QStringLiteral("cannot write frames into '%1': the folder cannot be made or is not writable")
                               .arg(options->recordFolder));
    }
    if (parser.isSet(o.size)) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^(\\d{1,6})x(\\d{1,6})$")).match(parser.value(o.size));
        const int width = match.hasMatch() ? match.captured(1).toInt() : 0;
        const int height = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (std::min(width, height) < kSmallestViewSide || std::max(width, height) > kLargestViewSide)
            return fail(2, QStringLiteral("--size needs a width and height from %1 to %2 pixels as WxH (for instance "
                                          "1920x1080), not '%3'")
                               .arg(kSmallestViewSide)
                               .arg(kLargestViewSide)
                               .arg(quotedInput(parser.value(o.size))));
        options->viewSize = QSize(width, height);
    }
    options->sceneOnly = parser.isSet(o.sceneOnly);
    if (options->sceneOnly && !parser.isSet(o.screenshot) && !parser.isSet(o.record))
        return fail(2, QStringLiteral("--scene-only applies to the pictures of --screenshot or --record: give one "
                                      "of them"));
    return true;
}

bool makeRecordFolder(const ViewerOptions& options)
{
    if (options.recordFolder.isEmpty() || QDir().mkpath(options.recordFolder))
        return true;
    printError(QStringLiteral("cannot write frames into '%1': the folder cannot be made or is not writable")
                   .arg(options.recordFolder));
    return false;
}

float utcOffsetFor(const ViewerOptions& options, double longitudeDegrees)
{
    return options.utcOffsetHours ? *options.utcOffsetHours : float(std::round(longitudeDegrees / 15.0));
}

void applyStartClock(const ViewerOptions& options, TWorld& world)
{
    if (options.startHour < 0.0f && !options.startDay && !options.latitudeDegrees && !options.axialTiltDegrees &&
        !options.sunDate && !options.groundLatitude)
        return;
    if (!options.latitudeDegrees && options.groundLatitude)
        world.latitude = float(*options.groundLatitude);
    if (options.sunDate) {
        world.realSun = true;
        world.calendarYear = options.sunDate->year;
        world.daysPerYear = daysInYear(options.sunDate->year);
        world.day = dayOfYear(*options.sunDate);
        const double longitude = options.longitudeDegrees ? double(*options.longitudeDegrees)
                                                          : options.groundLongitude.value_or(0.0);
        world.longitude = float(longitude);
        world.utcOffsetHours = utcOffsetFor(options, longitude);
    }
    if (options.startDay)
        world.day = std::uint32_t(*options.startDay);
    if (options.latitudeDegrees)
        world.latitude = *options.latitudeDegrees;
    if (options.axialTiltDegrees)
        world.axialTilt = *options.axialTiltDegrees;
    // An hour below 24 carries no day, so the day set above stays.
    world.setHour(options.startHour >= 0.0f ? options.startHour : world.hour);
}
