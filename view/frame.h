// One frame of the scene and the five flares, the apples' lights.
#pragma once

#include "bulbs/bulb_string.h"
#include "core/scene_state.h"
#include "models/wreath.h"

#include <array>

// What stands behind the wreath: the textured panel, or nothing (a transparent scene).
enum class Backdrop { Panel, None };

// Clears, places the camera and spot light 1, then draws the backdrop, wreath (ending with the
// bulbs' blink step), apple stems, flares and translucent apples, and waits for GL to finish.
// Expects the fixed state and a projection; leaves matrix and attribute stacks as found.
void RenderFrame(SceneState& state, Backdrop backdrop = Backdrop::Panel);

// The two halves of RenderFrame for a camera that holds still. The still parts: clears, places
// the camera and spot light 1, draws the backdrop and the wreath without its bulbs. Expects
// what RenderFrame expects and leaves what it leaves; changes no state.
void RenderStillParts(const SceneState& state, Backdrop backdrop);
// The moving parts, over the still parts already in the framebuffer with their depths: places
// the camera and spot light 1 again, draws the bulbs (with their blink step), the apple stems,
// the flares (with their step) and the translucent apples, and waits for GL to finish. Over
// the same still parts, the same steps as RenderFrame; leaves stacks as found.
void RenderMovingParts(SceneState& state);

// Where each of the five flares turns, in the wreath's coordinates: the centre of its star
// and how far the star reaches from it, in its plane, at any angle.
struct FlareSweep {
    float x, y, z;
    float reach;
};
const std::array<FlareSweep, 5>& FlareSweeps();

// Moves the model-view matrix to the camera: m_fDistance back along z, then turned m_fAngle
// degrees about y.
void PlaceCamera(const SceneState& state);

// What RenderFrame does to the state, without drawing: the bulbs' blink step and the flare
// angle's. No GL.
void AdvanceFrameUnseen(SceneState& state);

// Spot light 1 from the scene state, in the coordinates of the current model-view matrix.
void SetSpotLight(const SceneState& state);

// The five flares at the current flare angle, unlit; then advances the angle by 2 degrees
// while spinning is on, wrapping after 360. Leaves lighting on and the matrix as found.
void DrawFlares(SceneState& state);
// The flares chosen, in the order of FlareSweeps, turned angle degrees; advances nothing.
using FlareSet = std::array<bool, 5>;
void DrawFlares(float angle, const FlareSet& which);

// Which of the moving parts are drawn: bulbs [colour][index], colours in the order red, blue,
// green, yellow; and each apple's stem and the apple (AppleBounds), and each flare.
struct MovingParts {
    BulbSet bulbs{};
    AppleSet stems{};
    FlareSet flares{};
    AppleSet apples{};
    static MovingParts All();
};
// The moving parts chosen, over the still parts, in the order and the state RenderMovingParts
// draws them, with the camera and spot light 1 already placed; advances nothing. Where a part
// left out would have drawn nothing, the frame is the same without it.
void DrawMovingParts(const SceneState& state, const MovingParts& parts);
