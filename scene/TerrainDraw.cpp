#include "TerrainDraw.h"

#include "FormState.h"
#include "FrameInstruments.h"

GroundCentre groundCentreOf(const TForm1State& form)
{
    return GroundCentre{float(form.camera.position.x), float(form.camera.position.z)};
}

void drawTerrain(TForm1State& form)
{
    drawTerrain(form, groundCentreOf(form));
}

void drawTerrain(TForm1State& form, GroundCentre centre)
{
    drawTerrainDepth(form, centre);
    drawTerrainColour(form, centre);
}

void drawTerrainDepth(TForm1State& form, GroundCentre centre)
{
    if (!form.landscapeBuilt)
        return;
    form.landscape.renderDepth(centre.x, centre.z, kTerrainDrawRadius, drawCountersOf(form.instruments));
    markFramePhase(form.instruments, FramePhase::DepthPass);
}

void drawTerrainColour(TForm1State& form, GroundCentre centre)
{
    if (!form.landscapeBuilt)
        return;
    TLandscape& land = form.landscape;
    TerrainDrawCounters* counters = drawCountersOf(form.instruments);
    if (form.terrainPath == TerrainPath::Batched)
        land.renderBatchedColour(centre.x, centre.z, kTerrainDrawRadius, counters);
    else
        land.renderColour(centre.x, centre.z, kTerrainDrawRadius, counters);
    if (form.showNormals)
        land.renderNormals(counters);
    markFramePhase(form.instruments, FramePhase::ColourPasses);
}
