#include "FrameDriver.h"

#include "GlPanel.h"
#include "KeyCodes.h"
#include "MainForm.h"

#include <GL/gl.h>
#include <QEvent>
#include <QEventLoop>
#include <QOpenGLWidget>
#include <QTimer>
#include <stdexcept>

namespace {

double millisecondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

constexpr int kCompositionTimeoutMs = 10000;

} // namespace

FrameDriver::FrameDriver(TForm1& form, bool fly, bool phaseMarks) : form_(form), fly_(fly), phaseMarks_(phaseMarks)
{
    if (form_.instruments && phaseMarks_)
        throw std::logic_error("the frames are measured already: phase marks need --timing whole");
    if (!form_.instruments) {
        if (phaseMarks_)
            instruments_.phaseEnded = [this](FramePhase phase) { onMark(phase); };
        form_.instruments = &instruments_;
        ownInstruments_ = true;
    }
    if (QOpenGLWidget* composed = form_.Panel1->composedSurface()) {
        connect(composed, &QOpenGLWidget::frameSwapped, this, [this] {
            swappedAt_ = Clock::now();
            ++compositions_;
            if (waitLoop_)
                waitLoop_->quit();
        });
        connect(composed, &QOpenGLWidget::aboutToCompose, this, [this] { composeAt_ = Clock::now(); });
    } else {
        // A native window's frame is on its way to the screen once the swap has returned.
        connect(form_.Panel1, &GlPanel::presented, this, [this] {
            swappedAt_ = Clock::now();
            ++compositions_;
        });
    }
    if (form_.Panel1->composedSurface())
        form_.Panel1->composedSurface()->installEventFilter(this);
}

FrameDriver::~FrameDriver()
{
    if (form_.Panel1->composedSurface())
        form_.Panel1->composedSurface()->removeEventFilter(this);
    if (ownInstruments_)
        form_.instruments = nullptr;
}

const TerrainDrawCounters& FrameDriver::drawCounters() const
{
    return form_.instruments->counters;
}

void FrameDriver::onMark(FramePhase phase)
{
    glFinish();
    const Clock::time_point now = Clock::now();
    const int index = int(phase);
    if (index < 0 || index >= kFramePhaseCount)
        return;
    current_.phaseMs[index] = millisecondsBetween(lastMark_, now);
    current_.marked[index] = true;
    lastMark_ = now;
    if (phase == FramePhase::Swap)
        current_.frameMs = millisecondsBetween(frameStart_, now);
}

void FrameDriver::runFrameStep()
{
    current_ = FrameTimes{};
    frameStart_ = Clock::now();
    lastMark_ = frameStart_;
    form_.TimerForDrawingTimer();
    if (!phaseMarks_)
        glFinish();
    if (!current_.marked[int(FramePhase::Swap)])
        current_.frameMs = millisecondsBetween(frameStart_, Clock::now());
    frameDrawn_ = true;
}

bool FrameDriver::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == form_.Panel1->composedSurface() && event->type() == QEvent::Paint) {
        ++panelPaints_;
        if (tickPending_) {
            tickPending_ = false;
            // An exception must not cross Qt's event delivery: it is kept and rethrown by step().
            try {
                runFrameStep();
            } catch (const std::exception& e) {
                error_ = QString::fromStdString(e.what());
            } catch (...) {
                error_ = QStringLiteral("unknown exception in the frame step");
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

FrameTimes FrameDriver::step(PresentMode mode)
{
    if (fly_)
        form_.KeyState[vk::Up] = true;
    frameDrawn_ = false;
    error_.clear();
    const int compositionsBefore = compositions_;

    tickAt_ = Clock::now();
    if (mode == PresentMode::Outside) {
        runFrameStep();
    } else {
        tickPending_ = true;
        form_.Panel1->composedSurface()->update();
    }

    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    waitLoop_ = &loop;
    while (form_.Panel1->composedSurface() && compositions_ == compositionsBefore && error_.isEmpty()) {
        timeout.start(kCompositionTimeoutMs);
        loop.exec();
        if (!timeout.isActive())
            break;
    }
    waitLoop_ = nullptr;
    tickPending_ = false;

    if (!error_.isEmpty())
        throw std::runtime_error(error_.toStdString());
    if (compositions_ == compositionsBefore && !form_.Panel1->composedSurface())
        throw std::runtime_error("the frame step did not present: the window system does not show the surface");
    if (compositions_ == compositionsBefore)
        throw std::runtime_error("Qt did not composite the panel within 10 s of a frame");
    if (!frameDrawn_)
        throw std::runtime_error("Qt composited the panel without painting it: no frame step ran for the tick");
    // A native window's swap is part of the frame step (its Swap phase, finished by glFinish):
    // the cycle ends with the frame step.
    current_.cycleMs = form_.Panel1->composedSurface() ? millisecondsBetween(tickAt_, swappedAt_) : current_.frameMs;
    current_.composeMs = composeAt_ > tickAt_ ? millisecondsBetween(composeAt_, swappedAt_) : 0.0;
    return current_;
}
