#include "bulbs/patterns.h"

#include "models/shape_cache.h"
#include "tests/support/shape_hooks.h"
#include "tests/support/gl_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using Bulbs = std::array<float, 10>;

// Intensities in the step-by-step sequences below are given to one decimal; the steps only ever stray
// from those by rounding.
constexpr float kTolerance = 1e-5f;

// Everything a pattern reads or writes, compared bit for bit.
struct PatternState {
    std::array<std::uint32_t, 10> bulbBits{};
    int pattern = 0;
    int sweepPhase = 0;
    int sweepIndex = 0;
    int alternateDir = 0;
    int cascadeStage = 0;

    static PatternState Of(const SceneState& s)
    {
        PatternState p;
        for (std::size_t i = 0; i < s.m_fBulb.size(); ++i)
            p.bulbBits[i] = std::bit_cast<std::uint32_t>(s.m_fBulb[i]);
        p.pattern = s.m_nPattern;
        p.sweepPhase = s.m_nSweepPhase;
        p.sweepIndex = s.m_nSweepIndex;
        p.alternateDir = g_nAlternateDir;
        p.cascadeStage = g_nCascadeStage;
        return p;
    }
    bool operator==(const PatternState&) const = default;
};

void ExpectBulbsNear(const Bulbs& actual, const Bulbs& expected, int step)
{
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], kTolerance) << "bulb " << i << " after step " << step;
}

// The shells of the string, as the red inner shell of each index shows them: its emission
// is 0.5 v in red, so it tells which intensity the walk drew for that index.
std::vector<float> g_drawnRedEmission;
int g_shellCount = 0;

void RecordShell(int kind, double)
{
    if (kind == SHAPE_ICOSAHEDRON && g_shellCount++ % 8 == 0) {
        GLfloat emission[4];
        glGetMaterialfv(GL_FRONT, GL_EMISSION, emission);
        g_drawnRedEmission.push_back(emission[0]);
    }
}

// Watches the shells' requests to the shape cache for one scope.
class ShellRecording {
public:
    ShellRecording() : m_previous(SetShapeRequestObserver(RecordShell))
    {
        g_drawnRedEmission.clear();
        g_shellCount = 0;
    }
    ~ShellRecording() { SetShapeRequestObserver(m_previous); }
    ShellRecording(const ShellRecording&) = delete;
    ShellRecording& operator=(const ShellRecording&) = delete;

private:
    ShapeRequestObserver m_previous;
};

class PatternTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlToSceneBaseline();
        m_state = std::make_unique<SceneState>();
    }

    // Runs n steps through the frame's entry point.
    void Run(int n)
    {
        for (int i = 0; i < n; ++i)
            DrawBulbs(State());
    }

    // A view that has been in pattern 1 and is switched to pattern p with the given
    // process-wide variables, as a user would do it.
    void Select(int p, int alternateDir, int cascadeStage)
    {
        g_nAlternateDir = alternateDir;
        g_nCascadeStage = cascadeStage;
        if (p == 1) {
            OnLightPattern2(State());
            OnLightPattern1(State());
        } else if (p == 2) {
            OnLightPattern2(State());
        } else {
            OnLightPattern3(State());
        }
        ASSERT_EQ(State().m_nPattern, p);
    }

    // The smallest k in [1, limit] after which the state repeats bit for bit, or 0.
    int PeriodFromHere(int limit)
    {
        const PatternState start = PatternState::Of(State());
        for (int k = 1; k <= limit; ++k) {
            Run(1);
            if (PatternState::Of(State()) == start)
                return k;
        }
        return 0;
    }

    // Runs a step-by-step sequence from the state just selected: after each listed step, the bulbs
    // must match the row and check(row) whatever else the row gives.
    template <class Row, std::size_t N, class Check>
    void FollowSequence(const Row (&rows)[N], Check check)
    {
        int step = 0;
        for (const Row& row : rows) {
            Run(row.step - step);
            step = row.step;
            ExpectBulbsNear(State().m_fBulb, row.bulbs, step);
            check(row);
        }
    }

    SceneState& State() { return *m_state; }

private:
    std::unique_ptr<SceneState> m_state;  // the texel buffer makes it large
};

// --- Sweep (pattern 1) ---

struct SweepRow {
    int step;
    Bulbs bulbs;
    int phase, index;
};

// clang-format off
const SweepRow kSweepSequence[] = {
    {  0, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.2f,  1.0f,  1.0f,  1.0f,  0.8f}, 1, 0},
    {  1, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.0f,  1.0f,  1.0f,  1.0f,  1.0f}, 1, 0},
    {  2, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.2f,  1.0f,  1.0f,  1.0f,  0.8f}, 0, 0},
    {  3, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.4f,  1.0f,  1.0f,  1.0f,  0.6f}, 0, 0},
    {  4, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.6f,  1.0f,  1.0f,  1.0f,  0.4f}, 0, 0},
    {  5, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.8f,  1.0f,  1.0f,  1.0f,  0.2f}, 0, 0},
    {  6, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.0f}, 0, 0},
    {  7, { 1.0f,  1.0f,  1.2f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f, -0.2f}, 1, 1},  // hand-over to bulb 9
    {  8, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.0f}, 0, 1},
    {  9, { 1.0f,  1.0f,  0.8f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.2f}, 0, 1},
    { 10, { 1.0f,  1.0f,  0.6f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.4f}, 0, 1},
    { 11, { 1.0f,  1.0f,  0.4f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.6f}, 0, 1},
    { 12, { 1.0f,  1.0f,  0.2f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.8f}, 0, 1},
    { 13, { 1.0f,  1.0f,  0.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f}, 0, 1},
    { 14, { 1.0f,  1.0f, -0.2f,  1.0f,  1.0f,  1.0f,  1.2f,  1.0f,  1.0f,  1.0f}, 1, 2},  // hand-over to bulb 2
    { 15, { 1.0f,  1.0f,  0.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f}, 0, 2},
};
// clang-format on

// Catches a wrong test order (phase before index), a non-strict comparison, the index
// advancing at the wrong time, or the sweep order or phase meaning mixed up.
TEST_F(PatternTest, SweepFollowsItsStepsThroughStep15)
{
    Select(1, 1, 0);
    FollowSequence(kSweepSequence, [&](const SweepRow& row) {
        EXPECT_EQ(State().m_nSweepPhase, row.phase) << "after step " << row.step;
        EXPECT_EQ(State().m_nSweepIndex, row.index) << "after step " << row.step;
    });
}

// Catches a wrong sweep order or a wrong wrap from position 9 back to 0 (bulb 4 hands
// over to bulb 5), as a viewer would see it: the darkest bulb, step after step.
TEST_F(PatternTest, SweepDarkSpotTravelsInOrderAndWraps)
{
    Select(1, 1, 0);
    std::vector<int> darkest;
    for (int step = 0; step < 2 * 70; ++step) {
        Run(1);
        const auto& b = State().m_fBulb;
        const int dark = static_cast<int>(std::min_element(b.begin(), b.end()) - b.begin());
        if (darkest.empty() || darkest.back() != dark)
            darkest.push_back(dark);
    }
    const std::vector<int> expected = {5, 9, 2, 6, 1, 8, 3, 0, 7, 4, 5, 9, 2, 6, 1, 8, 3, 0, 7, 4, 5};
    EXPECT_EQ(darkest, expected);
}

// Catches clamping or a lost flicker: each hand-over dips the new dark bulb to -0.2 and
// flares the one after it to 1.2 for exactly one step.
TEST_F(PatternTest, SweepFlickersAtEveryHandOver)
{
    Select(1, 1, 0);
    Run(6);
    for (int handOver = 1; handOver <= 10; ++handOver) {
        Run(1);
        const int position = handOver % 10;
        const int dark = g_nSweepOrder[position];
        const int flare = g_nSweepOrder[(position + 1) % 10];
        EXPECT_EQ(State().m_nSweepIndex, position);
        EXPECT_NEAR(State().m_fBulb[dark], -0.2f, kTolerance) << "hand-over " << handOver;
        EXPECT_NEAR(State().m_fBulb[flare], 1.2f, kTolerance) << "hand-over " << handOver;
        Run(1);
        EXPECT_NEAR(State().m_fBulb[dark], 0.0f, kTolerance) << "hand-over " << handOver;
        EXPECT_NEAR(State().m_fBulb[flare], 1.0f, kTolerance) << "hand-over " << handOver;
        Run(5);
    }
}

// Catches drift: with a non-strict comparison or a wider type somewhere, values creep
// and the cycle loses or gains a step.
TEST_F(PatternTest, SweepRepeatsBitForBitEvery70Steps)
{
    Select(1, 1, 0);
    Run(140);
    EXPECT_EQ(PeriodFromHere(70), 70);
}

// Catches a selection that restarts the active pattern.
TEST_F(PatternTest, SelectingTheActiveSweepChangesNothing)
{
    Select(1, 1, 0);
    Run(23);
    const PatternState before = PatternState::Of(State());
    OnLightPattern1(State());
    EXPECT_EQ(PatternState::Of(State()), before);
}

// Catches a selection that keeps the old intensities or sweep position: pattern 1 always
// starts from the state a new view starts in.
TEST_F(PatternTest, SweepSelectionRestoresTheNewViewState)
{
    Select(2, 1, 0);
    Run(7);
    State().m_nSweepPhase = 0;
    State().m_nSweepIndex = 6;
    OnLightPattern1(State());
    SceneState fresh;
    EXPECT_EQ(State().m_fBulb, fresh.m_fBulb);
    EXPECT_EQ(State().m_nSweepPhase, fresh.m_nSweepPhase);
    EXPECT_EQ(State().m_nSweepIndex, fresh.m_nSweepIndex);
    EXPECT_EQ(State().m_nPattern, 1);
}

// --- Alternation (pattern 2) ---

struct AlternateRow {
    int step;
    Bulbs bulbs;
    int dir;
};

// clang-format off
const AlternateRow kAlternateSequence[] = {
    {  0, { 1.0f,  0.0f,  1.0f,  0.0f,  1.0f,  0.0f,  1.0f,  0.0f,  1.0f,  0.0f}, 1},
    {  1, { 0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f}, 1},
    {  5, { 0.5f,  0.5f,  0.5f,  0.5f,  0.5f,  0.5f,  0.5f,  0.5f,  0.5f,  0.5f}, 1},
    {  9, { 0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f}, 1},
    { 10, { 0.0f,  1.0f,  0.0f,  1.0f,  0.0f,  1.0f,  0.0f,  1.0f,  0.0f,  1.0f}, 0},  // bulb 1 above 0.95
    { 11, { 0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f}, 0},
    { 19, { 0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f,  0.9f,  0.1f}, 0},
    { 20, { 1.0f,  0.0f,  1.0f,  0.0f,  1.0f,  0.0f,  1.0f,  0.0f,  1.0f,  0.0f}, 1},  // bulb 1 below 0.05
};
// clang-format on

// Catches swapped odd and even bulbs, the direction tested before the bulbs move, or a
// non-strict threshold.
TEST_F(PatternTest, AlternationFollowsItsSteps)
{
    Select(2, 1, 0);
    FollowSequence(kAlternateSequence,
                   [](const AlternateRow& row) { EXPECT_EQ(g_nAlternateDir, row.dir) << "after step " << row.step; });
}

// Catches steering by any bulb other than bulb 1.
TEST_F(PatternTest, AlternationSteersByBulbOneOnly)
{
    Select(2, 1, 0);
    State().m_fBulb = {0.5f, 0.5f, 0.5f, 0.9f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.5f};
    Run(1);  // bulb 3 rises above 0.95 and bulb 8 drops below 0.05
    EXPECT_EQ(g_nAlternateDir, 1);
    State().m_fBulb[1] = 0.9f;
    Run(1);
    EXPECT_EQ(g_nAlternateDir, 0);
}

TEST_F(PatternTest, AlternationRepeatsBitForBitEvery20Steps)
{
    Select(2, 1, 0);
    Run(40);
    EXPECT_EQ(PeriodFromHere(20), 20);
}

// Catches a selection that resets the process-wide direction: pattern 2 picks up where
// the direction was left, overshooting for one step.
TEST_F(PatternTest, AlternationDirectionSurvivesPatternChanges)
{
    Select(2, 1, 0);
    Run(12);
    ASSERT_EQ(g_nAlternateDir, 0);
    OnLightPattern1(State());
    EXPECT_EQ(g_nAlternateDir, 0);
    OnLightPattern2(State());
    EXPECT_EQ(g_nAlternateDir, 0);
    ExpectBulbsNear(State().m_fBulb, {1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f}, 0);

    Run(1);
    ExpectBulbsNear(State().m_fBulb, {1.1f, -0.1f, 1.1f, -0.1f, 1.1f, -0.1f, 1.1f, -0.1f, 1.1f, -0.1f}, 1);
    EXPECT_EQ(g_nAlternateDir, 1);
    Run(1);
    ExpectBulbsNear(State().m_fBulb, {1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f}, 2);
}

TEST_F(PatternTest, SelectingTheActiveAlternationChangesNothing)
{
    Select(2, 1, 0);
    Run(13);
    const PatternState before = PatternState::Of(State());
    OnLightPattern2(State());
    EXPECT_EQ(PatternState::Of(State()), before);
}

// --- Cascade (pattern 3) ---

struct CascadeRow {
    int step;
    Bulbs bulbs;
    int stage;
};

// clang-format off
const CascadeRow kCascadeSequence[] = {
    {  0, { 0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f}, 0},
    {  1, { 0.2f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f}, 0},
    {  5, { 1.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f}, 0},
    {  6, { 1.0f,  0.2f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f}, 0},
    { 49, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  0.8f}, 0},
    { 50, { 1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f,  1.0f}, 0},
    { 51, { 1.0f,  0.8f,  0.8f,  0.8f,  0.8f,  0.8f,  0.8f,  0.8f,  0.8f,  0.8f}, 1},  // bulb 0 lags from here on
    { 52, { 0.8f,  0.6f,  0.6f,  0.6f,  0.6f,  0.6f,  0.6f,  0.6f,  0.6f,  0.6f}, 1},
    { 55, { 0.2f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f}, 1},
    { 56, { 0.0f,  0.2f,  0.2f,  0.2f,  0.2f,  0.2f,  0.2f,  0.2f,  0.2f,  0.2f}, 2},
    { 57, { 0.2f,  0.4f,  0.4f,  0.4f,  0.4f,  0.4f,  0.4f,  0.4f,  0.4f,  0.4f}, 2},
    { 85, { 0.2f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f}, 7},
    { 86, { 0.0f,  0.0f,  0.2f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f}, 0},  // through stage 8 within the step
    { 87, { 0.2f,  0.0f,  0.2f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f,  0.0f}, 0},
};
// clang-format on

// Catches a stage read once per step instead of per bulb, a cascade that goes on after
// lighting one bulb, fades steered by another bulb than bulb 0, or a wrong return to 0.
TEST_F(PatternTest, CascadeFollowsItsSteps)
{
    Select(3, 1, 0);
    FollowSequence(kCascadeSequence,
                   [](const CascadeRow& row) { EXPECT_EQ(g_nCascadeStage, row.stage) << "after step " << row.step; });
}

// Catches a cascade step that touches more than the first bulb below 0.9.
TEST_F(PatternTest, CascadeLightsOneBulbPerStep)
{
    Select(3, 1, 0);
    for (int step = 1; step <= 50; ++step) {
        const Bulbs before = State().m_fBulb;
        const auto first = std::find_if(before.begin(), before.end(), [](float b) { return b < 0.9f; });
        ASSERT_NE(first, before.end());
        const std::size_t lit = static_cast<std::size_t>(first - before.begin());
        Run(1);
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (i == lit)
                EXPECT_NEAR(State().m_fBulb[i], before[i] + 0.2f, kTolerance) << "step " << step;
            else
                EXPECT_EQ(State().m_fBulb[i], before[i]) << "bulb " << i << " at step " << step;
        }
    }
}

TEST_F(PatternTest, CascadeRepeatsBitForBitEvery85Steps)
{
    Select(3, 1, 0);
    Run(2 * 85);
    EXPECT_EQ(PeriodFromHere(85), 85);
}

// Catches a stage reset on selection, a stuck stage after a dark restart, or an overshoot:
// from any stage the string finds its way back to the cascade within 30 steps, with no
// intensity leaving -0.2 to 1.0.
TEST_F(PatternTest, CascadeResumesFromAnyStageItWasLeftIn)
{
    for (int stage : {1, 3, 4, 6, 7, 8}) {
        SCOPED_TRACE(::testing::Message() << "selected in stage " << stage);
        State().m_nPattern = 1;
        Select(3, 1, stage);
        EXPECT_EQ(g_nCascadeStage, stage);
        int steps = 0;
        while (g_nCascadeStage != 0 && steps < 30) {
            Run(1);
            ++steps;
            for (float b : State().m_fBulb) {
                EXPECT_GE(b, -0.2f - kTolerance) << "step " << steps;
                EXPECT_LE(b, 1.0f + kTolerance) << "step " << steps;
            }
            if (steps == 1 && stage % 2 == 1 && stage < 7) {
                // Bulb 0 drops to -0.2 at once, out of the band: an odd stage ends at once.
                EXPECT_EQ(g_nCascadeStage, stage + 1);
            }
        }
        EXPECT_EQ(g_nCascadeStage, 0) << "after " << steps << " steps";
        if (stage >= 7) {
            // The last fade-out ends on the dark string at once, and stage 8 turns back too.
            EXPECT_EQ(steps, 1);
        }
    }
}

TEST_F(PatternTest, SelectingTheActiveCascadeChangesNothing)
{
    Select(3, 1, 0);
    Run(57);
    const PatternState before = PatternState::Of(State());
    OnLightPattern3(State());
    EXPECT_EQ(PatternState::Of(State()), before);
}

// --- Process start ---

// Catches wrong start values of the process-wide variables: in a fresh process, the first
// selections of patterns 2 and 3 start as their step-by-step sequences below do. Runs in a child
// process, since any earlier test in this one may have moved them.
TEST(PatternProcessStartTest, FirstSelectionsStartLikeTheirStepByStepSequences)
{
    EXPECT_EXIT(
        {
            auto state = std::make_unique<SceneState>();
            const int dir = g_nAlternateDir;
            const int stage = g_nCascadeStage;
            OnLightPattern2(*state);
            DrawBulbs(*state);
            const float alternated = state->m_fBulb[1];
            OnLightPattern3(*state);
            DrawBulbs(*state);
            const float cascaded = state->m_fBulb[0];
            std::fprintf(stderr, "direction %d, stage %d, bulb 1 %g after alternation, bulb 0 %g after cascade\n", dir,
                         stage, alternated, cascaded);
            const bool asSequences = dir == 1 && stage == 0 && std::fabs(alternated - 0.1f) < kTolerance &&
                                     std::fabs(cascaded - 0.2f) < kTolerance;
            std::exit(asSequences ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// --- Thresholds ---

// The steps never bring a value near a threshold, but a value right on one must not count.
// Catches <= or >= in place of < and >.
TEST_F(PatternTest, ThresholdsAreStrict)
{
    {
        SCOPED_TRACE("sweep at exactly 0.05");
        Select(1, 1, 0);
        State().m_fBulb[5] = 0.05f;
        Run(1);
        EXPECT_EQ(State().m_nSweepPhase, 1);
        EXPECT_EQ(State().m_nSweepIndex, 0);
    }
    {
        SCOPED_TRACE("sweep at exactly 0.95");
        Select(1, 1, 0);
        State().m_fBulb[5] = 0.95f;
        State().m_nSweepPhase = 0;
        Run(1);
        EXPECT_EQ(State().m_nSweepPhase, 0);
        EXPECT_EQ(State().m_nSweepIndex, 0);
    }
    {
        SCOPED_TRACE("alternation reaching exactly 0.95");
        Select(2, 1, 0);
        // The value below 0.95 from which one step of 0.1 lands exactly on it.
        float b = 0.95f - 0.1f;
        while (b + 0.1f < 0.95f)
            b = std::nextafter(b, 1.0f);
        while (b + 0.1f > 0.95f)
            b = std::nextafter(b, 0.0f);
        ASSERT_EQ(b + 0.1f, 0.95f);
        State().m_fBulb[1] = b;
        Run(1);
        EXPECT_EQ(g_nAlternateDir, 1);
    }
    {
        SCOPED_TRACE("cascade at exactly 0.9");
        Select(3, 1, 0);
        State().m_fBulb[0] = 0.9f;
        Run(1);
        EXPECT_EQ(State().m_fBulb[0], 0.9f) << "a bulb at 0.9 counts as full";
        EXPECT_NEAR(State().m_fBulb[1], 0.2f, kTolerance);
    }
}

// --- The frame's step ---

// Catches a frame that draws no bulbs in silence because the pattern number went astray.
TEST(PatternDeathTest, APatternNumberOutsideOneToThreeIsAnInternalError)
{
    for (int pattern : {0, 4, -1}) {
        SceneState s;
        s.m_nPattern = pattern;
        EXPECT_DEATH(DrawBulbs(s), "internal error.*m_nPattern") << "pattern " << pattern;
    }
}

// Catches advancing before drawing: every frame shows the intensities from before its step.
TEST_F(PatternTest, EachStepDrawsTheIntensitiesFromBeforeIt)
{
    for (int p = 1; p <= 3; ++p) {
        SCOPED_TRACE(::testing::Message() << "pattern " << p);
        State().m_nPattern = p == 1 ? 2 : 1;
        Select(p, 1, 0);
        Run(6);  // pattern 1 is about to hand over, so the step changes what it draws
        const Bulbs before = State().m_fBulb;
        const ShellRecording recording;
        Run(1);
        ASSERT_EQ(g_drawnRedEmission.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i)
            EXPECT_FLOAT_EQ(g_drawnRedEmission[i], 0.5f * before[i]) << "bulb " << i;
    }
}

// Catches a step that leaves GL state behind (matrix, attributes, lighting).
TEST_F(PatternTest, StepsLeaveGlStateAsFound)
{
    for (int p = 1; p <= 3; ++p) {
        State().m_nPattern = p == 1 ? 2 : 1;
        Select(p, 1, 0);
        ExpectLeavesGlStateAsFound([&] { Run(8); });
    }
}

}  // namespace
