#pragma once

// The real main window, started as the program starts it: the textures read, the start-up
// done, the GL surface shown and the drawing panel's context current.

#include "GlPanel.h"
#include "MainForm.h"
#include "ProgramRun.h"
#include "Screenshots.h"
#include "ViewOverlays.h"

#include <QDir>
#include <QFlags>
#include <QOpenGLContext>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <stdexcept>

// If the window does not become active and started, or no context can be made current, the
// constructor throws, so the test fails.
struct StartedForm {
    enum Option {
        // The timers keep running. Without it they are stopped where the start-up starts them,
        // before any of them fires, and one frame step is drawn once the surface shows: every
        // window starts in the same state (clock, bump, frame counts) however busy the
        // machine, and a test drives the frame, time and read-out handlers itself.
        TimersRunning = 0x1,
        // Errors are shown as the program shows them, in a modal message box. Without it they
        // are collected in errors.
        MessageBoxes = 0x2,
        // The textures are read from the working folder. Without it, from assetsFolder().
        WorkingFolder = 0x4,
    };
    Q_DECLARE_FLAGS(Options, Option)

    std::unique_ptr<TForm1> form;
    QStringList errors;

    // A surface format, when given, replaces the viewer's own for the drawing panel;
    // beforeShow, when given, sets the window's state as the program's options would.
    explicit StartedForm(Options options = {}, const QSurfaceFormat* surfaceFormat = nullptr,
                         const std::function<void(TForm1&)>& beforeShow = {})
    {
        if (!options.testFlag(WorkingFolder))
            QDir::setCurrent(assetsFolder());
        form = std::make_unique<TForm1>();
        if (beforeShow)
            beforeShow(*form);
        if (!options.testFlag(TimersRunning)) {
            std::function<void()> startUp = std::move(form->Panel1->onInitialize);
            form->Panel1->onInitialize = [this, startUp] {
                startUp();
                stopTimers();
            };
        }
        if (surfaceFormat)
            form->Panel1->setFormat(*surfaceFormat);
        if (!options.testFlag(MessageBoxes))
            form->showError = [this](const QString& message) { errors << message; };
        form->show();
        form->activateWindow();
        // Frames are drawn only once the window system shows the GL surface.
        if (!QTest::qWaitForWindowActive(form.get()) ||
            !QTest::qWaitFor([this] { return form->started() && form->Panel1->surfaceVisible(); }))
            throw std::runtime_error("the main window did not start");
        // A start-up error is reported after the show, from a queued call: the wait lets it
        // reach errors before the test looks.
        QTest::qWait(50);
        form->Panel1->makeCurrent();
        if (!QOpenGLContext::currentContext())
            throw std::runtime_error("no GL context");
        // The frame a picture of the window (grabWindowImage) draws again.
        if (!options.testFlag(TimersRunning))
            form->TimerForDrawingTimer();
    }
    StartedForm(const StartedForm&) = delete;
    StartedForm& operator=(const StartedForm&) = delete;

    QWindow* window() const { return form->windowHandle(); }

private:
    void stopTimers()
    {
        form->TimerForDrawing->stop();
        form->TimerForFPS->stop();
        form->TimerBigBen->stop();
    }
};
Q_DECLARE_OPERATORS_FOR_FLAGS(StartedForm::Options)
