#include "MainForm.h"

#include "GlPanel.h"
#include "FramePhases.h"
#include "GlView.h"
#include "InputConversion.h"
#include "KeyCodes.h"
#include "TerrainBuild.h"
#include "TerrainDraw.h"
#include "WanderingBump.h"
#include "ui_MainForm.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>
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

    connect(TimerForDrawing, &QTimer::timeout, this, [this] { runHandler([this] { TimerForDrawingTimer(); }); });
    connect(TimerForFPS, &QTimer::timeout, this, [this] { runHandler([this] { TimerForFPSTimer(); }); });
    connect(TimerBigBen, &QTimer::timeout, this, [this] { runHandler([this] { TimerBigBenTimer(); }); });
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

    tickCount = platformTickCount;
    showError = [this](const QString& message) {
        // On the heap and guarded: should the window be destroyed while its box is open, it
        // takes the box along, and exec() returns without touching either.
        QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(),
                                                    message, QMessageBox::Ok, this);
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
    // The frame's colour as drawn, its alpha ignored: the window shows the panel opaque. A
    // format conversion would treat the colour as premultiplied by that alpha and divide by
    // it, so the same bytes are read again as a format without alpha.
    const QImage frame = Panel1->grabFramebuffer();
    const QImage::Format opaqueFormat =
        frame.format() == QImage::Format_RGBA8888_Premultiplied || frame.format() == QImage::Format_RGBA8888
            ? QImage::Format_RGBX8888
            : QImage::Format_RGB32;
    const QImage opaque(frame.constBits(), frame.width(), frame.height(), frame.bytesPerLine(), opaqueFormat);
    painter.drawImage(Panel1->pos(), opaque);
    for (QWidget* panel : {static_cast<QWidget*>(Panel2), static_cast<QWidget*>(Panel3),
                           static_cast<QWidget*>(Panel4), static_cast<QWidget*>(Panel5)})
        // Each panel is a window of its own over the scene: the screen shows its pixels as Qt
        // paints them, without blending the partly transparent ones over what lies below.
        painter.drawImage(panel->mapTo(this, QPoint()), panel->grab().toImage().convertToFormat(QImage::Format_RGB32));
    painter.end();
    return image;
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
    TimerForDrawing->start();
    TimerForFPS->start();
    TimerBigBen->start();
}

void TForm1::FormShow()
{
    initRenderState(Panel1);
    glView.setPerspective(45.0f, 50.0f);
    world.setHour(5.0f);
    world.atmosphereHeight = 100000.0f;
    world.sunAngle = 2.0f;
    world.haloAngle = 22.0f;
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
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QWidget::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    std::uint16_t key = virtualKeyFromQt(keyEvent->key());
    if (key == 0)
        return false;
    if (watched == windowHandle()) {
        if (type == QEvent::KeyPress) {
            runHandler([this, &key] { FormKeyDown(key); });
        } else if (!keyEvent->isAutoRepeat()) {
            // X11 auto-repeat sends a release before every repeated press; a held key stays held.
            runHandler([this, &key] { FormKeyUp(key); });
        }
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
    if (Panel1->surfaceVisible()) {
        Panel1->makeCurrent();
        drawScene(view);
        glView.swapBuffers();
        markFramePhase(FramePhase::Swap);
    }
    ++frameCount;
    emit frameDrawn();
}

void TForm1::drawScene(const SceneView& view)
{
    const bool drawSky = !keyHeld(vk::letter('K')) && worldReady_;
    const bool skyBehind = drawSky && skyBehindGround && stencilBits_ > 0;
    if (skyBehind)
        beginFrameWithStencil();
    else
        beginFrame();
    gluLookAt(view.eye.x, view.eye.y, view.eye.z, view.centre.x, view.centre.y, view.centre.z, view.up.x, view.up.y,
              view.up.z);
    markFramePhase(FramePhase::Camera);
    if (!skyBehind) {
        if (drawSky)
            world.render();
        markFramePhase(FramePhase::Sky);
        drawTerrain(*this);
        markFramePhase(FramePhase::ColourPasses);
        return;
    }

    // The depth pass paints every pixel it covers black, over whatever the sky put there, so
    // the sky is drawn only where it did not draw: each pixel a depth-pass fragment passed
    // at is marked 1 in the stencil buffer, and the sky is kept where the mark is 0. Shaded
    // and blended over the same cleared colour, each sky pixel it keeps is the one the sky
    // drawn first would leave, and every other pixel is the depth pass's black. Unlike a
    // depth test at the far plane this also spares ground that lies exactly at the far
    // plane's depth. Afterwards the stencil test is off again, with its function and
    // operations at their defaults; the stencil was cleared with the frame.
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    drawTerrainDepth(*this);
    glStencilFunc(GL_EQUAL, 0, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    world.render();
    glStencilFunc(GL_ALWAYS, 0, 0xFF);
    glDisable(GL_STENCIL_TEST);
    markFramePhase(FramePhase::Sky);
    drawTerrainColour(*this);
    markFramePhase(FramePhase::ColourPasses);
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
    if (!timeFrozen) {
        // The clock composes its sun matrix on GL's matrix stack.
        Panel1->makeCurrent();
        world.advance(float(0.2 * (keyHeld(vk::letter('P')) ? 1 : 0) + double(0.005f)));
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
