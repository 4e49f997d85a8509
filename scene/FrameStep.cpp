#include "FrameStep.h"

#include "FormState.h"
#include "FrameInstruments.h"
#include "KeyCodes.h"
#include "WanderingBump.h"

namespace {

bool held(const TForm1State& form, std::uint16_t key)
{
    return form.KeyState[key];
}

// The pose a recording keeps for the frame: the camera and the clock as the frame is begun,
// with the look-at and the scene's settings. The terrain's centre is added after the bump's
// step.
PathPose poseToRecord(const TForm1State& form, const FrameRecord& frame)
{
    PathPose pose;
    pose.frame = frame.index;
    pose.position = form.camera.position;
    pose.yawDegrees = form.camera.yaw;
    pose.pitchDegrees = form.camera.pitch;
    pose.rollDegrees = form.camera.roll;
    pose.day = form.world.day;
    pose.hour = form.world.hour;
    pose.hasScene = true;
    pose.target = frame.view.centre;
    pose.up = frame.view.up;
    pose.skyHidden = frame.skyHidden;
    pose.showNormals = form.showNormals;
    for (std::size_t c = 0; c < 3; ++c)
        pose.scattering[c] = form.world.scattering[int(c)];
    pose.atmosphereHeightMetres = form.world.atmosphereHeight;
    return pose;
}

} // namespace

void moveCameraFromKeys(TForm1State& form)
{
    const auto k = [&form](std::uint16_t key) { return held(form, key) ? 1 : 0; };
    const double s = form.speedFactor;
    const double forwardAmount = (k(vk::Up) - k(vk::Down)) * s;
    const double rightAmount = (k(vk::Right) - k(vk::Left)) * s;
    Camera& camera = form.camera;
    if (form.horizontalMove)
        camera.moveHorizontal(forwardAmount, rightAmount);
    else
        camera.move(forwardAmount, (k(vk::Space) - k(vk::Control)) * s, rightAmount);
    camera.turnYaw(k(vk::letter('D')) - k(vk::letter('A')));
    camera.turnPitch(k(vk::letter('W')) - k(vk::letter('S')));
    camera.turnRoll(k(vk::letter('E')) - k(vk::letter('Q')));
}

FrameRecord runFrameStep(TForm1State& form, const FrameInput& input)
{
    FrameRecord frame;
    frame.index = form.frameSteps;
    const PathPose* pose = input.pose;
    const bool posed = pose && pose->hasScene;

    if (pose)
        applyPose(form, *pose);
    else
        moveCameraFromKeys(form);
    frame.view = posed ? SceneView{pose->position, pose->target, pose->up} : viewAlong(form.camera);
    frame.skyHidden = posed ? pose->skyHidden : input.skyHidden;
    frame.sky = skyOrderFor(form, frame.skyHidden);
    frame.pose = poseToRecord(form, frame);
    frame.drawn = input.visible;

    if (frame.drawn) {
        beginScene(form, frame.view, frame.sky);
        drawSkyFirst(form, frame.sky);
    }
    stepWanderingBump(form);
    markFramePhase(form.instruments, FramePhase::BumpCpu);
    frame.ground = posed ? GroundCentre{pose->groundX, pose->groundZ} : groundCentreOf(form);
    frame.pose.groundX = frame.ground.x;
    frame.pose.groundZ = frame.ground.z;
    if (frame.drawn) {
        drawGround(form, frame.ground, frame.sky);
        if (input.drawOverlays)
            input.drawOverlays();
        presentFrame(form);
    }

    ++form.frameSteps;
    ++form.frameCount;
    return frame;
}

void drawSceneAgain(TForm1State& form, const FrameRecord& frame)
{
    drawScene(form, frame.view, frame.ground, frame.sky);
}
