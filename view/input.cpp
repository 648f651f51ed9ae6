#include "view/input.h"

#include "bulbs/patterns.h"

namespace {

// Every step, factor and bound is a single-precision value.
constexpr float kDistanceKeyStep = 0.3f;
constexpr float kAngleKeyStep = 0.8f;
constexpr float kAnglePerPixel = 0.2f;
constexpr float kDistancePerPixel = 0.1f;
constexpr float kNearest = 20.0f;
constexpr float kFarthest = 35.0f;
constexpr float kMostYaw = 20.0f;
constexpr float kStartDistance = 27.0f;
constexpr float kStartAngle = 0.0f;
constexpr float kGreyStep = kSpotGreyStep;
constexpr float kDimmest = kSpotGreyLowest;
constexpr float kBrightest = kSpotGreyHighest;
constexpr float kCutoffStep = 2.0f;
constexpr float kNarrowest = kSpotCutoffLowest;
constexpr float kWidest = kSpotCutoffHighest;

// value + factor * pixels, formed in double precision and rounded to single once.
float AddPixels(float value, float factor, int pixels)
{
    return static_cast<float>(static_cast<double>(value) + static_cast<double>(factor) * pixels);
}

// Red carries the grey level; green and blue follow it. Alpha is left alone.
void SetSpotGrey(SceneState& state, float grey)
{
    state.m_fSpotDiffuse[0] = grey;
    state.m_fSpotDiffuse[1] = grey;
    state.m_fSpotDiffuse[2] = grey;
}

}  // namespace

bool OnKeyDown(SceneState& state, int keyCode)
{
    bool listed = true;
    switch (keyCode) {
    case VK_UP:
        state.m_fDistance += kDistanceKeyStep;
        break;
    case VK_DOWN:
        state.m_fDistance -= kDistanceKeyStep;
        break;
    case VK_LEFT:
        state.m_fAngle -= kAngleKeyStep;
        break;
    case VK_RIGHT:
        state.m_fAngle += kAngleKeyStep;
        break;
    case 'R':
        OnViewReset(state);
        break;
    case 'A':
        OnFlareSpin(state);
        break;
    case '1':
        OnLightPattern1(state);
        break;
    case '2':
        OnLightPattern2(state);
        break;
    case '3':
        OnLightPattern3(state);
        break;
    default:
        listed = false;
        break;
    }
    ClampCamera(state);
    return listed;
}

void OnMouseMove(SceneState& state, unsigned flags, int x, int y)
{
    if (flags == MK_LBUTTON)
        state.m_fAngle = AddPixels(state.m_fAngle, kAnglePerPixel, x - state.m_ptLast.x);
    else if (flags == MK_RBUTTON)
        state.m_fDistance = AddPixels(state.m_fDistance, kDistancePerPixel, state.m_ptLast.y - y);
    state.m_ptLast = {x, y};
    ClampCamera(state);
}

void ClampCamera(SceneState& state)
{
    if (state.m_fDistance > kFarthest)
        state.m_fDistance = kFarthest;
    else if (state.m_fDistance < kNearest)
        state.m_fDistance = kNearest;
    if (state.m_fAngle < -kMostYaw)
        state.m_fAngle = -kMostYaw;
    else if (state.m_fAngle > kMostYaw)
        state.m_fAngle = kMostYaw;
}

void OnViewReset(SceneState& state)
{
    state.m_fDistance = kStartDistance;
    state.m_fAngle = kStartAngle;
}

void OnFlareSpin(SceneState& state)
{
    state.m_bFlareSpin ^= 1;
}

void OnLightStronger(SceneState& state)
{
    float grey = state.m_fSpotDiffuse[0] + kGreyStep;
    if (grey > kBrightest)
        grey = kBrightest;
    SetSpotGrey(state, grey);
}

void OnLightWeaker(SceneState& state)
{
    float grey = state.m_fSpotDiffuse[0] - kGreyStep;
    if (grey < kDimmest)
        grey = kDimmest;
    SetSpotGrey(state, grey);
}

void OnSpreadWiden(SceneState& state)
{
    state.m_fSpotCutoff += kCutoffStep;
    if (state.m_fSpotCutoff > kWidest)
        state.m_fSpotCutoff = kWidest;
}

void OnSpreadNarrow(SceneState& state)
{
    state.m_fSpotCutoff -= kCutoffStep;
    if (state.m_fSpotCutoff < kNarrowest)
        state.m_fSpotCutoff = kNarrowest;
}

bool IsFlareSpinChecked(const SceneState& state)
{
    return state.m_bFlareSpin == 1;
}

bool IsPatternChecked(const SceneState& state, int pattern)
{
    return state.m_nPattern == pattern;
}
