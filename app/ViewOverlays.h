#pragma once

#include "Frame.h"
#include "SceneOverlay.h"

#include <QFont>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <optional>
#include <vector>

class QFont;

// The boxes the window shows over the view: the key and mouse table (F1), a message that goes
// after three seconds, the line that names the modes that are on, and a lasting line while the
// ground is missing. Each is hidden until used; the frame draws the shown ones into itself
// (pictures()).
class ViewOverlays {
public:
    static constexpr int kMessageMs = 3000;
    static constexpr int kSmallestHelpPixels = 8;

    // The boxes in the window's font; the help box holds the key table (keyHelpHtml).
    explicit ViewOverlays(const QFont& font);

    SceneOverlay helpPanel;
    SceneOverlay messagePanel;
    SceneOverlay modeLine;
    SceneOverlay groundLine;

    // Shows the help box, or hides it again.
    void toggleHelp();
    // Hides the help box; false if it was not shown.
    bool hideHelp();
    // Shows text at the top of the view for kMessageMs.
    void showMessage(const QString& text);
    // The mode line's text; empty hides it.
    void setModeLine(const QString& text);
    // Why the ground is missing and what to do, at the top of the view until it is cleared
    // with an empty text; messages then appear below it.
    void setGroundLine(const QString& text);

    // Places the boxes in a view of panelSize whose panels (read-outs and controls) cover
    // panelsOver: the ground line and the messages at the top middle, the mode line in the
    // bottom-left corner, and the shown help in the middle, clear of the panels. Where the help
    // does not fit so, it takes the first of its other layouts that fits: lines wrapped, the
    // "held or pressed" column folded into the text, the rows in two columns, then each of
    // those in smaller fonts; where none is readable (below kSmallestHelpPixels), a line that
    // asks for a larger window.
    void layout(QSize panelSize, QRect panelsOver);

    // The shown boxes' pictures at the device pixel ratio, in drawing order (the help on top),
    // leaving out leftOut when given.
    std::vector<OverlayPicture> pictures(qreal devicePixelRatio, const SceneOverlay* leftOut = nullptr);

private:
    // One way of laying out the help table: its font size, the kind column or not, one or two
    // columns of rows, and the width its lines are wrapped to (0: not wrapped).
    struct HelpLayout {
        int pixelSize = 0;
        bool withKindColumn = true;
        int columns = 1;
        int wrapWidth = 0;
        bool operator==(const HelpLayout& o) const
        {
            return pixelSize == o.pixelSize && withKindColumn == o.withKindColumn && columns == o.columns &&
                   wrapWidth == o.wrapWidth;
        }
    };
    void placeHelp();
    void applyHelpLayout(const std::optional<HelpLayout>& chosen);

    QFont font_;
    QTimer messageTimer_;
    QSize panelSize_;
    QRect panelsOver_;
    SceneOverlay helpMeasure_; // never shown: lays out the help's candidates
    // The layout applied, nullopt for the line that asks for a larger window; unset before the
    // first placement.
    std::optional<std::optional<HelpLayout>> helpApplied_;
};
