#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <memory>

class QFont;
class QLabel;

// A box of text over the scene (the help table, a message, the mode line), placed in the
// drawing panel's coordinates. It is not a widget on the screen: the scene is a native GL
// window, over which no widget can be translucent, so the frame draws each shown box's picture
// into itself after the scene (drawOverlayPictures). A label that is never shown lays the
// text out and paints the box.
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
