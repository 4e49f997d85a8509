#pragma once

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTextDocument>

// A box of text over the scene (the help table, a message, the mode line), placed in the
// drawing panel's coordinates. It is not a widget on the screen: the scene is a native GL
// window, over which no widget can be translucent, so the frame draws each shown box's picture
// into itself after the scene (drawOverlayPictures). A text document lays the text out and
// paints it into the box.
class SceneOverlay {
public:
    static constexpr int kPadding = 6; // pixels between the box's edge and its text

    // The box: translucent black, white text, kPadding pixels of padding, in the given font.
    SceneOverlay(Qt::TextFormat format, const QFont& font);

    // The text; the box keeps its size until adjustSize.
    void setText(const QString& text);
    QString text() const { return text_; }
    // The text's font; the box keeps its size until adjustSize.
    void setFont(const QFont& font);
    // Sizes the box to its text, unwrapped.
    void adjustSize() { fitToWidth(0); }
    // Sizes the box to its text laid out within width pixels (the box's), lines wrapped where
    // they must; 0 sizes it to the text unwrapped.
    void fitToWidth(int width);
    // The size fitToWidth(width) would give, or an invalid size when the text cannot be laid
    // out that narrow (a word or a table wider than the width).
    QSize sizeWithin(int width);

    // Top-left corner in the panel's pixels.
    void move(int x, int y);
    QRect geometry() const { return QRect(position_, size_); }
    int width() const { return size_.width(); }
    int height() const { return size_.height(); }

    void setVisible(bool visible) { visible_ = visible; }
    void show() { visible_ = true; }
    void hide() { visible_ = false; }
    bool isVisible() const { return visible_; }

    // The box as painted, premultiplied RGBA at the given device pixel ratio, bottom row first
    // as glDrawPixels reads it; painted again only after the text, the font, the size or the
    // ratio changed.
    const QImage& image(qreal devicePixelRatio);

private:
    // Lays the text out within textWidth (negative: unwrapped) and returns the box's size.
    QSize layOut(int textWidth);

    Qt::TextFormat format_;
    QString text_;
    QTextDocument document_;
    QPoint position_;
    QSize size_;
    int wrapWidth_ = 0; // fitToWidth's width, 0 for unwrapped
    bool visible_ = false;
    QImage image_;
};
