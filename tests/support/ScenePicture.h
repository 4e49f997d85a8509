#pragma once

// Checks of a picture of the start-up view that hold at any daytime hour and on any GL driver:
// lit terrain is green or brown (red or green above blue); the sky, and the sky that a failed
// terrain build leaves where the ground should be, is blue to black with blue the largest
// channel. Header only: the installed-program test links no GL.

#include <QImage>
#include <QRect>
#include <QSet>
#include <algorithm>

// The part of a picture of the scene (the window, or the view filling the screen) that lies
// well below the horizon of the start-up view, right of the panels: at 1012x614 the horizon is
// about row 330 and the band starts at row 450; the band keeps that share of the height.
inline QRect startGroundBand(const QImage& image)
{
    const int top = image.height() * 450 / 614;
    return QRect(100, top, image.width() - 100, image.height() - top);
}

// The part well above the horizon, right of the panels: the top 40 % of the rows.
inline QRect startSkyBand(const QImage& image)
{
    return QRect(100, 0, image.width() - 100, image.height() * 2 / 5);
}

// The share of the band's pixels (every second row and column) for which isPart(pixel) holds.
template <typename Predicate>
double shareOf(const QImage& image, const QRect& band, Predicate isPart)
{
    int part = 0;
    int all = 0;
    for (int y = band.top(); y <= band.bottom(); y += 2) {
        for (int x = band.left(); x <= band.right(); x += 2) {
            part += isPart(image.pixel(x, y)) ? 1 : 0;
            ++all;
        }
    }
    return all == 0 ? 0.0 : double(part) / double(all);
}

// The share of the band that is ground, not sky: red or green above blue.
inline double groundShare(const QImage& image, const QRect& band)
{
    return shareOf(image, band, [](QRgb pixel) { return std::max(qRed(pixel), qGreen(pixel)) > qBlue(pixel); });
}

// The share of the band that is sky: blue above red and green.
inline double skyShare(const QImage& image, const QRect& band)
{
    return shareOf(image, band, [](QRgb pixel) { return qBlue(pixel) > std::max(qRed(pixel), qGreen(pixel)); });
}

// Distinct 8-bit grey levels in the band: the textured, lit ground of the start-up view at
// 1012x614 gives some ninety; the smooth sky gradient of a failed build about twenty.
inline int greyLevels(const QImage& image, const QRect& band)
{
    QSet<int> levels;
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x)
            levels.insert(qGray(image.pixel(x, y)));
    return levels.size();
}
