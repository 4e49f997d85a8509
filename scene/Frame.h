#pragma once

#include "OverlayTextures.h"
#include "TerrainDraw.h"
#include "Vec3.h"

class Camera;
struct TForm1State;

// What a frame looks along: gluLookAt's eye, centre and up.
struct SceneView {
    Vec3d eye;
    Vec3d centre;
    Vec3d up;
};
// The camera's position, target and up.
SceneView viewAlong(const Camera& camera);

// Where the frame draws the sky: not at all (K held, or before the world's tables exist),
// first over the whole view and the terrain over it, or after the terrain's depth pass only
// where no ground is (form.skyBehindGround, with stencil bits). Both orders give the same pixels.
enum class SkyOrder { Hidden, First, BehindGround };
SkyOrder skyOrderFor(const TForm1State& form, bool skyHidden);

// The scene of a frame in its three steps, GL context current, each marking its phase:
// beginScene clears the buffers (with the stencil for BehindGround) and applies the view;
// drawSkyFirst draws the sky for SkyOrder::First (nothing else); drawGround draws the terrain
// around centre, and for BehindGround the sky where the depth pass left no ground. Change
// nothing in form but the lattice's batch cache and the world's light and fog colours.
void beginScene(TForm1State& form, const SceneView& view, SkyOrder order);
void drawSkyFirst(TForm1State& form, SkyOrder order);
void drawGround(TForm1State& form, GroundCentre centre, SkyOrder order);

// The three steps at once, around the camera's eye: clears, applies the view, and draws the
// sky (unless skyHidden, the K key, or before the world's tables exist) and the terrain, in
// the order form.skyBehindGround selects. The centre, when given, replaces the eye's.
void drawScene(TForm1State& form, const SceneView& view, bool skyHidden);
void drawScene(TForm1State& form, const SceneView& view, GroundCentre centre, SkyOrder order);

// Draws each picture over the frame in the back buffer, in the order given (the last on top),
// blended by its alpha, each by glDrawPixels (see OverlayTextures for pictures that
// change every frame). viewportPixels is the panel's size in device pixels, ratio the device
// pixel ratio.
//
// Draws in drawInOverlayState's Pixels set-up (OverlayTextures.h) and leaves every state as it
// found it. Makes no GL call for an empty list.
void drawOverlayPictures(const std::vector<OverlayPicture>& pictures, QSize viewportPixels, double ratio);

// Hands the frame in the back buffer to the screen (the GL view's swap) and marks the end of
// the frame step's Swap phase.
void presentFrame(TForm1State& form);
