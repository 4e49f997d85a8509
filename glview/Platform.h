#pragma once

#include <QString>
#include <memory>
#include <optional>

class QApplication;
class QSurfaceFormat;

// What the window system offers the GL view, asked before the first window is made: whether a
// display can be opened at all, whether an OpenGL context of the view's kind can be had on
// it, and which kind of platform it is. Each refusal is a message for the user: what failed,
// with the platform's own reason, and what to do about it.

// The advice that ends every refusal: a working driver, or a private X server for pictures.
extern const char* const kNoScreenAdvice;

// Before the application object exists. Without a platform named in QT_QPA_PLATFORM, Qt opens
// X11 when DISPLAY is set and Wayland when WAYLAND_DISPLAY is; with neither set there is
// nothing it could open, and this says so, naming both. Otherwise nullopt: a display that is
// named but cannot be reached is found by openApplication.
std::optional<QString> missingDisplay();

// Makes the application object. A QGuiApplication that can open no platform ends the process
// with a fatal message (an abort); here the process ends instead with status 1 after printing
// "terrain-viewer: cannot open a window: ", the platforms' own reasons and kNoScreenAdvice on
// the standard error stream. Messages the platform prints while it opens are passed on.
std::unique_ptr<QApplication> openApplication(int& argc, char** argv);

// After the application object exists, before any GL call: makes a context of `format` on an
// offscreen surface of the platform, makes it current and reads its version. nullopt when
// that works and the version is at least 1.1; else "needs OpenGL 1.1 with GLU: " and what
// failed (the platform's message, or the version found).
std::optional<QString> missingOpenGl(const QSurfaceFormat& format);

// True when the application runs on a Wayland compositor (one of Qt's wayland platforms).
bool waylandPlatform();
