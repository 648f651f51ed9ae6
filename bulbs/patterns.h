// The bulb string's three blink patterns: a sweep (1), alternation (2) and a cascade (3).
// One step per rendered frame; each step draws the string first, then advances, so a frame
// shows the intensities from before its own step.
#pragma once

#include "core/scene_state.h"

// The bulb indices the dark spot of the sweep visits, in order; m_nSweepIndex is a position here.
extern const int g_nSweepOrder[10];
// Alternation: 1 while the odd bulbs rise and the even ones fall, 0 the other way round.
// Process-wide, 1 at start, never reset: selecting a pattern keeps it.
extern int g_nAlternateDir;
// Cascade: 0 while lighting up one by one, 1 to 7 fading the whole string out (odd) and in
// (even), 8 turning back to 0. Process-wide, 0 at start, never reset.
extern int g_nCascadeStage;

// Runs the active pattern's step: draws the string, then advances the pattern. Expects what
// DrawBulbString expects and leaves what it leaves.
void DrawBulbs(SceneState& state);

// Advances the active pattern by one step without drawing: what DrawBulbs does to the state.
void AdvanceBulbs(SceneState& state);

// Selects a pattern from its start state; selecting the active pattern changes nothing.
// No drawing: the next frame shows the start state.
void OnLightPattern1(SceneState& state);
void OnLightPattern2(SceneState& state);
void OnLightPattern3(SceneState& state);
