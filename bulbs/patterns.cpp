#include "bulbs/patterns.h"

#include "bulbs/bulb_string.h"
#include "core/check.h"

#include <cstddef>
#include <iterator>

const int g_nSweepOrder[10] = {5, 9, 2, 6, 1, 8, 3, 0, 7, 4};
int g_nAlternateDir = 1;
int g_nCascadeStage = 0;

namespace {

// All steps and thresholds are single precision, and the comparisons strict: the values
// only ever come within rounding of multiples of the step, far from the thresholds, which
// is what keeps each pattern exactly periodic.
constexpr float kSweepStep = 0.2f;
constexpr float kAlternateStep = 0.1f;
constexpr float kCascadeStep = 0.2f;
constexpr float kLow = 0.05f;  // sweep and alternation
constexpr float kHigh = 0.95f;
constexpr float kCascadeLow = 0.1f;
constexpr float kCascadeHigh = 0.9f;

constexpr int kSweepPositions = static_cast<int>(std::size(g_nSweepOrder));

int NextSweepPosition(int position)
{
    return (position + 1) % kSweepPositions;
}

void AdvancePattern1(SceneState& state)
{
    auto& bulb = state.m_fBulb;
    const float x = bulb[g_nSweepOrder[state.m_nSweepIndex]];
    if (x < kLow) {
        state.m_nSweepPhase = 0;
    } else if (x > kHigh) {
        // The current bulb is full again: the dark spot moves on to the next in the order.
        state.m_nSweepPhase = 1;
        state.m_nSweepIndex = NextSweepPosition(state.m_nSweepIndex);
    }

    float& cur = bulb[g_nSweepOrder[state.m_nSweepIndex]];
    float& next = bulb[g_nSweepOrder[NextSweepPosition(state.m_nSweepIndex)]];
    if (state.m_nSweepPhase == 1) {
        cur -= kSweepStep;
        next += kSweepStep;
    } else {
        cur += kSweepStep;
        next -= kSweepStep;
    }
}

void AdvancePattern2(SceneState& state)
{
    auto& bulb = state.m_fBulb;
    for (std::size_t i = 0; i < bulb.size(); ++i) {
        const bool odd = i % 2 == 1;
        if (odd == (g_nAlternateDir == 1))
            bulb[i] += kAlternateStep;
        else
            bulb[i] -= kAlternateStep;
    }
    // Bulb 1 alone steers; the others follow in lockstep.
    if (bulb[1] > kHigh)
        g_nAlternateDir = 0;
    else if (bulb[1] < kLow)
        g_nAlternateDir = 1;
}

void AdvancePattern3(SceneState& state)
{
    auto& bulb = state.m_fBulb;
    // A stage change made at one bulb already applies to the bulbs after it in the same step.
    for (std::size_t i = 0; i < bulb.size(); ++i) {
        const int s = g_nCascadeStage;
        if (bulb[i] < kCascadeHigh && s == 0) {
            // The cascade lights only the first bulb that is not yet full.
            bulb[i] += kCascadeStep;
            return;
        }
        if (s >= 1 && s <= 7) {
            if (s % 2 == 1)
                bulb[i] -= kCascadeStep;
            else
                bulb[i] += kCascadeStep;
            // Bulb 0 times the fades: each ends when it leaves the band.
            if (i == 0 && (bulb[0] < kCascadeLow || bulb[0] > kCascadeHigh))
                g_nCascadeStage = s + 1;
        } else if (bulb[9] > kCascadeHigh && s == 0) {
            g_nCascadeStage = 1;
        } else if (bulb[9] < kCascadeLow && s == 8) {
            g_nCascadeStage = 0;
        }
    }
}

}  // namespace

void DrawBulbs(SceneState& state)
{
    DrawBulbString(state);
    AdvanceBulbs(state);
}

void AdvanceBulbs(SceneState& state)
{
    void (*const advance[])(SceneState&) = {AdvancePattern1, AdvancePattern2, AdvancePattern3};
    // Only the three selections write the pattern number.
    LUMETTA_ASSERT(state.m_nPattern >= 1 && state.m_nPattern <= 3);
    advance[state.m_nPattern - 1](state);
}

void OnLightPattern1(SceneState& state)
{
    if (state.m_nPattern == 1)
        return;
    state.m_fBulb.fill(1.0f);
    state.m_fBulb[5] = 0.2f;
    state.m_fBulb[9] = 0.8f;
    state.m_nSweepPhase = 1;
    state.m_nSweepIndex = 0;
    state.m_nPattern = 1;
}

void OnLightPattern2(SceneState& state)
{
    if (state.m_nPattern == 2)
        return;
    for (std::size_t i = 0; i < state.m_fBulb.size(); ++i)
        state.m_fBulb[i] = i % 2 == 0 ? 1.0f : 0.0f;
    state.m_nPattern = 2;
}

void OnLightPattern3(SceneState& state)
{
    if (state.m_nPattern == 3)
        return;
    state.m_fBulb.fill(0.0f);
    state.m_nPattern = 3;
}
