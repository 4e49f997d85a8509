#pragma once

// The real main window, started as the program starts it (its start-up with the shipped
// textures), with the errors it would show collected instead of shown.

#include "GlPanel.h"
#include "MainForm.h"

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
    // frame, time and read-out handlers itself, deterministically.
    explicit StartedForm(bool stopTimers = true)
    {
        const QString assets = qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/assets");
        QDir::setCurrent(assets);
        form = std::make_unique<TForm1>();
        form->showError = [this](const QString& message) { errors << message; };
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()) || !QTest::qWaitFor([this] { return form->started(); }))
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
