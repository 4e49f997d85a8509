#include "Screenshots.h"

#include "GlPanel.h"
#include "MainForm.h"
#include "ViewOverlays.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QPainter>
#include <QStandardPaths>

QImage grabWindowImage(TForm1& form)
{
    const qreal ratio = form.devicePixelRatioF();
    QImage image(form.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(form.palette().window().color());
    QPainter painter(&image);
    // The last frame is drawn again for the picture and read back before any swap: what a swap
    // leaves in the back buffer is the window system's. It has the last frame's view, so with
    // the clock and the keys unchanged since (as after the frames of --screenshot) it is that
    // frame to the pixel; the overlays are those shown now.
    if (form.Panel1->initialized()) {
        form.Panel1->makeCurrent();
        form.drawFrame(form.lastView());
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

QString saveScreenshot(TForm1& form)
{
    const QDir folder(screenshotFolder());
    const QString stem = QStringLiteral("terrain-viewer-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // Two pictures within one second do not overwrite each other.
    QString path = folder.filePath(stem + QStringLiteral(".png"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(stem + QStringLiteral("-%1.png").arg(n));
    QImageWriter writer(path, "png");
    if (!writer.write(grabWindowImage(form))) {
        form.overlays->showMessage(
            QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), writer.errorString()));
        return QString();
    }
    form.overlays->showMessage(QStringLiteral("Saved ") + QDir::toNativeSeparators(path));
    return path;
}
