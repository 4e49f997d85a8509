#include "SceneStartup.h"

#include "Camera.h"
#include "FormState.h"
#include "GlView.h"
#include "TerrainBuild.h"
#include "World.h"

#include <GL/gl.h>
#include <algorithm>
#include <optional>

void placeStartCamera(Camera& camera)
{
    camera.setPosition(100.0, 7.0, 100.0);
    camera.setAngles(125.0, 0.0, 0.0);
}

void placeHomeCamera(TForm1State& form)
{
    Camera& camera = form.camera;
    if (camera.orbiting)
        camera.leaveOrbit();
    if (!form.ground || !form.landscapeBuilt) {
        placeStartCamera(camera);
        return;
    }
    const TLandscape& land = form.landscape;
    const auto middleColumn = std::int64_t(land.width / 2);
    const auto middleRow = std::int64_t(land.depth / 2);
    float highest = land.positions[std::size_t(middleRow) * land.width + std::size_t(middleColumn)].y;
    for (std::int64_t i = middleColumn - kHomeClearanceCells; i <= middleColumn + kHomeClearanceCells; ++i)
        for (std::int64_t j = middleRow - kHomeClearanceCells; j <= middleRow + kHomeClearanceCells; ++j)
            if (i >= 0 && j >= 0 && i < std::int64_t(land.width) && j < std::int64_t(land.depth))
                highest = std::max(highest, land.positions[std::size_t(j) * land.width + std::size_t(i)].y);
    const float3& middle = land.positions[std::size_t(middleRow) * land.width + std::size_t(middleColumn)];
    camera.setPosition(double(middle.x), double(highest) + kHomeClearanceUnits, double(middle.z));
    camera.setAngles(0.0, kHomePitchDegrees, 0.0);
}

Vec3d orbitPoint(const TForm1State& form)
{
    if (!form.ground || form.bumpOnGround || !form.landscapeBuilt)
        return form.bumpApex;
    const Camera& camera = form.camera;
    if (const std::optional<Vec3d> hit = groundHit(form.landscape, camera.position, camera.forward, 200.0))
        return *hit;
    const double x = camera.position.x + camera.forward.x * 10.0;
    const double z = camera.position.z + camera.forward.z * 10.0;
    return Vec3d{x, double(groundHeightAt(form.landscape, x, z)), z};
}

void setStartupWorldSettings(TWorld& world)
{
    world.atmosphereHeight = 100000.0f;
    world.sunAngle = 2.0f;
    world.haloAngle = 22.0f;
}

void enableStartupFog()
{
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 7.0f);
    glFogf(GL_FOG_END, 45.0f);
    const GLfloat fogColour[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    glFogfv(GL_FOG_COLOR, fogColour);
}

void startScene(TForm1State& form, GlPanel* panel)
{
    initRenderState(panel);
    // Whether the surface can mark the ground for the sky (drawScene).
    GLint stencilBits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    form.stencilBits = stencilBits;
    glView.setPerspective(45.0f, 50.0f);
    form.world.setHour(5.0f);
    setStartupWorldSettings(form.world);
    form.world.init();
    form.worldReady = true;
    enableStartupFog();
    buildLandscape(form);
}
