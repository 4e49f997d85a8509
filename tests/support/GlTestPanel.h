#pragma once

#include "GlPanel.h"
#include "GlView.h"

#include <QImage>
#include <memory>

// A shown drawing panel of the given size whose GL context is current (its framebuffer
// bound), for tests that need a real context: llvmpipe under Xvfb. Its surface is the viewer's
// with an alpha channel added, so the alpha a drawing leaves can be read back. If no context can be had
// the constructor throws, so the test fails rather than skips.
class GlTestPanel {
public:
    explicit GlTestPanel(int width = 256, int height = 256);
    ~GlTestPanel();

    GlPanel* panel() const { return panel_.get(); }
    void makeCurrent();
    // Reads back the panel's framebuffer (what was drawn since the last clear), top row first.
    QImage readPixels();
    // RGBA of one pixel, x from the left and y from the bottom, as glReadPixels addresses it.
    QRgb pixelAt(int x, int yFromBottom);

private:
    std::unique_ptr<GlPanel> panel_;
};

// The panel's colour buffer as GL holds it, alpha included (RGBA8888), top row first, at the
// panel's size in device pixels (GlPanel::pixelSize). Makes the panel's context current.
QImage readColourBuffer(GlPanel& panel);

// Folder where a failing image test writes what it saw, one per test program (created on
// demand).
QString testOutputFolder();
