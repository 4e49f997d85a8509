#include "MainForm.h"

#include "CameraPath.h"
#include "CommandLine.h"
#include "FrameTimeGraph.h"
#include "GlPanel.h"
#include "KeyCodes.h"
#include "Platform.h"
#include "SceneStartup.h"
#include "Screenshots.h"
#include "TerrainBuild.h"
#include "ViewOverlays.h"
#include "WanderingBump.h"

#include <QDir>
#include <QResizeEvent>
#include <QScreen>
#include <QWindow>
#include <algorithm>

// The window's actions of the keys the key table leaves without one (README's "Own" rows):
// each runs once per press, from the key filter, after FormKeyDown has set the key's flag.

// The keys the key table leaves free, given actions of their own.
void TForm1::freeKeyDown(std::uint16_t key)
{
    // A flight key or Home gives the camera back to the user.
    static const std::uint16_t flightKeys[] = {vk::Up,          vk::Down,        vk::Left,        vk::Right,
                                               vk::Space,       vk::Control,     vk::letter('A'), vk::letter('D'),
                                               vk::letter('W'), vk::letter('S'), vk::letter('Q'), vk::letter('E'),
                                               vk::letter('F'), vk::Home};
    if (playback_ && std::find(std::begin(flightKeys), std::end(flightKeys), key) != std::end(flightKeys)) {
        playback_.reset();
        updateModeLine();
    }
    if (key == vk::Home)
        goHome();
    else if (key == vk::F1)
        overlays->toggleHelp();
    else if (key == vk::F3)
        toggleFrameGraph();
    else if (key == vk::F5)
        reloadTextures();
    else if (key == vk::F9)
        toggleRecording();
    else if (key == vk::PageUp)
        stepHour(0.5f);
    else if (key == vk::PageDown)
        stepHour(-0.5f);
    else if (key == vk::F11)
        toggleFullScreen();
    else if (key == vk::F12)
        showScreenshotNote(saveScreenshot(*this));
    else if (key == vk::letter('Y'))
        toggleSky();
    else if (key == vk::Comma)
        scaleViewDistance(0.5);
    else if (key == vk::Period)
        scaleViewDistance(2.0);
}

void TForm1::toggleSky()
{
    sky = sky == SkyKind::Classic ? SkyKind::Physical : SkyKind::Classic;
    overlays->showMessage(sky == SkyKind::Physical ? QStringLiteral("Physical sky") : QStringLiteral("Classic sky"));
}

// The frame applies the new distance (far plane and fog) before it draws.
void TForm1::scaleViewDistance(double factor)
{
    viewDistance = float(std::clamp(double(viewDistance) * factor, kMinViewDistance, kMaxViewDistance));
    overlays->showMessage(QStringLiteral("View distance %1").arg(double(viewDistance)));
}

void TForm1::goHome()
{
    // Out of orbit first, so the position is the eye's and the angles anchor the target one
    // unit ahead of it.
    placeHomeCamera(*this);
    updateModeLine();
}

void TForm1::reloadTextures()
{
    Panel1->makeCurrent();
    try {
        reloadLandscapeTextures(*this);
    } catch (const std::exception& error) {
        if (!landscapeBuilt)
            showGroundMissing(QString::fromStdString(error.what()));
        throw;
    }
    overlays->setGroundLine(QString());
    overlays->showMessage(QStringLiteral("Loaded LandTex0.bmp to LandTex3.bmp again"));
}

void TForm1::showGroundMissing(const QString& reason)
{
    overlays->setGroundLine(
        QStringLiteral("The ground is missing: %1\nMend the file and press F5 to load the textures again.")
            .arg(reason));
}

void TForm1::toggleRecording()
{
    if (recorder_.recording())
        overlays->showMessage(QStringLiteral("Saved path ") + QDir::toNativeSeparators(recorder_.stop()));
    else
        startRecording(
            unusedFileName(screenshotFolder(), QStringLiteral("terrain-viewer-path-"), QStringLiteral(".csv")));
    updateModeLine();
}

void TForm1::startRecording(const QString& path)
{
    recorder_.start(path, PathSettings{world.latitude, world.axialTilt, Panel1->size(), viewDistance,
                                       ground ? QString::fromStdString(ground->groundName()) : QString()});
    updateModeLine();
}

void TForm1::showScreenshotNote(const QString& path)
{
    screenshotNote_ = QStringLiteral("Saved ") + QDir::toNativeSeparators(path);
    overlays->showMessage(screenshotNote_);
}

void TForm1::playPath(std::vector<PathPose> poses, PathPlayback::Mode mode)
{
    playback_.emplace(std::move(poses), mode);
    while (frameSteps < playback_->startFrame()) {
        stepWanderingBump(*this);
        ++frameSteps;
    }
    updateModeLine();
}

void TForm1::toggleFrameGraph()
{
    if (frameGraph_) {
        if (instruments == &frameGraph_->instruments())
            instruments = nullptr;
        frameGraph_.reset();
        return;
    }
    frameGraph_ = std::make_unique<FrameTimeGraph>(font());
    // Measured by whoever measures already (the benchmark), else by the graph.
    if (!instruments)
        instruments = &frameGraph_->instruments();
    frameGraph_->layout(Panel1->size());
}

void TForm1::stepHour(float hours)
{
    Panel1->makeCurrent();
    if (hours >= 0.0f)
        world.advance(hours);
    else
        world.goBack(-hours);
    showClock();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Qt's xdg-shell code brings a window back from full screen at the frame it had when it
    // went, less the decoration's margins. With F11 pressed faster than the compositor
    // answers, it has been seen to take that frame without the margins: the window came back
    // that much smaller. Coming back at exactly that size, the window is put back at its own,
    // once; at its own size it is back; any other size is the compositor's (a tiling one sizes
    // its windows) and stays. The screen's own size is a full-screen frame's, still arriving.
    if (!waylandComingBack_ || isFullScreen() || isMaximized() || size() == screen()->geometry().size())
        return;
    const QMargins frame = windowHandle()->frameMargins();
    const QSize lessFrame = waylandNormalSize_ - QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    if (size() == lessFrame && !waylandPutBack_) {
        waylandPutBack_ = true;
        resize(waylandNormalSize_);
        return;
    }
    waylandComingBack_ = false;
}

void TForm1::toggleFullScreen()
{
    // A window manager resizes a full-screen window itself; without one the state alone
    // changes nothing, so the window is also placed over its screen and put back. A Wayland
    // compositor always sizes it, and a size set around the change there is taken as the
    // window's own: it would come back from full screen at the screen's size (and Qt 5 on
    // Mesa's software rasteriser can crash in the swap of a window larger than the screen).
    if (waylandPlatform()) {
        if (isFullScreen()) {
            showNormal();
        } else {
            // Pressed again before the window is back, its size before is still the one from
            // the last time.
            if (!waylandComingBack_)
                waylandNormalSize_ = size();
            waylandComingBack_ = true;
            waylandPutBack_ = false;
            showFullScreen();
        }
        return;
    }
    if (isFullScreen()) {
        showNormal();
        setGeometry(normalGeometry_);
    } else {
        normalGeometry_ = geometry();
        // Placed first: a geometry set on a full-screen window takes it out of full screen.
        setGeometry(screen()->geometry());
        showFullScreen();
    }
}
