#include "ImageCompare.h"

#include "GlTestPanel.h"

#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cstdlib>

namespace {

// Measures the compared pixels of two pictures of the same size; with difference given, also
// draws each channel's step there times 16 (an alpha step in all three colours; pixels left
// out black).
ImageDifference measure(const QImage& actual, const QImage& expected, const ImageTolerance& tolerance,
                        QImage* difference)
{
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage b = expected.convertToFormat(QImage::Format_ARGB32);
    if (difference) {
        *difference = QImage(a.size(), QImage::Format_RGB32);
        difference->fill(Qt::black);
    }
    ImageDifference d;
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (tolerance.compared && !tolerance.compared(x, y))
                continue;
            const int alpha = tolerance.alpha ? std::abs(qAlpha(pa[x]) - qAlpha(pb[x])) : 0;
            const int steps[3] = {std::abs(qRed(pa[x]) - qRed(pb[x])), std::abs(qGreen(pa[x]) - qGreen(pb[x])),
                                  std::abs(qBlue(pa[x]) - qBlue(pb[x]))};
            const int largest = std::max({steps[0], steps[1], steps[2], alpha});
            ++d.comparedPixels;
            sum += steps[0] + steps[1] + steps[2] + alpha;
            d.maxStep = std::max(d.maxStep, largest);
            d.differingPixels += largest > 0 ? 1 : 0;
            d.pixelsOverMax += largest > tolerance.maxStep ? 1 : 0;
            if (difference) {
                const auto shown = [alpha](int step) { return std::min(255, 16 * std::max(step, alpha)); };
                difference->setPixel(x, y, qRgb(shown(steps[0]), shown(steps[1]), shown(steps[2])));
            }
        }
    }
    if (d.comparedPixels > 0)
        d.meanStep = sum / ((tolerance.alpha ? 4.0 : 3.0) * d.comparedPixels);
    return d;
}

} // namespace

ImageDifference imageDifference(const QImage& actual, const QImage& expected, const ImageTolerance& tolerance)
{
    if (actual.size() == expected.size())
        return measure(actual, expected, tolerance, nullptr);
    ImageDifference d;
    d.comparedPixels = std::max(actual.width() * actual.height(), expected.width() * expected.height());
    d.differingPixels = d.pixelsOverMax = d.comparedPixels;
    d.maxStep = 255;
    d.meanStep = 255.0;
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
    if (actual.size() == expected.size()) {
        QImage difference;
        measure(actual, expected, tolerance, &difference);
        difference.save(stem + QStringLiteral("-difference.png"));
    }
    return stem;
}

bool compareImages(const QImage& actual, const QImage& expected, const QString& name, const ImageTolerance& tolerance,
                   const char* file, int line)
{
    const ImageDifference d = imageDifference(actual, expected, tolerance);
    // pixelsOverMax <= comparedPixels, so no pixel compared means none over.
    const bool fewOutliers = d.pixelsOverMax == 0 ||
                             double(d.pixelsOverMax) / d.comparedPixels <= tolerance.outlierShare;
    if (actual.size() == expected.size() && fewOutliers && d.meanStep <= tolerance.meanStep)
        return true;
    const QString sizes = QStringLiteral("%1 x %2 against %3 x %4")
                              .arg(actual.width())
                              .arg(actual.height())
                              .arg(expected.width())
                              .arg(expected.height());
    const QString message = QStringLiteral(
                                "%1 (%2): %3 of %4 pixels differ, %5 by more than %6 steps (%7 % may); "
                                "largest step %8, mean step %9 (%10 allowed); pictures in %11-*.png")
                                .arg(name, sizes)
                                .arg(d.differingPixels)
                                .arg(d.comparedPixels)
                                .arg(d.pixelsOverMax)
                                .arg(tolerance.maxStep)
                                .arg(tolerance.outlierShare * 100.0)
                                .arg(d.maxStep)
                                .arg(d.meanStep, 0, 'f', 4)
                                .arg(tolerance.meanStep)
                                .arg(writeFailureImages(name, actual, expected, tolerance));
    QTest::qFail(qPrintable(message), file, line);
    return false;
}
