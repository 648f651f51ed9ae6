#include "view/scene_start.h"

#include "bulbs/patterns.h"
#include "core/check.h"
#include "view/frame.h"
#include "view/input.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numeric>

namespace {

void (*const kSelectPattern[])(SceneState&) = {OnLightPattern1, OnLightPattern2, OnLightPattern3};

// A scene running on its own, with blink variables of its own: the process-wide ones are
// lent to it for each step, so that several can run side by side without touching them.
class CUnseenRun {
public:
    explicit CUnseenRun(const SceneStart& start)
        : m_pState(std::make_unique<SceneState>()), m_cycle(start), m_nAlternateDir(g_nAlternateDir),
          m_nCascadeStage(g_nCascadeStage)
    {
        ApplySceneStart(*m_pState, start);
    }

    void Step()
    {
        const int alternateDir = g_nAlternateDir, cascadeStage = g_nCascadeStage;
        g_nAlternateDir = m_nAlternateDir;
        g_nCascadeStage = m_nCascadeStage;
        AdvanceUnseen(*m_pState, m_cycle, 1);
        m_nAlternateDir = g_nAlternateDir;
        m_nCascadeStage = g_nCascadeStage;
        g_nAlternateDir = alternateDir;
        g_nCascadeStage = cascadeStage;
    }

    // Everything that decides this frame and every later one. A flare looks the same after a
    // half turn (the frames agree pixel for pixel), and its angle steps the same way from
    // there, so the angle counts modulo 180 degrees.
    struct Look {
        std::array<float, 10> bulbs;
        int pattern, sweepIndex, sweepPhase, alternateDir, cascadeStage;
        float flareAngle;
        CPatternCycle cycle;
        bool operator==(const Look&) const = default;
    };
    Look Now() const
    {
        const SceneState& s = *m_pState;
        return {s.m_fBulb,
                s.m_nPattern,
                s.m_nSweepIndex,
                s.m_nSweepPhase,
                m_nAlternateDir,
                m_nCascadeStage,
                std::fmod(s.m_fFlareAngle, 180.0f),
                m_cycle};
    }

private:
    std::unique_ptr<SceneState> m_pState;  // the backdrop's texels make it large
    CPatternCycle m_cycle;
    int m_nAlternateDir;
    int m_nCascadeStage;
};

}  // namespace

void ApplySceneStart(SceneState& state, const SceneStart& start)
{
    LUMETTA_ASSERT(start.pattern >= 1 && start.pattern <= 3);
    kSelectPattern[start.pattern - 1](state);
    if (start.spin)
        OnFlareSpin(state);
    for (int i = 0; i < start.greySteps; ++i)
        OnLightStronger(state);
    for (int i = 0; i > start.greySteps; --i)
        OnLightWeaker(state);
    // Whole degrees from 21 to 60 are all reached by the spread commands, and exactly.
    state.m_fSpotCutoff = std::clamp(std::round(start.cutoff), kSpotCutoffLowest, kSpotCutoffHighest);
}

CPatternCycle::CPatternCycle(const SceneStart& start)
    : m_nFramesPerPattern(start.cycleSeconds * 1000 / kFrameMilliseconds)
{
}

void CPatternCycle::AfterFrame(SceneState& state)
{
    if (m_nFramesPerPattern <= 0 || ++m_nFrames < m_nFramesPerPattern)
        return;
    m_nFrames = 0;
    kSelectPattern[state.m_nPattern % 3](state);
}

SceneLoop FindSceneLoop(const SceneStart& start)
{
    // Brent's cycle finding over the scene's looks: the looks are finite, so they come round;
    // nothing is kept but two runs, however long the loop.
    CUnseenRun hare(start);
    CUnseenRun::Look tortoise = hare.Now();
    hare.Step();
    int power = 1, frames = 1;
    while (!(hare.Now() == tortoise)) {
        if (power == frames) {
            tortoise = hare.Now();
            power *= 2;
            frames = 0;
        }
        hare.Step();
        ++frames;
    }
    // The first frame from which the looks come round: one run frames ahead of the other
    // meets it there.
    CUnseenRun behind(start), ahead(start);
    for (int i = 0; i < frames; ++i)
        ahead.Step();
    int lead = 0;
    while (!(behind.Now() == ahead.Now())) {
        behind.Step();
        ahead.Step();
        ++lead;
    }
    if (const int round = CPatternCycle(start).RoundFrames(); round > 0)
        lead = (lead + round - 1) / round * round;
    return {lead, frames};
}

int BrightestFrame(const SceneStart& start)
{
    const SceneLoop loop = FindSceneLoop(start);
    CUnseenRun run(start);
    int brightest = 1;
    float most = -1.0f;
    // Frame n shows the scene as n - 1 steps left it.
    for (int frame = 1; frame <= loop.lead + loop.frames; ++frame, run.Step()) {
        const std::array<float, 10> bulbs = run.Now().bulbs;
        if (const float shine = std::accumulate(bulbs.begin(), bulbs.end(), 0.0f); shine > most) {
            most = shine;
            brightest = frame;
        }
    }
    return brightest;
}

CBlinkVariablesKept::CBlinkVariablesKept() : m_nAlternateDir(g_nAlternateDir), m_nCascadeStage(g_nCascadeStage)
{
}

CBlinkVariablesKept::~CBlinkVariablesKept()
{
    g_nAlternateDir = m_nAlternateDir;
    g_nCascadeStage = m_nCascadeStage;
}

void AdvanceUnseen(SceneState& state, CPatternCycle& cycle, int frames)
{
    for (int i = 0; i < frames; ++i) {
        AdvanceFrameUnseen(state);
        cycle.AfterFrame(state);
    }
}
