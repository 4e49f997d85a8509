#include "AllocatorTuning.h"
#include "CameraPath.h"
#include "CommandLine.h"
#include "DesktopIdentity.h"
#include "ElevationModel.h"
#include "GlPanel.h"
#include "GlView.h"
#include "GroundDescription.h"
#include "MainForm.h"
#include "Platform.h"
#include "Screenshots.h"
#include "ViewerError.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

void printError(const QString& message)
{
    std::fprintf(stderr, "terrain-viewer: %s\n", qPrintable(message));
}

// A run shorter than the read-out's second would save "FPS:" without a number: the read-out is
// taken once at the first saved picture, over the frames drawn since start-up.
void showFrameRateIfNone(TForm1& form)
{
    if (form.Panel2->text() == QLatin1String("FPS:"))
        form.TimerForFPSTimer();
}

// The pictures --screenshot and --record save: the scene as the frame drew it, without the
// mode line, messages, help or graph over it, with or without the panels.
PictureParts savedParts(const ViewerOptions& options)
{
    return options.sceneOnly ? PictureParts::SceneOnly : PictureParts::SceneWithPanels;
}

// A picture without its ground is no answer to --screenshot or --record: when the start-up
// stopped at an error (already reported on the error stream), the first frame ends the program
// with status 1 and nothing is saved.
bool endedByStartupError(TForm1& form, int* exitStatus)
{
    if (!form.startupError())
        return false;
    *exitStatus = 1;
    form.close();
    return true;
}

// --screenshot: after the given number of frames, save the last frame's scene (with the panels
// over it, unless --scene-only) and end the program with the status of the save.
void saveScreenshotAfterFrames(TForm1& form, const ViewerOptions& options, int* exitStatus)
{
    auto framesLeft = std::make_shared<int>(options.frames);
    QObject::connect(&form, &TForm1::frameDrawn, &form, [&form, options, exitStatus, framesLeft] {
        if (endedByStartupError(form, exitStatus) || --*framesLeft != 0)
            return;
        showFrameRateIfNone(form);
        QImageWriter writer(options.screenshotPath, options.screenshotFormat);
        if (writer.write(grabWindowImage(form, savedParts(options)))) {
            *exitStatus = 0;
        } else {
            printError(QStringLiteral("cannot write the screenshot '%1': %2")
                           .arg(options.screenshotPath, writer.errorString()));
            *exitStatus = 1;
        }
        form.close();
    });
}

// --record: each of the first frames is saved as frame-00001.png, frame-00002.png ... in the
// folder, then the program ends; a frame that cannot be written ends it at once with status 1.
void recordFrames(TForm1& form, const ViewerOptions& options, int* exitStatus)
{
    auto framesSaved = std::make_shared<int>(0);
    const QDir folder(options.recordFolder);
    QObject::connect(&form, &TForm1::frameDrawn, &form, [&form, options, folder, exitStatus, framesSaved] {
        if (*framesSaved >= options.frames || endedByStartupError(form, exitStatus))
            return;
        showFrameRateIfNone(form);
        const QString path = folder.filePath(
            QStringLiteral("frame-%1.png").arg(*framesSaved + 1, 5, 10, QLatin1Char('0')));
        QImageWriter writer(path, "PNG");
        if (!writer.write(grabWindowImage(form, savedParts(options)))) {
            printError(QStringLiteral("cannot write the frame '%1': %2").arg(path, writer.errorString()));
            *exitStatus = 1;
            form.close();
            return;
        }
        if (++*framesSaved == options.frames) {
            *exitStatus = 0;
            form.close();
        }
    });
}

// With the drawing timer held, until the window system shows the drawing surface (or ten
// seconds have passed), then the timer runs again.
void waitUntilShown(TForm1& form)
{
    form.TimerForDrawing->stop();
    QElapsedTimer waited;
    waited.start();
    while (!form.Panel1->surfaceVisible() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    form.TimerForDrawing->start();
}

// --hours-per-frame: the clock steps once after every frame instead of with TimerBigBen.
void advanceClockPerFrame(TForm1& form, float hours)
{
    form.TimerBigBen->stop();
    form.advanceClock(0.0f); // the "Time: " read-out of the first frame
    // Not after the frame that closed the window: its surface went with it.
    QObject::connect(&form, &TForm1::frameDrawn, &form, [&form, hours] {
        if (form.isVisible())
            form.advanceClock(hours);
    });
}

} // namespace

int main(int argc, char** argv)
{
    // Before anything allocates: the heap keeps the memory the GL driver frees after every
    // frame, instead of faulting it in again each frame.
    tuneAllocatorForDrawing();
    QCoreApplication::setApplicationName(QStringLiteral("terrain-viewer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TERRAIN_VIEWER_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    ViewerOptions options;
    int exitStatus = 0;
    if (!parseCommandLine(arguments, &options, &exitStatus))
        return exitStatus;
    // A camera path is read whole before anything is shown: a bad file draws nothing, and
    // makes no --record folder.
    std::vector<PathPose> path;
    // The ground a version-2 path was flown over (empty: the built-in hills); a version-1 path
    // does not say.
    std::optional<QString> pathGround;
    if (!options.cameraPathFile.isEmpty()) {
        try {
            CameraPathFile file = readCameraPathFile(options.cameraPathFile);
            path = std::move(file.poses);
            // The file's settings, unless the command line gives others.
            if (file.settings) {
                if (!options.latitudeDegrees)
                    options.latitudeDegrees = file.settings->latitudeDegrees;
                if (!options.axialTiltDegrees)
                    options.axialTiltDegrees = file.settings->axialTiltDegrees;
                if (!options.viewSize.isValid())
                    options.viewSize = file.settings->viewPixels;
                if (!options.viewDistanceGiven)
                    options.viewDistance = file.settings->viewDistance;
                pathGround = file.settings->groundName;
            }
        } catch (const ViewerError& error) {
            printError(QString::fromUtf8(error.what()));
            return 2;
        }
        // One frame per pose for --record (or --frames of them), the last pose for --screenshot.
        if (!options.screenshotPath.isEmpty())
            options.frames = 1;
        else if (!options.framesGiven || std::size_t(options.frames) > path.size())
            options.frames = int(path.size());
    }

    // A ground of the user's own is read and checked before anything is shown: a bad file
    // draws nothing, and --describe needs no display at all.
    std::optional<ElevationRequest> groundRequest;
    std::optional<ElevationModel> ground;
    if (!options.heightmapFile.isEmpty()) {
        groundRequest = ElevationRequest{options.heightmapFile.toStdString(), options.cellMetres, options.exaggeration,
                                         options.heightRangeMetres};
        try {
            ground = loadElevationModel(*groundRequest);
        } catch (const ViewerError& error) {
            printError(QString::fromUtf8(error.what()));
            return 2;
        }
        options.groundLatitude = ground->centreLatitude;
        options.groundLongitude = ground->centreLongitude;
        if (options.describe) {
            std::fputs(qPrintable(describeGround(*ground, options)), stdout);
            return 0;
        }
        for (const std::string& note : ground->notes)
            printError(QString::fromStdString(note));
    }
    // A path flown over another ground still plays, as positions over this one: said, not refused.
    if (!options.cameraPathFile.isEmpty()) {
        const QString shown = ground ? QString::fromStdString(ground->groundName()) : QString();
        if (pathGround && shown != *pathGround)
            printError(QStringLiteral("camera path %1 was flown over %2; this run shows %3")
                           .arg(QDir::toNativeSeparators(options.cameraPathFile),
                                pathGround->isEmpty() ? QStringLiteral("the built-in hills") : *pathGround,
                                shown.isEmpty() ? QStringLiteral("the built-in hills") : shown));
    }

    if (!makeRecordFolder(options))
        return 1;

    // No window and no GL call before both checks: without a display Qt would abort, and
    // without a context the first show would build textures with no GL to take them.
    if (const std::optional<QString> missing = missingDisplay()) {
        printError(*missing);
        return 1;
    }
    QSurfaceFormat::setDefaultFormat(viewSurfaceFormat());
    const std::unique_ptr<QApplication> application = openApplication(argc, argv);
    if (const std::optional<QString> missing = missingOpenGl(viewSurfaceFormat())) {
        printError(*missing);
        return 1;
    }
    setDesktopIdentity();
    try {
        TForm1 form;
        form.terrainPath = options.batchedTerrain ? TerrainPath::Batched : TerrainPath::Literal;
        // The drawing panel fills the window.
        if (options.viewSize.isValid())
            form.resize(options.viewSize);
        form.groundRequest = groundRequest;
        form.ground = std::move(ground);
        form.bumpOnGround = options.bumpOnGround;
        form.sky = options.physicalSky ? SkyKind::Physical : SkyKind::Classic;
        form.physicalSky.fixedExposureEv = options.exposureEv;
        form.viewDistance = options.viewDistance;
        form.lodRings = options.lodRings;
        if (!options.screenshotPath.isEmpty() || !options.recordFolder.isEmpty()) {
            // Nobody is there to close a message box: errors go to the standard error stream.
            form.showError = printError;
        }
        // Saving comes first among the frame's followers, so frame 1 shows the start hour.
        if (!options.screenshotPath.isEmpty())
            saveScreenshotAfterFrames(form, options, &exitStatus);
        if (!options.recordFolder.isEmpty())
            recordFrames(form, options, &exitStatus);
        form.show();
        if (form.started()) {
            form.Panel1->makeCurrent();
            applyStartClock(options, form.world);
            if (options.hoursPerFrame)
                advanceClockPerFrame(form, *options.hoursPerFrame);
            if (!path.empty()) {
                const bool saving = !options.screenshotPath.isEmpty() || !options.recordFolder.isEmpty();
                // Saved frames follow the poses one for one, with the ground where it was: no frame
                // step may go by undrawn before the surface shows.
                if (saving)
                    waitUntilShown(form);
                const PathPlayback::Mode mode = !options.screenshotPath.isEmpty() ? PathPlayback::Mode::LastPose
                                                : saving                          ? PathPlayback::Mode::Once
                                                                                  : PathPlayback::Mode::Loop;
                form.playPath(std::move(path), mode);
            }
        }
        QApplication::exec();
        if (!form.Panel1->failure().isEmpty())
            exitStatus = 1;
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString::fromStdString(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString());
    }
    return exitStatus;
}
