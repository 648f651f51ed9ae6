// The wreath model: its meshes, materials and sphere clusters, drawn in three groups.
#pragma once

#include "core/scene_state.h"

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

// The five clusters of six small gold spheres, in the current material.
void DrawSphereClusters();
