// The wreath model: its meshes, materials and sphere clusters, drawn in three groups.
#pragma once

#include "core/scene_state.h"

#include <array>

// Ring, flat pieces, stars with their sphere clusters, bell with its ball and bow; then the
// bulbs' blink step. Leaves matrix and material as found.
void DrawWreath(SceneState& state);
// The same without the bulbs: what of the wreath never changes while the camera holds still.
// Leaves matrix and material as found.
void DrawOpaqueWreath();
// The apple stems. Leaves matrix and material as found.
void DrawAppleStems();
// The translucent apples; drawn after the flares. Leaves matrix and material as found.
void DrawApples();

// Each of the five apples has a stem of its own, the stems' and the apples' triangles lying in
// five runs of the same length, one an apple.
inline constexpr int kApples = 5;
using AppleSet = std::array<bool, kApples>;
// The stems, or the apples, of the apples in which, as DrawAppleStems and DrawApples draw them.
void DrawAppleStemsOf(const AppleSet& which);
void DrawApplesOf(const AppleSet& which);
// The box that holds all of one apple's stem, or of the apple itself, in the wreath's
// coordinates: its lowest and highest x, y and z.
struct MeshBounds {
    float low[3];
    float high[3];
};
MeshBounds AppleStemBounds(int apple);
MeshBounds AppleBounds(int apple);

// The five clusters of six small gold spheres, in the current material.
void DrawSphereClusters();
