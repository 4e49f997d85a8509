#pragma once

#include "OverlayTextures.h"
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

// The frame's drawing, GL context current: clears, applies the view, and draws the sky
// (unless skyHidden, the K key, or before the world's tables exist) and the terrain around the
// camera's eye, in the order form.skyBehindGround selects; both orders give the same pixels.
// Changes nothing in form but the lattice's batch cache and the world's light and fog colours.
void drawScene(TForm1State& form, const SceneView& view, bool skyHidden);

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
