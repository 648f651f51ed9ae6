// Taking the scene away: frame sequences and looping animations from --render.
#include "export/headless_render.h"
#include "bulbs/patterns.h"
#include "models/shape_cache.h"
#include "tests/support/decode.h"
#include "tests/support/shape_hooks.h"
#include "tests/support/gl_test.h"
#include "tests/support/png_read.h"
#include "tests/support/process.h"
#include "view/frame.h"
#include "view/input.h"
#include "view/scene_start.h"
#include "view/scene.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <iterator>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy_file(fs::path(LUMETTA_SOURCE_DIR) / "assets/panel.bmp", dir.Path() / "panel.bmp");
    }
    TempDir dir;
};

// Where the forty bulbs land in a 500 x 500 picture at the start camera: the eye positions
// of their shells, as the shape cache is asked for them, projected.
std::vector<std::pair<double, double>> BulbPixels()
{
    static std::vector<std::pair<double, double>> s_eye;
    s_eye.clear();
    ResetGlToSceneBaseline();
    const ShapeRequestObserver previous = SetShapeRequestObserver([](int kind, double) {
        GLdouble m[16];
        glGetDoublev(GL_MODELVIEW_MATRIX, m);
        if (kind == SHAPE_ICOSAHEDRON) {
            GLdouble identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, projection[16], x, y, z;
            GLint viewport[4];
            glGetDoublev(GL_PROJECTION_MATRIX, projection);
            glGetIntegerv(GL_VIEWPORT, viewport);
            gluProject(m[12], m[13], m[14], identity, projection, viewport, &x, &y, &z);
            s_eye.emplace_back(x, y);
        }
    });
    CScene scene;
    scene.OnDraw();
    SetShapeRequestObserver(previous);
    ResetGlToSceneBaseline();
    return s_eye;
}

// Catches a sequence that writes one frame many times, numbers them wrongly or shows the wrong
// pattern: in pattern 2 the even and odd bulbs have traded their light after ten steps, so
// frames 1 and 11 differ around every bulb and nowhere else.
TEST_F(ExportTest, ASequenceOfPattern2WritesEveryFrameAndTheBulbsTradeTheirLight)
{
    const ProcessResult run = RunLumetta({"--render", "f%02d.png", "--frames", "12", "--pattern", "2"}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    for (int frame = 1; frame <= 12; ++frame) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02d.png", frame);
        EXPECT_TRUE(fs::exists(dir.Path() / name)) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 13)
        << "12 frames and panel.bmp";

    const RgbImage first = ReadPng(dir.Path() / "f01.png"), eleventh = ReadPng(dir.Path() / "f11.png");
    ASSERT_EQ(first.width, 500);
    ASSERT_EQ(eleventh.width, 500);
    const auto bulbs = BulbPixels();
    ASSERT_EQ(bulbs.size(), 80u) << "two shells for each of forty bulbs";
    // A full bulb's halo reaches about 26 pixels; where it shows through the translucent
    // flares and leaves a little farther, a shade may change, but never twice as far.
    constexpr double kHalo = 26.0;
    std::vector<bool> bulbChanged(bulbs.size(), false);
    int changed = 0, beyondHalo = 0, farAway = 0;
    for (int y = 0; y < 500; ++y) {
        for (int x = 0; x < 500; ++x) {
            if (std::equal(first.AtGl(x, y), first.AtGl(x, y) + 3, eleventh.AtGl(x, y)))
                continue;
            ++changed;
            double nearest = 1e9;
            for (std::size_t b = 0; b < bulbs.size(); ++b) {
                const double d = std::hypot(x - bulbs[b].first, y - bulbs[b].second);
                nearest = std::min(nearest, d);
                if (d <= kHalo)
                    bulbChanged[b] = true;
            }
            beyondHalo += nearest > kHalo ? 1 : 0;
            farAway += nearest > 2 * kHalo ? 1 : 0;
        }
    }
    EXPECT_EQ(std::count(bulbChanged.begin(), bulbChanged.end(), false), 0) << "bulbs that did not change";
    EXPECT_EQ(farAway, 0) << "pixels far from every bulb changed";
    EXPECT_LT(beyondHalo, changed / 100) << "of " << changed << " changed pixels";
}

// Catches an animation that does not loop, holds other frames than the timer's, or loses
// colours to lossy encoding: pattern 1 loops after 70 frames of 50 ms, and the first frame
// is exactly the single picture of the first frame on the loop. Drawn by softpipe, which
// draws a frame the same whatever was drawn before it (llvmpipe varies in a few pixels), and
// whole, framebuffer objects hidden from it: softpipe blends over colours it keeps finer than
// a framebuffer holds them, which still parts kept and copied back cannot give.
TEST_F(ExportTest, AWebpOfPattern1Holds70FramesOf50MsAndItsFirstIsThePicture)
{
    RunOptions softpipe;
    softpipe.environment = {"GALLIUM_DRIVER=softpipe"};
    RunOptions wholeFrames = softpipe;
    wholeFrames.environment.emplace_back("MESA_EXTENSION_OVERRIDE=-GL_ARB_framebuffer_object");
    ASSERT_EQ(RunLumetta({"--render", "loop.webp", "--size", "40x40"}, dir.Path(), wholeFrames).status, 0);
    const std::string first = std::to_string(FindSceneLoop({}).lead + 1);
    ASSERT_EQ(RunLumetta({"--render", "one.png", "--size", "40x40", "--frames", first, "--samples", "1"}, dir.Path(),
                         softpipe)
                  .status,
              0);
    const WebpFrames loop = DecodeWebp(dir.Path() / "loop.webp");
    EXPECT_EQ(loop.loopCount, 0u) << "it must loop for ever";
    EXPECT_EQ(loop.width, 40);
    ASSERT_EQ(loop.rgba.size(), 70u);
    for (std::size_t f = 0; f < loop.endMs.size(); ++f)
        EXPECT_EQ(loop.endMs[f], 50 * static_cast<int>(f + 1)) << "frame " << f + 1;

    const RgbImage one = ReadPng(dir.Path() / "one.png");
    int different = 0;
    for (std::size_t p = 0; p < one.rgb.size() / 3; ++p)
        different += std::equal(&one.rgb[p * 3], &one.rgb[p * 3] + 3, &loop.rgba[0][p * 4]) ? 0 : 1;
    EXPECT_EQ(different, 0) << "the first frame is not the picture of frame " << first;
}

// Catches a loop with a seam (a bulb that pops as the animation starts again): frames one
// loop apart are identical, the first after the last as any frame after the one before. Mesa's
// softpipe draws them, because it draws the same calls the same way however many frames came
// before; llvmpipe differs in a few pixels after some hundred frames.
TEST_F(ExportTest, FramesOneLoopApartAreIdentical)
{
    struct Case {
        std::vector<std::string> options;
        std::size_t loop;
    };
    const Case cases[] = {
        {{"--pattern", "3"}, 85},                  // the slowest to settle
        {{"--pattern", "2", "--cycle", "1"}, 60},  // three patterns, a second each
    };
    RunOptions softpipe;
    softpipe.environment = {"GALLIUM_DRIVER=softpipe"};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--render", "loop.webp", "--size",
                                         "40x40",    "--frames",  std::to_string(2 * c.loop)};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ProcessResult run = RunLumetta(args, dir.Path(), softpipe);
        ASSERT_EQ(run.status, 0) << run.err;
        const WebpFrames frames = DecodeWebp(dir.Path() / "loop.webp");
        ASSERT_EQ(frames.rgba.size(), 2 * c.loop) << c.options[1];
        for (std::size_t f = 0; f < c.loop; ++f)
            EXPECT_TRUE(frames.rgba[f] == frames.rgba[f + c.loop]) << c.options[1] << ": frame " << f + 1;
    }
}

// Catches a fatal error midway through an export (the shape cache out of memory) that leaves
// the animation's temporary file behind: what the run made goes before the process ends.
TEST_F(ExportTest, AFatalErrorMidExportLeavesNothingBehind)
{
    EXPECT_EXIT(
        {
            if (chdir(dir.Path().c_str()) != 0)
                std::exit(3);
            SetShapeMemoryAllocator([](std::size_t) -> void* { return nullptr; });
            RenderOptions options;
            options.output = "x.gif";
            options.width = options.height = 64;
            options.frames = 5;
            std::exit(RenderHeadless(options, {}) == 0 ? 0 : 2);
        },
        ::testing::ExitedWithCode(1), "lumetta: shape cache: out of memory");
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename(), "panel.bmp") << "left behind " << entry.path();
}

// Catches state options that reach the scene by another road than the window's commands.
TEST(ExportStartTest, StartOptionsMakeTheStateTheCommandsWould)
{
    SceneState byCommands;
    OnLightPattern3(byCommands);
    OnFlareSpin(byCommands);
    for (int i = 0; i < 3; ++i)
        OnLightStronger(byCommands);
    for (int i = 0; i < 5; ++i)
        OnSpreadNarrow(byCommands);  // 26, 24, 22, 21, 21
    OnSpreadWiden(byCommands);       // 23
    SceneState byStart;
    ApplySceneStart(byStart, {3, true, 3, 23.0f});
    EXPECT_EQ(byStart.m_nPattern, byCommands.m_nPattern);
    EXPECT_EQ(byStart.m_bFlareSpin, byCommands.m_bFlareSpin);
    EXPECT_EQ(byStart.m_fBulb, byCommands.m_fBulb);
    EXPECT_EQ(byStart.m_fSpotDiffuse, byCommands.m_fSpotDiffuse);
    EXPECT_EQ(byStart.m_fSpotCutoff, byCommands.m_fSpotCutoff);
    // A loop holds each pattern's period, and with the flares turning a multiple of their half
    // turn of 90 frames; with a cycle of one second, the three patterns of 20 frames each.
    const int loops[][2] = {{70, 630}, {20, 180}, {85, 1530}};
    for (int p = 1; p <= 3; ++p) {
        EXPECT_EQ(FindSceneLoop({p, false, 0, 28.0f}).frames, loops[p - 1][0]) << "pattern " << p;
        EXPECT_EQ(FindSceneLoop({p, true, 0, 28.0f}).frames, loops[p - 1][1]) << "pattern " << p << " with the flares";
        EXPECT_EQ(FindSceneLoop({p, false, 0, 28.0f, 1}).frames, 60) << "pattern " << p << " in a cycle";
    }
    // In a cycle the unseen lead is whole rounds, so that the loop starts as a round does:
    // patterns 2 and 3 take some frames to settle, so a round of 60 at least.
    EXPECT_EQ(FindSceneLoop({2, false, 0, 28.0f, 1}).lead, 60);
    EXPECT_EQ(FindSceneLoop({3, false, 0, 28.0f, 1}).lead, 60);
}

// Catches a still sticker that shows another moment than the brightest of the first loop: a
// later one, the last of equally bright ones, or simply the first. The moments are found here
// from the scene as the window advances it, frame n showing what n - 1 ticks left.
TEST(ExportStartTest, AStillStickerShowsEachPatternsBrightestMomentTheFirstOfEqualOnes)
{
    for (int pattern = 1; pattern <= 3; ++pattern) {
        const CBlinkVariablesKept blinkVariables;
        const SceneStart start{pattern, false, 0, 28.0f};
        const int chosen = BrightestFrame(start);
        const SceneLoop loop = FindSceneLoop(start);
        SceneState state;
        ApplySceneStart(state, start);
        std::vector<float> shine;
        for (int frame = 1; frame <= loop.lead + loop.frames; ++frame, AdvanceFrameUnseen(state))
            shine.push_back(std::accumulate(state.m_fBulb.begin(), state.m_fBulb.end(), 0.0f));
        ASSERT_GE(chosen, 1);
        ASSERT_LE(chosen, static_cast<int>(shine.size()));
        const auto at = shine.begin() + (chosen - 1);
        EXPECT_EQ(std::max_element(shine.begin(), shine.end()), at) << "pattern " << pattern;
    }
}

}  // namespace
