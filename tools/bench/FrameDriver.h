#pragma once

#include "BenchOptions.h"
#include "FrameInstruments.h"

#include <QObject>
#include <QString>
#include <array>
#include <chrono>

class QEventLoop;
class TForm1;

// The timings of one frame, in milliseconds. Each phase runs from the previous mark (the first
// from the start of the frame step) to its own mark; the hook finishes the GL work (glFinish)
// before reading the clock, so a phase holds the GL work it issued.
struct FrameTimes {
    std::array<double, kFramePhaseCount> phaseMs{};
    std::array<bool, kFramePhaseCount> marked{};
    double frameMs = 0.0;   // the frame step: TimerForDrawingTimer from its start to its Swap mark
    double cycleMs = 0.0;   // widget surface: the tick to Qt's frameSwapped, the frame step plus
                            // Qt's paint, composition of the window and its swap; window
                            // surface: the frame step, whose Swap phase holds the buffer swap
    double composeMs = 0.0; // Qt's aboutToCompose to frameSwapped: drawing the window's
                            // textures (the panel's framebuffer, the other widgets) and the swap
};

// Drives the window's frames one tick at a time, as its drawing timer would. With the widget
// surface it waits after each tick in Qt's event loop until Qt has composited the panel into
// the window and swapped; a native window has swapped when the frame step returns.
//
// Outside: the tick calls TimerForDrawingTimer, which draws after makeCurrent() and asks for
// the composition with update() - the viewer's own way.
// Inside: the tick only calls update(); the frame step runs in the composed surface's paint
// event, just before QOpenGLWidget renders (paintGL) and Qt composites, which is where a frame
// drawn from paintGL would run. Exactly one frame step runs per tick: a paint that no tick asked for
// (Qt may repaint on its own) draws nothing and shows the last frame.
//
// While it exists, the window's frames report to its instruments (TForm1State::instruments),
// unless the window measures them already (its frame-time graph, shown): the draw counters are
// then the graph's, and the driver times the whole frames only. The window's own timers must
// be stopped.
class FrameDriver : public QObject {
    Q_OBJECT
public:
    // With phaseMarks, each phase mark finishes the GL work and reads the clock; without, the
    // frame step runs as in the viewer and only its end is finished and timed.
    FrameDriver(TForm1& form, bool fly, bool phaseMarks = true);
    ~FrameDriver() override;

    // One tick, presented the given way, and its composition. Throws std::runtime_error when
    // the frame step throws, when no frame was drawn for the tick, or when Qt has not
    // composited within ten seconds.
    FrameTimes step(PresentMode mode);

    int compositions() const { return compositions_; } // frameSwapped signals seen so far
    int panelPaints() const { return panelPaints_; }   // paint events of the panel seen so far
    // What the terrain drawing handed to the GL since the driver was made.
    const TerrainDrawCounters& drawCounters() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Clock = std::chrono::steady_clock;

    void runFrameStep();
    void onMark(FramePhase phase);

    TForm1& form_;
    FrameInstruments instruments_;
    bool ownInstruments_ = false;
    bool fly_;
    bool phaseMarks_;
    bool tickPending_ = false; // inside: a tick asked for a frame that no paint has drawn yet
    bool frameDrawn_ = false;
    int compositions_ = 0;
    int panelPaints_ = 0;
    QEventLoop* waitLoop_ = nullptr;
    QString error_;
    Clock::time_point tickAt_;
    Clock::time_point frameStart_;
    Clock::time_point lastMark_;
    Clock::time_point composeAt_;
    Clock::time_point swappedAt_;
    FrameTimes current_;
};
