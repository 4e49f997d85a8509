#pragma once

// Marks where one phase of a frame ends, for the benchmark: it installs a hook that finishes
// the GL work (glFinish) and reads the clock at each mark. Without a hook (the normal run) a
// mark costs one test of a null pointer.
enum class FramePhase {
    Camera,       // moves, turns, clear and look-at
    Sky,          // sky dome, sun light and fog colour, halo and disc
    BumpCpu,      // the bump's walk, reshaping and normals
    DepthPass,    // the terrain's depth pre-pass
    ColourPasses, // the terrain's splatted colour passes (and the normals overlay)
    Swap,         // handing the frame to the window
};

using FramePhaseHook = void (*)(FramePhase phase);

inline FramePhaseHook framePhaseHook = nullptr;

inline void markFramePhase(FramePhase phase)
{
    if (framePhaseHook)
        framePhaseHook(phase);
}
