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
// While shown it is the window's instruments; hidden, the frame measures nothing.
class FrameTimeGraph {
public:
    static constexpr int kFrames = 300;            // bars, one pixel wide each
    static constexpr int kHeightPixels = 100;      // the bars' height range
    static constexpr double kRangeMs = 20.0;       // the top of the range; longer frames are cut
    static constexpr double kTimerIntervalMs = 10; // the drawing timer's line
    static constexpr int kStackedPhases = 5;       // sky, depth, colour, present, rest

    explicit FrameTimeGraph(const QFont& font);

    FrameInstruments& instruments() { return instruments_; }
    // The start of a frame step: its first phase runs from here.
    void frameStarted()
    {
        lastMark_ = Clock::now();
        current_ = {};
    }

    // Bottom-right of a view of panelSize.
    void layout(QSize panelSize);
    // The bars and then the legend, premultiplied, bottom row first, at the device pixel ratio.
    std::vector<OverlayPicture> pictures(qreal devicePixelRatio);
    QRect geometry() const;

private:
    using Clock = std::chrono::steady_clock;

    void phaseEnded(FramePhase phase);
    void paint(qreal devicePixelRatio);

    FrameInstruments instruments_;
    Clock::time_point lastMark_;
    std::array<double, kStackedPhases> current_{};
    std::vector<std::array<double, kStackedPhases>> ring_; // kFrames slots
    int next_ = 0;                                         // slot of the next frame
    int count_ = 0;                                        // frames held
    int unpainted_ = 0;                                    // frames since the image was painted
    QImage image_;
    SceneOverlay legend_;
    QPoint topLeft_;
};
