#include "SceneStartup.h"

#include "Camera.h"
#include "FormState.h"
#include "GlView.h"
#include "TerrainBuild.h"
#include "World.h"

#include <GL/gl.h>

void placeStartCamera(Camera& camera)
{
    camera.setPosition(100.0, 7.0, 100.0);
    camera.setAngles(125.0, 0.0, 0.0);
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
