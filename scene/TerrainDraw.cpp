#include "TerrainDraw.h"

#include "FormState.h"
#include "FrameInstruments.h"

void drawTerrain(TForm1State& form)
{
    drawTerrainDepth(form);
    drawTerrainColour(form);
}

void drawTerrainDepth(TForm1State& form)
{
    if (!form.landscapeBuilt)
        return;
    form.landscape.renderDepth(float(form.camera.position.x), float(form.camera.position.z), kTerrainDrawRadius,
                               drawCountersOf(form.instruments));
    markFramePhase(form.instruments, FramePhase::DepthPass);
}

void drawTerrainColour(TForm1State& form)
{
    if (!form.landscapeBuilt)
        return;
    TLandscape& land = form.landscape;
    TerrainDrawCounters* counters = drawCountersOf(form.instruments);
    const float eyeX = float(form.camera.position.x);
    const float eyeZ = float(form.camera.position.z);
    if (form.terrainPath == TerrainPath::Batched)
        land.renderBatchedColour(eyeX, eyeZ, kTerrainDrawRadius, counters);
    else
        land.renderColour(eyeX, eyeZ, kTerrainDrawRadius, counters);
    if (form.showNormals)
        land.renderNormals(counters);
    markFramePhase(form.instruments, FramePhase::ColourPasses);
}
