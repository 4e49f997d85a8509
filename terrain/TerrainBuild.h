#pragma once

struct TForm1State;

// Builds the window's terrain: creates the lattice (latticeWidth x latticeDepth, spacing 2,
// 100 texture slots), loads "LandTex0.bmp" .. "LandTex3.bmp" into slots 0..3, sets the heights
// from three sines, computes the normals, colours every vertex (255, 255, 255, 0) and picks
// each layer from the steepness. Needs a current GL context. A texture that cannot be read
// throws ViewerError and stops the build there; `landscapeBuilt` is set only when it completes.
void buildLandscape(TForm1State& form);

// The layer of a vertex with unit normal y component normalY: 0 for the flattest ground
// (above 0.9375) to 3 for the steepest (0.8125 or less).
unsigned layerForSlope(float normalY);
