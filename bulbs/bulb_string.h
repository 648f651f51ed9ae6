// The string of forty bulbs, four colours of ten, drawn with the current intensities.
#pragma once

#include "view/scene_state.h"

// Walks the forty bulbs (each step relative to the last) and draws each halo, then its body,
// with intensity m_fBulb[i] for bulb i of every colour. Expects the camera on the model-view
// matrix and lighting on; leaves matrix, lighting and material as found, lighting on.
void DrawBulbString(const SceneState& state);
