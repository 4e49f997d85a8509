#include "MainForm.h"

#include "CameraPath.h"
#include "FrameInstruments.h"
#include "FrameTimeGraph.h"
#include "GlPanel.h"
#include "GlView.h"
#include "GroundDescription.h"
#include "InputConversion.h"
#include "KeyCodes.h"
#include "Platform.h"
#include "SceneMouse.h"
#include "SceneStartup.h"
#include "ViewOverlays.h"
#include "ViewerError.h"
#include "WanderingBump.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

TForm1::TForm1(QWidget* owner) : QWidget(owner), ui(std::make_unique<Ui::MainForm>())
{
    ui->setupUi(this);
    Panel1 = ui->Panel1;
    Panel2 = ui->Panel2;
    Panel3 = ui->Panel3;
    Panel4 = ui->Panel4;
    Panel5 = ui->Panel5;
    TrackBar1 = ui->TrackBar1;
    TrackBar2 = ui->TrackBar2;
    TrackBar3 = ui->TrackBar3;
    Label1 = ui->Label1;
    Label2 = ui->Label2;
    Label3 = ui->Label3;
    Label4 = ui->Label4;
    Label5 = ui->Label5;
    Label6 = ui->Label6;
    Label7 = ui->Label7;
    Edit1 = ui->Edit1;
    Button1 = ui->Button1;

    // The form description places the window; a top-level geometry's position is not applied
    // by the form loader, so it is applied here.
    move(221, 112);
    // 8-point text, 11 pixels high at 96 dpi. Liberation Sans has the narrow metrics the
    // captions were laid out for ("Atm. height (m):" fits its 89-pixel column); where it is
    // missing, the platform's sans-serif stands in.
    QFont textFont(QStringLiteral("Liberation Sans"));
    textFont.setStyleHint(QFont::SansSerif);
    textFont.setPixelSize(11);
    setFont(textFont);
    // Labels are as wide as their captions, whatever the font makes of them.
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6, Label7})
        label->adjustSize();

    // Qt fixes the surface format when it creates the panel's context, on the first show.
    Panel1->setFormat(viewSurfaceFormat());
    Panel1->onInitialize = [this] { firstShow(); };
    // Queued: the failure may come from inside the first show, where no box may run its loop.
    connect(Panel1, &GlPanel::contextFailed, this, &TForm1::endWithoutContext, Qt::QueuedConnection);

    TimerForDrawing = new QTimer(this);
    TimerForDrawing->setObjectName(QStringLiteral("TimerForDrawing"));
    TimerForDrawing->setInterval(10);
    TimerForDrawing->setTimerType(Qt::PreciseTimer);
    TimerForFPS = new QTimer(this);
    TimerForFPS->setObjectName(QStringLiteral("TimerForFPS"));
    TimerForFPS->setInterval(1000);
    TimerBigBen = new QTimer(this);
    TimerBigBen->setObjectName(QStringLiteral("TimerBigBen"));
    TimerBigBen->setInterval(10);
    TimerBigBen->setTimerType(Qt::PreciseTimer);
    connectHandlers();

    // Overlays over the view, drawn into the frame; hidden until used. They never take the
    // mouse: a drag may start on them, and a click on the help panel reaches the scene, which
    // closes it.
    overlays = std::make_unique<ViewOverlays>(font());
    sceneMouse = new SceneMouse(Panel1, camera, speedFactor);
    sceneMouse->pressTaken = [this] { return overlays->hideHelp(); };

    tickCount = platformTickCount;
    showError = [this](const QString& message) {
        // On the heap and guarded: should the window be destroyed while its box is open, it
        // takes the box along, and exec() returns without touching either.
        QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(), message,
                                                    QMessageBox::Ok, this);
        box->exec();
        delete box;
    };
}

void TForm1::connectHandlers()
{
    connect(TimerForDrawing, &QTimer::timeout, this, [this] {
        runHandler([this] { TimerForDrawingTimer(); });
        updateModeLine();
    });
    connect(TimerForFPS, &QTimer::timeout, this, [this] { runHandler([this] { TimerForFPSTimer(); }); });
    // A 10 ms timer whose handler waits behind a longer frame fires once per frame; the ticks
    // that fell due meanwhile are delivered with it, so simulated time keeps its rate.
    connect(TimerBigBen, &QTimer::timeout, this, [this] { runHandler([this] { deliverDueBigBenTicks(); }); });
    connect(TrackBar1, &QSlider::valueChanged, this, [this] { runHandler([this] { TrackBar1Change(); }); });
    connect(TrackBar2, &QSlider::valueChanged, this, [this] { runHandler([this] { TrackBar2Change(); }); });
    connect(TrackBar3, &QSlider::valueChanged, this, [this] { runHandler([this] { TrackBar3Change(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { runHandler([this] { Button1Click(); }); });

    // Key preview: the window's key handlers see every key before the focused control. Keys
    // reach the window's QWindow first and are then handed to the focused widget, so a filter
    // on that QWindow sees each key exactly once, ahead of every control. The field's own
    // key-down handler filters the field and so runs after the window's.
    qApp->installEventFilter(this);
    Edit1->installEventFilter(this);
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
    TimerForDrawing->stop();
    TimerForFPS->stop();
    TimerBigBen->stop();
    // The world and then the landscape are released by the state record's destructor, which
    // runs after this body: their GL objects need the panel's context, which lives until the
    // base widget deletes the panel after that. Without a context they go with it.
    if (Panel1->initialized() && Panel1->failure().isEmpty()) {
        try {
            Panel1->makeCurrent();
        } catch (const ViewerError&) {
        }
    }
}

void TForm1::drawFrame(const SceneView& view)
{
    drawScene(*this, view, keyHeld(vk::letter('K')));
    drawOverlays(true);
}

void TForm1::drawLastFrameAgain(bool withOverlays)
{
    if (lastFrame_)
        drawSceneAgain(*this, *lastFrame_);
    else
        drawScene(*this, viewAlong(camera), keyHeld(vk::letter('K')));
    if (withOverlays)
        drawOverlays(overlays->messagePanel.text() != screenshotNote_);
}

void TForm1::drawOverlays(bool withMessage)
{
    const qreal ratio = Panel1->devicePixelRatioF();
    // The graph under the boxes of text; hidden, its textures are let go.
    overlayTextures.draw(frameGraph_ ? frameGraph_->pictures(ratio) : std::vector<OverlayPicture>(),
                         Panel1->pixelSize(), ratio);
    drawOverlayPictures(overlays->pictures(ratio, withMessage ? nullptr : &overlays->messagePanel), Panel1->pixelSize(),
                        ratio);
}

void TForm1::runHandler(const std::function<void()>& handler)
{
    QString message;
    try {
        handler();
        return;
    } catch (const std::exception& error) {
        message = QString::fromStdString(error.what());
    } catch (...) {
        message = QString();
    }
    // A context lost on the way is reported once, by endWithoutContext.
    if (!Panel1->failure().isEmpty())
        return;
    reportError(message);
}

void TForm1::endWithoutContext(const QString& message)
{
    TimerForDrawing->stop();
    TimerForFPS->stop();
    TimerBigBen->stop();
    reportError(message + QStringLiteral("\n") + QLatin1String(kNoScreenAdvice));
    close();
}

void TForm1::reportError(const QString& message)
{
    if (showingError_)
        return;
    showingError_ = true;
    // The box runs an event loop in which the window may be destroyed: the reporter is copied
    // out of it, and the flag is cleared only if the window is still there.
    const QPointer<TForm1> alive(this);
    const std::function<void(const QString&)> show = showError;
    show(message);
    if (alive)
        showingError_ = false;
}

void TForm1::firstShow()
{
    // Runs inside the first show, with the context current and before any timer is running.
    // An error is shown once the show has finished: a modal box must not run its event loop
    // inside the panel's GL initialisation.
    try {
        FormShow();
    } catch (const std::exception& error) {
        startupError_ = QString::fromStdString(error.what());
    } catch (...) {
        startupError_ = QString();
    }
    if (startupError_) {
        QTimer::singleShot(0, this, [this] { reportError(*startupError_); });
        if (!landscapeBuilt)
            showGroundMissing(*startupError_);
    }
    started_ = true;
    // The first frame-rate interval starts now, so the first read-out is a real rate.
    lastTick = tickCount();
    bigBenCatchUp.start(tickCount());
    TimerForDrawing->start();
    TimerForFPS->start();
    TimerBigBen->start();
}

void TForm1::FormShow()
{
    // A texture that cannot be read stops the scene's start-up in the terrain build. The
    // window is still brought into a usable state (camera placed, controls filled) before the
    // error goes on to be shown; the frame then draws the sky without terrain.
    try {
        startScene(*this, Panel1);
    } catch (...) {
        placeCameraAndControls();
        throw;
    }
    placeCameraAndControls();
}

void TForm1::placeCameraAndControls()
{
    placeHomeCamera(*this);
    // Positions from the strengths; the product is formed in double and truncated. A changed
    // position fires the slider's change handler, which writes position * 0.01 back.
    TrackBar1->setValue(int(std::trunc(double(world.scattering[0]) * 100.0)));
    TrackBar2->setValue(int(std::trunc(double(world.scattering[1]) * 100.0)));
    TrackBar3->setValue(int(std::trunc(double(world.scattering[2]) * 100.0)));
    UpdateTrackLabels();
    Edit1->setText(QString::number(qint64(std::trunc(double(world.atmosphereHeight)))));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowDeactivate && watched == this)
        releaseHeldKeys();
    else if (type == QEvent::Resize && watched == Panel1)
        overlays->layout(Panel1->size(),
                         Panel2->geometry() | Panel3->geometry() | Panel4->geometry() | Panel5->geometry());
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QWidget::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    std::uint16_t key = virtualKeyFromQt(keyEvent->key());
    if (key == 0)
        return false;
    if (watched == windowHandle()) {
        if (type == QEvent::KeyPress) {
            runHandler([this, &key] { FormKeyDown(key); });
            // The free keys act once per press: a held F12 saves one picture, not one per repeat.
            if (!keyEvent->isAutoRepeat())
                runHandler([this, key] { freeKeyDown(key); });
        } else if (!keyEvent->isAutoRepeat()) {
            // X11 auto-repeat sends a release before every repeated press; a held key stays held.
            runHandler([this, &key] { FormKeyUp(key); });
        }
        updateModeLine();
    } else if (watched == Edit1 && type == QEvent::KeyPress) {
        runHandler([this, &key] { Edit1KeyDown(key); });
    }
    return false; // never consumed: the focused control still gets the key
}

void TForm1::FormKeyDown(std::uint16_t& key)
{
    if (key == vk::letter('F')) {
        if (camera.orbiting)
            camera.leaveOrbit();
        else
            camera.enterOrbit(orbitPoint(*this), 3.0);
    } else if (key == vk::letter('L')) {
        horizontalMove = !horizontalMove;
    } else if (key == vk::letter('N')) {
        showNormals = !showNormals;
    } else if (key == vk::letter('T')) {
        timeFrozen = !timeFrozen;
    } else if (key == vk::letter('H')) {
        camera.setYaw(0.0);
    } else if (key == vk::letter('V')) {
        camera.setPitch(0.0);
    } else if (key == vk::letter('B')) {
        camera.setRoll(0.0);
    }
    KeyState[key & 0xFF] = true;
    if (key == vk::Escape)
        close();
}

void TForm1::layoutOverlays()
{
    overlays->layout(Panel1->size(), Panel2->geometry() | Panel3->geometry() | Panel4->geometry() | Panel5->geometry());
    if (frameGraph_)
        frameGraph_->layout(Panel1->size());
}

QString TForm1::modeLineText() const
{
    QStringList modes;
    if (camera.orbiting)
        modes << QStringLiteral("Orbit");
    if (timeFrozen)
        modes << QStringLiteral("Time frozen");
    if (keyHeld(vk::letter('P')))
        modes << QStringLiteral("Fast time");
    if (horizontalMove)
        modes << QStringLiteral("Horizontal move");
    if (recorder_.recording())
        modes << QStringLiteral("Recording path (%1 frames)").arg(recorder_.poses());
    if (playback_)
        modes << QStringLiteral("Playing path");
    if (ground) {
        // Which ground, where, and the day the clock shows.
        const CalendarDate date = world.calendarDate();
        modes << groundLine(*ground, world.realSun ? QStringLiteral("%1-%2-%3")
                                                         .arg(date.year)
                                                         .arg(date.month, 2, 10, QLatin1Char('0'))
                                                         .arg(date.day, 2, 10, QLatin1Char('0'))
                                                   : QStringLiteral("day %1").arg(world.day));
    }
    return modes.join(QStringLiteral("  |  "));
}

void TForm1::updateModeLine()
{
    overlays->setModeLine(modeLineText());
}

void TForm1::releaseHeldKeys()
{
    std::fill(std::begin(KeyState), std::end(KeyState), false);
    sceneMouse->endDrag();
    updateModeLine();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    TimerForDrawing->stop();
    TimerForFPS->stop();
    TimerBigBen->stop();
    // A recording is kept: every line is in the file already; closing it is all that is left.
    if (recorder_.recording())
        std::fprintf(stderr, "terrain-viewer: saved path %s\n", qPrintable(QDir::toNativeSeparators(recorder_.stop())));
    QWidget::closeEvent(event);
}

void TForm1::FormKeyUp(std::uint16_t& key)
{
    KeyState[key & 0xFF] = false;
}

void TForm1::TimerForDrawingTimer()
{
    if (frameGraph_)
        frameGraph_->frameStarted();
    FrameInput input;
    // The path's pose and clock stand for the keys' moves.
    input.pose = playback_ ? &playback_->next() : nullptr;
    input.skyHidden = keyHeld(vk::letter('K'));
    input.visible = Panel1->surfaceVisible();
    input.drawOverlays = [this] { drawOverlays(true); };
    if (input.visible || input.pose)
        Panel1->makeCurrent();
    const FrameRecord frame = runFrameStep(*this, input);
    if (frame.drawn)
        lastFrame_ = frame;
    if (input.pose)
        showSceneSettings();

    // The pose the frame was drawn with. A line that cannot be written has stopped the
    // recording; the frame's signals still go out before the error is reported.
    std::exception_ptr recordingFailed;
    if (recorder_.recording()) {
        try {
            recorder_.append(frame.pose);
        } catch (...) {
            recordingFailed = std::current_exception();
            updateModeLine();
        }
    }
    if (frame.drawn)
        emit frameDrawn();
    emit frameStepped();
    if (recordingFailed)
        std::rethrow_exception(recordingFailed);
}

void TForm1::showSceneSettings()
{
    // The controls follow the path's settings without writing them back: their change
    // handlers would round the strengths to the sliders' whole percentages.
    showClock();
    for (QSlider* slider : {TrackBar1, TrackBar2, TrackBar3}) {
        const QSignalBlocker blocker(slider);
        const int channel = slider == TrackBar1 ? 0 : slider == TrackBar2 ? 1 : 2;
        slider->setValue(int(std::trunc(double(world.scattering[channel]) * 100.0)));
    }
    UpdateTrackLabels();
    const QString height = QString::number(qint64(std::trunc(double(world.atmosphereHeight))));
    if (!Edit1->hasFocus() && Edit1->text() != height)
        Edit1->setText(height);
}

void TForm1::TimerForFPSTimer()
{
    // Unsigned 32-bit subtraction stays right across a wrap of the counter.
    const std::uint32_t elapsedMs = tickCount() - lastTick;
    float seconds = float(elapsedMs * 0.001);
    if (seconds == 0.0f)
        seconds = 0.001f;
    lastTick = tickCount();
    const auto fps = std::uint64_t(double(frameCount) / double(seconds));
    Panel2->setText(QStringLiteral("FPS: ") + QString::number(fps));
    frameCount = 0;
}

void TForm1::deliverDueBigBenTicks()
{
    for (std::uint32_t ticks = bigBenCatchUp.dueTicks(tickCount()); ticks > 0; --ticks)
        TimerBigBenTimer();
}

void TForm1::TimerBigBenTimer()
{
    advanceClock(float(kFastHoursPerTick * (keyHeld(vk::letter('P')) ? 1 : 0) + kHoursPerTick));
}

void TForm1::advanceClock(float hours)
{
    // A path played back sets the clock itself.
    if (!timeFrozen && !playback_) {
        // The clock composes its sun matrix on GL's matrix stack.
        Panel1->makeCurrent();
        world.advance(hours);
    }
    showClock();
}

void TForm1::showClock()
{
    Panel3->setText(QStringLiteral("Time: ") + QString::number(qint64(std::trunc(double(world.hour)))));
}

void TForm1::TrackBar1Change()
{
    world.scattering[0] = float(TrackBar1->value() * 0.01);
    UpdateTrackLabels();
}

void TForm1::TrackBar2Change()
{
    world.scattering[1] = float(TrackBar2->value() * 0.01);
    UpdateTrackLabels();
}

void TForm1::TrackBar3Change()
{
    world.scattering[2] = float(TrackBar3->value() * 0.01);
    UpdateTrackLabels();
}

void TForm1::UpdateTrackLabels()
{
    // The labels size themselves to their text, so "80%" is not cut to the width of "0".
    const std::pair<QLabel*, QSlider*> readOuts[3] = {{Label4, TrackBar1}, {Label5, TrackBar2}, {Label6, TrackBar3}};
    for (const auto& [label, slider] : readOuts) {
        label->setText(QString::number(slider->value()) + QStringLiteral("%"));
        label->adjustSize();
    }
}

void TForm1::Button1Click()
{
    // Rejected text throws here, before anything is changed or the focus moves.
    const float height = atmosphereHeightFromText(Edit1->text());
    world.atmosphereHeight = height;
    if (worldReady) {
        Panel1->makeCurrent();
        world.buildOpticalDepthTexture();
    }
    // Disabling the focused field takes the focus from it; no other control takes it by tab,
    // so none holds the focus afterwards and typed keys no longer edit the field.
    Edit1->setFocus();
    Edit1->setEnabled(false);
    Edit1->setEnabled(true);
}

void TForm1::Edit1KeyDown(std::uint16_t& key)
{
    if (key == vk::Return) {
        Edit1->setEnabled(false);
        Edit1->setEnabled(true);
    }
}
