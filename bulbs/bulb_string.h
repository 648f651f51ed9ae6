// The string of forty bulbs, four colours of ten, drawn with the current intensities.
// Each bulb is a flat, translucent halo and a body of two nested icosahedron shells.
#pragma once

#include "core/scene_state.h"

#include "core/gl_api.h"

#include <array>

// Placement steps by colour (red, blue, green, yellow), bulb index and (dx, dy, dz). Each
// step moves on from the bulb drawn just before it, in the order red 0, blue 0, green 0,
// yellow 0, red 1, ... yellow 9; only the first starts from the wreath's origin.
extern const GLfloat g_fBulbOffset[4][10][3];

// Walks the forty bulbs and draws each halo, then its body, with intensity m_fBulb[i] for
// bulb i of every colour. Expects the camera on the model-view matrix and lighting on;
// leaves matrix, lighting and material as found, lighting on.
void DrawBulbString(const SceneState& state);
// The same, drawing only the bulbs chosen, [colour][index], colours in the order red, blue,
// green, yellow.
using BulbSet = std::array<std::array<bool, 10>, 4>;
void DrawBulbString(const SceneState& state, const BulbSet& which);

// How far a bulb of intensity v reaches from its centre: across, in the wreath's plane, its
// halo's longest points, or its outer shell where that reaches further (or the bulb has no
// halo); deep, along z, the outer shell alone, the halo being flat.
struct BulbReach {
    float across;
    float deep;
};
BulbReach ReachOfBulb(float v);

// A flat eight-pointed star at the current origin facing +z, its size proportional to v,
// shaded from the colour's centre to its nearly transparent rim. Nothing at or below 0.15.
// Expects lighting on (it switches lighting off for the fan) and leaves it on.
void DrawRedHalo(float v);
void DrawBlueHalo(float v);
void DrawGreenHalo(float v);
void DrawYellowHalo(float v);

// The colour's body at the current origin: an opaque inner shell inside a translucent outer
// one, their front materials following v without clamping. Leaves the material as found.
void DrawRedBulb(float v);
void DrawBlueBulb(float v);
void DrawGreenBulb(float v);
void DrawYellowBulb(float v);
