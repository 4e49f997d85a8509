// The viewer binary as a user runs it: the options the README lists, their errors, and a run
// from a folder without textures, which finds the shipped ones.

#include "CommandLine.h"
#include "KeyHelp.h"
#include "ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

namespace {

// The viewer gets no X server, so any attempt to open its window fails; a refusal that comes
// before drawing is unaffected.
const EnvironmentChange kNoDisplay{{"DISPLAY", "WAYLAND_DISPLAY"}, {"QT_QPA_PLATFORM=xcb"}};

} // namespace

Q_DECLARE_METATYPE(EnvironmentChange)

class CommandLineGLTest : public QObject {
    Q_OBJECT
private slots:
    void help();
    void badOptions_data();
    void badOptions();
    void rangeEdgesAreAccepted();
    void screenshot();
    void refusedBeforeDrawing_data();
    void refusedBeforeDrawing();
    void noDisplayOrNoOpenGl_data();
    void noDisplayOrNoOpenGl();
    void jpegScreenshot();
    void shortRunFromAnotherFolder();
    void recordWritesEachFrame();
    void savedPicturesHoldTheSceneAtItsSize();
    void badTextureFailsTheRun();
};

namespace {

// Columns of the image's top band (the "FPS:" read-out) holding dark text pixels: from the
// first to the last.
int readOutTextWidth(const QImage& image)
{
    int first = -1, last = -1;
    for (int x = 0; x < 89; ++x)
        for (int y = 2; y < 15; ++y)
            if (qGray(image.pixel(x, y)) < 128) {
                if (first < 0)
                    first = x;
                last = x;
            }
    return first < 0 ? 0 : last - first + 1;
}

} // namespace

void CommandLineGLTest::help()
{
    const ProgramRun run = runViewer({QStringLiteral("--help")});
    QCOMPARE(run.status, 0);
    for (const char* expected :
         {"--screenshot <path>", "--frames <n>", "--hour <h>", "--terrain <batched|literal>", "--record <folder>",
          "--hours-per-frame <h>", "--day <n>", "--latitude <degrees>", "--tilt <degrees>", "--sky <classic|physical>",
          "--exposure <auto|stops>", "(0 to 364)", "(-90 to 90)", "below 24"})
        QVERIFY2(run.out.contains(QLatin1String(expected)), expected);
    // The key and mouse table, the same as F1's and README's.
    QVERIFY2(run.out.contains(keyHelpText()), qPrintable(run.out));
}

void CommandLineGLTest::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << QStringList{"--bogus"} << "unknown option '--bogus' (see --help)";
    QTest::newRow("unknown, one dash") << QStringList{"-bogus=1"} << "unknown option '-bogus' (see --help)";
    QTest::newRow("size too small") << QStringList{"--size", "63x400"} << "--size needs a width and height from 64";
    QTest::newRow("size without height") << QStringList{"--size", "1920"}
                                         << "as WxH (for instance 1920x1080), not '1920'";
    QTest::newRow("size too large") << QStringList{"--size", "16385x100"} << "to 16384 pixels";
    QTest::newRow("scene only alone") << QStringList{"--scene-only"} << "--scene-only applies to the pictures of";
    QTest::newRow("frames alone") << QStringList{"--frames", "5"}
                                  << "--frames counts the frames of --screenshot or --record";
    QTest::newRow("screenshot without a name")
        << QStringList{"--screenshot", ""} << "--screenshot needs the name of the file";
    QTest::newRow("hour 24 in single precision")
        << QStringList{"--hour", "23.99999999"}
        << "--hour '23.99999999' is below 24 but becomes 24 in the clock's single precision: give at most 23.999998";
    QTest::newRow("long value quoted short") << QStringList{"--latitude", QString(1500, QLatin1Char('9'))}
                                             << "not '99999999999999999999999999999999... (1468 more characters)'";
    QTest::newRow("no value") << QStringList{"--day"} << "(see --help)";
    QTest::newRow("frames") << QStringList{"--frames", "0"} << "--frames";
    QTest::newRow("terrain") << QStringList{"--terrain", "fast"} << "--terrain takes batched or literal, not 'fast'";
    QTest::newRow("sky") << QStringList{"--sky", "blue"} << "--sky takes classic or physical, not 'blue'";
    QTest::newRow("exposure word") << QStringList{"--exposure", "bright"} << "--exposure takes auto or a number";
    QTest::newRow("exposure range") << QStringList{"--exposure", "21"} << "--exposure takes auto or a number";
    QTest::newRow("hour 24") << QStringList{"--hour", "24"}
                             << "--hour needs a number from 0 up to but not including 24";
    QTest::newRow("hour nan") << QStringList{"--hour", "nan"} << "--hour";
    const QString day = QStringLiteral("--day needs a whole number from 0 to 364");
    for (const char* value : {"365", "-1", "1.5"})
        QTest::newRow(qPrintable(QStringLiteral("day ") + value)) << QStringList{"--day", value} << day;
    const QString latitude = QStringLiteral("--latitude needs a number of degrees from -90 to 90");
    for (const char* value : {"91", "nan", "north"})
        QTest::newRow(qPrintable(QStringLiteral("latitude ") + value)) << QStringList{"--latitude", value} << latitude;
    QTest::newRow("tilt") << QStringList{"--tilt", "-90.01"} << "--tilt needs a number of degrees from -90 to 90";
    QTest::newRow("hours-per-frame") << QStringList{"--record", "/tmp", "--hours-per-frame", "24.5"}
                                     << "--hours-per-frame needs a number of hours from 0 to 24";
    QTest::newRow("bmp") << QStringList{"--screenshot", "/tmp/shot.bmp"} << "--screenshot writes .png or .jpg files";
    QTest::newRow("both") << QStringList{"--screenshot", "/tmp/a.png", "--record", "/tmp"} << "cannot be used together";
    QTest::newRow("argument") << QStringList{"extra"} << "extra";
}

// The closed ends of each range are accepted, read without starting the program.
void CommandLineGLTest::rangeEdgesAreAccepted()
{
    const auto parsed = [](const QStringList& arguments) {
        ViewerOptions options;
        int status = -1;
        const bool accepted = parseCommandLine(QStringList{QStringLiteral("terrain-viewer")} + arguments, &options,
                                               &status);
        return accepted ? std::optional<ViewerOptions>(options) : std::nullopt;
    };
    for (const char* edge : {"-90", "90"}) {
        const auto latitude = parsed({"--latitude", edge});
        const auto tilt = parsed({"--tilt", edge});
        QVERIFY2(latitude && tilt, edge);
        QCOMPARE(*latitude->latitudeDegrees, QString(edge).toFloat());
        QCOMPARE(*tilt->axialTiltDegrees, QString(edge).toFloat());
    }
    QCOMPARE(parsed({"--day", "364"})->startDay, std::optional<int>(364));
    QCOMPARE(parsed({"--hour", "0"})->startHour, 0.0f);
    QCOMPARE(parsed({"--hour", "23.999998"})->startHour, 23.999998f);
    QCOMPARE(parsed({"--record", QDir::tempPath(), "--hours-per-frame", "24"})->hoursPerFrame,
             std::optional<float>(24.0f));
    QCOMPARE(parsed({"--screenshot", QDir::temp().filePath("edge.png"), "--frames", "1"})->frames, 1);
    // The sky: classic unless asked; the exposure automatic unless a number of stops is given.
    QVERIFY(!parsed({})->physicalSky && !parsed({})->exposureEv);
    QVERIFY(parsed({"--sky", "physical"})->physicalSky);
    QVERIFY(!parsed({"--sky", "classic", "--exposure", "auto"})->exposureEv);
    QCOMPARE(parsed({"--exposure", "-20"})->exposureEv, std::optional<double>(-20.0));
    QCOMPARE(parsed({"--exposure", "2.5"})->exposureEv, std::optional<double>(2.5));
}

void CommandLineGLTest::badOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const ProgramRun run = runViewer(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
}

void CommandLineGLTest::screenshot()
{
    // The README's screenshot command, into a scratch folder.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("shot.png"));
    const ProgramRun run = runViewer({QStringLiteral("--screenshot"), path, QStringLiteral("--frames"),
                                      QStringLiteral("40"), QStringLiteral("--hour"), QStringLiteral("10")});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const QImage image(path);
    QCOMPARE(image.size(), QSize(1012, 614));
    // The panels are in the top-left corner, the lit scene to their right.
    const QColor panel = image.pixelColor(29, 150);
    QVERIFY2(panel.red() == panel.green() && panel.green() == panel.blue() && panel.red() > 200,
             qPrintable(panel.name()));
    const QColor sky = image.pixelColor(400, 100);
    QVERIFY2(sky.blue() > sky.red(), qPrintable(sky.name()));
    const QColor ground = image.pixelColor(600, 590);
    QVERIFY2(ground.red() + ground.green() + ground.blue() > 30, qPrintable(ground.name()));
}

void CommandLineGLTest::refusedBeforeDrawing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("screenshot into a folder") << QStringList{"--screenshot", QDir::tempPath()} << "it is a folder";
    QTest::newRow("screenshot under a file")
        << QStringList{"--screenshot", "/dev/null/shot.png"} << "its folder does not exist or is not writable";
    QTest::newRow("screenshot into a read-only place")
        << QStringList{"--screenshot", "/proc/shot.png"} << "its folder does not exist or is not writable";
    QTest::newRow("record under a file") << QStringList{"--record", "/dev/null/frames"} << "cannot write frames into";
    QTest::newRow("record into a read-only place")
        << QStringList{"--record", "/proc/frames"} << "cannot write frames into";
}

void CommandLineGLTest::refusedBeforeDrawing()
{
    // Without a display: a check made after the window opened would fail differently.
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const ProgramRun run = runViewer(arguments, assetsFolder(), kNoDisplay);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/frames")));
}

void CommandLineGLTest::noDisplayOrNoOpenGl_data()
{
    // Each ends with status 1 and says what failed and what to do, before any window or GL call
    // (without the checks: an abort of Qt's, status 134, or a crash in the first show's texture
    // build, 139). --help and --version need neither.
    QTest::addColumn<EnvironmentChange>("change");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("messages");
    const QStringList screenshot{"--screenshot", QDir::temp().filePath(QStringLiteral("never-written.png"))};
    const QString advice = QStringLiteral("xvfb-run -a terrain-viewer --screenshot out.png");
    const EnvironmentChange nothingToOpen{{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, {}};
    QTest::newRow("no display") << nothingToOpen << screenshot << 1
                                << QStringList{
                                       "terrain-viewer: no display to open the window on: neither X11 "
                                       "(DISPLAY) nor Wayland (WAYLAND_DISPLAY) is set",
                                       advice};
    // No X server listens at display 59999.
    QTest::newRow("display not reachable")
        << EnvironmentChange{{"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, {"DISPLAY=:59999"}} << screenshot << 1
        << QStringList{"terrain-viewer: cannot open a window: qt.qpa.xcb: could not connect to display :59999", advice};
    QTest::newRow("no context on the offscreen platform")
        << EnvironmentChange{{"DISPLAY", "WAYLAND_DISPLAY"}, {"QT_QPA_PLATFORM=offscreen"}} << screenshot << 1
        << QStringList{
               "terrain-viewer: needs OpenGL 1.1 with GLU: the platform 'offscreen' could make no OpenGL "
               "context",
               advice};
    QTest::newRow("no GL on X11") << EnvironmentChange{{}, {"QT_XCB_GL_INTEGRATION=none"}} << screenshot << 1
                                  << QStringList{"terrain-viewer: needs OpenGL 1.1 with GLU: ",
                                                 "QXcbIntegration: Cannot create platform OpenGL context", advice};
    QTest::newRow("help without a display") << nothingToOpen << QStringList{"--help"} << 0 << QStringList();
    QTest::newRow("version without a display") << nothingToOpen << QStringList{"--version"} << 0 << QStringList();
}

void CommandLineGLTest::noDisplayOrNoOpenGl()
{
    QFETCH(EnvironmentChange, change);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, messages);
    const ProgramRun run = runViewer(arguments, assetsFolder(), change);
    QVERIFY2(run.status == status, qPrintable(QString::number(run.status) + QLatin1Char(' ') + run.err));
    for (const QString& message : messages)
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(!run.err.contains(QStringLiteral("Reinstalling")), qPrintable(run.err));
    if (status == 0)
        QVERIFY2(run.out.startsWith(arguments.first() == QLatin1String("--help") ? "Usage:" : "terrain-viewer "),
                 qPrintable(run.out));
    QVERIFY(!QFileInfo::exists(QDir::temp().filePath(QStringLiteral("never-written.png"))));
}

void CommandLineGLTest::jpegScreenshot()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("shot.JPG"));
    const ProgramRun run = runViewer({QStringLiteral("--screenshot"), path, QStringLiteral("--frames"),
                                      QStringLiteral("3")},
                                     assetsFolder());
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray start = file.read(3);
    QCOMPARE(start, QByteArray("\xFF\xD8\xFF")); // a JPEG start-of-image marker, not PNG data
    QCOMPARE(QImage(path).size(), QSize(1012, 614));
}

void CommandLineGLTest::shortRunFromAnotherFolder()
{
    // No textures in the working folder: the shipped ones are found, no error is printed. Two
    // frames are over long before the first one-second read-out: the saved picture still shows
    // a rate after "FPS:", so its text is wider than the caption alone.
    QTemporaryDir folder;
    const QString shortRun = folder.filePath(QStringLiteral("short.png"));
    const ProgramRun run = runViewer({QStringLiteral("--screenshot"), shortRun, QStringLiteral("--frames"),
                                      QStringLiteral("2")},
                                     folder.path());
    QCOMPARE(run.status, 0);
    QVERIFY2(!run.err.contains(QStringLiteral("Cannot open file")), qPrintable(run.err));
    const int width = readOutTextWidth(QImage(shortRun));
    // "FPS:" alone, as the window's description has it, is about 23 pixels at this font; a
    // space and one digit add at least 8.
    QVERIFY2(width >= 31, qPrintable(QString::number(width)));
}

void CommandLineGLTest::recordWritesEachFrame()
{
    QTemporaryDir folder;
    const QString frames = folder.filePath(QStringLiteral("made/by/record"));
    const ProgramRun run = runViewer({QStringLiteral("--record"), frames, QStringLiteral("--frames"),
                                      QStringLiteral("7"), QStringLiteral("--hour"), QStringLiteral("9"),
                                      QStringLiteral("--hours-per-frame"), QStringLiteral("2"), QStringLiteral("--day"),
                                      QStringLiteral("3"), QStringLiteral("--latitude"), QStringLiteral("45")},
                                     assetsFolder());
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const QStringList files = QDir(frames).entryList(QDir::Files, QDir::Name);
    QStringList expected;
    for (int i = 1; i <= 7; ++i)
        expected << QStringLiteral("frame-%1.png").arg(i, 5, 10, QLatin1Char('0'));
    QCOMPARE(files, expected);
    // Two hours a frame: the ground lit at 9 o'clock in frame 1 is dark at 21 o'clock in frame 7.
    const QImage first(QDir(frames).filePath(files.first()));
    const QImage last(QDir(frames).filePath(files.last()));
    QCOMPARE(first.size(), QSize(1012, 614));
    QCOMPARE(last.size(), QSize(1012, 614));
    const auto groundBrightness = [](const QImage& image) {
        double sum = 0;
        int n = 0;
        for (int y = 450; y < 614; y += 4)
            for (int x = 100; x < 1012; x += 4, ++n)
                sum += qGray(image.pixel(x, y));
        return sum / n;
    };
    const double morning = groundBrightness(first), night = groundBrightness(last);
    QVERIFY2(morning > 15.0 && night < 5.0, qPrintable(QStringLiteral("%1 %2").arg(morning).arg(night)));
}

// --size sets the picture's size; a path's one pose saved with --scene-only is the same scene as
// the clock alone gives, with no "Playing path" line over it; with the panels, the scene right
// of them is that scene too.
void CommandLineGLTest::savedPicturesHoldTheSceneAtItsSize()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("one.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("frame,x,y,z,yaw_degrees,pitch_degrees,roll_degrees,day,hour\n0,100,7,100,125,0,0,0,12\n");
    file.close();
    const QStringList size = {QStringLiteral("--size"), QStringLiteral("640x400")};
    const QStringList clock = {
        QStringLiteral("--hour"), QStringLiteral("12"),       QStringLiteral("--hours-per-frame"),
        QStringLiteral("0"),      QStringLiteral("--frames"), QStringLiteral("1")};
    const struct {
        const char* name;
        QStringList arguments;
    } runs[] = {{"played", QStringList{"--camera-path", path, "--scene-only"} + size},
                {"clock", clock + QStringList{"--scene-only"} + size},
                {"panels", clock + size}};
    std::vector<QImage> pictures;
    for (const auto& r : runs) {
        const QString frames = folder.filePath(QLatin1String(r.name));
        const ProgramRun run = runViewer(r.arguments + QStringList{"--record", frames}, assetsFolder());
        QVERIFY2(run.status == 0, qPrintable(run.err));
        pictures.emplace_back(QDir(frames).filePath(QStringLiteral("frame-00001.png")));
        QCOMPARE(pictures.back().size(), QSize(640, 400));
    }
    QCOMPARE(pictures[0].convertToFormat(QImage::Format_RGB32), pictures[1].convertToFormat(QImage::Format_RGB32));
    const QRect rightOfPanels(300, 0, 340, 400);
    QCOMPARE(pictures[2].copy(rightOfPanels).convertToFormat(QImage::Format_RGB32),
             pictures[1].copy(rightOfPanels).convertToFormat(QImage::Format_RGB32));
    // The panels are in the one and not in the other: the slider column's grey.
    QVERIFY(pictures[2].pixelColor(29, 150) != pictures[1].pixelColor(29, 150));
}

// A texture file that stops the build fails --screenshot and --record with its message and
// status 1, and nothing is written.
void CommandLineGLTest::badTextureFailsTheRun()
{
    QTemporaryDir folder;
    QFile empty(folder.filePath(QStringLiteral("LandTex1.bmp")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    const QString picture = folder.filePath(QStringLiteral("out.png"));
    const QString frames = folder.filePath(QStringLiteral("frames"));
    for (const QStringList& arguments : {QStringList{"--screenshot", picture}, QStringList{"--record", frames}}) {
        const ProgramRun run = runViewer(arguments, folder.path());
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("Bitmap image is not valid\nFile: ") +
                                  QDir::toNativeSeparators(empty.fileName())),
                 qPrintable(run.err));
    }
    QVERIFY(!QFile::exists(picture));
    QCOMPARE(QDir(frames).entryList(QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(CommandLineGLTest)
#include "CommandLineGLTest.moc"
