#pragma once

#include "DrawCounters.h"

#include <functional>

// The phases of a frame step (runFrameStep). Each ends at its mark; a phase runs from the
// previous mark (the first from the start of the frame step) to its own. A frame with the sky
// drawn first marks Camera, Sky, BumpCpu, DepthPass, ColourPasses, Swap; with the sky behind
// the ground, Camera, BumpCpu, DepthPass, Sky, ColourPasses, Swap; one nobody sees, BumpCpu.
enum class FramePhase {
    BumpCpu,      // the bump's walk, reshaping and normals
    Camera,       // the moves and turns from the keys, the clear and the look-at
    Sky,          // sky dome, sun light and fog colour, halo and disc
    DepthPass,    // the terrain's depth pre-pass
    ColourPasses, // the terrain's splatted colour passes (and the normals overlay)
    Swap,         // the overlays, and handing the frame to the window
};
constexpr int kFramePhaseCount = int(FramePhase::Swap) + 1;

// What a frame step reports to whoever measures it (the benchmark, the frame-time graph): the
// terrain's draw counters and a call at the end of each phase. The window holds a pointer to
// one (TForm1State::instruments), null when nobody measures; then the frame counts nothing
// and a mark costs one test of a null pointer.
struct FrameInstruments {
    TerrainDrawCounters counters;
    std::function<void(FramePhase)> phaseEnded;
};

inline void markFramePhase(FrameInstruments* instruments, FramePhase phase)
{
    if (instruments && instruments->phaseEnded)
        instruments->phaseEnded(phase);
}

inline TerrainDrawCounters* drawCountersOf(FrameInstruments* instruments)
{
    return instruments ? &instruments->counters : nullptr;
}
