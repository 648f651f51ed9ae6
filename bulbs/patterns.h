// The bulb string's three blink patterns: a sweep (1), alternation (2) and a cascade (3).
#pragma once

#include "view/scene_state.h"

// Draws the bulb string with the current intensities, then advances the active pattern one step.
void DrawBulbs(SceneState& state);

// Selects a pattern from its start state; selecting the active pattern changes nothing.
void OnLightPattern1(SceneState& state);
void OnLightPattern2(SceneState& state);
void OnLightPattern3(SceneState& state);
