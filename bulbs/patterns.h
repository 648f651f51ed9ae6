// The bulb string's three blink patterns.
#pragma once

#include "view/scene_state.h"

// Draws the bulb string with the current intensities, then advances the active pattern one step.
void DrawBulbs(SceneState& state);
