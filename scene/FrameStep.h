#pragma once

#include "CameraPath.h"
#include "Frame.h"

#include <cstdint>
#include <functional>

struct TForm1State;

// What the window hands a frame step: the keys and the controls are in the state record
// already (KeyState, speedFactor, the world's settings); this is the rest.
struct FrameInput {
    // A camera path's pose, played in place of the keys' moves and turns; null without one.
    const PathPose* pose = nullptr;
    // K held: no sky this frame. A pose that records it says it instead.
    bool skyHidden = false;
    // Whether anyone can see the frame (the surface is shown). A frame nobody sees is not
    // drawn: the camera moves and the bump steps all the same, so the state stays as it would
    // be.
    bool visible = true;
    // Draws the window's overlays over the scene before the present, GL_MODELVIEW selected;
    // may be empty.
    std::function<void()> drawOverlays;
};

// One frame step as it happened: what it was drawn with and what it did. The path recorder,
// the screenshot's picture and the instruments take everything from it, never from the state
// as it is later.
struct FrameRecord {
    std::uint64_t index = 0; // frame steps since the start-up before this one
    SceneView view;          // the look-at the frame was drawn with
    GroundCentre ground;     // the terrain window's centre
    SkyOrder sky = SkyOrder::Hidden;
    bool skyHidden = false; // K held (or the pose's sky hidden)
    bool drawn = false;     // drawn and presented; false when nobody could see it
    // What a path recording writes for this step: the pose the frame was drawn with, its clock,
    // and the scene's settings (a version-2 pose).
    PathPose pose;
};

// Steps 1 and 2 of a frame: the moves and turns of the held keys (KeyState) on the camera, by
// speedFactor, along the ground in horizontal-move mode.
void moveCameraFromKeys(TForm1State& form);

// One frame step, in this order, GL context current when input.visible or input.pose:
//  1-2. the camera: the held keys' moves and turns, or the path's pose in their stead;
//  3-4. the clear and the look-at along the camera as it now is;
//  5.   the sky, when it comes first;
//  6.   the bump's step, which may re-aim an orbiting camera at the new apex (the look-at is
//       applied already: the frame keeps the view it was begun with), then the terrain around
//       the camera's eye as the step left it (and the sky behind the ground, in that order);
//  7.   the window's overlays and the present;
//  8.   frameCount and frameSteps count the step.
// Returns the record of the step.
FrameRecord runFrameStep(TForm1State& form, const FrameInput& input);

// The record's scene drawn again, as it was drawn (without overlays and without presenting):
// for a picture read back from the frame. GL context current.
void drawSceneAgain(TForm1State& form, const FrameRecord& frame);
