#include "ImageCompare.h"

#include "GlTestPanel.h"

#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// The steps of one pixel's channels: red, green, blue and, when compared, alpha.
struct PixelSteps {
    int channel[4] = {};
    int count = 3;

    PixelSteps(QRgb a, QRgb b, bool alpha)
    {
        channel[0] = std::abs(qRed(a) - qRed(b));
        channel[1] = std::abs(qGreen(a) - qGreen(b));
        channel[2] = std::abs(qBlue(a) - qBlue(b));
        if (alpha) {
            channel[3] = std::abs(qAlpha(a) - qAlpha(b));
            count = 4;
        }
    }
    int largest() const { return *std::max_element(channel, channel + count); }
    int sum() const { return channel[0] + channel[1] + channel[2] + channel[3]; }
};

QImage asArgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Each channel's step times 16; an alpha step shows in all three colours. Pixels left out of the
// comparison are black.
QImage differenceImage(const QImage& actual, const QImage& expected, const ImageTolerance& tolerance)
{
    const QImage a = asArgb(actual), b = asArgb(expected);
    QImage difference(a.size(), QImage::Format_RGB32);
    difference.fill(Qt::black);
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(difference.scanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (tolerance.compared && !tolerance.compared(x, y))
                continue;
            const PixelSteps steps(pa[x], pb[x], tolerance.alpha);
            const auto shown = [&steps](int c) {
                return std::min(255, 16 * std::max(steps.channel[c], steps.channel[3]));
            };
            out[x] = qRgb(shown(0), shown(1), shown(2));
        }
    }
    return difference;
}

} // namespace

ImageTolerance ImageTolerance::within(int maxStep, double meanStep)
{
    ImageTolerance t;
    t.maxStep = maxStep;
    t.meanStep = meanStep;
    return t;
}

ImageTolerance ImageTolerance::withAlpha() const
{
    ImageTolerance t = *this;
    t.alpha = true;
    return t;
}

ImageTolerance ImageTolerance::allowingOutliers(double share) const
{
    ImageTolerance t = *this;
    t.outlierShare = share;
    return t;
}

ImageTolerance ImageTolerance::onlyWhere(std::function<bool(int x, int y)> pixels) const
{
    ImageTolerance t = *this;
    t.compared = std::move(pixels);
    return t;
}

ImageDifference imageDifference(const QImage& actual, const QImage& expected, const ImageTolerance& tolerance)
{
    ImageDifference d;
    if (actual.size() != expected.size()) {
        d.comparedPixels = std::max(actual.width() * actual.height(), expected.width() * expected.height());
        d.maxStep = 255;
        d.meanStep = 255.0;
        d.differingPixels = d.pixelsOverMax = d.comparedPixels;
        return d;
    }
    const QImage a = asArgb(actual), b = asArgb(expected);
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (tolerance.compared && !tolerance.compared(x, y))
                continue;
            const PixelSteps steps(pa[x], pb[x], tolerance.alpha);
            const int largest = steps.largest();
            ++d.comparedPixels;
            sum += steps.sum();
            d.maxStep = std::max(d.maxStep, largest);
            d.differingPixels += largest > 0 ? 1 : 0;
            d.pixelsOverMax += largest > tolerance.maxStep ? 1 : 0;
        }
    }
    if (d.comparedPixels > 0)
        d.meanStep = sum / (double(tolerance.alpha ? 4 : 3) * d.comparedPixels);
    return d;
}

QString writeFailureImages(const QString& name, const QImage& actual, const QImage& expected,
                           const ImageTolerance& tolerance)
{
    QString stem = name;
    stem.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("-"));
    stem = testOutputFolder() + QLatin1Char('/') + stem;
    actual.save(stem + QStringLiteral("-actual.png"));
    expected.save(stem + QStringLiteral("-expected.png"));
    if (actual.size() == expected.size())
        differenceImage(actual, expected, tolerance).save(stem + QStringLiteral("-difference.png"));
    return stem;
}

bool compareImages(const QImage& actual, const QImage& expected, const QString& name, const ImageTolerance& tolerance,
                   const char* file, int line)
{
    const ImageDifference d = imageDifference(actual, expected, tolerance);
    const bool sameSize = actual.size() == expected.size();
    // pixelsOverMax <= comparedPixels, so no pixel compared means none over.
    const bool fewOutliers = d.pixelsOverMax == 0 ||
                             double(d.pixelsOverMax) / d.comparedPixels <= tolerance.outlierShare;
    if (sameSize && fewOutliers && d.meanStep <= tolerance.meanStep)
        return true;

    const QString stem = writeFailureImages(name, actual, expected, tolerance);
    QString message;
    if (!sameSize) {
        message = QStringLiteral("%1: the actual picture is %2 x %3, the expected %4 x %5; both written as %6-*.png")
                      .arg(name)
                      .arg(actual.width())
                      .arg(actual.height())
                      .arg(expected.width())
                      .arg(expected.height())
                      .arg(stem);
    } else {
        message = QStringLiteral(
                      "%1: %2 of %3 pixels differ, %4 of them by more than %5 steps (%6 % allowed); "
                      "largest step %7, mean step %8 (%9 allowed); actual, expected and difference "
                      "written as %10-*.png")
                      .arg(name)
                      .arg(d.differingPixels)
                      .arg(d.comparedPixels)
                      .arg(d.pixelsOverMax)
                      .arg(tolerance.maxStep)
                      .arg(tolerance.outlierShare * 100.0)
                      .arg(d.maxStep)
                      .arg(d.meanStep, 0, 'f', 4)
                      .arg(tolerance.meanStep)
                      .arg(stem);
    }
    QTest::qFail(qPrintable(message), file, line);
    return false;
}
