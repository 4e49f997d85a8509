#include "CommandLine.h"

#include "InputConversion.h"
#include "KeyHelp.h"
#include "World.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
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
        return {&help, &version, &screenshot, &record, &frames,  &cameraPath,   &hoursPerFrame,
                &hour, &day,     &latitude,   &tilt,   &terrain, &viewDistance, &lod};
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
        "then from the shipped assets folder.\n");
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
    const QString path = parser.value(o.terrain);
    if (path != QLatin1String("literal") && path != QLatin1String("batched"))
        return fail(2, QStringLiteral("--terrain takes batched or literal, not '%1'").arg(path));
    options->batchedTerrain = path == QLatin1String("batched");

    double value = 0.0;
    const QString distance = parser.value(o.viewDistance);
    if (!numberInRange(distance, kMinViewDistance, kMaxViewDistance, false, &value))
        return fail(2, QStringLiteral("--view-distance needs a number of world units from 50 to 4000, not '%1'")
                           .arg(quotedInput(distance)));
    options->viewDistance = float(value);
    const QString lod = parser.value(o.lod);
    if (lod != QLatin1String("on") && lod != QLatin1String("off"))
        return fail(2, QStringLiteral("--lod takes on or off, not '%1'").arg(quotedInput(lod)));
    options->lodRings = lod == QLatin1String("on");

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
    const struct {
        const QCommandLineOption& option;
        std::optional<float>& target;
        double low, high;
        const char* unit;
    } ranges[] = {{o.latitude, options->latitudeDegrees, -90.0, 90.0, "degrees"},
                  {o.tilt, options->axialTiltDegrees, -90.0, 90.0, "degrees"},
                  {o.hoursPerFrame, options->hoursPerFrame, 0.0, 24.0, "hours"}};
    for (const auto& range : ranges) {
        if (!parser.isSet(range.option))
            continue;
        if (!numberInRange(parser.value(range.option), range.low, range.high, false, &value))
            return fail(2, QStringLiteral("--%1 needs a number of %2 from %3 to %4, not '%5'")
                               .arg(range.option.names().first(), QLatin1String(range.unit))
                               .arg(range.low)
                               .arg(range.high)
                               .arg(quotedInput(parser.value(range.option))));
        range.target = float(value);
    }

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
        if (options->recordFolder.isEmpty() || !QDir().mkpath(options->recordFolder) ||
            !canCreateFileIn(options->recordFolder))
            return fail(1, QStringLiteral("cannot write frames into '%1': the folder cannot be made or is not writable")
                               .arg(options->recordFolder));
    }
    return true;
}

void applyStartClock(const ViewerOptions& options, TWorld& world)
{
    if (options.startHour < 0.0f && !options.startDay && !options.latitudeDegrees && !options.axialTiltDegrees)
        return;
    if (options.startDay)
        world.day = std::uint32_t(*options.startDay);
    if (options.latitudeDegrees)
        world.latitude = *options.latitudeDegrees;
    if (options.axialTiltDegrees)
        world.axialTilt = *options.axialTiltDegrees;
    // An hour below 24 carries no day, so the day set above stays.
    world.setHour(options.startHour >= 0.0f ? options.startHour : world.hour);
}
