#pragma once

#include "Frame.h"
#include "SceneOverlay.h"

#include <QSize>
#include <QTimer>
#include <vector>

class QFont;

// The boxes the window shows over the view: the key and mouse table (F1), a message that goes
// after three seconds, the line that names the modes that are on, and a lasting line while the
// ground is missing. Each is hidden until used; the frame draws the shown ones into itself
// (pictures()).
class ViewOverlays {
public:
    static constexpr int kMessageMs = 3000;

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

    // Places the boxes in a view of panelSize: the help in the middle, the ground line and the
    // messages at the top middle, the mode line in the bottom-left corner.
    void layout(QSize panelSize);

    // The shown boxes' pictures at the device pixel ratio, in drawing order (the help on top).
    std::vector<OverlayPicture> pictures(qreal devicePixelRatio);

private:
    QTimer messageTimer_;
    QSize panelSize_;
};
