#include "TerrainDraw.h"

#include "FormState.h"
#include "FramePhases.h"

void drawTerrain(TForm1State& form)
{
    if (!form.landscapeBuilt)
        return;
    TLandscape& land = form.landscape;
    const float eyeX = float(form.camera.position.x);
    const float eyeZ = float(form.camera.position.z);
    if (form.terrainPath == TerrainPath::Batched)
        land.renderBatched(eyeX, eyeZ, kTerrainDrawRadius);
    else
        land.render(eyeX, eyeZ, kTerrainDrawRadius);
    if (form.showNormals)
        land.renderNormals();
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
    if (!form.landscapeBuilt)
        return;
    TLandscape& land = form.landscape;
    const float eyeX = float(form.camera.position.x);
    const float eyeZ = float(form.camera.position.z);
    if (form.terrainPath == TerrainPath::Batched)
        land.renderBatchedColour(eyeX, eyeZ, kTerrainDrawRadius);
    else
        land.renderColour(eyeX, eyeZ, kTerrainDrawRadius);
    if (form.showNormals)
        land.renderNormals();
}
