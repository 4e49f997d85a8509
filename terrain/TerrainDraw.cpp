#include "TerrainDraw.h"

#include "FormState.h"
#include "FramePhases.h"

namespace {

// The terrain's colour passes along form.terrainPath, after its depth pass or with it, and
// the normals overlay.
void drawTerrainPasses(TForm1State& form, bool withDepthPass)
{
    if (!form.landscapeBuilt)
        return;
    TLandscape& land = form.landscape;
    const float eyeX = float(form.camera.position.x);
    const float eyeZ = float(form.camera.position.z);
    if (form.terrainPath == TerrainPath::Batched) {
        if (withDepthPass)
            land.renderBatched(eyeX, eyeZ, kTerrainDrawRadius);
        else
            land.renderBatchedColour(eyeX, eyeZ, kTerrainDrawRadius);
    } else {
        if (withDepthPass)
            land.render(eyeX, eyeZ, kTerrainDrawRadius);
        else
            land.renderColour(eyeX, eyeZ, kTerrainDrawRadius);
    }
    if (form.showNormals)
        land.renderNormals();
}

} // namespace

void drawTerrain(TForm1State& form)
{
    drawTerrainPasses(form, true);
}

void drawTerrainDepth(TForm1State& form)
{
    if (!form.landscapeBuilt)
        return;
    form.landscape.renderDepth(float(form.camera.position.x), float(form.camera.position.z), kTerrainDrawRadius);
    markFramePhase(FramePhase::DepthPass);
}

void drawTerrainColour(TForm1State& form)
{
    drawTerrainPasses(form, false);
}
