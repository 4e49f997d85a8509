#pragma once

struct TForm1State;

// The radius in world units of the terrain window drawn around the camera's eye each frame.
constexpr float kTerrainDrawRadius = 60.0f;

// The x and z the terrain window is centred on (world units, single precision as the lattice
// takes them): the camera's eye as the bump's step leaves it.
struct GroundCentre {
    float x = 0.0f;
    float z = 0.0f;
};
GroundCentre groundCentreOf(const TForm1State& form);

// The frame's terrain: the depth pre-pass and the colour passes around centre
// (kTerrainDrawRadius), along form.terrainPath (TLandscape::render or
// TLandscape::renderBatched), then the normals overlay when showNormals is set; the phases
// DepthPass and ColourPasses are marked after each half. Expects and leaves the GL state those
// functions name; the GL context must be current. While the terrain has not been built it
// draws nothing. Without a centre, around the camera's eye.
void drawTerrain(TForm1State& form);
void drawTerrain(TForm1State& form, GroundCentre centre);

// drawTerrain in two halves, for a frame that draws between them: the depth pre-pass
// (TLandscape::renderDepth), then the colour passes along form.terrainPath and the normals
// overlay, both around the same centre. Each draws nothing while the terrain has not been
// built.
//
// Beyond the designed view distance (form.viewDistance above 50) the levels of detail follow
// each half (TLandscape::renderRingsDepth / renderRingsColour): the band around the window in
// the front half of the depth range with the window, the farther levels in the back half with
// a near plane of their own. With form.lodRings clear the window drawn in full detail reaches
// past the view distance instead.
void drawTerrainDepth(TForm1State& form, GroundCentre centre);
void drawTerrainColour(TForm1State& form, GroundCentre centre);
inline void drawTerrainDepth(TForm1State& form)
{
    drawTerrainDepth(form, groundCentreOf(form));
}
inline void drawTerrainColour(TForm1State& form)
{
    drawTerrainColour(form, groundCentreOf(form));
}

// The levels drawn in one pass of their own ahead of the colour passes, for a frame that
// shades its sky after the ground (SkyOrder::BehindGround), with the light already set for the
// frame: without a ground fog the band's triangles of one layer alone (renderRingsSingles), in
// the front half of the depth range; and where lightingStaysLinear or under a ground fog (lit
// on the CPU) the far levels (every level beyond the band), in the back half. Drawn now they
// mark their pixels, and the sky is not shaded under them; same pixels as drawn after the sky,
// over it. drawLevelsBeforeSky returns what it drew, which drawTerrainColour then leaves out.
// Expects and leaves the baseline state drawTerrainDepth leaves, after it. hasLevels: whether
// the frame has levels.
struct LevelsBeforeSky {
    bool bandSingles = false;
    bool farLevels = false;
};
bool hasLevels(const TForm1State& form);
LevelsBeforeSky drawLevelsBeforeSky(TForm1State& form);
void drawTerrainColour(TForm1State& form, GroundCentre centre, LevelsBeforeSky drawnBeforeSky);

// Sets the far plane to form.viewDistance and the linear fog from 7/50 to 45/50 of it (the
// designed 7 to 45 at 50), when it differs from what was last applied; no GL call otherwise.
// GL context current; leaves GL_MODELVIEW selected with the identity loaded when it applies.
void applyViewDistance(TForm1State& form);
