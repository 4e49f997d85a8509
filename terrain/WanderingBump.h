#pragma once

#include <cstdint>

struct TForm1State;

// The system's pseudo-random source: a 64-bit linear congruential generator whose state starts
// at 1 and is never seeded, so the bump takes the same walk on every run. Each draw sets
// state = state * 0x0000015A00004E35 + 1 (mod 2^64) and returns bits 32..62 of the new state.
// Only randomBelow draws from it.
class RandomSource {
public:
    std::int32_t next();
    void reset() { state_ = 1; }
    std::uint64_t state() const { return state_; }

private:
    std::uint64_t state_ = 1;
};

// The one source the bump draws from (tests reset it).
RandomSource& bumpRandomSource();

// A pseudo-random integer in [0, n) for n > 0 (signed remainder of a 31-bit draw), 0 for n == 0
// without drawing.
std::int32_t randomBelow(std::int32_t n);

// One step of the bump's walk, without a GL call: moves the bump one cell per axis towards a
// freshly drawn target, pulls the heights under it towards the raised-cosine profile, sets
// their layers, recomputes the normals over its square (and marks those cells changed for the
// batch cache), stores the apex and re-aims an orbiting camera at it. While the terrain has
// not been built it does nothing.
void walkWanderingBump(TForm1State& form);

// One frame's bump step: walkWanderingBump, then drawTerrain (TerrainDraw.h), with the frame
// phases BumpCpu and ColourPasses marked after each. Needs the GL context current and the
// baseline render state. While the terrain has not been built it does nothing.
void stepWanderingBump(TForm1State& form);
