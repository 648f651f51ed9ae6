// Animations drawn over the still parts kept, against the same frames drawn whole: the program
// run twice, once with framebuffer objects hidden from it, which makes it draw every frame whole.
#include "tests/support/gl_test.h"
#include "tests/support/png_read.h"
#include "tests/support/process.h"
#include "bulbs/patterns.h"
#include "view/frame.h"
#include "view/scene.h"
#include "view/scene_start.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Mesa's way of taking an extension away: the program then finds no framebuffer objects.
const std::string kNoFramebufferObjects = "MESA_EXTENSION_OVERRIDE=-GL_ARB_framebuffer_object";

class FrameCacheExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy_file(fs::path(LUMETTA_SOURCE_DIR) / "assets/panel.bmp", dir.Path() / "panel.bmp");
    }

    // Renders a sequence named pattern (with %03d) with args; extra goes into its environment.
    void Render(const std::string& pattern, std::vector<std::string> args, const std::string& extra = {})
    {
        args.insert(args.begin(), {"--render", pattern});
        RunOptions options;
        if (!extra.empty())
            options.environment.push_back(extra);
        const ProcessResult run = RunLumetta(args, dir.Path(), options);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "") << "nothing is said of how the frames are drawn";
    }

    RgbImage Frame(const char* pattern, int index) const
    {
        char name[64];
        (void)std::snprintf(name, sizeof name, pattern, index);
        return ReadPng(dir.Path() / name);
    }

    TempDir dir;
};

// Catches a driver without framebuffer objects given broken frames, or a message, rather than
// whole frames: each frame of the sequence is the picture of that many frames, which is drawn
// whole as the window draws it.
TEST_F(FrameCacheExportTest, WithoutFramebufferObjectsEveryFrameIsDrawnWhole)
{
    constexpr int kFrames = 3;
    Render("f%03d.png", {"--size", "200x200", "--frames", std::to_string(kFrames), "--spin"}, kNoFramebufferObjects);
    for (int frames = 1; frames <= kFrames; ++frames) {
        const std::string picture = "p" + std::to_string(frames) + ".png";
        Render(picture, {"--size", "200x200", "--frames", std::to_string(frames), "--spin"});
        const RgbImage whole = ReadPng(dir.Path() / picture), frame = Frame("f%03d.png", frames);
        ASSERT_EQ(frame.width, 200);
        EXPECT_TRUE(frame.rgb == whole.rgb) << "frame " << frames;
    }
}

// Where a frame's moving parts reach: each pixel that the bulbs, stems, flares or apples of
// that frame touch, and those within a few pixels of one, for a scene started as the sequence
// was (its blink variables new, as in a new process).
std::vector<std::vector<char>> MovingPartMasks(const SceneStart& start, int width, int height, int frames)
{
    constexpr int kReach = 3;
    const int alternateDir = g_nAlternateDir, cascadeStage = g_nCascadeStage;
    g_nAlternateDir = 1;
    g_nCascadeStage = 0;
    ResetGlToSceneBaseline();
    SetupProjection(width, height);
    auto state = std::make_unique<SceneState>();
    ApplySceneStart(*state, start);
    CPatternCycle cycle(start);
    std::vector<std::vector<char>> masks;
    std::vector<GLfloat> depth(static_cast<std::size_t>(width) * height);
    for (int frame = 0; frame < frames; ++frame) {
        // Every fragment they send writes its depth, whatever is in front of it.
        const int dir = g_nAlternateDir, stage = g_nCascadeStage;
        auto drawn = std::make_unique<SceneState>(*state);
        glDepthFunc(GL_ALWAYS);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        RenderMovingParts(*drawn);
        glDepthFunc(GL_LESS);
        glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        g_nAlternateDir = dir;
        g_nCascadeStage = stage;
        std::vector<char> mask(depth.size(), 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (depth[static_cast<std::size_t>(y) * width + x] >= 1.0f)
                    continue;
                for (int my = std::max(0, y - kReach); my <= std::min(height - 1, y + kReach); ++my)
                    for (int mx = std::max(0, x - kReach); mx <= std::min(width - 1, x + kReach); ++mx)
                        mask[static_cast<std::size_t>(height - 1 - my) * width + mx] = 1;  // top-down
            }
        }
        masks.push_back(std::move(mask));
        AdvanceUnseen(*state, cycle, 1);
    }
    g_nAlternateDir = alternateDir;
    g_nCascadeStage = cascadeStage;
    ResetGlToSceneBaseline();
    return masks;
}

// Catches still parts that are not what a whole frame draws (the wrong camera, the depths not
// kept, so that bulbs show through the wreath), moving parts drawn in another order, and still
// parts that change from frame to frame: cached frames differ from whole frames only where
// something moves (or where whole frames differ from each other, which llvmpipe's rounding
// of a few edge pixels makes them do), in at most 0.5% of the pixels, and what does not move
// stays the same to the bit.
TEST_F(FrameCacheExportTest, CachedFramesDifferFromWholeFramesOnlyWhereSomethingMoves)
{
    struct Case {
        const char* what;
        int side, frames;
        std::vector<std::string> args;
        SceneStart start;
    };
    SceneStart sweep, alternation;
    alternation.pattern = 2;
    alternation.spin = true;
    // The sweep through four hand-overs; alternation over nothing, the flares turning.
    const Case cases[] = {
        {"the sweep", 500, 30, {}, sweep},
        {"alternation over nothing", 240, 40, {"--pattern", "2", "--spin", "--transparent"}, alternation},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--size", std::to_string(c.side) + "x" + std::to_string(c.side), "--frames",
                                         std::to_string(c.frames)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Render("w%03d.png", args, kNoFramebufferObjects);
        Render("c%03d.png", args);
        const std::vector<std::vector<char>> masks = MovingPartMasks(c.start, c.side, c.side, c.frames);
        const std::size_t pixels = static_cast<std::size_t>(c.side) * c.side;
        std::vector<char> moves(pixels, 0), wholeDiffers(pixels, 0), cachedDiffers(pixels, 0);
        std::vector<RgbImage> whole, cached;
        for (int i = 1; i <= c.frames; ++i) {
            whole.push_back(Frame("w%03d.png", i));
            cached.push_back(Frame("c%03d.png", i));
            ASSERT_EQ(cached.back().width, c.side) << c.what;
        }
        for (int i = 0; i < c.frames; ++i) {
            for (std::size_t p = 0; p < pixels; ++p) {
                moves[p] |= masks[i][p];
                if (i > 0) {
                    wholeDiffers[p] |= std::memcmp(&whole[i].rgb[p * 3], &whole[i - 1].rgb[p * 3], 3) != 0;
                    cachedDiffers[p] |= std::memcmp(&cached[i].rgb[p * 3], &cached[i - 1].rgb[p * 3], 3) != 0;
                }
            }
        }
        int stillChanging = 0;
        for (std::size_t p = 0; p < pixels; ++p)
            stillChanging += !moves[p] && cachedDiffers[p];
        EXPECT_EQ(stillChanging, 0) << c.what << ": pixels where nothing moves change from frame to frame";
        for (int i = 0; i < c.frames; ++i) {
            int differing = 0, elsewhere = 0;
            for (std::size_t p = 0; p < pixels; ++p) {
                if (std::memcmp(&whole[i].rgb[p * 3], &cached[i].rgb[p * 3], 3) == 0)
                    continue;
                ++differing;
                elsewhere += !masks[i][p] && !wholeDiffers[p];
            }
            EXPECT_EQ(elsewhere, 0) << c.what << ", frame " << i + 1;
            EXPECT_LE(differing, static_cast<int>(pixels / 200)) << c.what << ", frame " << i + 1;
            if (HasFailure())
                break;
        }
    }
}

}  // namespace
