#include "MainForm.h"

#include "FramePhases.h"
#include "GlPanel.h"
#include "GlView.h"
#include "InputConversion.h"
#include "KeyCodes.h"
#include "KeyHelp.h"
#include "Platform.h"
#include "SceneMouse.h"
#include "TerrainBuild.h"
#include "TerrainDraw.h"
#include "WanderingBump.h"
#include "ui_MainForm.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <ctime>

TForm1* Form1 = nullptr;

std::uint32_t platformTickCount()
{
    // Milliseconds of the monotonic clock, cut to 32 bits: wraps like any such counter.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = std::uint64_t(now.tv_sec) * 1000u + std::uint64_t(now.tv_nsec) / 1000000u;
    return std::uint32_t(ms & 0xFFFFFFFFu);
}

void setStartupWorldSettings(TWorld& world)
{
    world.atmosphereHeight = 100000.0f;
    world.sunAngle = 2.0f;
    world.haloAngle = 22.0f;
}

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
    Panel1->setFormat(glViewFormat());
    Panel1->onInitialize = [this] { firstShow(); };

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

    // Overlays over the view, drawn into the frame; hidden until used. They never take the
    // mouse: a drag may start on them, and a click on the help panel reaches the scene, which
    // closes it.
    helpPanel = std::make_unique<SceneOverlay>(QStringLiteral("HelpPanel"), Qt::RichText, font());
    helpPanel->setText(keyHelpHtml());
    helpPanel->adjustSize();
    messagePanel = std::make_unique<SceneOverlay>(QStringLiteral("MessagePanel"), Qt::PlainText, font());
    modeLine = std::make_unique<SceneOverlay>(QStringLiteral("ModeLine"), Qt::PlainText, font());
    messageTimer_ = new QTimer(this);
    messageTimer_->setSingleShot(true);
    messageTimer_->setInterval(3000);
    connect(messageTimer_, &QTimer::timeout, this, [this] { messagePanel->hide(); });

    sceneMouse = new SceneMouse(Panel1, camera, speedFactor);
    sceneMouse->pressTaken = [this] {
        if (!helpPanel->isVisible())
            return false;
        helpPanel->hide();
        return true;
    };

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

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
    TimerForDrawing->stop();
    TimerForFPS->stop();
    TimerBigBen->stop();
    // The world and then the landscape are released by the state record's destructor, which
    // runs after this body: their GL objects need the panel's context, which lives until the
    // base widget deletes the panel after that.
    if (Panel1->initialized())
        Panel1->makeCurrent();
    if (Form1 == this)
        Form1 = nullptr;
}

QImage TForm1::grabWindowImage()
{
    QImage image(size() * devicePixelRatioF(), QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatioF());
    image.fill(palette().window().color());
    QPainter painter(&image);
    // The last frame is drawn again for the picture and read back before any swap: what a swap
    // leaves in the back buffer is the window system's. It has the last frame's view, so with
    // the clock and the keys unchanged since (as after the frames of --screenshot) it is that
    // frame to the pixel; the overlays are those shown now.
    if (Panel1->initialized()) {
        Panel1->makeCurrent();
        drawFrame(lastView_ ? *lastView_ : SceneView{camera.position, camera.target, camera.up});
        painter.drawImage(Panel1->pos(), Panel1->readFramebuffer());
    }
    // Each panel is a window of its own over the scene: the screen shows its pixels as Qt
    // paints them into the panel's own background, not blended over the scene below.
    for (QWidget* panel : {static_cast<QWidget*>(Panel2), static_cast<QWidget*>(Panel3), static_cast<QWidget*>(Panel4),
                           static_cast<QWidget*>(Panel5)})
        painter.drawImage(panel->mapTo(this, QPoint()), panel->grab().toImage());
    painter.end();
    return image;
}

void TForm1::drawFrame(const SceneView& view)
{
    drawScene(view);
    drawSceneOverlays({modeLine.get(), messagePanel.get(), helpPanel.get()}, Panel1->pixelSize(),
                      Panel1->devicePixelRatioF());
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
    reportError(message);
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
        const QString message = QString::fromStdString(error.what());
        QTimer::singleShot(0, this, [this, message] { reportError(message); });
    } catch (...) {
        QTimer::singleShot(0, this, [this] { reportError(QString()); });
    }
    // Whether the surface can mark the ground for the sky (drawScene).
    GLint stencilBits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    stencilBits_ = stencilBits;
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
    initRenderState(Panel1);
    glView.setPerspective(45.0f, 50.0f);
    world.setHour(5.0f);
    setStartupWorldSettings(world);
    world.init();
    worldReady_ = true;

    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 7.0f);
    glFogf(GL_FOG_END, 45.0f);
    const GLfloat fogColour[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    glFogfv(GL_FOG_COLOR, fogColour);

    // A texture that cannot be read stops the build. The window is still brought into a
    // usable state (camera placed, controls filled) before the error goes on to be shown; the
    // frame then draws the sky without terrain.
    try {
        buildLandscape(*this);
    } catch (...) {
        placeCameraAndControls();
        throw;
    }
    placeCameraAndControls();
}

void TForm1::placeCameraAndControls()
{
    camera.setPosition(100.0, 7.0, 100.0);
    camera.setAngles(125.0, 0.0, 0.0);
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
        layoutOverlays();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QWidget::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    std::uint16_t key = virtualKeyFromQt(keyEvent->key());
    if (key == 0)
        return false;
    if (watched == windowHandle()) {
        if (type == QEvent::KeyPress) {
            runHandler([this, &key] { FormKeyDown(key); });
            // The added keys act once per press: a held F12 saves one picture, not one per repeat.
            if (!keyEvent->isAutoRepeat())
                runHandler([this, key] { addedKeyDown(key); });
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
            camera.enterOrbit(bumpApex, 3.0);
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

void TForm1::addedKeyDown(std::uint16_t key)
{
    if (key == vk::Home)
        goHome();
    else if (key == vk::F1)
        toggleHelp();
    else if (key == vk::F11)
        toggleFullScreen();
    else if (key == vk::F12)
        saveScreenshot();
}

void TForm1::goHome()
{
    // The start-up's placement: out of orbit first, so the position is the eye's and the
    // angles anchor the target one unit ahead of it.
    if (camera.orbiting)
        camera.leaveOrbit();
    camera.setPosition(100.0, 7.0, 100.0);
    camera.setAngles(125.0, 0.0, 0.0);
    updateModeLine();
}

void TForm1::toggleHelp()
{
    helpPanel->setVisible(!helpPanel->isVisible());
    if (helpPanel->isVisible())
        layoutOverlays();
}

void TForm1::toggleFullScreen()
{
    // A window manager resizes a full-screen window itself; without one the state alone
    // changes nothing, so the window is also placed over its screen and put back. A Wayland
    // compositor always sizes it, and a size set around the change there is taken as the
    // window's own: it would come back from full screen at the screen's size (and Qt 5 on
    // Mesa's software rasteriser can crash in the swap of a window larger than the screen).
    if (waylandPlatform()) {
        if (isFullScreen())
            showNormal();
        else
            showFullScreen();
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

QString TForm1::screenshotFolder()
{
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::currentPath();
}

QString TForm1::saveScreenshot()
{
    const QDir folder(screenshotFolder());
    const QString stem = QStringLiteral("terrain-viewer-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // Two pictures within one second do not overwrite each other.
    QString path = folder.filePath(stem + QStringLiteral(".png"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(stem + QStringLiteral("-%1.png").arg(n));
    QImageWriter writer(path, "png");
    if (!writer.write(grabWindowImage())) {
        showOverlayMessage(
            QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), writer.errorString()));
        return QString();
    }
    showOverlayMessage(QStringLiteral("Saved ") + QDir::toNativeSeparators(path));
    return path;
}

void TForm1::showOverlayMessage(const QString& text)
{
    messagePanel->setText(text);
    messagePanel->adjustSize();
    layoutOverlays();
    messagePanel->show();
    messageTimer_->start();
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
    return modes.join(QStringLiteral("  |  "));
}

void TForm1::updateModeLine()
{
    const QString text = modeLineText();
    if (text.isEmpty()) {
        modeLine->hide();
        return;
    }
    if (modeLine->text() != text) {
        modeLine->setText(text);
        modeLine->adjustSize();
        layoutOverlays();
    }
    modeLine->show();
}

void TForm1::layoutOverlays()
{
    // The help in the middle of the view, messages at the top middle, clear of the panel
    // column on the left, the mode line in the bottom-left corner.
    const int w = Panel1->width(), h = Panel1->height();
    helpPanel->move(std::max(0, (w - helpPanel->width()) / 2), std::max(0, (h - helpPanel->height()) / 2));
    messagePanel->move(std::max(0, (w - messagePanel->width()) / 2), 8);
    modeLine->move(4, std::max(0, h - modeLine->height() - 4));
}

void TForm1::releaseHeldKeys()
{
    std::fill(std::begin(KeyState), std::end(KeyState), false);
    sceneMouse->endDrag();
    updateModeLine();
}

void TForm1::deliverDueBigBenTicks()
{
    for (std::uint32_t ticks = bigBenCatchUp.dueTicks(tickCount()); ticks > 0; --ticks)
        TimerBigBenTimer();
}

void TForm1::FormKeyUp(std::uint16_t& key)
{
    KeyState[key & 0xFF] = false;
}

void TForm1::TimerForDrawingTimer()
{
    const auto k = [this](std::uint16_t key) { return keyHeld(key) ? 1 : 0; };
    const double s = speedFactor;
    const double forwardAmount = (k(vk::Up) - k(vk::Down)) * s;
    const double rightAmount = (k(vk::Right) - k(vk::Left)) * s;
    if (horizontalMove)
        camera.moveHorizontal(forwardAmount, rightAmount);
    else
        camera.move(forwardAmount, (k(vk::Space) - k(vk::Control)) * s, rightAmount);
    camera.turnYaw(k(vk::letter('D')) - k(vk::letter('A')));
    camera.turnPitch(k(vk::letter('W')) - k(vk::letter('S')));
    camera.turnRoll(k(vk::letter('E')) - k(vk::letter('Q')));

    // The view is taken before the bump's walk, which re-aims an orbiting camera: the frame
    // looks along the camera as it was after the keys, and draws the terrain window around
    // the eye as the walk left it. The walk makes no GL call, so it may come before the
    // drawing without changing a pixel.
    const SceneView view{camera.position, camera.target, camera.up};
    walkWanderingBump(*this);
    markFramePhase(FramePhase::BumpCpu);

    // A frame nobody can see is not drawn: the steps above keep the state as it would be.
    const bool drawn = Panel1->surfaceVisible();
    if (drawn) {
        Panel1->makeCurrent();
        drawFrame(view);
        lastView_ = view;
        glView.swapBuffers();
        markFramePhase(FramePhase::Swap);
    }
    ++frameCount;
    if (drawn)
        emit frameDrawn();
    emit frameStepped();
}

void TForm1::drawScene(const SceneView& view)
{
    const bool drawSky = !keyHeld(vk::letter('K')) && worldReady_;
    const bool skyBehind = drawSky && skyBehindGround && stencilBits_ > 0;
    if (!skyBehind) {
        beginFrame();
        lookAlong(view);
        if (drawSky)
            world.render();
        markFramePhase(FramePhase::Sky);
        drawTerrain(*this);
        markFramePhase(FramePhase::ColourPasses);
        return;
    }

    // The sky drawn first paints every pixel (0, 0, 0, 0) with its black sphere, shades the
    // sky over that, and the terrain's depth pass then paints black again over each pixel it
    // covers. Here the frame is cleared to that black, the depth pass goes first (its black
    // would change no pixel, so its colour writes are masked) and marks each pixel it passed
    // at with 1 in the stencil, and the sky is drawn only where the mark is 0, without its
    // black sphere (TWorld::renderOverBlack). Shaded and blended over the same black, each sky
    // pixel it keeps is the one the sky drawn first would leave, every other pixel is the
    // depth pass's black, and the light and fog colours are set before the colour passes as
    // before. Unlike a depth test at the far plane, the mark also spares ground that lies
    // exactly at the far plane's depth. Afterwards the stencil test is off again, with its
    // function and operations at their defaults.
    const float black[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    beginFrameWithStencil(black);
    lookAlong(view);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    drawTerrainDepth(*this);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glStencilFunc(GL_EQUAL, 0, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    world.renderOverBlack();
    glStencilFunc(GL_ALWAYS, 0, 0xFF);
    glDisable(GL_STENCIL_TEST);
    // The colour passes start from the current colour the depth pass leaves, as they do when
    // the sky comes first (no pixel depends on it: they draw with a colour array).
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    markFramePhase(FramePhase::Sky);
    drawTerrainColour(*this);
    markFramePhase(FramePhase::ColourPasses);
}

void TForm1::lookAlong(const SceneView& view)
{
    gluLookAt(view.eye.x, view.eye.y, view.eye.z, view.centre.x, view.centre.y, view.centre.z, view.up.x, view.up.y,
              view.up.z);
    markFramePhase(FramePhase::Camera);
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

void TForm1::TimerBigBenTimer()
{
    advanceClock(float(kFastHoursPerTick * (keyHeld(vk::letter('P')) ? 1 : 0) + double(kHoursPerTick)));
}

void TForm1::advanceClock(float hours)
{
    if (!timeFrozen) {
        // The clock composes its sun matrix on GL's matrix stack.
        Panel1->makeCurrent();
        world.advance(hours);
    }
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
    if (worldReady_) {
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
