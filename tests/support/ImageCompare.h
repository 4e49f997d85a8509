#pragma once

// The one image comparator of the tests: two pictures of the same size compared channel by
// channel, in steps of 255, and a check that fails with the numbers and writes the pictures
// where they can be looked at.

#include <QImage>
#include <QString>
#include <functional>
#include <utility>

// Any mean difference passes: for comparisons that bound only the largest step.
constexpr double kAnyMeanStep = 255.0;

// How far two pictures may differ. The default, identical(), is bit-identical red, green and
// blue.
struct ImageTolerance {
    int maxStep = 0;           // no channel of a compared pixel differs by more
    double meanStep = 0.0;     // the mean over every compared channel of every compared pixel
    double outlierShare = 0.0; // share of the compared pixels that may exceed maxStep by any amount
    bool alpha = false;        // alpha is compared as a fourth channel (RGBA read-backs)
    // The pixels compared, (x, y) from the top-left; every pixel when empty.
    std::function<bool(int x, int y)> compared;

    static ImageTolerance identical() { return {}; }
    static ImageTolerance within(int maxStep, double meanStep) { return {maxStep, meanStep, 0.0, false, {}}; }
    ImageTolerance withAlpha() const { return {maxStep, meanStep, outlierShare, true, compared}; }
    ImageTolerance allowingOutliers(double share) const { return {maxStep, meanStep, share, alpha, compared}; }
    ImageTolerance onlyWhere(std::function<bool(int, int)> pixels) const
    {
        return {maxStep, meanStep, outlierShare, alpha, std::move(pixels)};
    }
};

// What imageDifference measures over the compared pixels.
struct ImageDifference {
    int maxStep = 0;         // the largest difference of one channel
    double meanStep = 0.0;   // the mean difference over every compared channel
    int differingPixels = 0; // pixels with a channel that differs at all
    int pixelsOverMax = 0;   // pixels with a channel that differs by more than the tolerance's maxStep
    int comparedPixels = 0;
};

// Compares actual and expected. Any formats: both are read as non-premultiplied ARGB32, in which
// a format without alpha is opaque. Pictures of different sizes differ in every pixel by 255.
ImageDifference imageDifference(const QImage& actual, const QImage& expected, const ImageTolerance& tolerance = {});

// Writes <name>-actual.png, <name>-expected.png and, for pictures of the same size,
// <name>-difference.png (every compared channel's step times 16, so a step of one shows) into
// testOutputFolder(). name may hold any characters; the file names keep letters, digits, '.',
// '_' and '-', the others become '-'. Returns the path without the endings.
QString writeFailureImages(const QString& name, const QImage& actual, const QImage& expected,
                           const ImageTolerance& tolerance = {});

// True when actual lies within tolerance of expected. Otherwise writes the pictures
// (writeFailureImages), records a failure of the running test at file:line with the numbers
// and the paths, and returns false.
bool compareImages(const QImage& actual, const QImage& expected, const QString& name, const ImageTolerance& tolerance,
                   const char* file, int line);

// The check in a test function: fails and returns when the pictures differ beyond tolerance.
#define COMPARE_IMAGES(actual, expected, name, tolerance)                                                              \
    do {                                                                                                               \
        if (!compareImages(actual, expected, name, tolerance, __FILE__, __LINE__))                                     \
            return;                                                                                                    \
    } while (false)

// What draw() returns (a record with a `picture`) once the picture it draws is the same twice
// running, at most 100 draws after the first: the physical sky builds its tables over frames.
template <typename Draw>
auto drawnUntilSettled(Draw draw)
{
    auto drawn = draw();
    for (int i = 0; i < 100; ++i) {
        auto again = draw();
        const bool settled = again.picture == drawn.picture;
        drawn = std::move(again);
        if (settled)
            break;
    }
    return drawn;
}
