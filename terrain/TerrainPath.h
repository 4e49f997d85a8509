#pragma once

// How the terrain's colour passes reach the GL.
//
// Literal: TLandscape::render, one GL_POLYGON and one texture bind per cell, straight from the
// lattice arrays (some 4,400 draw calls and binds per frame at radius 60).
// Batched: TLandscape::renderBatched, the same hexagons copied once into a cache of seven
// vertices per cell and drawn as triangles, one draw call and one bind per layer in view.
// Both give the same picture and leave the same GL state.
enum class TerrainPath { Literal, Batched };
