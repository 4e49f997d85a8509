#include "SceneOverlay.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <cmath>

SceneOverlay::SceneOverlay(Qt::TextFormat format, const QFont& font) : format_(format)
{
    document_.setDocumentMargin(0);
    document_.setDefaultFont(font);
    adjustSize();
}

void SceneOverlay::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    if (format_ == Qt::RichText)
        document_.setHtml(text);
    else
        document_.setPlainText(text);
    image_ = QImage();
}

void SceneOverlay::setFont(const QFont& font)
{
    document_.setDefaultFont(font);
    // A rich text takes the default font when it is set again.
    if (format_ == Qt::RichText)
        document_.setHtml(text_);
    image_ = QImage();
}

QSize SceneOverlay::layOut(int textWidth)
{
    document_.setTextWidth(textWidth);
    const qreal width = textWidth < 0 ? document_.idealWidth() : qreal(textWidth);
    return QSize(int(std::ceil(width)) + 2 * kPadding, int(std::ceil(document_.size().height())) + 2 * kPadding);
}

void SceneOverlay::fitToWidth(int width)
{
    wrapWidth_ = width > 0 ? width : 0;
    const QSize size = layOut(wrapWidth_ > 0 ? wrapWidth_ - 2 * kPadding : -1);
    if (size != size_)
        image_ = QImage();
    size_ = size;
}

QSize SceneOverlay::sizeWithin(int width)
{
    const int textWidth = width - 2 * kPadding;
    QSize size;
    if (textWidth > 0) {
        size = layOut(textWidth);
        // Narrower than a word or a table's columns can go, the text would stick out.
        if (document_.idealWidth() > textWidth)
            size = QSize();
    }
    // Back to the box's own layout, which painting uses.
    layOut(wrapWidth_ > 0 ? wrapWidth_ - 2 * kPadding : -1);
    return size;
}

void SceneOverlay::move(int x, int y)
{
    position_ = QPoint(x, y);
}

const QImage& SceneOverlay::image(qreal devicePixelRatio)
{
    if (image_.isNull() || image_.devicePixelRatio() != devicePixelRatio) {
        QImage painted(size_ * devicePixelRatio, QImage::Format_RGBA8888_Premultiplied);
        painted.setDevicePixelRatio(devicePixelRatio);
        painted.fill(QColor(0, 0, 0, 160));
        QPainter painter(&painted);
        painter.translate(kPadding, kPadding);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, Qt::white);
        document_.documentLayout()->draw(&painter, context);
        painter.end();
        image_ = painted.mirrored();
        image_.setDevicePixelRatio(devicePixelRatio);
    }
    return image_;
}
