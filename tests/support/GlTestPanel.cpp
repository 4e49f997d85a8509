#include "GlTestPanel.h"

#include <GL/gl.h>
#include <QDir>
#include <QOpenGLContext>
#include <QTest>
#include <stdexcept>

GlTestPanel::GlTestPanel(int width, int height) : panel_(std::make_unique<GlPanel>())
{
    // With an alpha channel, which the viewer's own surface does not have: the tests read back
    // the alpha each drawing step leaves (the depth pass's 0, the weights the colour passes
    // add, the sky's blend), which no colour depends on.
    QSurfaceFormat format = viewSurfaceFormat();
    format.setAlphaBufferSize(8);
    panel_->setFormat(format);
    panel_->resize(width, height);
    panel_->show();
    if (!QTest::qWaitForWindowExposed(panel_.get()) || !panel_->initialized())
        throw std::runtime_error("no GL context: the test panel was not exposed");
    makeCurrent();
    if (!QOpenGLContext::currentContext())
        throw std::runtime_error("no GL context could be made current");
    glViewport(0, 0, width, height);
}

GlTestPanel::~GlTestPanel()
{
    // A panel a test made fail has no context to make current.
    if (panel_->failure().isEmpty())
        panel_->makeCurrent();
}

void GlTestPanel::makeCurrent()
{
    panel_->makeCurrent();
}

QImage GlTestPanel::readPixels()
{
    return readColourBuffer(*panel_);
}

QRgb GlTestPanel::pixelAt(int x, int yFromBottom)
{
    makeCurrent();
    unsigned char rgba[4] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, yFromBottom, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return qRgba(rgba[0], rgba[1], rgba[2], rgba[3]);
}

QImage readColourBuffer(GlPanel& panel)
{
    panel.makeCurrent();
    const QSize size = panel.pixelSize();
    QImage image(size, QImage::Format_RGBA8888);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    return image.mirrored();
}

QString testOutputFolder()
{
    // One folder per test program (QTest names the application after it): tests run side by
    // side never write into the same one.
    QString folder = QDir(qEnvironmentVariable("TERRAIN_TEST_OUTPUT", QDir::tempPath()))
                         .filePath(QCoreApplication::applicationName());
    QDir().mkpath(folder);
    return folder;
}
