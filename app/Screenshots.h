#pragma once

#include <QString>

class QImage;
class TForm1;

// The window as the user sees it: the last frame, with the overlays shown now, and the
// read-out and control panels over it. Draws; the GL context is made current.
QImage grabWindowImage(TForm1& form);

// The user's pictures folder when it exists, else the working directory.
QString screenshotFolder();

// F12: saves grabWindowImage as terrain-viewer-YYYYMMDD-HHMMSS.png in screenshotFolder() (with
// -2, -3 ... when that name is taken) and shows "Saved <path>" (or the reason it failed) over
// the view. Returns the path written, or an empty string.
QString saveScreenshot(TForm1& form);
