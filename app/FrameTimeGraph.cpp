#include "FrameTimeGraph.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The phases' colours, premultiplied at the graph's opacity (alpha 220), in stacking order
// from the bottom: sky blue, terrain depth grey, terrain colour green, present orange, rest
// violet.
constexpr int kBarAlpha = 220;
constexpr QRgb kPhaseColours[FrameTimeGraph::kStackedPhases] = {qRgba(80, 160, 255, kBarAlpha),
                                                                qRgba(150, 150, 150, kBarAlpha),
                                                                qRgba(90, 200, 90, kBarAlpha),
                                                                qRgba(255, 160, 40, kBarAlpha),
                                                                qRgba(190, 110, 230, kBarAlpha)};
constexpr QRgb kBackground = qRgba(0, 0, 0, 160);
constexpr QRgb kTimerLine = qRgba(255, 255, 255, 255);

// Where each mark's phase is stacked: BumpCpu and Camera are the rest.
int stackOf(FramePhase phase)
{
    switch (phase) {
    case FramePhase::Sky: return 0;
    case FramePhase::DepthPass: return 1;
    case FramePhase::ColourPasses: return 2;
    case FramePhase::Swap: return 3;
    case FramePhase::BumpCpu:
    case FramePhase::Camera: return 4;
    }
    return 4;
}

QRgb premultiplied(QRgb colour)
{
    const int a = qAlpha(colour);
    return qRgba(qRed(colour) * a / 255, qGreen(colour) * a / 255, qBlue(colour) * a / 255, a);
}

// The graph's pixels are whole blocks of the device's pixels.
int pixelScale(qreal devicePixelRatio)
{
    return std::max(1, int(std::lround(devicePixelRatio)));
}

QString legendHtml()
{
    // Short, so that the legend is about as wide as the bars: each pixel of the graph is
    // blended into every frame (some 0.2 ms a frame per 50,000 pixels on llvmpipe).
    const char* const names[FrameTimeGraph::kStackedPhases] = {"sky", "depth", "colour", "present", "rest"};
    QString html = QStringLiteral("Last %1 frames:").arg(FrameTimeGraph::kFrames);
    for (int i = 0; i < FrameTimeGraph::kStackedPhases; ++i)
        html += QStringLiteral(" <span style=\"color:#%1\">&#9632;</span>%2")
                    .arg(kPhaseColours[i] & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(QLatin1String(names[i]));
    return html + QStringLiteral("<br>line: %1 ms, the drawing timer (%2 FPS); top: %3 ms")
                      .arg(FrameTimeGraph::kTimerIntervalMs)
                      .arg(1000.0 / FrameTimeGraph::kTimerIntervalMs)
                      .arg(FrameTimeGraph::kRangeMs);
}

} // namespace

FrameTimeGraph::FrameTimeGraph(const QFont& font) : ring_(kFrames), legend_(Qt::RichText, font)
{
    instruments_.phaseEnded = [this](FramePhase phase) { phaseEnded(phase); };
    legend_.setText(legendHtml());
    legend_.adjustSize();
}

void FrameTimeGraph::phaseEnded(FramePhase phase)
{
    const Clock::time_point now = Clock::now();
    current_[std::size_t(stackOf(phase))] += std::chrono::duration<double, std::milli>(now - lastMark_).count();
    lastMark_ = now;
    // The swap ends a drawn frame; a step that drew nothing (a hidden window) has none.
    if (phase == FramePhase::Swap) {
        ring_[std::size_t(next_)] = current_;
        next_ = (next_ + 1) % kFrames;
        count_ = std::min(count_ + 1, kFrames);
        unpainted_ = std::min(unpainted_ + 1, kFrames);
        current_ = {};
    }
}

void FrameTimeGraph::layout(QSize panelSize)
{
    const QSize size = geometry().size();
    topLeft_ = QPoint(std::max(0, panelSize.width() - size.width() - 4),
                      std::max(0, panelSize.height() - size.height() - 4));
}

QRect FrameTimeGraph::geometry() const
{
    return QRect(topLeft_, QSize(std::max(kFrames, legend_.width()), legend_.height() + kHeightPixels));
}

void FrameTimeGraph::paint(qreal devicePixelRatio)
{
    // Written pixel by pixel, bottom row first (as GL reads a texture), one column a frame,
    // the newest on the right; at a device pixel ratio above 1 each pixel is a block. Each new
    // frame moves every older column one to the left, so the image painted before is kept,
    // shifted left by the frames that came since, and only their columns are painted: the
    // same pixels as painting all of it (about 0.4 ms a frame on the GUI thread) for a row copy.
    const int scale = pixelScale(devicePixelRatio);
    const int w = kFrames, h = kHeightPixels;
    bool whole = unpainted_ >= kFrames;
    if (image_.size() != QSize(w * scale, h * scale)) {
        image_ = QImage(w * scale, h * scale, QImage::Format_RGBA8888_Premultiplied);
        whole = true;
    }
    image_.setDevicePixelRatio(scale);
    const int first = whole ? 0 : w - unpainted_;
    if (first > 0) {
        for (int y = 0; y < image_.height(); ++y) {
            uchar* line = image_.scanLine(y);
            std::memmove(line, line + 4 * scale * unpainted_, std::size_t(4) * std::size_t(scale) * std::size_t(first));
        }
    }

    std::vector<QRgb> column{std::vector<QRgb>(std::size_t(h))};
    const double pixelsPerMs = h / kRangeMs;
    const int timerRow = int(std::lround(kTimerIntervalMs * pixelsPerMs));
    for (int x = first; x < w; ++x) {
        std::fill(column.begin(), column.end(), premultiplied(kBackground));
        const int age = w - x; // 1 for the newest frame
        if (age <= count_) {
            const std::array<double, kStackedPhases>& frame = ring_[std::size_t((next_ - age + kFrames) % kFrames)];
            double top = 0.0;
            int row = 0;
            for (int p = 0; p < kStackedPhases; ++p) {
                top += frame[std::size_t(p)] * pixelsPerMs;
                const int end = std::min(h, int(std::lround(top)));
                for (; row < end; ++row)
                    column[std::size_t(row)] = premultiplied(kPhaseColours[p]);
            }
        }
        if (timerRow < h)
            column[std::size_t(timerRow)] = kTimerLine;
        for (int row = 0; row < h; ++row) {
            const QRgb c = column[std::size_t(row)];
            for (int sy = 0; sy < scale; ++sy) {
                uchar* line = image_.scanLine(row * scale + sy);
                for (int sx = 0; sx < scale; ++sx) {
                    uchar* px = line + 4 * (x * scale + sx);
                    px[0] = uchar(qRed(c));
                    px[1] = uchar(qGreen(c));
                    px[2] = uchar(qBlue(c));
                    px[3] = uchar(qAlpha(c));
                }
            }
        }
    }
    unpainted_ = 0;
}

std::vector<OverlayPicture> FrameTimeGraph::pictures(qreal devicePixelRatio)
{
    const int scale = pixelScale(devicePixelRatio);
    if (unpainted_ > 0 || image_.size() != QSize(kFrames * scale, kHeightPixels * scale))
        paint(devicePixelRatio);
    // The legend on top, the bars below it (image rows run bottom-up; placement is top-down).
    return {{&image_, topLeft_ + QPoint(0, legend_.height())}, {&legend_.image(devicePixelRatio), topLeft_}};
}
