#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace {

// Written out rather than taken from QCommandLineParser::helpText, which needs an application
// object: the options are read before the window system is touched, so --help and --version
// work without a display.
const char* const kHelp =
    "Usage: terrain-viewer [options]\n"
    "Interactive real-time 3D terrain viewer under a simulated sky.\n"
    "\n"
    "Options:\n"
    "  -h, --help           Show this help.\n"
    "  --version            Show the version.\n"
    "  --screenshot <path>  Draw the frames, save the window as a PNG file at <path>, exit.\n"
    "  --frames <n>         Frames drawn before the screenshot (default 60).\n"
    "  --terrain <path>     Terrain drawing path: batched (default: one draw per\n"
    "                       layer) or literal (one per cell); the same picture.\n"
    "  --hour <h>           Start the simulated day at hour h (0 to 24) instead of 5.\n"
    "\nKeys:\n"
    "  Up/Down, Right/Left  fly forward/backward, right/left (held)\n"
    "  Space/Ctrl           fly up/down (held; not in horizontal mode)\n"
    "  D/A, W/S, E/Q        turn: yaw, pitch, roll (held)\n"
    "  K                    hide the sky (held)\n"
    "  P                    fast simulated time (held)\n"
    "  F                    orbit the wandering bump on/off\n"
    "  L                    horizontal mode on/off\n"
    "  N                    terrain normals on/off\n"
    "  T                    freeze/unfreeze simulated time\n"
    "  H/V/B                level yaw/pitch/roll\n"
    "  Esc                  close\n"
    "\nTextures LandTex0.bmp .. LandTex3.bmp are read from the working directory,\n"
    "then from the shipped assets folder.\n";

void printError(const QString& message)
{
    std::fprintf(stderr, "terrain-viewer: %s\n", qPrintable(message));
}

} // namespace

bool parseCommandLine(const QStringList& arguments, ViewerOptions* options, int* exitStatus)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Draw the frames, save the window as a PNG file at <path>, exit."),
                                        QStringLiteral("path"));
    const QCommandLineOption frames(QStringLiteral("frames"),
                                    QStringLiteral("Frames drawn before the screenshot (default 60)."),
                                    QStringLiteral("n"), QStringLiteral("60"));
    const QCommandLineOption terrain(QStringLiteral("terrain"),
                                     QStringLiteral("Terrain drawing path: batched (default) or literal."),
                                     QStringLiteral("path"), QStringLiteral("batched"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(screenshot);
    parser.addOption(frames);
    const QCommandLineOption hour(QStringLiteral("hour"), QStringLiteral("Start hour."), QStringLiteral("h"));
    parser.addOption(terrain);
    parser.addOption(hour);

    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        *exitStatus = 2;
        return false;
    }
    if (parser.isSet(help)) {
        std::fputs(kHelp, stdout);
        *exitStatus = 0;
        return false;
    }
    if (parser.isSet(version)) {
        std::printf("terrain-viewer %s\n", qPrintable(QCoreApplication::applicationVersion()));
        *exitStatus = 0;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("unexpected argument '%1' (see --help)").arg(parser.positionalArguments().first()));
        *exitStatus = 2;
        return false;
    }
    bool ok = false;
    options->frames = parser.value(frames).toInt(&ok);
    if (!ok || options->frames < 1) {
        printError(QStringLiteral("--frames needs a whole number of at least 1, not '%1'").arg(parser.value(frames)));
        *exitStatus = 2;
        return false;
    }
    const QString path = parser.value(terrain);
    if (path != QLatin1String("literal") && path != QLatin1String("batched")) {
        printError(QStringLiteral("--terrain takes literal or batched, not '%1'").arg(path));
        *exitStatus = 2;
        return false;
    }
    options->batchedTerrain = path == QLatin1String("batched");
    if (parser.isSet(hour)) {
        options->startHour = parser.value(hour).toFloat(&ok);
        if (!ok || !(options->startHour >= 0.0f && options->startHour < 24.0f)) {
            printError(QStringLiteral("--hour needs a number from 0 up to 24, not '%1'").arg(parser.value(hour)));
            *exitStatus = 2;
            return false;
        }
    }
    if (parser.isSet(screenshot)) {
        options->screenshotPath = parser.value(screenshot);
        const QFileInfo folder(QFileInfo(options->screenshotPath).absolutePath());
        if (options->screenshotPath.isEmpty() || !folder.isDir() || !folder.isWritable()) {
            printError(QStringLiteral("cannot write the screenshot '%1': its folder does not exist or is not writable")
                           .arg(options->screenshotPath));
            *exitStatus = 1;
            return false;
        }
    }
    return true;
}
