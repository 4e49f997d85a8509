#include "StartupSteps.h"

#include "FormState.h"
#include "Landscape.h"
#include "SceneStartup.h"
#include "TerrainBuild.h"
#include "Texture.h"
#include "World.h"

#include <GL/gl.h>
#include <chrono>
#include <cmath>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// Runs `work`, waits for the GL work it issued and returns the milliseconds it took.
template <typename Work>
double timeMs(Work&& work)
{
    const Clock::time_point start = Clock::now();
    work();
    glFinish();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

StartupSteps timeStartupSteps(int lattice)
{
    StartupSteps steps;

    {
        // The settings FormShow gives the world before its init.
        auto world = std::make_unique<TWorld>();
        setStartupWorldSettings(*world);
        steps.worldInitMs = timeMs([&] { world->init(); });
    }

    for (int slot = 0; slot < 4; ++slot) {
        steps.textureFiles[slot] = QStringLiteral("LandTex%1.bmp").arg(slot);
        GLuint name = 0;
        steps.loadTextureMs[slot] = timeMs([&] { name = loadTexture(steps.textureFiles[slot]); });
        glDeleteTextures(1, &name);
    }

    {
        auto land = std::make_unique<TLandscape>();
        const auto side = std::uint32_t(lattice);
        steps.createMs = timeMs([&] { land->create(side, side, kTerrainSpacing, kTerrainTextureSlots); });
        steps.heightsMs = timeMs([&] { setWaveHeights(*land); });
        steps.normalsMs = timeMs([&] { land->computeNormals(0, land->width, 0, land->depth); });
        steps.layersMs = timeMs([&] { setColoursAndLayers(*land); });
    }

    {
        auto state = std::make_unique<TForm1State>();
        state->latticeWidth = lattice;
        state->latticeDepth = lattice;
        steps.buildLandscapeMs = timeMs([&] { buildLandscape(*state); });
    }
    return steps;
}
