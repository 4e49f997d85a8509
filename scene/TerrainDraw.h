#pragma once

struct TForm1State;

// The radius in world units of the terrain window drawn around the camera's eye each frame.
constexpr float kTerrainDrawRadius = 60.0f;

// The frame's terrain: the depth pre-pass and the colour passes around the x and z of the
// camera's eye (kTerrainDrawRadius), along form.terrainPath (TLandscape::render or
// TLandscape::renderBatched), then the normals overlay when showNormals is set; the phases
// DepthPass and ColourPasses are marked after each half. Expects and leaves the GL state those
// functions name; the GL context must be current. While the terrain has not been built it
// draws nothing.
void drawTerrain(TForm1State& form);

// drawTerrain in two halves, for a frame that draws between them: the depth pre-pass
// (TLandscape::renderDepth), then the colour passes along form.terrainPath and the normals
// overlay. The camera's x and z must not change in between. Each draws nothing while the
// terrain has not been built.
void drawTerrainDepth(TForm1State& form);
void drawTerrainColour(TForm1State& form);
