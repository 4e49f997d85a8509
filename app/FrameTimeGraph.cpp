#include "FrameTimeGraph.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

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
    return html + QStringLiteral("<br>line: %1 ms, the drawing timer (%2 FPS)")
                      .arg(FrameTimeGraph::kTimerIntervalMs)
                      .arg(1000.0 / FrameTimeGraph::kTimerIntervalMs);
}

double frameTotal(const FrameTimeGraph::PhaseTimes& phasesMs)
{
    double total = 0.0;
    for (double ms : phasesMs)
        total += ms;
    return total;
}

} // namespace

FrameTimeGraph::FrameTimeGraph(const QFont& font)
    : ring_(kFrames), legend_(Qt::RichText, font), figures_(Qt::PlainText, font)
{
    instruments_.phaseEnded = [this](FramePhase phase) { phaseEnded(phase); };
    legend_.setText(legendHtml());
    legend_.adjustSize();
    writeFigures();
}

void FrameTimeGraph::phaseEnded(FramePhase phase)
{
    const Clock::time_point now = Clock::now();
    current_[std::size_t(stackOf(phase))] += std::chrono::duration<double, std::milli>(now - lastMark_).count();
    lastMark_ = now;
    // The swap ends a drawn frame; a step that drew nothing (a hidden window) has none.
    if (phase == FramePhase::Swap) {
        addFrame(current_);
        current_ = {};
    }
}

void FrameTimeGraph::addFrame(const PhaseTimes& phasesMs)
{
    ring_[std::size_t(next_)] = phasesMs;
    next_ = (next_ + 1) % kFrames;
    count_ = std::min(count_ + 1, kFrames);
    unpainted_ = std::min(unpainted_ + 1, kFrames);
    ++figuresAge_;
}

double FrameTimeGraph::slowestMs() const
{
    double slowest = 0.0;
    for (int age = 1; age <= count_; ++age)
        slowest = std::max(slowest, frameTotal(ring_[std::size_t((next_ - age + kFrames) % kFrames)]));
    return slowest;
}

double FrameTimeGraph::medianMs() const
{
    if (count_ == 0)
        return 0.0;
    std::vector<double> totals;
    totals.reserve(std::size_t(count_));
    for (int age = 1; age <= count_; ++age)
        totals.push_back(frameTotal(ring_[std::size_t((next_ - age + kFrames) % kFrames)]));
    const auto middle = totals.begin() + count_ / 2;
    std::nth_element(totals.begin(), middle, totals.end());
    if (count_ % 2 == 1)
        return *middle;
    // The lower middle is the largest of the half below the upper one.
    return 0.5 * (*middle + *std::max_element(totals.begin(), middle));
}

double FrameTimeGraph::scaleTopMs() const
{
    const double slowest = slowestMs();
    for (double top : kScaleTopsMs)
        if (slowest <= top)
            return top;
    return kScaleTopsMs[std::size(kScaleTopsMs) - 1];
}

void FrameTimeGraph::writeFigures()
{
    const auto ms = [](double value) { return QString::number(value, 'f', 1); };
    figures_.setText(QStringLiteral("scale %1 ms  |  median %2 ms  |  slowest %3 ms")
                         .arg(scaleTopMs())
                         .arg(ms(medianMs()), ms(slowestMs())));
    figures_.fitToWidth(std::max(kFrames, legend_.width()));
    figuresAge_ = 0;
}

void FrameTimeGraph::layout(QSize panelSize)
{
    const QSize size = geometry().size();
    topLeft_ = QPoint(std::max(0, panelSize.width() - size.width() - 4),
                      std::max(0, panelSize.height() - size.height() - 4));
}

QRect FrameTimeGraph::geometry() const
{
    return QRect(topLeft_,
                 QSize(std::max(kFrames, legend_.width()), legend_.height() + figures_.height() + kHeightPixels));
}

void FrameTimeGraph::paint(qreal devicePixelRatio)
{
    // Written pixel by pixel, bottom row first (as GL reads a texture), one column a frame,
    // the newest on the right; at a device pixel ratio above 1 each pixel is a block. Each new
    // frame moves every older column one to the left, so the image painted before is kept,
    // shifted left by the frames that came since, and only their columns are painted: the
    // same pixels as painting all of it (about 0.4 ms a frame on the GUI thread) for a row copy.
    // A change of scale changes every bar: all of them are painted again.
    const int scale = pixelScale(devicePixelRatio);
    const int w = kFrames, h = kHeightPixels;
    const double topMs = scaleTopMs();
    bool whole = unpainted_ >= kFrames || topMs != paintedTopMs_;
    paintedTopMs_ = topMs;
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
    const double pixelsPerMs = h / topMs;
    // The timer's line while it stands a pixel or more above the bars' foot.
    const int timerRow = kTimerIntervalMs * pixelsPerMs >= 1.0 ? int(std::lround(kTimerIntervalMs * pixelsPerMs)) : h;
    for (int x = first; x < w; ++x) {
        std::fill(column.begin(), column.end(), premultiplied(kBackground));
        const int age = w - x; // 1 for the newest frame
        if (age <= count_) {
            const PhaseTimes& frame = ring_[std::size_t((next_ - age + kFrames) % kFrames)];
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
    const double topMs = scaleTopMs();
    if (figuresAge_ >= kFiguresEveryFrames || topMs != paintedTopMs_)
        writeFigures();
    if (unpainted_ > 0 || topMs != paintedTopMs_ || image_.size() != QSize(kFrames * scale, kHeightPixels * scale))
        paint(devicePixelRatio);
    // From the top: the legend, the figures, the bars (image rows run bottom-up; placement is
    // top-down).
    const int figuresTop = legend_.height();
    return {{&image_, topLeft_ + QPoint(0, figuresTop + figures_.height())},
            {&figures_.image(devicePixelRatio), topLeft_ + QPoint(0, figuresTop)},
            {&legend_.image(devicePixelRatio), topLeft_}};
}
