#include "SceneOverlay.h"

#include <QLabel>
#include <QPainter>

SceneOverlay::SceneOverlay(const QString& objectName, Qt::TextFormat format, const QFont& font)
    : label_(std::make_unique<QLabel>())
{
    label_->setObjectName(objectName);
    label_->setTextFormat(format);
    label_->setFont(font);
    label_->setStyleSheet(
        QStringLiteral("QLabel { background-color: rgba(0, 0, 0, 160); color: white; padding: 6px; }"));
    label_->adjustSize();
}

SceneOverlay::~SceneOverlay() = default;

void SceneOverlay::setText(const QString& text)
{
    if (text == label_->text())
        return;
    label_->setText(text);
    image_ = QImage();
}

QString SceneOverlay::text() const
{
    return label_->text();
}

void SceneOverlay::adjustSize()
{
    const QSize before = label_->size();
    label_->adjustSize();
    if (label_->size() != before)
        image_ = QImage();
}

void SceneOverlay::move(int x, int y)
{
    position_ = QPoint(x, y);
}

QRect SceneOverlay::geometry() const
{
    return QRect(position_, label_->size());
}

const QImage& SceneOverlay::image(qreal devicePixelRatio)
{
    if (image_.isNull() || image_.devicePixelRatio() != devicePixelRatio) {
        QImage painted(label_->size() * devicePixelRatio, QImage::Format_RGBA8888_Premultiplied);
        painted.setDevicePixelRatio(devicePixelRatio);
        painted.fill(Qt::transparent);
        QPainter painter(&painted);
        // Without DrawWindowBackground: the style sheet paints the box itself, once.
        label_->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
        painter.end();
        image_ = painted.mirrored();
        image_.setDevicePixelRatio(devicePixelRatio);
    }
    return image_;
}
