#include "BenchOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

bool parseCount(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    const int parsed = text.toInt(&ok);
    if (!ok || parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

// Reads an option that takes one of two words: true when it is set, with *second telling which
// word it holds; false with *error set when it holds neither.
bool readTwoWords(const QCommandLineParser& parser, const QCommandLineOption& option, const char* first,
                  const char* second, bool* isSecond, QString* error)
{
    if (!parser.isSet(option))
        return true;
    const QString value = parser.value(option);
    if (value != QLatin1String(first) && value != QLatin1String(second)) {
        *error = QStringLiteral("--%1 takes %2 or %3, not '%4'")
                     .arg(option.names().first(), QLatin1String(first), QLatin1String(second), value);
        return false;
    }
    *isSecond = value == QLatin1String(second);
    return true;
}

} // namespace

QString terrainName(TerrainPath terrain)
{
    return terrain == TerrainPath::Batched ? QStringLiteral("batched") : QStringLiteral("literal");
}

QString surfaceName(SurfaceChoice surface)
{
    return surface == SurfaceChoice::Widget ? QStringLiteral("widget") : QStringLiteral("window");
}

QString skyName(SkyChoice sky)
{
    return sky == SkyChoice::First ? QStringLiteral("first") : QStringLiteral("behind");
}

QString presentName(PresentMode mode)
{
    return mode == PresentMode::Inside ? QStringLiteral("inside") : QStringLiteral("outside");
}

QString allocatorName(AllocatorChoice allocator)
{
    return allocator == AllocatorChoice::Default ? QStringLiteral("default") : QStringLiteral("tuned");
}

QString timingName(TimingChoice timing)
{
    return timing == TimingChoice::Whole ? QStringLiteral("whole") : QStringLiteral("phases");
}

bool parseBenchOptions(const QStringList& arguments, BenchOptions* options, QString* error, bool* helpAsked)
{
    *helpAsked = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the viewer's start-up and frames on its real window and GL view, and prints "
                       "one JSON object per line: the start-up, then the frames."));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    const QCommandLineOption sizeOption(QStringLiteral("size"),
                                        QStringLiteral("Drawing panel size (default 1012x614)."),
                                        QStringLiteral("WxH"));
    const QCommandLineOption framesOption(QStringLiteral("frames"), QStringLiteral("Measured frames (default 300)."),
                                          QStringLiteral("N"));
    const QCommandLineOption warmupOption(QStringLiteral("warmup"),
                                          QStringLiteral("Frames drawn before measuring (default 30)."),
                                          QStringLiteral("N"));
    const QCommandLineOption terrainOption(
        QStringLiteral("terrain"),
        QStringLiteral("Terrain drawing path: batched (default, as the viewer draws) or literal."),
        QStringLiteral("path"));
    const QCommandLineOption latticeOption(QStringLiteral("lattice"),
                                           QStringLiteral("An N x N terrain lattice (default 300)."),
                                           QStringLiteral("N"));
    const QCommandLineOption flyOption(QStringLiteral("fly"),
                                       QStringLiteral(
                                           "Hold the up arrow every frame, so the view moves over the terrain."));
    const QCommandLineOption viewDistanceOption(
        QStringLiteral("view-distance"),
        QStringLiteral("How far the view reaches, world units (50, the designed view, to 4000). A list "
                       "(50,500,2000) measures each in turns of 20 frames, one record each."),
        QStringLiteral("D[,D...]"));
    const QCommandLineOption lodOption(QStringLiteral("lod"),
                                       QStringLiteral("Beyond 50 units: levels of detail (on, default) or every cell "
                                                      "in full (off)."),
                                       QStringLiteral("on|off"));
    const QCommandLineOption presentOption(
        QStringLiteral("present"),
        QStringLiteral("Draw the frame outside Qt's paint (default, as the viewer does), inside the panel's paint, "
                       "or alternate the two frame by frame."),
        QStringLiteral("outside|inside|alternate"));
    const QCommandLineOption surfaceOption(
        QStringLiteral("surface"),
        QStringLiteral("Present each frame by swapping a native GL window (default, as the viewer does) or through "
                       "a QOpenGLWidget that Qt composites into the window."),
        QStringLiteral("window|widget"));
    const QCommandLineOption skyOption(
        QStringLiteral("sky"),
        QStringLiteral("Draw the sky behind the terrain's depth pass (default, as the viewer does) or first, over "
                       "the whole view."),
        QStringLiteral("behind|first"));
    const QCommandLineOption skyModelOption(
        QStringLiteral("sky-model"),
        QStringLiteral("Draw the classic sky (default) or the physical one (the viewer's --sky physical)."),
        QStringLiteral("classic|physical"));
    const QCommandLineOption hoursOption(
        QStringLiteral("hours-per-frame"),
        QStringLiteral("Advance the clock by <h> hours (0 to 24) before each frame, so the sun moves (default 0)."),
        QStringLiteral("h"));
    const QCommandLineOption allocatorOption(
        QStringLiteral("allocator"),
        QStringLiteral("The heap as the viewer tunes it for drawing (default) or as the C library leaves it."),
        QStringLiteral("tuned|default"));
    const QCommandLineOption timingOption(
        QStringLiteral("timing"),
        QStringLiteral("Time each phase of a frame, finished by glFinish at its end (default), or only the whole "
                       "frame, finished once at its end, as the viewer runs it."),
        QStringLiteral("phases|whole"));
    const QCommandLineOption graphOption(QStringLiteral("graph"),
                                         QStringLiteral("Show the frame-time graph (F3) over the view while the "
                                                        "frames are measured; needs --timing whole."));
    const QCommandLineOption heightmapOption(
        QStringLiteral("heightmap"),
        QStringLiteral(
            "Measure over the ground of this elevation model (as the viewer's --heightmap) instead of "
            "the built-in lattice, from its start point looking as the built-in start does (yaw 125, level); "
            "--lattice then does not apply."),
        QStringLiteral("file"));
    const QCommandLineOption pathsOption(QStringLiteral("terrain-paths"),
                                         QStringLiteral("List the terrain paths of this build and stop."));
    parser.addOptions({helpOption, sizeOption, framesOption, warmupOption, terrainOption, latticeOption, flyOption,
                       presentOption, surfaceOption, skyOption, skyModelOption, hoursOption, allocatorOption,
                       timingOption, graphOption, pathsOption, heightmapOption, viewDistanceOption, lodOption});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(helpOption)) {
        *helpAsked = true;
        // The help text names the program from QCoreApplication::arguments(), which needs the
        // application object; without one the caller creates it and asks again.
        if (QCoreApplication::instance())
            *error = parser.helpText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return false;
    }

    if (parser.isSet(sizeOption)) {
        const QString text = parser.value(sizeOption);
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(text);
        if (!match.hasMatch() || !parseCount(match.captured(1), kMinPanelSide, kMaxPanelSide, &options->panelWidth) ||
            !parseCount(match.captured(2), kMinPanelSide, kMaxPanelSide, &options->panelHeight)) {
            *error = QStringLiteral("--size takes WxH with each side from %1 to %2, not '%3'")
                         .arg(kMinPanelSide)
                         .arg(kMaxPanelSide)
                         .arg(text);
            return false;
        }
    }
    if (parser.isSet(framesOption) && !parseCount(parser.value(framesOption), 1, 1000000, &options->frames)) {
        *error =
            QStringLiteral("--frames takes a whole number from 1 to 1000000, not '%1'").arg(parser.value(framesOption));
        return false;
    }
    if (parser.isSet(warmupOption) && !parseCount(parser.value(warmupOption), 0, 1000000, &options->warmupFrames)) {
        *error =
            QStringLiteral("--warmup takes a whole number from 0 to 1000000, not '%1'").arg(parser.value(warmupOption));
        return false;
    }
    bool batched = options->terrain == TerrainPath::Batched;
    if (!readTwoWords(parser, terrainOption, "literal", "batched", &batched, error))
        return false;
    options->terrain = batched ? TerrainPath::Batched : TerrainPath::Literal;
    // Absolute, as the bench reads the textures from the assets folder it enters.
    options->heightmap = parser.value(heightmapOption);
    if (!options->heightmap.isEmpty())
        options->heightmap = QFileInfo(options->heightmap).absoluteFilePath();
    if (parser.isSet(heightmapOption) && options->heightmap.isEmpty()) {
        *error = QStringLiteral("--heightmap needs the name of an elevation model file");
        return false;
    }
    if (parser.isSet(latticeOption) &&
        !parseCount(parser.value(latticeOption), kMinLattice, kMaxLattice, &options->lattice)) {
        *error = QStringLiteral("--lattice takes a whole number from %1 to %2, not '%3'")
                     .arg(kMinLattice)
                     .arg(kMaxLattice)
                     .arg(parser.value(latticeOption));
        return false;
    }
    options->fly = parser.isSet(flyOption);
    if (parser.isSet(viewDistanceOption)) {
        options->viewDistances.clear();
        for (const QString& item : parser.value(viewDistanceOption).split(QLatin1Char(','))) {
            bool ok = false;
            const double d = item.toDouble(&ok);
            if (!ok || !(d >= 50.0 && d <= 4000.0)) {
                *error = QStringLiteral("--view-distance takes numbers from 50 to 4000, not '%1'")
                             .arg(parser.value(viewDistanceOption));
                return false;
            }
            options->viewDistances.push_back(float(d));
        }
    }
    bool lodOff = !options->lod;
    if (!readTwoWords(parser, lodOption, "on", "off", &lodOff, error))
        return false;
    options->lod = !lodOff;
    if (parser.isSet(presentOption)) {
        const QString mode = parser.value(presentOption);
        if (mode == QLatin1String("outside")) {
            options->present = PresentChoice::Outside;
        } else if (mode == QLatin1String("inside")) {
            options->present = PresentChoice::Inside;
        } else if (mode == QLatin1String("alternate")) {
            options->present = PresentChoice::Alternate;
        } else {
            *error = QStringLiteral("--present takes outside, inside or alternate, not '%1'").arg(mode);
            return false;
        }
    }
    bool widget = options->surface == SurfaceChoice::Widget;
    bool skyFirst = options->sky == SkyChoice::First;
    if (!readTwoWords(parser, surfaceOption, "window", "widget", &widget, error) ||
        !readTwoWords(parser, skyOption, "behind", "first", &skyFirst, error) ||
        !readTwoWords(parser, skyModelOption, "classic", "physical", &options->physicalSky, error))
        return false;
    options->surface = widget ? SurfaceChoice::Widget : SurfaceChoice::Window;
    options->sky = skyFirst ? SkyChoice::First : SkyChoice::Behind;
    if (parser.isSet(hoursOption)) {
        bool ok = false;
        const double hours = parser.value(hoursOption).toDouble(&ok);
        if (!ok || !(hours >= 0.0 && hours <= 24.0)) {
            *error = QStringLiteral("--hours-per-frame needs a number of hours from 0 to 24, not '%1'")
                         .arg(parser.value(hoursOption));
            return false;
        }
        options->hoursPerFrame = hours;
    }
    if (parser.isSet(timingOption)) {
        const QString timing = parser.value(timingOption);
        if (timing == QLatin1String("phases")) {
            options->timing = TimingChoice::Phases;
        } else if (timing == QLatin1String("whole")) {
            options->timing = TimingChoice::Whole;
        } else {
            *error = QStringLiteral("--timing takes phases or whole, not '%1'").arg(timing);
            return false;
        }
    }
    if (options->present != PresentChoice::Outside && options->surface == SurfaceChoice::Window) {
        *error = QStringLiteral(
            "--present inside and alternate draw in Qt's paint of a QOpenGLWidget: "
            "they need --surface widget");
        return false;
    }
    if (options->present == PresentChoice::Alternate && options->viewDistances.size() > 1) {
        *error = QStringLiteral("--present alternate takes one view distance");
        return false;
    }
    if (options->present == PresentChoice::Alternate && options->frames < 2) {
        *error = QStringLiteral("--present alternate needs at least 2 frames");
        return false;
    }
    if (parser.isSet(allocatorOption)) {
        const QString allocator = parser.value(allocatorOption);
        if (allocator == QLatin1String("tuned")) {
            options->allocator = AllocatorChoice::Tuned;
        } else if (allocator == QLatin1String("default")) {
            options->allocator = AllocatorChoice::Default;
        } else {
            *error = QStringLiteral("--allocator takes tuned or default, not '%1'").arg(allocator);
            return false;
        }
    }
    options->graph = parser.isSet(graphOption);
    if (options->graph && options->timing != TimingChoice::Whole) {
        // The graph reads the frame's phase marks itself, without the glFinish of each.
        *error = QStringLiteral("--graph needs --timing whole");
        return false;
    }
    options->listTerrainPaths = parser.isSet(pathsOption);
    return true;
}
