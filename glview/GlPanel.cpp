#include "GlPanel.h"

#include "Platform.h"
#include "ViewerError.h"

#include <GL/gl.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>

// The Widget presentation's surface: a QOpenGLWidget that never draws in paintGL, with the
// framebuffer kept between paints, so Qt's repaints show the last frame as it is.
class GlPanel::ComposedSurface : public QOpenGLWidget {
public:
    explicit ComposedSurface(GlPanel* panel) : QOpenGLWidget(panel), panel_(panel)
    {
        setUpdateBehavior(QOpenGLWidget::PartialUpdate);
        // Without alpha, as the window's own surface (viewSurfaceFormat): the composition copies
        // the texture's alpha into the window, and a Wayland compositor blends a window by it.
        setTextureFormat(GL_RGB8);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void initializeGL() override { panel_->initialize(); }
    void resizeGL(int, int) override { panel_->notifyResize(); }
    void paintGL() override {}

private:
    GlPanel* panel_;
};

// The Window presentation's surface: a native GL window. It takes neither the keyboard focus
// nor, where the window system can make it transparent for input, the mouse; a mouse event
// that reaches it all the same is handed on to the panel, in the panel's coordinates.
class GlPanel::NativeSurface : public QWindow {
public:
    explicit NativeSurface(GlPanel* panel) : panel_(panel)
    {
        setSurfaceType(QSurface::OpenGLSurface);
        setFlags(Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
    }

protected:
    bool event(QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
            QMouseEvent forwarded(mouse->type(), mouse->position(), mouse->scenePosition(), mouse->globalPosition(),
                                  mouse->button(), mouse->buttons(), mouse->modifiers());
#else
            QMouseEvent forwarded(mouse->type(), mouse->localPos(), mouse->windowPos(), mouse->screenPos(),
                                  mouse->button(), mouse->buttons(), mouse->modifiers());
#endif
            QCoreApplication::sendEvent(panel_, &forwarded);
            return true;
        }
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            QWheelEvent forwarded(wheel->position(), wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(),
                                  wheel->buttons(), wheel->modifiers(), wheel->phase(), wheel->inverted());
            QCoreApplication::sendEvent(panel_, &forwarded);
            return true;
        }
        default: return QWindow::event(event);
        }
    }

    void exposeEvent(QExposeEvent*) override {}

private:
    GlPanel* panel_;
};

Presentation platformPresentation()
{
    // On Wayland every native window inside a top level is a sub-surface, which the compositor
    // shows only while its parent surface has a buffer of its own; the native widgets between
    // the top level and the GL window (the panel, the container) never get one, and Qt's
    // Wayland plugin never exposes native children that were created before the top level's
    // first configure. The native GL window would be neither exposed nor seen, so the frame
    // is composed by Qt into the top level's own surface there.
    return waylandPlatform() ? Presentation::Widget : Presentation::Window;
}

GlPanel::GlPanel(QWidget* parent) : QWidget(parent), presentation_(platformPresentation())
{
    setFocusPolicy(Qt::NoFocus);
}

GlPanel::~GlPanel()
{
    // The context goes before its window, current, so GL objects still alive can be freed.
    if (context_ && native_)
        context_->makeCurrent(native_);
    context_.reset();
}

void GlPanel::setFormat(const QSurfaceFormat& format)
{
    format_ = format;
}

void GlPanel::setPresentation(Presentation presentation)
{
    if (!surfaceWidget_)
        presentation_ = presentation;
}

bool GlPanel::event(QEvent* event)
{
    // Polished once, before the panel and its children are first shown: the surface goes
    // below the children, which must be created on top of it.
    if (event->type() == QEvent::Polish && !surfaceWidget_)
        createSurface();
    return QWidget::event(event);
}

void GlPanel::createSurface()
{
    if (presentation_ == Presentation::Widget) {
        composed_ = new ComposedSurface(this);
        composed_->setFormat(format_);
        surfaceWidget_ = composed_;
    } else {
        native_ = new NativeSurface(this);
        native_->setFormat(format_);
        surfaceWidget_ = QWidget::createWindowContainer(native_, this);
        surfaceWidget_->setAttribute(Qt::WA_TransparentForMouseEvents);
        surfaceWidget_->setFocusPolicy(Qt::NoFocus);
        // A widget drawn by Qt would lie under the native GL window: the panel's children
        // become native windows of their own, stacked above it by the window system.
        for (QObject* child : children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (!widget || widget == surfaceWidget_)
                continue;
            widget->setAttribute(Qt::WA_DontCreateNativeAncestors);
            widget->setAttribute(Qt::WA_NativeWindow);
        }
    }
    surfaceWidget_->setGeometry(rect());
    surfaceWidget_->lower();
}

void GlPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (presentation_ != Presentation::Window)
        return;
    // The children were shown first; the surface's window may have been created after them.
    surfaceWidget_->lower();
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && widget != surfaceWidget_)
            widget->raise();
    }
    if (!initialized_ && failure_.isEmpty()) {
        if (!native_->handle())
            native_->create();
        auto context = std::make_unique<QOpenGLContext>();
        context->setFormat(format_);
        // In the application's share group, as a QOpenGLWidget's context would be.
        context->setShareContext(QOpenGLContext::globalShareContext());
        if (!context->create()) {
            fail(QStringLiteral("the platform '%1' could not create the view's OpenGL context (%2.%3, %4 depth "
                                "and %5 stencil bits)")
                     .arg(QGuiApplication::platformName())
                     .arg(format_.majorVersion())
                     .arg(format_.minorVersion())
                     .arg(format_.depthBufferSize())
                     .arg(format_.stencilBufferSize()));
            return;
        }
        context_ = std::move(context);
        initialize();
    }
}

void GlPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (surfaceWidget_)
        surfaceWidget_->setGeometry(rect());
    // The composed surface reports its own resize once its framebuffer has the new size.
    if (presentation_ == Presentation::Window)
        notifyResize();
}

void GlPanel::initialize()
{
    initialized_ = true;
    // Called from the surfaces' own event handlers: a failure is reported by contextFailed,
    // not thrown through Qt.
    try {
        makeCurrent();
    } catch (const ViewerError&) {
        return;
    }
    if (onInitialize)
        onInitialize();
}

void GlPanel::notifyResize()
{
    if (!initialized_ || !failure_.isEmpty())
        return;
    try {
        makeCurrent();
    } catch (const ViewerError&) {
        return;
    }
    if (onResize)
        onResize();
}

void GlPanel::makeCurrent()
{
    if (!failure_.isEmpty())
        throw ViewerError(failure_.toStdString());
    if (!initialized_)
        return;
    // The composed surface's makeCurrent says nothing of its success: the context it made
    // current is asked instead.
    bool current = false;
    if (composed_) {
        composed_->makeCurrent();
        current = composed_->context() && QOpenGLContext::currentContext() == composed_->context();
    } else {
        current = context_ && context_->makeCurrent(native_);
    }
    if (!current) {
        fail(QStringLiteral("the view's OpenGL context could not be made current on its surface (platform '%1')")
                 .arg(QGuiApplication::platformName()));
        throw ViewerError(failure_.toStdString());
    }
}

void GlPanel::fail(const QString& message)
{
    if (!failure_.isEmpty())
        return;
    failure_ = message;
    emit contextFailed(message);
}

QOpenGLContext* GlPanel::context() const
{
    return composed_ ? composed_->context() : context_.get();
}

void GlPanel::present()
{
    if (composed_) {
        // Hands the commands to the driver now, so the frame's work overlaps the wait for
        // Qt's paint; update() schedules the composition.
        glFlush();
        composed_->update();
    } else if (context_) {
        // A window the window system does not show has nothing to swap into.
        if (native_->isExposed())
            context_->swapBuffers(native_);
        else
            glFlush();
    }
    emit presented();
}

bool GlPanel::surfaceVisible() const
{
    const QWidget* top = window();
    if (!isVisible() || top->isMinimized())
        return false;
    const QWindow* topWindow = top->windowHandle();
    if (!topWindow || !topWindow->isExposed())
        return false;
    return native_ ? native_->isExposed() : true;
}

QSize GlPanel::pixelSize() const
{
    const qreal ratio = devicePixelRatioF();
    return QSize(int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
}

QImage GlPanel::readFramebuffer()
{
    if (!initialized_)
        return QImage();
    makeCurrent();
    const QSize size = pixelSize();
    QImage image(size, QImage::Format_RGBX8888);
    // The composed surface's framebuffer object is read through its one colour attachment,
    // which makeCurrent bound; a window is read from its back buffer.
    if (!composed_)
        glReadBuffer(GL_BACK);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    glPopClientAttrib();
    image = image.mirrored();
    image.setDevicePixelRatio(devicePixelRatioF());
    return image;
}

QOpenGLWidget* GlPanel::composedSurface() const
{
    return composed_;
}

QWindow* GlPanel::nativeSurface() const
{
    return native_;
}
