#pragma once

// The real main window, started as the program starts it (its start-up with the shipped
// textures), with the errors it would show collected instead of shown.

#include "GlPanel.h"
#include "MainForm.h"
#include "Screenshots.h"
#include "ViewOverlays.h"

#include <QDir>
#include <QOpenGLContext>
#include <QTest>
#include <QTimer>
#include <memory>
#include <stdexcept>

struct StartedForm {
    std::unique_ptr<TForm1> form;
    QStringList errors;

    // With stopTimers the timers are stopped once start-up is done, so a test drives the
    // frame, time and read-out handlers itself, deterministically. A surface format, when
    // given, replaces the viewer's own for the drawing panel.
    explicit StartedForm(bool stopTimers = true, const QSurfaceFormat* surfaceFormat = nullptr)
    {
        const QString assets = qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/assets");
        QDir::setCurrent(assets);
        form = std::make_unique<TForm1>();
        if (surfaceFormat)
            form->Panel1->setFormat(*surfaceFormat);
        form->showError = [this](const QString& message) { errors << message; };
        form->show();
        form->activateWindow();
        // Frames are drawn only once the window system shows the GL surface.
        if (!QTest::qWaitForWindowActive(form.get()) ||
            !QTest::qWaitFor([this] { return form->started() && form->Panel1->surfaceVisible(); }))
            throw std::runtime_error("the main window did not start");
        if (stopTimers) {
            form->TimerForDrawing->stop();
            form->TimerForFPS->stop();
            form->TimerBigBen->stop();
        }
        form->Panel1->makeCurrent();
        if (!QOpenGLContext::currentContext())
            throw std::runtime_error("no GL context");
    }

    QWindow* window() const { return form->windowHandle(); }
};

// The window as the program starts it, keeping its own error report (a modal message box) and
// its running timers; null if it did not become active and started.
inline std::unique_ptr<TForm1> startWithMessageBoxes()
{
    QDir::setCurrent(qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/assets"));
    auto form = std::make_unique<TForm1>();
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()) || !QTest::qWaitFor([&form] { return form->started(); }))
        return nullptr;
    return form;
}

#include <GL/gl.h>
#include <QImage>

// The frame in the drawing panel's framebuffer, read back as the GL drew it (RGB; the alpha
// channel is not part of the picture), top row first.
inline QImage readFrame(TForm1& form)
{
    form.Panel1->makeCurrent();
    const int w = int(form.Panel1->width() * form.Panel1->devicePixelRatioF());
    const int h = int(form.Panel1->height() * form.Panel1->devicePixelRatioF());
    QImage image(w, h, QImage::Format_RGBA8888);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    return image.mirrored().convertToFormat(QImage::Format_RGB32);
}

// Mean of |a - b| over every channel of every pixel, in steps of 255.
inline double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}
