#include "Screenshots.h"

#include "GlPanel.h"
#include "MainForm.h"
#include "ViewOverlays.h"
#include "ViewerError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QPainter>
#include <QStandardPaths>

QImage grabWindowImage(TForm1& form, PictureParts parts)
{
    const qreal ratio = form.devicePixelRatioF();
    // The last frame is drawn again for the picture and read back before any swap: what a swap
    // leaves in the back buffer is the window system's. It is drawn from the last frame's
    // record, so it is that frame to the pixel; the overlays are those shown now.
    if (parts == PictureParts::SceneOnly) {
        if (!form.Panel1->initialized())
            return QImage();
        form.Panel1->makeCurrent();
        form.drawLastFrameAgain(false);
        QImage scene = form.Panel1->readFramebuffer().convertToFormat(QImage::Format_RGB32);
        return scene;
    }
    QImage image(form.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(form.palette().window().color());
    QPainter painter(&image);
    if (form.Panel1->initialized()) {
        form.Panel1->makeCurrent();
        form.drawLastFrameAgain(parts == PictureParts::AsShown);
        painter.drawImage(form.Panel1->pos(), form.Panel1->readFramebuffer());
    }
    // Each panel is a window of its own over the scene: the screen shows its pixels as Qt
    // paints them into the panel's own background, not blended over the scene below.
    for (QWidget* panel : {static_cast<QWidget*>(form.Panel2), static_cast<QWidget*>(form.Panel3),
                           static_cast<QWidget*>(form.Panel4), static_cast<QWidget*>(form.Panel5)})
        painter.drawImage(panel->mapTo(&form, QPoint()), panel->grab().toImage());
    painter.end();
    return image;
}

QString screenshotFolder()
{
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::currentPath();
}

QString unusedFileName(const QString& folder, const QString& prefix, const QString& suffix, const QDateTime& at)
{
    const QDir dir(folder);
    const QString stem = prefix + at.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // Two files within one second do not overwrite each other.
    QString path = dir.filePath(stem + suffix);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(stem + QStringLiteral("-%1").arg(n) + suffix);
    return path;
}

QString saveScreenshot(TForm1& form)
{
    QString path = unusedFileName(screenshotFolder(), QStringLiteral("terrain-viewer-"), QStringLiteral(".png"));
    QImageWriter writer(path, "png");
    if (!writer.write(grabWindowImage(form)))
        throw ViewerError(QStringLiteral("Cannot save %1: %2")
                              .arg(QDir::toNativeSeparators(path), writer.errorString())
                              .toStdString());
    return path;
}
