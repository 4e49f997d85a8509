#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <initializer_list>
#include <memory>

class QFont;
class QLabel;

// A box of text over the scene (the help table, a message, the mode line), placed in the
// drawing panel's coordinates. It is not a widget on the screen: the scene is a native GL
// window, over which no widget can be translucent, so the frame draws each shown overlay into
// itself after the scene (drawSceneOverlays). A label that is never shown lays the text out
// and paints the box.
class SceneOverlay {
public:
    // The box: translucent black, white text, 6 pixels of padding, in the given font.
    SceneOverlay(const QString& objectName, Qt::TextFormat format, const QFont& font);
    ~SceneOverlay();
    SceneOverlay(const SceneOverlay&) = delete;
    SceneOverlay& operator=(const SceneOverlay&) = delete;

    // The text; the box keeps its size until adjustSize.
    void setText(const QString& text);
    QString text() const;
    // Sizes the box to its text.
    void adjustSize();

    // Top-left corner in the panel's pixels.
    void move(int x, int y);
    QRect geometry() const;
    int width() const { return geometry().width(); }
    int height() const { return geometry().height(); }

    void setVisible(bool visible) { visible_ = visible; }
    void show() { visible_ = true; }
    void hide() { visible_ = false; }
    bool isVisible() const { return visible_; }

    // The box as painted, premultiplied RGBA at the given device pixel ratio, bottom row first
    // as glDrawPixels reads it; painted again only after the text, the size or the ratio
    // changed.
    const QImage& image(qreal devicePixelRatio);

private:
    std::unique_ptr<QLabel> label_;
    QPoint position_;
    bool visible_ = false;
    QImage image_;
};

// Draws each shown overlay over the frame in the back buffer, in the order given (the last on
// top), blended by its alpha. viewportPixels is the panel's size in device pixels, ratio the
// device pixel ratio.
//
// Expects the GL context current and GL_MODELVIEW selected; whatever else the frame left. Leaves
// every state as it found it: the enables, the blend function, the current raster position and
// colour, the pixel store and both matrices are saved first and restored after. Makes no GL
// call when no overlay is shown.
void drawSceneOverlays(std::initializer_list<SceneOverlay*> overlays, QSize viewportPixels, qreal ratio);
