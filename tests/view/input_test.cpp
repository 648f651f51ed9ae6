// Keys, mouse moves and view commands: their steps, bounds and what they leave alone.
#include "view/input.h"
#include "view/scene_start.h"

#include "bulbs/patterns.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using Command = std::function<void(SceneState&)>;

// Runs command count times from s and returns what one component read after each run.
std::vector<float> Steps(SceneState& s, const Command& command, int count, const float& read)
{
    std::vector<float> seen;
    for (int i = 0; i < count; ++i) {
        command(s);
        seen.push_back(read);
    }
    return seen;
}

void ExpectSteps(const std::vector<float>& seen, const std::vector<float>& want, const char* what)
{
    ASSERT_EQ(seen.size(), want.size()) << what;
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_FLOAT_EQ(seen[i], want[i]) << what << ", step " << i + 1;
}

// Catches a bound missed by rounding, channels that drift apart, and an alpha written over.
TEST(InputTest, SpotGreyLevelStepsToItsBoundsWithRedGreenBlueEqualAndAlphaUntouched)
{
    SceneState s;
    s.m_fSpotDiffuse[3] = 0.25f;  // a value no command would write
    ExpectSteps(Steps(s, OnLightStronger, 9, s.m_fSpotDiffuse[0]),
                {0.45f, 0.5f, 0.55f, 0.6f, 0.65f, 0.7f, 0.75f, 0.8f, 0.8f}, "stronger");
    EXPECT_EQ(s.m_fSpotDiffuse[0], 0.8f);
    s.m_fSpotDiffuse = {0.4f, 0.4f, 0.4f, 0.25f};
    ExpectSteps(Steps(s, OnLightWeaker, 8, s.m_fSpotDiffuse[0]), {0.35f, 0.3f, 0.25f, 0.2f, 0.15f, 0.1f, 0.05f, 0.05f},
                "weaker");
    EXPECT_EQ(s.m_fSpotDiffuse[0], 0.05f);
    EXPECT_EQ(s.m_fSpotDiffuse[1], s.m_fSpotDiffuse[0]);
    EXPECT_EQ(s.m_fSpotDiffuse[2], s.m_fSpotDiffuse[0]);
    EXPECT_EQ(s.m_fSpotDiffuse[3], 0.25f);
}

// Catches a cutoff that stops on 20 or 62, or never reaches 60 exactly.
TEST(InputTest, SpotCutoffStepsByTwoAndStopsOnTwentyOneAndSixty)
{
    SceneState s;
    std::vector<float> wider;
    for (float c = 30.0f; c <= 60.0f; c += 2.0f)
        wider.push_back(c);
    wider.push_back(60.0f);
    ExpectSteps(Steps(s, OnSpreadWiden, 17, s.m_fSpotCutoff), wider, "wider from 28");
    s.m_fSpotCutoff = 28.0f;
    ExpectSteps(Steps(s, OnSpreadNarrow, 5, s.m_fSpotCutoff), {26.0f, 24.0f, 22.0f, 21.0f, 21.0f}, "narrower");
    std::vector<float> fromBound;
    for (float c = 23.0f; c <= 59.0f; c += 2.0f)
        fromBound.push_back(c);
    fromBound.push_back(60.0f);
    ExpectSteps(Steps(s, OnSpreadWiden, static_cast<int>(fromBound.size()), s.m_fSpotCutoff), fromBound,
                "wider from 21");
}

// Catches a clamp that runs before the step, a bound compared with <= instead of <, and
// steps summed in another precision: the keys accumulate in single precision and the clamp
// sets the bound exactly.
TEST(InputTest, ArrowKeysStepTheCameraUntilTheClampSetsTheBoundExactly)
{
    struct Case {
        int key;
        int pressesInside;  // presses that stay strictly inside the bounds
        float SceneState::*member;
        float bound;
    };
    const Case cases[] = {
        {VK_RIGHT, 25, &SceneState::m_fAngle, 20.0f},
        {VK_LEFT, 25, &SceneState::m_fAngle, -20.0f},
        {VK_UP, 26, &SceneState::m_fDistance, 35.0f},
        {VK_DOWN, 23, &SceneState::m_fDistance, 20.0f},
    };
    for (const Case& c : cases) {
        SceneState s;
        for (int i = 0; i < c.pressesInside; ++i)
            EXPECT_TRUE(OnKeyDown(s, c.key));
        EXPECT_NE(s.*c.member, c.bound) << "key 0x" << std::hex << c.key;
        EXPECT_NEAR(s.*c.member, c.bound, 0.31f) << "key 0x" << std::hex << c.key;
        OnKeyDown(s, c.key);
        EXPECT_EQ(s.*c.member, c.bound) << "key 0x" << std::hex << c.key;
        OnKeyDown(s, c.key);
        EXPECT_EQ(s.*c.member, c.bound) << "key 0x" << std::hex << c.key << ", pressed again";
    }
    SceneState s;
    for (int i = 0; i < 25; ++i)
        OnKeyDown(s, VK_RIGHT);
    EXPECT_EQ(s.m_fAngle, 19.999998f);
}

// Catches a key matched by its character rather than its key code, and a clamp skipped for
// keys outside the table.
TEST(InputTest, KeysOutsideTheTableChangeNothingButStillClampTheCamera)
{
    // Lower-case a to c and r (a key code is upper-case), F1, Esc, the space bar, a fourth
    // digit and an unlisted letter.
    const int keys[] = {'a', 'b', 'c', 'r', 0x70, 0x1b, ' ', '4', 'Q'};
    for (int key : keys) {
        SceneState s;
        s.m_fDistance = 35.5f;
        s.m_fAngle = -21.0f;
        EXPECT_FALSE(OnKeyDown(s, key)) << "key 0x" << std::hex << key;
        EXPECT_EQ(s.m_fDistance, 35.0f);
        EXPECT_EQ(s.m_fAngle, -20.0f);
        EXPECT_EQ(s.m_bFlareSpin, 0);
        EXPECT_EQ(s.m_nPattern, 1);
    }
}

// Catches a pattern key that restarts the running pattern.
TEST(InputTest, LetterAndDigitKeysRunTheirCommands)
{
    SceneState s;
    OnKeyDown(s, 'A');
    EXPECT_EQ(s.m_bFlareSpin, 1);
    OnKeyDown(s, 'A');
    EXPECT_EQ(s.m_bFlareSpin, 0);

    OnKeyDown(s, '3');
    EXPECT_EQ(s.m_nPattern, 3);
    OnKeyDown(s, '2');
    EXPECT_EQ(s.m_nPattern, 2);
    // Pressing the running pattern's key does not restart it.
    s.m_fBulb[0] = 0.5f;
    OnKeyDown(s, '2');
    EXPECT_EQ(s.m_fBulb[0], 0.5f);
    OnKeyDown(s, '1');
    EXPECT_EQ(s.m_nPattern, 1);
    EXPECT_EQ(s.m_fBulb[0], 1.0f);
}

// Catches a reset that also puts back the light, the pattern, the flares or the mouse.
TEST(InputTest, ViewResetRestoresOnlyDistanceAndYaw)
{
    for (const Command& reset : {Command(OnViewReset), Command([](SceneState& s) { OnKeyDown(s, 'R'); })}) {
        SceneState s;
        s.m_fDistance = 33.0f;
        s.m_fAngle = -12.0f;
        s.m_ptLast = {40, 50};
        OnFlareSpin(s);
        OnLightPattern3(s);
        OnLightWeaker(s);
        OnSpreadWiden(s);
        SceneState want = s;
        want.m_fDistance = 27.0f;
        want.m_fAngle = 0.0f;
        reset(s);
        EXPECT_EQ(s.m_fDistance, want.m_fDistance);
        EXPECT_EQ(s.m_fAngle, want.m_fAngle);
        EXPECT_EQ(s.m_ptLast.x, 40);
        EXPECT_EQ(s.m_ptLast.y, 50);
        EXPECT_EQ(s.m_bFlareSpin, 1);
        EXPECT_EQ(s.m_nPattern, 3);
        EXPECT_EQ(s.m_fSpotDiffuse, want.m_fSpotDiffuse);
        EXPECT_EQ(s.m_fSpotCutoff, 30.0f);
    }
}

// Catches a drag rule that tests for a button instead of the exact set of flags.
TEST(InputTest, OnlyTheLeftOrTheRightButtonAloneMovesTheCamera)
{
    const unsigned onlyRecord[] = {
        0,
        MK_LBUTTON | MK_SHIFT,
        MK_LBUTTON | MK_CONTROL,
        MK_LBUTTON | MK_SHIFT | MK_CONTROL,
        MK_RBUTTON | MK_SHIFT,
        MK_RBUTTON | MK_CONTROL,
        MK_LBUTTON | MK_RBUTTON,
        MK_MBUTTON,
        MK_LBUTTON | MK_MBUTTON,
        MK_RBUTTON | MK_XBUTTON1,
        MK_SHIFT,
    };
    for (unsigned flags : onlyRecord) {
        SceneState s;
        s.m_ptLast = {100, 100};
        OnMouseMove(s, flags, 110, 90);
        EXPECT_EQ(s.m_fAngle, 0.0f) << "flags 0x" << std::hex << flags;
        EXPECT_EQ(s.m_fDistance, 27.0f) << "flags 0x" << std::hex << flags;
        EXPECT_EQ(s.m_ptLast.x, 110);
        EXPECT_EQ(s.m_ptLast.y, 90);
    }
}

// Catches a wrong factor or direction, and arithmetic in the wrong precision.
TEST(InputTest, DragsTurnAndZoomByTheirFactorsWhetherInOneMoveOrMany)
{
    SceneState s;
    s.m_ptLast = {100, 100};
    OnMouseMove(s, MK_LBUTTON, 110, 100);  // 10 pixels to the right
    EXPECT_EQ(s.m_fAngle, 2.0f);
    OnMouseMove(s, MK_RBUTTON, 110, 90);  // 10 pixels up
    EXPECT_EQ(s.m_fDistance, 28.0f);

    // The same drags split into single pixels, each step rounded to single precision.
    s = SceneState{};
    s.m_ptLast = {100, 100};
    for (int x = 101; x <= 110; ++x)
        OnMouseMove(s, MK_LBUTTON, x, 100);
    for (int y = 99; y >= 90; --y)
        OnMouseMove(s, MK_RBUTTON, 110, y);
    EXPECT_FLOAT_EQ(s.m_fAngle, 2.0f);
    EXPECT_FLOAT_EQ(s.m_fDistance, 28.0f);

    // The step is formed in double precision and rounded once; single-precision arithmetic
    // ends one place off for these.
    s = SceneState{};
    s.m_fAngle = -20.0f;
    s.m_ptLast = {0, 100};
    OnMouseMove(s, MK_LBUTTON, 21, 100);
    EXPECT_EQ(s.m_fAngle, -15.8000002f);
    s.m_fDistance = 20.0f;
    OnMouseMove(s, MK_RBUTTON, 21, 16);
    EXPECT_EQ(s.m_fDistance, 28.3999996f);
}

// Catches a drag without the clamp.
TEST(InputTest, ALongJumpAfterReenteringTheViewIsClamped)
{
    SceneState s;
    s.m_ptLast = {0, 0};
    OnMouseMove(s, MK_LBUTTON, 499, 0);
    EXPECT_EQ(s.m_fAngle, 20.0f);
    OnMouseMove(s, MK_RBUTTON, 499, 499);
    EXPECT_EQ(s.m_fDistance, 20.0f);
    s.m_ptLast = {0, 499};
    OnMouseMove(s, MK_RBUTTON, 0, 0);
    EXPECT_EQ(s.m_fDistance, 35.0f);
}

}  // namespace

namespace {

// Catches a cycle that skips a pattern, restarts the running one, or keeps the wrong time.
TEST(InputTest, ACycleSelectsTheNextPatternEverySoManySeconds)
{
    SceneStart start;
    start.cycleSeconds = 1;  // 20 frames of 50 ms
    CPatternCycle cycle(start);
    SceneState s;
    std::vector<int> seen;
    for (int frame = 1; frame <= 80; ++frame) {
        cycle.AfterFrame(s);
        if (frame % 20 == 19 || frame % 20 == 0)
            seen.push_back(s.m_nPattern);
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 2, 3, 3, 1, 1, 2}));
    CPatternCycle never(SceneStart{});
    for (int frame = 0; frame < 1000; ++frame)
        never.AfterFrame(s);
    EXPECT_EQ(s.m_nPattern, 2);
}

}  // namespace
