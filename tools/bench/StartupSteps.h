#pragma once

#include <QString>
#include <array>

// The inner steps of the start-up, in milliseconds, each timed by running the same public
// operation again on scratch objects once the window has started (so files are in the page
// cache and the driver is loaded: the first run inside FormShow may take longer). Each GL step
// ends with glFinish before the clock is read.
struct StartupSteps {
    double worldInitMs = 0.0;              // TWorld::init: optical-depth table and both textures
    std::array<QString, 4> textureFiles;   // "LandTex0.bmp" .. "LandTex3.bmp"
    std::array<double, 4> loadTextureMs{}; // loadTexture of each: read, decode, mipmaps, upload
    double createMs = 0.0;                 // TLandscape::create of the lattice
    double heightsMs = 0.0;                // the three-sine heights of every vertex
    double normalsMs = 0.0;                // computeNormals over the whole lattice
    double layersMs = 0.0;                 // colours and layerForSlope of every vertex
    double buildLandscapeMs = 0.0;         // buildLandscape as a whole on a scratch window state
};

// Needs the panel's context current. lattice is the side of the N x N lattice the window built.
StartupSteps timeStartupSteps(int lattice);
