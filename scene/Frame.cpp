#include "Frame.h"

#include "Camera.h"
#include "FormState.h"
#include "FrameInstruments.h"
#include "GlView.h"
#include "TerrainDraw.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QImage>
#include <cmath>

namespace {

void lookAlong(TForm1State& form, const SceneView& view)
{
    gluLookAt(view.eye.x, view.eye.y, view.eye.z, view.centre.x, view.centre.y, view.centre.z, view.up.x, view.up.y,
              view.up.z);
    markFramePhase(form.instruments, FramePhase::Camera);
}

// The sky over the whole view first (when drawn), then the terrain: the order in which each
// layer simply paints over the last.
void drawSkyFirst(TForm1State& form, const SceneView& view, bool drawSky)
{
    beginFrame();
    lookAlong(form, view);
    if (drawSky)
        form.world.render();
    markFramePhase(form.instruments, FramePhase::Sky);
    drawTerrain(form);
}

// The same pixels with no sky shaded under the ground. The sky drawn first paints every pixel
// (0, 0, 0, 0) with its black sphere, shades the sky over that, and the terrain's depth pass
// then paints black again over each pixel it covers. Here the frame is cleared to that black,
// the depth pass goes first (its black would change no pixel, so its colour writes are
// masked) and marks each pixel it passed at with 1 in the stencil, and the sky is drawn only
// where the mark is 0, without its black sphere (TWorld::renderOverBlack). Shaded and blended
// over the same black, each sky pixel it keeps is the one the sky drawn first would leave,
// every other pixel is the depth pass's black, and the light and fog colours are set before
// the colour passes as before. Unlike a depth test at the far plane, the mark also spares
// ground that lies exactly at the far plane's depth.
void drawSkyBehindGround(TForm1State& form, const SceneView& view)
{
    const float black[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    beginFrameWithStencil(black);
    lookAlong(form, view);

    // Set up: the depth pass writes the mark and no colour.
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    drawTerrainDepth(form);
    // The sky only where no mark is.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glStencilFunc(GL_EQUAL, 0, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    form.world.renderOverBlack();
    // Restore: the stencil test off, its function and operations at their defaults.
    glStencilFunc(GL_ALWAYS, 0, 0xFF);
    glDisable(GL_STENCIL_TEST);

    // The colour passes start from the current colour the depth pass leaves, as they do when
    // the sky comes first (no pixel depends on it: they draw with a colour array).
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    markFramePhase(form.instruments, FramePhase::Sky);
    drawTerrainColour(form);
}

} // namespace

SceneView viewAlong(const Camera& camera)
{
    return SceneView{camera.position, camera.target, camera.up};
}

void drawScene(TForm1State& form, const SceneView& view, bool skyHidden)
{
    applyViewDistance(form);
    const bool drawSky = !skyHidden && form.worldReady;
    if (drawSky && form.skyBehindGround && form.stencilBits > 0)
        drawSkyBehindGround(form, view);
    else
        drawSkyFirst(form, view, drawSky);
}

void drawOverlayPictures(const std::vector<OverlayPicture>& pictures, QSize viewportPixels, double ratio)
{
    if (pictures.empty())
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
    unpackImageRows();
    glPixelZoom(1.0f, 1.0f);

    for (const OverlayPicture& picture : pictures) {
        // The raster position is set at the origin, where it is always valid, and moved to the
        // image's bottom-left corner by an empty bitmap: a position set outside the view
        // directly would be invalid and draw nothing, where the image's visible part is wanted.
        const QImage& image = *picture.image;
        const auto left = GLfloat(std::lround(picture.topLeft.x() * ratio));
        const auto bottom = GLfloat(viewportPixels.height() - std::lround(picture.topLeft.y() * ratio) -
                                    image.height());
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

void presentFrame(TForm1State& form)
{
    glView.swapBuffers();
    markFramePhase(form.instruments, FramePhase::Swap);
}
