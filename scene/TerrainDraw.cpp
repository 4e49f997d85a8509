#include "TerrainDraw.h"

#include "FormState.h"
#include "FrameInstruments.h"
#include "GlView.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <algorithm>

namespace {

// The levels beyond the first are drawn with their own near plane: they lie farther than the
// band around the designed window, so a near plane this far off costs nothing and gives the
// depth buffer's resolution to the distance (24 bits over 16 to 4000 units resolve a few
// centimetres at 4000, where the designed near plane of 0.1 would resolve some 10 units).
constexpr double kFarLevelsNearPlane = 16.0;

// The frame's ground fog when it follows the sky's band (the physical sky), else none: GL's
// one fog colour.
const GroundFog* groundFogOf(const TForm1State& form)
{
    return form.fogFollowsSky ? &form.groundFog : nullptr;
}

bool ringsDrawn(const TForm1State& form)
{
    return form.lodRings && double(form.viewDistance) > kDesignedViewDistance;
}

// The radius of the window drawn in full: the designed one, or with --lod off past the view
// distance's reach in every direction of the view.
float fullDetailRadius(const TForm1State& form)
{
    if (!form.lodRings && double(form.viewDistance) > kDesignedViewDistance)
        return std::max(kTerrainDrawRadius, 1.3f * form.viewDistance);
    return kTerrainDrawRadius;
}

// The designed window and the band around it take the depth range's front half with the
// frame's projection; the farther levels the back half with the near plane moved out. The
// halves do not overlap, so nothing of the farther levels ever covers the nearer ground; they
// lie beyond it anyway. Selects GL_MODELVIEW on return.
void beginNearDepth()
{
    glDepthRange(0.0, 0.5);
}

void beginFarDepth()
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    // gluPerspective's depth row: m[10] = (f + n) / (n - f), m[14] = 2 f n / (n - f).
    const double f = glView.farPlane;
    const double n = kFarLevelsNearPlane < f ? kFarLevelsNearPlane : f * 0.5;
    m[10] = GLfloat((f + n) / (n - f));
    m[14] = GLfloat(2.0 * f * n / (n - f));
    glLoadMatrixf(m);
    glMatrixMode(GL_MODELVIEW);
    glDepthRange(0.5, 1.0);
}

void endFarDepth()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDepthRange(0.0, 1.0);
}

// The far levels (every level beyond the band) in their one pass, where it gives the picture:
// under a ground fog lit and fogged on the CPU, else where the lighting stays linear their flat
// colours. False, drawing nothing, where neither holds. Expects beginFarDepth and what the
// colour passes leave; leaves the same.
bool drawFarLevelsInOnePass(TLandscape& land, const GroundFog* fog, TerrainDrawCounters* counters)
{
    const int levels = int(land.rings().levels().size());
    if (fog)
        land.renderRingsFogged(1, levels, *fog, counters);
    else if (lightingStaysLinear())
        land.renderRingsFlat(1, levels, counters);
    else
        return false;
    return true;
}

} // namespace

GroundCentre groundCentreOf(const TForm1State& form)
{
    return GroundCentre{float(form.camera.position.x), float(form.camera.position.z)};
}

void drawTerrain(TForm1State& form)
{
    drawTerrain(form, groundCentreOf(form));
}

void drawTerrain(TForm1State& form, GroundCentre centre)
{
    drawTerrainDepth(form, centre);
    drawTerrainColour(form, centre);
}

void drawTerrainDepth(TForm1State& form, GroundCentre centre)
{
    if (!form.landscapeBuilt)
        return;
    TLandscape& land = form.landscape;
    TerrainDrawCounters* counters = drawCountersOf(form.instruments);
    const bool rings = ringsDrawn(form);
    if (rings) {
        land.updateRings(centre.x, centre.z, form.viewDistance, kTerrainDrawRadius);
        beginNearDepth();
    }
    const GroundFog* fog = groundFogOf(form);
    land.renderDepth(centre.x, centre.z, fullDetailRadius(form), counters, fog);
    // The farther levels have no pre-pass here: they are drawn whole once the frame's light is
    // set, by drawLevelsBeforeSky or by drawTerrainColour over the sky.
    if (rings)
        land.renderRingsDepth(0, 1, counters, fog);
    markFramePhase(form.instruments, FramePhase::DepthPass);
}

void drawTerrainColour(TForm1State& form, GroundCentre centre)
{
    drawTerrainColour(form, centre, LevelsBeforeSky{});
}

bool hasLevels(const TForm1State& form)
{
    return form.landscapeBuilt && ringsDrawn(form) && !form.landscape.rings().levels().empty();
}

LevelsBeforeSky drawLevelsBeforeSky(TForm1State& form)
{
    LevelsBeforeSky drawn;
    if (!hasLevels(form))
        return drawn;
    TLandscape& land = form.landscape;
    TerrainDrawCounters* counters = drawCountersOf(form.instruments);
    const GroundFog* fog = groundFogOf(form);
    // Both leave what the colour passes leave: the baseline with alpha testing off.
    if (!fog) {
        beginNearDepth();
        land.renderRingsSingles(0, 1, counters);
        glDepthRange(0.0, 1.0);
        glEnable(GL_ALPHA_TEST);
        drawn.bandSingles = true;
    }
    if (land.rings().levels().size() > 1) {
        glDisable(GL_ALPHA_TEST);
        beginFarDepth();
        drawn.farLevels = drawFarLevelsInOnePass(land, fog, counters);
        endFarDepth();
        glEnable(GL_ALPHA_TEST);
    }
    return drawn;
}

void drawTerrainColour(TForm1State& form, GroundCentre centre, LevelsBeforeSky drawnBeforeSky)
{
    if (!form.landscapeBuilt)
        return;
    TLandscape& land = form.landscape;
    TerrainDrawCounters* counters = drawCountersOf(form.instruments);
    const float radius = fullDetailRadius(form);
    const bool rings = ringsDrawn(form);
    const GroundFog* fog = groundFogOf(form);
    // Under a ground fog the pre-passes hold the fog's share; the colour passes fade to black.
    if (fog) {
        const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glFogfv(GL_FOG_COLOR, black);
    }
    if (rings)
        beginNearDepth();
    // A window in full detail too large for the batch cache (--lod off far out) is drawn
    // cell by cell: the same picture without the cache's memory.
    const bool hugeWindow = radius > 2.0f * kTerrainDrawRadius &&
                            radius * radius > 4.0e6f * land.spacing * land.spacing;
    if (form.terrainPath == TerrainPath::Batched && !hugeWindow)
        land.renderBatchedColour(centre.x, centre.z, radius, counters);
    else
        land.renderColour(centre.x, centre.z, radius, counters);
    if (rings) {
        land.renderRingsColour(0, 1, counters, fog);
        if (!fog && !drawnBeforeSky.bandSingles)
            land.renderRingsSingles(0, 1, counters);
        // Beyond the band the layers' textures show their smallest mip levels: one pass of
        // the layers' mean colours gives the same sum where the lighting stays linear, and under
        // a ground fog they are lit and fogged per vertex on the CPU, whatever the light. Where
        // neither holds, the levels' own pre-pass (black and depth, over the sky) and colour
        // passes. Unless drawLevelsBeforeSky drew them.
        beginFarDepth();
        if (!drawnBeforeSky.farLevels && !drawFarLevelsInOnePass(land, fog, counters)) {
            const int levels = int(land.rings().levels().size());
            land.renderRingsDepth(1, levels, counters);
            land.renderRingsColour(1, levels, counters);
        }
        endFarDepth();
    }
    if (fog) {
        const Rgb& c = form.physicalSky.fogColour();
        const GLfloat sky[4] = {GLfloat(c.r), GLfloat(c.g), GLfloat(c.b), 1.0f};
        glFogfv(GL_FOG_COLOR, sky);
    }
    if (form.showNormals)
        land.renderNormals(counters);
    markFramePhase(form.instruments, FramePhase::ColourPasses);
}

void applyViewDistance(TForm1State& form)
{
    if (form.viewDistance == form.appliedViewDistance)
        return;
    const float d = form.viewDistance;
    // The designed view's far plane 50 with its fog from 7 to 45, scaled with the distance.
    glView.setPerspective(glView.fieldOfView, d);
    glFogf(GL_FOG_START, 7.0f * d / 50.0f);
    glFogf(GL_FOG_END, 45.0f * d / 50.0f);
    form.appliedViewDistance = d;
}
