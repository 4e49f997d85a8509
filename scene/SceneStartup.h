#pragma once

class Camera;
class GlPanel;
class TWorld;
struct TForm1State;

// The camera where the start-up places it: eye (100, 7, 100), yaw 125 degrees, pitch and roll
// 0, looking one unit ahead. Home puts it back there.
void placeStartCamera(Camera& camera);

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
