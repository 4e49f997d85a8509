#pragma once

#include <cstdint>
#include <optional>

struct TForm1State;
class TLandscape;
struct ElevationModel;
struct Vec3d;

// The lattice the build creates: rows 2 world units apart, 100 texture slots (0..3 loaded).
constexpr float kTerrainSpacing = 2.0f;
constexpr std::uint32_t kTerrainTextureSlots = 100;

// Builds the window's terrain. With form.ground holding a model's heights, the lattice is the
// model's (latticeWidth and latticeDepth follow it), its heights are the model's and its
// heights are let go once laid; the textures, normals, colours and layers as below. Otherwise:
// creates the lattice (latticeWidth x latticeDepth, spacing 2,
// 100 texture slots), loads "LandTex0.bmp" .. "LandTex3.bmp" into slots 0..3, sets the heights
// from three sines, computes the normals, colours every vertex (255, 255, 255, 0) and picks
// each layer from the steepness. Needs a current GL context. A texture that cannot be read
// throws ViewerError and stops the build there; `landscapeBuilt` is set only when it completes.
void buildLandscape(TForm1State& form);

// The four layer files read again (F5), from the same search path. Where the build had stopped
// at a file, the build runs again and completes once every file can be read. On a complete
// terrain only the textures of slots 0..3 are replaced, heights, layers and the bump left as
// they are, and only once all four are read: a file that fails throws ViewerError as the build
// does, and the terrain keeps its textures. Needs a current GL context.
// With a loaded ground (form.groundRequest), its file is read again first: a file that now
// fails throws ViewerError and leaves the ground shown as it was; one that reads is laid anew
// with freshly loaded textures (buildLandscape).
void reloadLandscapeTextures(TForm1State& form);

// A model's heights (world units) on a landscape created with its lattice dimensions.
void setModelHeights(TLandscape& land, const ElevationModel& model);

// The ground height (world units) under the world point (x, z): bilinear between the two
// lattice columns either side of x, each interpolated along its rows at z; clamped to the
// lattice at its edges.
float groundHeightAt(const TLandscape& land, double x, double z);

// Where the ray from eye along the unit direction first meets the ground, within maxDistance
// world units (steps of a tenth of a row, refined by halving); empty when it does not.
std::optional<Vec3d> groundHit(const TLandscape& land, const Vec3d& eye, const Vec3d& direction, double maxDistance);

class TLandscape;

// The build's steps after the textures, each on a created landscape (the benchmark times them
// one by one). Heights: y = ((sin(0.7 x) + sin(0.6 z) + sin(0.4 (x + z))) / 3 + 2) * spacing,
// with single-precision wave factors, so every height lies in [spacing, 3 * spacing].
void setWaveHeights(TLandscape& land);
// Every vertex white with alpha 0, and its layer from the slope of its normal.
void setColoursAndLayers(TLandscape& land);

// The layer of a vertex with unit normal y component normalY: 0 for the flattest ground
// (above 0.9375) to 3 for the steepest (0.8125 or less).
unsigned layerForSlope(float normalY);
