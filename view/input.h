// What the user does to the scene: keys, mouse moves and the view commands of the menu and
// toolbar. Each handler only changes the scene state; the next timer frame shows the change.
// Keys and mouse buttons come in the codes below; the window system's adapter maps its own.
#pragma once

#include "core/scene_state.h"

// Key codes the scene acts on. Letters and digits are their upper-case ASCII codes, so
// Shift, Ctrl and Caps Lock make no difference. The window's adapter gives the keypad's
// arrows the arrows' codes and its digits none, so that they select no pattern.
inline constexpr int VK_LEFT = 0x25;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_RIGHT = 0x27;
inline constexpr int VK_DOWN = 0x28;

// Buttons and modifiers held during a mouse move, as a set of flags.
inline constexpr unsigned MK_LBUTTON = 0x0001;
inline constexpr unsigned MK_RBUTTON = 0x0002;
inline constexpr unsigned MK_SHIFT = 0x0004;
inline constexpr unsigned MK_CONTROL = 0x0008;
inline constexpr unsigned MK_MBUTTON = 0x0010;
inline constexpr unsigned MK_XBUTTON1 = 0x0020;
inline constexpr unsigned MK_XBUTTON2 = 0x0040;

// One key-down, auto-repeats included: arrows move the camera one step, R resets the view,
// A toggles the flare spin, 1 to 3 select a blink pattern; then the camera is clamped,
// whatever the key. Returns whether the key is one of those listed.
bool OnKeyDown(SceneState& state, int keyCode);
// One mouse move to (x, y), client pixels with y down, inside the view: the left button
// alone turns the scene 0.2 degrees per pixel to the right, the right button alone moves it
// 0.1 units away per pixel upwards; any other flags only record the position. Then the
// camera is clamped.
void OnMouseMove(SceneState& state, unsigned flags, int x, int y);
// Distance into [20, 35], yaw into [-20, 20]; a value on a bound stays.
void ClampCamera(SceneState& state);

// The view commands. None of them clamps the camera: none can leave its bounds.
void OnViewReset(SceneState& state);      // distance 27, yaw 0; nothing else
void OnFlareSpin(SceneState& state);      // flares start or stop turning
void OnLightStronger(SceneState& state);  // spot grey level up 0.05, at most 0.8
void OnLightWeaker(SceneState& state);    // spot grey level down 0.05, at least 0.05
void OnSpreadWiden(SceneState& state);    // spot cutoff up 2 degrees, at most 60
void OnSpreadNarrow(SceneState& state);   // spot cutoff down 2 degrees, at least 21

// The check marks of the menu items and toolbar buttons.
bool IsFlareSpinChecked(const SceneState& state);
// Exactly one of the three patterns is checked at any time.
bool IsPatternChecked(const SceneState& state, int pattern);

// The first and last grey level and cutoff that the commands reach, and the grey step.
inline constexpr float kSpotGreyLowest = 0.05f;
inline constexpr float kSpotGreyHighest = 0.8f;
inline constexpr float kSpotGreyStep = 0.05f;
inline constexpr float kSpotGreyStart = 0.4f;
inline constexpr float kSpotCutoffLowest = 21.0f;
inline constexpr float kSpotCutoffHighest = 60.0f;
