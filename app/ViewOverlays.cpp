#include "ViewOverlays.h"

#include "KeyHelp.h"

#include <algorithm>

ViewOverlays::ViewOverlays(const QFont& font)
    : helpPanel(Qt::RichText, font), messagePanel(Qt::PlainText, font), modeLine(Qt::PlainText, font),
      groundLine(Qt::PlainText, font), font_(font), helpMeasure_(Qt::RichText, font)
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
        layout(panelSize_, panelsOver_);
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
    layout(panelSize_, panelsOver_);
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
        layout(panelSize_, panelsOver_);
    }
    modeLine.show();
}

void ViewOverlays::setGroundLine(const QString& text)
{
    groundLine.setText(text);
    groundLine.adjustSize();
    groundLine.setVisible(!text.isEmpty());
    layout(panelSize_, panelsOver_);
}

void ViewOverlays::layout(QSize panelSize, QRect panelsOver)
{
    // The messages at the top middle, clear of the panel column on the left.
    panelSize_ = panelSize;
    panelsOver_ = panelsOver;
    const int w = panelSize.width(), h = panelSize.height();
    groundLine.move(std::max(0, (w - groundLine.width()) / 2), 8);
    const int messageTop = groundLine.isVisible() ? groundLine.geometry().bottom() + 5 : 8;
    messagePanel.move(std::max(0, (w - messagePanel.width()) / 2), messageTop);
    modeLine.move(4, std::max(0, h - modeLine.height() - 4));
    placeHelp();
}

void ViewOverlays::placeHelp()
{
    // Laid out only while shown: each candidate is a rich-text layout.
    if (!helpPanel.isVisible())
        return;
    constexpr int kMargin = 4;
    const QRect view(QPoint(0, 0), panelSize_);
    // Where the help may go: right of the panels over the whole height, or below them over
    // the whole width (a view without panels is free everywhere).
    QRect areas[2] = {view.adjusted(kMargin, kMargin, -kMargin, -kMargin), QRect()};
    if (!panelsOver_.isEmpty()) {
        areas[0] = QRect(QPoint(panelsOver_.right() + 1 + kMargin, kMargin),
                         QPoint(view.right() - kMargin, view.bottom() - kMargin));
        areas[1] = QRect(QPoint(kMargin, panelsOver_.bottom() + 1 + kMargin),
                         QPoint(view.right() - kMargin, view.bottom() - kMargin));
    }
    const auto fits = [](QSize size, const QRect& area) {
        return size.isValid() && area.isValid() && size.width() <= area.width() && size.height() <= area.height();
    };

    std::optional<HelpLayout> chosen;
    QRect area;
    for (int pixels = font_.pixelSize(); pixels >= kSmallestHelpPixels && !chosen; --pixels) {
        QFont font = font_;
        font.setPixelSize(pixels);
        helpMeasure_.setFont(font);
        for (bool withKindColumn : {true, false})
            for (int columns : {1, 2}) {
                if (chosen)
                    break;
                helpMeasure_.setText(keyHelpHtml(columns, withKindColumn));
                helpMeasure_.adjustSize();
                const QSize natural = helpMeasure_.geometry().size();
                for (const QRect& candidate : areas) {
                    const QSize wrapped = helpMeasure_.sizeWithin(candidate.width());
                    if (fits(natural, candidate))
                        chosen = HelpLayout{pixels, withKindColumn, columns, 0};
                    else if (fits(wrapped, candidate))
                        chosen = HelpLayout{pixels, withKindColumn, columns, candidate.width()};
                    if (chosen) {
                        area = candidate;
                        break;
                    }
                }
            }
    }
    applyHelpLayout(chosen);

    if (!chosen) {
        area = areas[0].isValid() ? areas[0] : view;
        helpPanel.move(area.left(), area.top());
        return;
    }
    // In the middle of the view as long as that keeps clear of the panels, else in the middle
    // of the free area it fits.
    const QSize size = helpPanel.geometry().size();
    const QRect centred(QPoint((view.width() - size.width()) / 2, (view.height() - size.height()) / 2), size);
    if (view.contains(centred) && !centred.intersects(panelsOver_))
        helpPanel.move(centred.left(), centred.top());
    else
        helpPanel.move(area.left() + (area.width() - size.width()) / 2,
                       area.top() + (area.height() - size.height()) / 2);
}

void ViewOverlays::applyHelpLayout(const std::optional<HelpLayout>& chosen)
{
    if (helpApplied_ && *helpApplied_ == chosen)
        return;
    QFont font = font_;
    if (chosen) {
        font.setPixelSize(chosen->pixelSize);
        helpPanel.setText(keyHelpHtml(chosen->columns, chosen->withKindColumn));
    } else {
        helpPanel.setText(
            QStringLiteral("The window is too small for the key table.<br>Make it larger to see it,<br>"
                           "or press F1 to hide this."));
    }
    helpPanel.setFont(font);
    helpPanel.fitToWidth(chosen ? chosen->wrapWidth : 0);
    helpApplied_ = chosen;
}

std::vector<OverlayPicture> ViewOverlays::pictures(qreal devicePixelRatio, const SceneOverlay* leftOut)
{
    std::vector<OverlayPicture> shown;
    for (SceneOverlay* overlay : {&groundLine, &modeLine, &messagePanel, &helpPanel}) {
        if (overlay->isVisible() && overlay != leftOut)
            shown.push_back({&overlay->image(devicePixelRatio), overlay->geometry().topLeft()});
    }
    return shown;
}
