#include "AllocatorTuning.h"
#include "CommandLine.h"
#include "GlPanel.h"
#include "GlView.h"
#include "MainForm.h"
#include "Platform.h"

#include <QApplication>
#include <QDir>
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

// --screenshot: after the given number of frames, save the window as the user sees it (the
// scene with the panels over it) and end the program with the status of the save.
void saveScreenshotAfterFrames(TForm1& form, const ViewerOptions& options, int* exitStatus)
{
    auto framesLeft = std::make_shared<int>(options.frames);
    QObject::connect(&form, &TForm1::frameDrawn, &form, [&form, options, exitStatus, framesLeft] {
        if (--*framesLeft != 0)
            return;
        showFrameRateIfNone(form);
        QImageWriter writer(options.screenshotPath, options.screenshotFormat);
        if (writer.write(form.grabWindowImage())) {
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
        if (*framesSaved >= options.frames)
            return;
        showFrameRateIfNone(form);
        const QString path = folder.filePath(
            QStringLiteral("frame-%1.png").arg(*framesSaved + 1, 5, 10, QLatin1Char('0')));
        QImageWriter writer(path, "PNG");
        if (!writer.write(form.grabWindowImage())) {
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

// --hours-per-frame: the clock steps once after every frame instead of with TimerBigBen.
void advanceClockPerFrame(TForm1& form, float hours)
{
    form.TimerBigBen->stop();
    form.advanceClock(0.0f); // the "Time: " read-out of the first frame
    QObject::connect(&form, &TForm1::frameDrawn, &form, [&form, hours] { form.advanceClock(hours); });
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

    // No window and no GL call before both checks: without a display Qt would abort, and
    // without a context the first show would build textures with no GL to take them.
    if (const std::optional<QString> missing = missingDisplay()) {
        printError(*missing);
        return 1;
    }
    QSurfaceFormat::setDefaultFormat(glViewFormat());
    const std::unique_ptr<QApplication> application = openApplication(argc, argv);
    if (const std::optional<QString> missing = missingOpenGl(glViewFormat())) {
        printError(*missing);
        return 1;
    }
    try {
        TForm1 form;
        Form1 = &form;
        form.terrainPath = options.batchedTerrain ? TerrainPath::Batched : TerrainPath::Literal;
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
        }
        QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString::fromStdString(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString());
    }
    return exitStatus;
}
