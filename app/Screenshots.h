#pragma once

#include <QDateTime>
#include <QString>

class QImage;
class TForm1;

// What a picture of the window holds.
enum class PictureParts {
    AsShown,         // the last frame with the overlays shown now, and the panels over it (F12)
    SceneWithPanels, // the last frame's scene with the read-out and control panels (--screenshot)
    SceneOnly,       // the last frame's scene alone, the drawing panel's pixels (--scene-only)
};

// The window as parts says, from the last frame drawn again as it was drawn (the scene is read
// back before any swap). Draws; the GL context is made current.
QImage grabWindowImage(TForm1& form, PictureParts parts = PictureParts::AsShown);

// The user's pictures folder when it exists, else the working directory.
QString screenshotFolder();

// <folder>/<prefix>YYYYMMDD-HHMMSS<suffix> for the local time at, with -2, -3 ... before the
// suffix when that name is taken.
QString unusedFileName(const QString& folder, const QString& prefix, const QString& suffix,
                       const QDateTime& at = QDateTime::currentDateTime());

// F12: saves grabWindowImage as terrain-viewer-YYYYMMDD-HHMMSS.png in screenshotFolder() and
// returns its path. A picture that cannot be written throws ViewerError naming the file and
// the reason.
QString saveScreenshot(TForm1& form);
