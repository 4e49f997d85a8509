#pragma once

#include <QString>
#include <QSurfaceFormat>
#include <QWidget>
#include <functional>
#include <memory>

class QImage;
class QOpenGLContext;
class QOpenGLWidget;
class QWindow;

// How a finished frame reaches the screen.
enum class Presentation {
    // A native GL window of its own, embedded in the panel: the swap hands the back buffer to
    // the window system, which shows it directly. The panel's other children are made native
    // windows stacked above it, so they stay visible and usable over the scene.
    Window,
    // A QOpenGLWidget: the frame is drawn into its framebuffer object, and Qt's composition
    // copies that into the window, together with the widgets over it, on the next paint.
    Widget,
};

// The presentation a panel starts with on the platform the application runs on: Window, or
// Widget on Wayland, where a native GL window inside the top level is never shown.
Presentation platformPresentation();

// The drawing panel. It never draws on its own: frames are drawn from the drawing timer after
// makeCurrent() and handed to the screen with present(). An expose or a resize runs no frame
// step; the next tick draws.
//
// The panel itself receives the mouse over the scene: the GL surface below it lets every
// mouse event through (the native window is transparent for input, the composed one is
// transparent for mouse events), so an event filter or a cursor set on the panel works over
// the whole scene. The GL surface never takes the keyboard focus.
//
// The window hooks in through two callbacks: onInitialize runs once, inside the first show,
// with the context current (the window's start-up); onResize is the resize notification the
// GL view installs, called with the context current after the surface has its new size.
//
// Without a context nothing is drawn: when the platform cannot create the context at the
// first show, or cannot make it current later, the panel is failed for good (failure()),
// emits contextFailed once, and makeCurrent() throws from then on, so no GL call follows it.
// onInitialize and onResize run only with a context that was made current.
class GlPanel : public QWidget {
    Q_OBJECT
public:
    explicit GlPanel(QWidget* parent = nullptr);
    ~GlPanel() override;

    // Both take effect at the first show, when the surface and its context are created; the
    // presentation is platformPresentation() unless set.
    void setFormat(const QSurfaceFormat& format);
    QSurfaceFormat format() const { return format_; }
    void setPresentation(Presentation presentation);
    Presentation presentation() const { return presentation_; }

    std::function<void()> onInitialize;
    std::function<void()> onResize;

    bool initialized() const { return initialized_; }
    // Why the panel has no usable context, or an empty string while it has one (or has not
    // been shown yet).
    QString failure() const { return failure_; }
    // The panel's size in device pixels, the size of its framebuffer.
    QSize pixelSize() const;
    // Makes the panel's context current on its surface. Does nothing before the first show;
    // throws ViewerError (the failure()) when the panel has no context or the platform cannot
    // make it current.
    void makeCurrent();
    QOpenGLContext* context() const;
    // Hands the frame in the back buffer to the screen: a buffer swap of the native window, or
    // a composition by Qt on the next paint. Expects the context current.
    void present();
    // False while nothing of the surface can be seen: the window minimised or hidden, or its
    // surface not (yet) exposed by the window system.
    bool surfaceVisible() const;
    // What was drawn since the last present(), top row first, without alpha (the surface has
    // none; an alpha a test surface has is dropped): the back buffer of the native window, or
    // the composed surface's framebuffer object. What a swap leaves in a back buffer is the
    // window system's, so a frame is read before it is presented. A null image before the
    // first show; throws as makeCurrent does.
    QImage readFramebuffer();

    // The composed surface (Widget presentation) or null; its frameSwapped signal follows
    // every composition of the window.
    QOpenGLWidget* composedSurface() const;
    // The native GL window (Window presentation) or null.
    QWindow* nativeSurface() const;

signals:
    // After every present(), once the frame has been handed on.
    void presented();
    // Once, when the panel fails (see failure()): from the first show when the context cannot
    // be created, or from the makeCurrent() that could not make it current.
    void contextFailed(const QString& message);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class ComposedSurface;
    class NativeSurface;

    void createSurface();
    void initialize();
    void notifyResize();
    // Records the first failure and emits contextFailed.
    void fail(const QString& message);

    QSurfaceFormat format_;
    Presentation presentation_;
    bool initialized_ = false;
    QString failure_;
    QWidget* surfaceWidget_ = nullptr;        // the composed surface or the native one's container
    ComposedSurface* composed_ = nullptr;     // Widget
    NativeSurface* native_ = nullptr;         // Window, owned by its container
    std::unique_ptr<QOpenGLContext> context_; // Window
};
