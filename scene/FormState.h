#pragma once

#include "Camera.h"
#include "ElevationModel.h"
#include "Landscape.h"
#include "OverlayTextures.h"
#include "PhysicalSky.h"
#include "TerrainPath.h"
#include "Vec3.h"
#include "WanderingBump.h"
#include "World.h"

#include <cstdint>
#include <optional>

struct FrameInstruments;

// The main window's own state record, in the order the window declares it, and what the
// frame needs beside it. TForm1 derives from it; the scene (the start-up's GL half, the
// terrain build, the bump's step, the frame's drawing) receives it and needs no widget.
// Every field starts at zero or false except those the window's constructor sets.
struct TForm1State {
    Camera camera;
    Vec3d bumpApex;               // terrain point under the bump's centre; the orbit target of F
    float speedFactor = 0.3f;     // world units moved per frame per held movement key
    bool KeyState[256] = {};      // held flags by virtual-key code
    bool timeFrozen = false;      // T
    bool horizontalMove = false;  // L
    bool showNormals = false;     // N
    std::uint32_t frameCount = 0; // frames since the last frame-rate read-out
    std::uint32_t lastTick = 0;   // millisecond tick of the last frame-rate read-out
    std::int32_t bumpColumn = 10; // lattice column (x index) of the bump's centre
    std::int32_t bumpRow = 10;    // lattice row (z index) of the bump's centre
    std::int32_t bumpRadius = 3;  // lattice cells
    float bumpRate = 0.05f;       // share of the remaining height gap closed per frame
    TLandscape landscape;
    std::int32_t latticeWidth = 300;
    std::int32_t latticeDepth = 300;
    TWorld world;

    // The bump's pseudo-random source: one walk per window, the same on every run.
    RandomSource bumpRandom;
    // Frame steps since the start-up: the index of the next one. A camera path names its
    // poses by it, so a playback can step the bump to where the recording was.
    std::uint64_t frameSteps = 0;

    // Set once the world's tables exist (the start-up's TWorld::init), so the sky can be drawn.
    bool worldReady = false;
    // Set when buildLandscape has completed. Until then (a texture that could not be read stops
    // the start-up) the frame draws no terrain and the bump touches no array.
    bool landscapeBuilt = false;
    // The stencil bits of the drawing surface, read by the start-up.
    int stencilBits = 0;

    // How drawTerrain reaches the GL; the same picture either way (the program's --terrain).
    TerrainPath terrainPath = TerrainPath::Batched;
    // Where the frame draws the sky. Set: after the terrain's depth pass, only on the pixels
    // that pass left uncovered (marked off in the stencil buffer), so no sky is shaded under
    // the ground; the picture is the same. Clear: first, over the whole view, then the terrain.
    // Without stencil bits in the surface the sky is drawn first either way.
    bool skyBehindGround = true;

    // A ground of the user's own (--heightmap): what was asked, to read it again (F5), and
    // what was made of it (ElevationModel; its heights are let go once laid on the lattice;
    // groundName() says which ground a view is over). Unset: the built-in sine hills.
    std::optional<ElevationRequest> groundRequest;
    std::optional<ElevationModel> ground;
    // Whether the wandering bump reshapes a loaded ground (--bump); it always does the built-in one.
    bool bumpOnGround = false;

    // Which sky the frame draws (the program's --sky, its toggle key); the physical sky's
    // tables and stars, kept between frames.
    SkyKind sky = SkyKind::Classic;
    PhysicalSky physicalSky;
    // Set by the frame while the physical sky is drawn: the ground then fades into the sky's
    // band direction by direction (groundFog, made for the frame's view) rather than into GL's
    // one fog colour.
    bool fogFollowsSky = false;
    GroundFog groundFog;

    // How far the view reaches, world units (the program's --view-distance): the far plane and
    // the fog follow it. 50 is the designed view, drawn exactly as designed. Beyond it the
    // terrain reaches on in levels of detail (lodRings), or with every cell drawn in full
    // (lodRings clear, the program's --lod off). appliedViewDistance is what the GL view and
    // fog were last set for; the frame applies a new viewDistance before it draws.
    float viewDistance = 50.0f;
    float appliedViewDistance = 50.0f;
    bool lodRings = true;

    // Whoever measures the frames (the benchmark): draw counters and phase marks. Not owned;
    // null in the program.
    FrameInstruments* instruments = nullptr;

    // The frame-time graph's pictures, kept as textures while it is shown.
    // Declared last, so released first, while the window's context is still current.
    OverlayTextures overlayTextures;
};
