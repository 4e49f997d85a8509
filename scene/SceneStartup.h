#pragma once

class Camera;
struct Vec3d;
class GlPanel;
class TWorld;
struct TForm1State;

// The camera where the start-up places it: eye (100, 7, 100), yaw 125 degrees, pitch and roll
// 0, looking one unit ahead. Home puts it back there.
void placeStartCamera(Camera& camera);

// Where the start-up and Home place the camera: over a loaded ground (form.ground) above its
// middle vertex, kHomeClearanceUnits over the highest ground within kHomeClearanceCells
// lattice rows around it, facing north (+x, yaw 0) and looking kHomePitchDegrees down;
// otherwise placeStartCamera. The camera is taken out of orbit first.
constexpr double kHomeClearanceUnits = 3.0;
constexpr int kHomeClearanceCells = 8;
constexpr double kHomePitchDegrees = -10.0;
void placeHomeCamera(TForm1State& form);

// The point F orbits: the bump's apex, or over a loaded ground the bump leaves alone, the
// ground at the centre of the view (the camera's forward ray, up to 200 units; where it meets
// no ground, the ground 10 units ahead).
Vec3d orbitPoint(const TForm1State& form);

// The atmosphere settings the start-up gives the world before its tables are built: an
// atmosphere 100000 m high, a sun disc of 2 degrees and a halo of 22 degrees.
void setStartupWorldSettings(TWorld& world);

// The start-up's linear fog: GL_FOG on, from 7 to 45 world units, colour (0.8, 0.8, 0.8, 1)
// until the sky's first frame sets it from the sun. GL context current.
void enableStartupFog();

// The GL half of the window's start-up, in this order: the GL view bound to the panel with
// the baseline render state, the surface's stencil bits read into form.stencilBits, a
// 45-degree perspective with far plane 50, the clock at hour 5, the world's settings and
// tables (form.worldReady), the fog, and the terrain build (form.landscapeBuilt). Runs inside
// the panel's first show with its context current. A texture that cannot be read throws
// ViewerError out of the build; everything before it has been done.
void startScene(TForm1State& form, GlPanel* panel);
