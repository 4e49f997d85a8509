#include "ViewOverlays.h"

#include "KeyHelp.h"

#include <algorithm>

ViewOverlays::ViewOverlays(const QFont& font)
    : helpPanel(QStringLiteral("HelpPanel"), Qt::RichText, font),
      messagePanel(QStringLiteral("MessagePanel"), Qt::PlainText, font),
      modeLine(QStringLiteral("ModeLine"), Qt::PlainText, font),
      groundLine(QStringLiteral("GroundLine"), Qt::PlainText, font)
{
    helpPanel.setText(keyHelpHtml());
    helpPanel.adjustSize();
    messageTimer_.setSingleShot(true);
    messageTimer_.setInterval(kMessageMs);
    QObject::connect(&messageTimer_, &QTimer::timeout, [this] { messagePanel.hide(); });
}

void ViewOverlays::toggleHelp()
{
    helpPanel.setVisible(!helpPanel.isVisible());
    if (helpPanel.isVisible())
        layout(panelSize_);
}

bool ViewOverlays::hideHelp()
{
    if (!helpPanel.isVisible())
        return false;
    helpPanel.hide();
    return true;
}

void ViewOverlays::showMessage(const QString& text)
{
    messagePanel.setText(text);
    messagePanel.adjustSize();
    layout(panelSize_);
    messagePanel.show();
    messageTimer_.start();
}

void ViewOverlays::setModeLine(const QString& text)
{
    if (text.isEmpty()) {
        modeLine.hide();
        return;
    }
    if (modeLine.text() != text) {
        modeLine.setText(text);
        modeLine.adjustSize();
        layout(panelSize_);
    }
    modeLine.show();
}

void ViewOverlays::setGroundLine(const QString& text)
{
    groundLine.setText(text);
    groundLine.adjustSize();
    groundLine.setVisible(!text.isEmpty());
    layout(panelSize_);
}

void ViewOverlays::layout(QSize panelSize)
{
    // The messages at the top middle, clear of the panel column on the left.
    panelSize_ = panelSize;
    const int w = panelSize.width(), h = panelSize.height();
    helpPanel.move(std::max(0, (w - helpPanel.width()) / 2), std::max(0, (h - helpPanel.height()) / 2));
    groundLine.move(std::max(0, (w - groundLine.width()) / 2), 8);
    const int messageTop = groundLine.isVisible() ? groundLine.geometry().bottom() + 5 : 8;
    messagePanel.move(std::max(0, (w - messagePanel.width()) / 2), messageTop);
    modeLine.move(4, std::max(0, h - modeLine.height() - 4));
}

std::vector<OverlayPicture> ViewOverlays::pictures(qreal devicePixelRatio)
{
    std::vector<OverlayPicture> shown;
    for (SceneOverlay* overlay : {&groundLine, &modeLine, &messagePanel, &helpPanel}) {
        if (overlay->isVisible())
            shown.push_back({&overlay->image(devicePixelRatio), overlay->geometry().topLeft()});
    }
    return shown;
}
