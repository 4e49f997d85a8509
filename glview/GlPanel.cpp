#include "GlPanel.h"

GlPanel::GlPanel(QWidget* parent) : QOpenGLWidget(parent)
{
    // Qt may repaint the panel at any time (expose, resize, composition). Those paints must
    // show the last frame as it is, so the framebuffer is never cleared behind our back.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
}

void GlPanel::initializeGL()
{
    initialized_ = true;
    if (onInitialize)
        onInitialize();
}

void GlPanel::resizeGL(int, int)
{
    if (onResize)
        onResize();
}

void GlPanel::paintGL()
{
    // Frames are drawn from the drawing timer, never from a paint event.
}
