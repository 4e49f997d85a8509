#include "AllocatorTuning.h"
#include "CommandLine.h"
#include "GlPanel.h"
#include "GlView.h"
#include "MainForm.h"

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <cstdio>
#include <memory>

namespace {

// --screenshot: after the given number of frames, save the window as the user sees it (the
// scene with the panels over it) and end the program with the status of the save.
void saveScreenshotAfterFrames(TForm1& form, const ViewerOptions& options, int* exitStatus)
{
    // Nobody is there to close a message box: errors go to the standard error stream.
    form.showError = [](const QString& message) {
        std::fprintf(stderr, "terrain-viewer: %s\n", qPrintable(message));
    };
    auto framesLeft = std::make_shared<int>(options.frames);
    QObject::connect(&form, &TForm1::frameDrawn, &form, [&form, options, exitStatus, framesLeft] {
        // Only frames the window system showed were drawn; the picture is taken from those.
        if (!form.Panel1->surfaceVisible() || --*framesLeft != 0)
            return;
        const QImage image = form.grabWindowImage();
        if (image.save(options.screenshotPath, "PNG")) {
            *exitStatus = 0;
        } else {
            std::fprintf(stderr, "terrain-viewer: cannot write the screenshot '%s'\n",
                         qPrintable(options.screenshotPath));
            *exitStatus = 1;
        }
        form.close();
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

    QSurfaceFormat::setDefaultFormat(glViewFormat());
    QApplication application(argc, argv);
    try {
        TForm1 form;
        Form1 = &form;
        form.terrainPath = options.batchedTerrain ? TerrainPath::Batched : TerrainPath::Literal;
        if (!options.screenshotPath.isEmpty())
            saveScreenshotAfterFrames(form, options, &exitStatus);
        form.show();
        if (options.startHour >= 0.0f && form.started()) {
            // The start-up set hour 5 on day 0; the clock restarts at the hour asked for.
            form.Panel1->makeCurrent();
            form.world.setHour(options.startHour);
        }
        QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString::fromStdString(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString());
    }
    return exitStatus;
}
