#pragma once

#include "FrameInstruments.h"
#include "OverlayTextures.h"
#include "SceneOverlay.h"

#include <QImage>
#include <QRect>
#include <array>
#include <chrono>
#include <vector>

class QFont;

// F3's graph over the view: the times of the last kFrames frame steps, each a bar stacked by
// phase (sky, terrain depth, terrain colour, present, and the rest: the moves, the bump, the
// clear and the look-at), with a line at the drawing timer's 10 ms and the frame rate it
// implies. The phases are the frame's own marks (FrameInstruments), read on the clock as the
// frame reaches them, without waiting for the GL: work the GL does after a mark on threads of
// its own (Mesa's rasteriser does most of it at the swap) shows in the phase that waits for it.
//
// The bars' scale runs from 0 to the first of kScaleTopsMs that the slowest frame shown does
// not exceed (frames slower than the last are cut at the top), and a line of figures names the
// scale and the median and slowest frame times of the frames shown.
//
// While shown it is the window's instruments; hidden, the frame measures nothing.
class FrameTimeGraph {
public:
    static constexpr int kFrames = 300;            // bars, one pixel wide each
    static constexpr int kHeightPixels = 100;      // the bars' height range
    static constexpr double kTimerIntervalMs = 10; // the drawing timer's line
    static constexpr int kStackedPhases = 5;       // sky, depth, colour, present, rest
    // The tops the scale can take, milliseconds, smallest first. Few of them, so the scale
    // rarely changes: each change paints every bar again.
    static constexpr double kScaleTopsMs[] = {20, 50, 100, 200, 500, 1000, 2000, 5000};
    // The figures are written again at most once in this many frames (writing lays out text).
    static constexpr int kFiguresEveryFrames = 25;

    using PhaseTimes = std::array<double, kStackedPhases>; // milliseconds, in stacking order

    explicit FrameTimeGraph(const QFont& font);

    FrameInstruments& instruments() { return instruments_; }
    // The start of a frame step: its first phase runs from here.
    void frameStarted()
    {
        lastMark_ = Clock::now();
        current_ = {};
    }
    // A drawn frame's phase times, as the swap's mark ends it: the newest bar.
    void addFrame(const PhaseTimes& phasesMs);

    // The top of the bars' scale, the median and the slowest of the frames shown (their whole
    // times, milliseconds; the median of an even count is the mean of the middle two). 0 for
    // the median and slowest while no frame is shown.
    double scaleTopMs() const;
    int framesShown() const { return count_; }
    double medianMs() const;
    double slowestMs() const;
    // The line of figures as shown now: "scale 20 ms  |  median 9.1 ms  |  slowest 14.2 ms".
    QString figuresText() const { return figures_.text(); }

    // Bottom-right of a view of panelSize.
    void layout(QSize panelSize);
    // The bars, the figures and the legend, premultiplied, bottom row first, at the device
    // pixel ratio.
    std::vector<OverlayPicture> pictures(qreal devicePixelRatio);
    QRect geometry() const;

private:
    using Clock = std::chrono::steady_clock;

    void phaseEnded(FramePhase phase);
    void paint(qreal devicePixelRatio);
    void writeFigures();

    FrameInstruments instruments_;
    Clock::time_point lastMark_;
    PhaseTimes current_{};
    std::vector<PhaseTimes> ring_; // kFrames slots
    int next_ = 0;                 // slot of the next frame
    int count_ = 0;                // frames held
    int unpainted_ = 0;            // frames since the image was painted
    double paintedTopMs_ = 0.0;    // the scale the image was painted at
    int figuresAge_ = 0;           // frames since the figures were written
    QImage image_;
    SceneOverlay legend_;
    SceneOverlay figures_;
    QPoint topLeft_;
};
