#pragma once

// The forms the wandering bump's tests step: a "built" flat lattice, and one whose bump cannot
// move. No GL call: the landscape has no texture, so it is released without a context.

#include "FormState.h"

#include <cstdint>
#include <map>
#include <memory>

namespace bumptest {

// The reshaping of the radius-3 bump by squared distance d^2 from its centre: the target
// height 2 (w + 1) of the raised cosine w = 0.5 cos(pi d / 3) + 0.5, and the layer.
struct Reshape {
    double target;
    std::uint32_t layer;
};
inline const std::map<int, Reshape> kRadiusThreeTable = {
    {0, {4.0, 3}},       {1, {3.5, 3}},       {2, {3.0897146, 3}}, {4, {2.5, 2}},
    {5, {2.3032845, 2}}, {8, {2.0160975, 2}}, {9, {2.0, 2}},
};

// A form whose terrain is "built": a flat lattice at height 0 with computed normals, white
// vertex colours with alpha 0, layer 0, four empty texture slots.
inline std::unique_ptr<TForm1State> makeForm(std::int32_t width, std::int32_t depth)
{
    auto form = std::make_unique<TForm1State>();
    form->landscape.create(std::uint32_t(width), std::uint32_t(depth), 2.0f, 4);
    TLandscape& land = form->landscape;
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        land.positions[k].y = 0.0f;
        land.colours[k] = ubyte4{255, 255, 255, 0};
        land.layers[k] = 0;
    }
    land.computeNormals(0, land.width, 0, land.depth);
    form->latticeWidth = width;
    form->latticeDepth = depth;
    form->camera.position = Vec3d{20.0, 8.0, 20.0};
    form->landscapeBuilt = true;
    return form;
}

// A bump that cannot move: with W = D = 2r + 1 every target is (r, r).
inline std::unique_ptr<TForm1State> makePinnedForm()
{
    auto form = makeForm(7, 7);
    form->bumpColumn = 3;
    form->bumpRow = 3;
    return form;
}

inline float& heightAt(TForm1State& form, std::int32_t col, std::int32_t row)
{
    return form.landscape.positions[std::size_t(row) * form.landscape.width + std::size_t(col)].y;
}

} // namespace bumptest
