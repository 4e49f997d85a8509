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

// The sky form.sky selects. The physical sky's dome covers every direction, so it paints no
// black background first either way; beginScene has brought it up to date.
void drawSky(TForm1State& form, bool overBlack)
{
    if (form.sky == SkyKind::Physical)
        form.physicalSky.draw(form.world);
    else if (overBlack)
        form.world.renderOverBlack();
    else
        form.world.render();
}

// The same pixels as the sky drawn first, with no sky shaded under the ground. The sky drawn
// first paints every pixel (0, 0, 0, 0) with its black sphere, shades the sky over that, and
// the terrain's depth pass then paints black again over each pixel it covers. Here the frame
// is cleared to that black (beginScene), the depth pass goes first (its black would change no
// pixel, so its colour writes are masked) and marks each pixel it passed at with 1 in the
// stencil, and the sky is drawn only where the mark is 0, without its black sphere
// (TWorld::renderOverBlack). Shaded and blended over the same black, each sky pixel it keeps
// is the one the sky drawn first would leave, every other pixel is the depth pass's black, and
// the light and fog colours are set before the colour passes as before. Unlike a depth test at
// the far plane, the mark also spares ground that lies exactly at the far plane's depth.
void drawSkyBehindGround(TForm1State& form, GroundCentre centre)
{
    // Set up: the depth pass writes the mark and no colour, or with a ground fog its colours,
    // which the sky then leaves.
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    if (!form.fogFollowsSky)
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    drawTerrainDepth(form, centre);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // The levels drawn in one pass, where the sky's light (set here as the sky will set it)
    // allows it: drawn now they mark their pixels too, and the sky is not shaded under them to
    // be painted over. Their pixels are those they would paint over the sky.
    LevelsBeforeSky levelsDrawn;
    if (hasLevels(form)) {
        if (form.sky == SkyKind::Physical)
            form.physicalSky.applyLight(form.world);
        else
            form.world.applySunLight();
        levelsDrawn = drawLevelsBeforeSky(form);
    }
    // The sky only where no mark is.
    glStencilFunc(GL_EQUAL, 0, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    drawSky(form, true);
    // Restore: the stencil test off, its function and operations at their defaults.
    glStencilFunc(GL_ALWAYS, 0, 0xFF);
    glDisable(GL_STENCIL_TEST);

    // The colour passes start from the current colour the depth pass leaves, as they do when
    // the sky comes first (no pixel depends on it: they draw with a colour array).
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    markFramePhase(form.instruments, FramePhase::Sky);
    drawTerrainColour(form, centre, levelsDrawn);
}

} // namespace

SceneView viewAlong(const Camera& camera)
{
    return SceneView{camera.position, camera.target, camera.up};
}

SkyOrder skyOrderFor(const TForm1State& form, bool skyHidden)
{
    if (skyHidden || !form.worldReady)
        return SkyOrder::Hidden;
    return form.skyBehindGround && form.stencilBits > 0 ? SkyOrder::BehindGround : SkyOrder::First;
}

void beginScene(TForm1State& form, const SceneView& view, SkyOrder order)
{
    applyViewDistance(form);
    if (order == SkyOrder::BehindGround) {
        const float black[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        beginFrameWithStencil(black);
    } else {
        beginFrame();
    }
    gluLookAt(view.eye.x, view.eye.y, view.eye.z, view.centre.x, view.centre.y, view.centre.z, view.up.x, view.up.y,
              view.up.z);
    // The physical sky is brought up to date here, before the ground's depth pass, which fades
    // the ground into its band under the horizon direction by direction.
    form.fogFollowsSky = order != SkyOrder::Hidden && form.sky == SkyKind::Physical;
    if (form.fogFollowsSky) {
        form.physicalSky.update(form.world, viewForwardOfModelview());
        GLfloat modelview[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        GLfloat start = 0.0f;
        GLfloat end = 0.0f;
        glGetFloatv(GL_FOG_START, &start);
        glGetFloatv(GL_FOG_END, &end);
        form.groundFog.set(float3{float(view.eye.x), float(view.eye.y), float(view.eye.z)}, modelview, start, end,
                           form.physicalSky.horizonBand());
    }
    markFramePhase(form.instruments, FramePhase::Camera);
}

void drawSkyFirst(TForm1State& form, SkyOrder order)
{
    if (order == SkyOrder::BehindGround)
        return;
    if (order == SkyOrder::First)
        drawSky(form, false);
    markFramePhase(form.instruments, FramePhase::Sky);
}

void drawGround(TForm1State& form, GroundCentre centre, SkyOrder order)
{
    if (order == SkyOrder::BehindGround)
        drawSkyBehindGround(form, centre);
    else
        drawTerrain(form, centre);
}

void drawScene(TForm1State& form, const SceneView& view, GroundCentre centre, SkyOrder order)
{
    beginScene(form, view, order);
    drawSkyFirst(form, order);
    drawGround(form, centre, order);
}

void drawScene(TForm1State& form, const SceneView& view, bool skyHidden)
{
    drawScene(form, view, groundCentreOf(form), skyOrderFor(form, skyHidden));
}

void drawOverlayPictures(const std::vector<OverlayPicture>& pictures, QSize viewportPixels, double ratio)
{
    if (pictures.empty())
        return;
    drawInOverlayState(OverlayWay::Pixels, [&] {
        for (const OverlayPicture& picture : pictures) {
            // The raster position is set at the origin, where it is always valid, and moved to
            // the image's bottom-left corner by an empty bitmap: a position set outside the view
            // directly would be invalid and draw nothing, where the image's visible part is
            // wanted.
            const QImage& image = *picture.image;
            const auto left = GLfloat(std::lround(picture.topLeft.x() * ratio));
            const auto bottom = GLfloat(viewportPixels.height() - std::lround(picture.topLeft.y() * ratio) -
                                        image.height());
            glRasterPos2i(0, 0);
            glBitmap(0, 0, 0.0f, 0.0f, left, bottom, nullptr);
            glDrawPixels(image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.constBits());
        }
    });
}

void presentFrame(TForm1State& form)
{
    glView.swapBuffers();
    markFramePhase(form.instruments, FramePhase::Swap);
}
