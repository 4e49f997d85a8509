#pragma once

#include <cstdint>

struct TForm1State;

// The bump's pseudo-random source: a 64-bit linear congruential generator whose state starts
// at 1 and is never seeded, so the bump takes the same walk on every run. Each draw sets
// state = state * 0x0000015A00004E35 + 1 (mod 2^64) and returns bits 32..62 of the new state:
// 346, 13854878, 1621890440, 816282396 first. Each window holds one (TForm1State::bumpRandom);
// only randomBelow draws from it.
class RandomSource {
public:
    std::int32_t next();
    std::uint64_t state() const { return state_; }

private:
    std::uint64_t state_ = 1;
};

// A pseudo-random integer in [0, n) for n > 0 (signed remainder of a 31-bit draw from source),
// 0 for n == 0 without drawing.
std::int32_t randomBelow(RandomSource& source, std::int32_t n);

// The bump's step of the frame, without a GL call: moves the bump one cell per axis towards a
// target freshly drawn from form.bumpRandom, pulls the heights under it towards the
// raised-cosine profile, sets their layers, recomputes the normals over its square (and marks
// those cells changed for the batch cache), stores the apex and re-aims an orbiting camera at
// it. The frame draws the terrain after it (drawTerrain, TerrainDraw.h). While the terrain has
// not been built it does nothing, nor over a loaded ground without bumpOnGround.
void stepWanderingBump(TForm1State& form);
