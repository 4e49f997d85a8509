#pragma once

#include <QOpenGLWidget>
#include <functional>

// The drawing panel: a QOpenGLWidget that never draws on its own. Frames are drawn from the
// drawing timer after makeCurrent() and handed to Qt's composition with update(); paintGL is
// empty, so an expose or a resize shows the last frame and runs no frame step.
//
// The window hooks in through two callbacks: onInitialize runs once, inside the first show,
// with the context current (the window's start-up); onResize is the resize notification the
// GL view installs, called with the context current after Qt has resized its framebuffer.
class GlPanel : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit GlPanel(QWidget* parent = nullptr);

    std::function<void()> onInitialize;
    std::function<void()> onResize;

    bool initialized() const { return initialized_; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    bool initialized_ = false;
};
