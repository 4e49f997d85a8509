#include "SceneOverlay.h"

#include <GL/gl.h>
#include <QLabel>
#include <QPainter>
#include <cmath>

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

void drawSceneOverlays(std::initializer_list<SceneOverlay*> overlays, QSize viewportPixels, qreal ratio)
{
    bool anyShown = false;
    for (const SceneOverlay* overlay : overlays)
        anyShown = anyShown || overlay->isVisible();
    if (!anyShown)
        return;

    // Saved whole rather than switched back one by one: the overlays come after the frame's own
    // drawing, whose contract says what it leaves, and must leave exactly that.
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_PIXEL_MODE_BIT | GL_TRANSFORM_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, viewportPixels.width(), 0.0, viewportPixels.height(), -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    // The pixels are written as they are, blended by their premultiplied alpha: no texture,
    // fog, depth or stencil test touches them.
    for (GLenum cap :
         {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_ALPHA_TEST, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_FOG, GL_LIGHTING})
        glDisable(cap);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelZoom(1.0f, 1.0f);

    for (SceneOverlay* overlay : overlays) {
        if (!overlay->isVisible())
            continue;
        // The raster position is set at the origin, where it is always valid, and moved to the
        // image's bottom-left corner by an empty bitmap: a position set outside the view
        // directly would be invalid and draw nothing, where the image's visible part is wanted.
        const QImage& image = overlay->image(ratio);
        const QRect box = overlay->geometry();
        const auto left = GLfloat(std::lround(box.left() * ratio));
        const auto bottom = GLfloat(viewportPixels.height() - std::lround(box.top() * ratio) - image.height());
        glRasterPos2i(0, 0);
        glBitmap(0, 0, 0.0f, 0.0f, left, bottom, nullptr);
        glDrawPixels(image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.constBits());
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
}
