// The frame: flare angle, flare fans, spot light, stack balance and what reaches the screen.
#include "export/headless_render.h"
#include "view/gl_query.h"
#include "tests/support/gl_test.h"
#include "bulbs/patterns.h"
#include "view/frame.h"
#include "view/scene.h"
#include "view/scene_start.h"

#include <GL/glu.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace {

struct Flare {
    float x, y;
};
const Flare kFlares[] = {{3.5f, 5.0f}, {5.0f, -0.5f}, {2.9f, -6.0f}, {-3.3f, -4.0f}, {-6.5f, 1.5f}};

// The star's rim before rotation, as the flare fan must send it.
const float kRim[12][2] = {
    {0.0f, 2.0f},  {-0.6f, 1.04f}, {-1.7f, 1.0f}, {-1.2f, 0.0f}, {-1.7f, -1.0f}, {-0.6f, -1.04f},
    {0.0f, -2.0f}, {0.6f, -1.04f}, {1.7f, -1.0f}, {1.2f, 0.0f},  {1.7f, 1.0f},   {0.6f, 1.04f},
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }
    SceneState state;
};

TEST_F(FrameTest, FlareAngleRunsTo360KeepsItOneFrameThenWrapsTo2)
{
    state.m_bFlareSpin = 1;
    for (int frame = 1; frame <= 180; ++frame) {
        DrawFlares(state);
        ASSERT_EQ(state.m_fFlareAngle, 2.0f * frame) << "after frame " << frame;
    }
    DrawFlares(state);
    EXPECT_EQ(state.m_fFlareAngle, 2.0f) << "362 must become 2, not 0 or 362";
    DrawFlares(state);
    EXPECT_EQ(state.m_fFlareAngle, 4.0f);
}

TEST_F(FrameTest, FlareAngleFreezesWhileSpinIsOffAndResumesFromWhereItStood)
{
    state.m_bFlareSpin = 1;
    for (int i = 0; i < 7; ++i)
        DrawFlares(state);
    state.m_bFlareSpin = 0;
    for (int i = 0; i < 5; ++i)
        DrawFlares(state);
    EXPECT_EQ(state.m_fFlareAngle, 14.0f);
    state.m_bFlareSpin = 1;
    DrawFlares(state);
    EXPECT_EQ(state.m_fFlareAngle, 16.0f);
}

TEST_F(FrameTest, EachRenderedFrameAdvancesTheFlaresExactlyOnce)
{
    CScene scene;
    scene.OnCreateContext();
    scene.OnSize(500, 500);
    scene.State().m_bFlareSpin = 1;
    for (int i = 0; i < 3; ++i)
        scene.OnDraw();
    EXPECT_EQ(scene.State().m_fFlareAngle, 6.0f);
}

// Catches an animation whose unseen lead-in (a loop starts where the scene has settled) ends
// elsewhere than the same frames drawn: bulbs, blink variables and flares agree, in every
// pattern and through a pattern cycle's changes.
TEST_F(FrameTest, FramesAdvancedUnseenEndWhereTheSameFramesDrawnEnd)
{
    const int alternateDir = g_nAlternateDir, cascadeStage = g_nCascadeStage;
    SceneStart start;
    start.pattern = 3;
    start.spin = true;
    start.cycleSeconds = 1;
    struct Run {
        std::unique_ptr<CScene> scene = std::make_unique<CScene>();
        int alternateDir = 0, cascadeStage = 0;
    } drawn, unseen;
    for (Run* run : {&drawn, &unseen}) {
        g_nAlternateDir = alternateDir;
        g_nCascadeStage = cascadeStage;
        ApplySceneStart(run->scene->State(), start);
        CPatternCycle cycle(start);
        if (run == &drawn) {
            run->scene->OnCreateContext();
            run->scene->OnSize(64, 64);
            for (int i = 0; i < 130; ++i) {
                run->scene->OnDraw();
                cycle.AfterFrame(run->scene->State());
            }
        } else {
            AdvanceUnseen(run->scene->State(), cycle, 130);
        }
        run->alternateDir = g_nAlternateDir;
        run->cascadeStage = g_nCascadeStage;
    }
    const SceneState &a = drawn.scene->State(), &b = unseen.scene->State();
    EXPECT_EQ(a.m_fBulb, b.m_fBulb);
    EXPECT_EQ(a.m_nPattern, b.m_nPattern);
    EXPECT_EQ(a.m_nSweepIndex, b.m_nSweepIndex);
    EXPECT_EQ(a.m_nSweepPhase, b.m_nSweepPhase);
    EXPECT_EQ(a.m_fFlareAngle, b.m_fFlareAngle);
    EXPECT_EQ(drawn.alternateDir, unseen.alternateDir);
    EXPECT_EQ(drawn.cascadeStage, unseen.cascadeStage);
    drawn.scene->OnDestroyContext();
}

// The fan of each flare reaches the rasteriser as 12 triangles sharing the opaque pink
// centre, with the rim at alpha 0.1, turned by the flare angle about the flare's own centre.
void ExpectFlareFans(const std::vector<FeedbackPolygon>& polygons, float angleDegrees)
{
    ASSERT_EQ(polygons.size(), 5u * 12u);
    const double a = angleDegrees * std::numbers::pi / 180.0;
    for (std::size_t f = 0; f < 5; ++f) {
        for (std::size_t t = 0; t < 12; ++t) {
            const FeedbackPolygon& tri = polygons[f * 12 + t];
            ASSERT_EQ(tri.size(), 3u);
            int centres = 0;
            for (const FeedbackVertex& v : tri) {
                EXPECT_NEAR(v.z, 2.0f, 1e-3f);
                if (v.a == 1.0f) {
                    ++centres;
                    EXPECT_NEAR(v.x, kFlares[f].x, 1e-3f);
                    EXPECT_NEAR(v.y, kFlares[f].y, 1e-3f);
                    EXPECT_NEAR(v.r, 1.0f, 1e-6f);
                    EXPECT_NEAR(v.g, 0.5f, 1e-6f);
                    EXPECT_NEAR(v.b, 0.6f, 1e-6f);
                } else {
                    EXPECT_NEAR(v.a, 0.1f, 1e-6f);
                    EXPECT_NEAR(v.r, 0.9f, 1e-6f);
                    EXPECT_EQ(v.g, 0.0f);
                    EXPECT_EQ(v.b, 0.0f);
                }
            }
            EXPECT_EQ(centres, 1) << "flare " << f << " triangle " << t;
            // Triangle t joins rim vertices t and t + 1 (the last closes on the first).
            for (std::size_t k : {t, (t + 1) % 12}) {
                const double rx = kRim[k][0] * std::cos(a) - kRim[k][1] * std::sin(a) + kFlares[f].x;
                const double ry = kRim[k][0] * std::sin(a) + kRim[k][1] * std::cos(a) + kFlares[f].y;
                bool found = false;
                for (const FeedbackVertex& v : tri)
                    found |= v.a != 1.0f && std::abs(v.x - rx) < 1e-3 && std::abs(v.y - ry) < 1e-3;
                EXPECT_TRUE(found) << "flare " << f << " triangle " << t << " lacks rim vertex " << k;
            }
        }
    }
}

TEST_F(FrameTest, FlaresAreFiveStarFansAtTheirPlacesAndColours)
{
    ExpectFlareFans(CaptureFeedback([&] { DrawFlares(state); }), 0.0f);
}

// Catches the angle stepped before the flares are drawn: spinning, they show at 90 and the
// next frame's angle is 92.
TEST_F(FrameTest, FlaresTurnAboutTheirOwnCentres)
{
    state.m_fFlareAngle = 90.0f;
    state.m_bFlareSpin = 1;
    ExpectFlareFans(CaptureFeedback([&] { DrawFlares(state); }), 90.0f);
    EXPECT_EQ(state.m_fFlareAngle, 92.0f);
}

TEST_F(FrameTest, FlaresAreUnlitAndLeaveLightingOnAndStacksBalanced)
{
    ExpectLeavesGlStateAsFound([&] { DrawFlares(state); });
    // Lighting is switched on afterwards, not restored: it is on whenever the frame draws.
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    DrawFlares(state);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    glPopAttrib();
}

TEST_F(FrameTest, SpotLightIsTakenFromTheSceneStateEveryFrame)
{
    CScene scene;
    scene.OnCreateContext();
    scene.OnSize(500, 500);
    SceneState& s = scene.State();
    for (float grey : {0.4f, 0.65f, 0.05f}) {
        s.m_fSpotDiffuse = {grey, grey, grey, 1.0f};
        s.m_fSpotCutoff = 20.0f + 2.0f * grey * 50.0f;
        scene.OnDraw();
        GLfloat diffuse[4], ambient[4], specular[4], cutoff, exponent;
        glGetLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
        glGetLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
        glGetLightfv(GL_LIGHT1, GL_SPECULAR, specular);
        glGetLightfv(GL_LIGHT1, GL_SPOT_CUTOFF, &cutoff);
        glGetLightfv(GL_LIGHT1, GL_SPOT_EXPONENT, &exponent);
        EXPECT_EQ(diffuse[0], grey);
        EXPECT_EQ(diffuse[2], grey);
        EXPECT_EQ(diffuse[3], 1.0f);
        EXPECT_EQ(ambient[1], 0.3f);
        EXPECT_EQ(specular[1], 0.4f);
        EXPECT_EQ(cutoff, s.m_fSpotCutoff);
        EXPECT_EQ(exponent, 0.7f);
    }
}

TEST_F(FrameTest, SpotLightStandsInSceneCoordinatesAndTurnsWithTheScene)
{
    CScene scene;
    scene.OnCreateContext();
    scene.OnSize(500, 500);
    scene.State().m_fAngle = 20.0f;
    scene.State().m_fDistance = 30.0f;
    scene.OnDraw();
    // GL keeps the position and direction in eye coordinates: (0, 0, 25) turned 20 degrees
    // about y, then moved 30 units away.
    GLfloat position[4], direction[3];
    glGetLightfv(GL_LIGHT1, GL_POSITION, position);
    glGetLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, direction);
    const double a = 20.0 * std::numbers::pi / 180.0;
    EXPECT_NEAR(position[0], 25.0 * std::sin(a), 1e-4);
    EXPECT_NEAR(position[2], 25.0 * std::cos(a) - 30.0, 1e-4);
    EXPECT_EQ(position[3], 1.0f);
    EXPECT_NEAR(direction[0], -std::sin(a), 1e-5);
    EXPECT_NEAR(direction[2], -std::cos(a), 1e-5);
}

TEST_F(FrameTest, FrameLeavesStacksAndStateAsFoundWithNoGlError)
{
    CScene scene;
    scene.OnCreateContext();
    scene.OnSize(500, 500);
    scene.State().m_bFlareSpin = 1;
    scene.State().m_fAngle = -20.0f;
    ExpectLeavesGlStateAsFound([&] {
        scene.OnDraw();
        scene.OnDraw();
    });
}

TEST_F(FrameTest, RenderedFrameShowsPinkFlareCentresAtTheirPlaces)
{
    CScene scene;
    scene.OnCreateContext();
    scene.OnSize(500, 500);
    scene.OnDraw();
    const std::vector<std::uint8_t> pixels = ReadPixels({0, 0, 500, 500}, 3);
    auto at = [&](int x, int y) { return &pixels[(static_cast<std::size_t>(y) * 500 + x) * 3]; };

    for (const Flare& f : kFlares) {
        const auto [px, py] = PixelAtStartCamera(f.x, f.y, 2.0);
        const std::uint8_t* c = at(px, py);
        EXPECT_GT(c[0], 150) << "flare at " << f.x << ", " << f.y;
        EXPECT_GT(c[0], c[1] + 40);
        EXPECT_GT(c[0], c[2] + 40);
    }
}

}  // namespace
