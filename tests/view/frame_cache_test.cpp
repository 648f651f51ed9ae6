// Frames of a still camera drawn over the still parts kept: the parts that change, the GL
// state left, and the frame after a change of camera, light or size.
#define GL_GLEXT_PROTOTYPES 1
#include "export/headless_render.h"
#include "view/gl_query.h"
#include "tests/support/gl_test.h"
#include "bulbs/patterns.h"
#include "view/frame.h"
#include "view/frame_cache.h"
#include "view/input.h"
#include "view/scene.h"
#include "view/scene_start.h"

#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// How GoogleTest shows a rectangle that is not as expected.
void PrintTo(const PixelRect& r, std::ostream* os)
{
    *os << "(" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << ")";
}

namespace {

namespace fs = std::filesystem;

TEST(FrameTilesTest, TilesTouchedAreWholeTilesInRunsClippedToTheFrame)
{
    struct Case {
        const char* what;
        std::vector<PixelRect> rects;
        int width, height;
        std::vector<PixelRect> tiles;
    };
    const Case cases[] = {
        {"nothing", {}, 100, 100, {}},
        {"inside the first tile", {{3, 4, 5, 6}}, 100, 100, {{0, 0, 32, 32}}},
        {"the last pixel of a tile", {{31, 31, 1, 1}}, 100, 100, {{0, 0, 32, 32}}},
        {"the first pixel of the next", {{32, 0, 1, 1}}, 100, 100, {{32, 0, 32, 32}}},
        {"across a tile edge", {{31, 0, 2, 1}}, 100, 100, {{0, 0, 64, 32}}},
        {"two runs in a row", {{0, 0, 1, 1}, {70, 10, 1, 1}}, 100, 100, {{0, 0, 32, 32}, {64, 0, 32, 32}}},
        {"the frame's edge cuts the last tiles", {{90, 90, 50, 50}}, 100, 100, {{64, 64, 36, 36}}},
        {"runs of the same columns join", {{0, 0, 40, 70}}, 100, 100, {{0, 0, 64, 96}}},
        {"runs of other columns do not", {{0, 0, 40, 1}, {0, 40, 10, 1}}, 100, 100, {{0, 0, 64, 32}, {0, 32, 32, 32}}},
        {"partly outside", {{-10, -10, 12, 12}}, 100, 100, {{0, 0, 32, 32}}},
        {"wholly outside", {{100, 0, 5, 5}, {0, -5, 5, 5}}, 100, 100, {}},
        {"rows apart stay apart", {{0, 70, 1, 1}, {0, 0, 1, 1}}, 100, 100, {{0, 0, 32, 32}, {0, 64, 32, 32}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TilesTouched(c.rects, c.width, c.height), c.tiles) << c.what;
}

// Catches regions that overlap, where the moving parts would be drawn twice over each other,
// and changed parts left out of every region, which would show stale.
TEST(FrameRegionsTest, RegionsCoverEveryRectAndOverlapNone)
{
    struct Case {
        const char* what;
        std::vector<PixelRect> rects;
        std::size_t regions;
    };
    const Case cases[] = {
        {"nothing", {}, 0},
        {"apart", {{0, 0, 10, 10}, {100, 100, 10, 10}}, 2},
        {"overlapping", {{0, 0, 10, 10}, {5, 5, 10, 10}}, 1},
        {"side by side, the joined rectangle no larger", {{0, 0, 10, 10}, {10, 0, 10, 10}}, 1},
        {"near, the joined rectangle little larger", {{0, 0, 20, 20}, {22, 0, 20, 20}}, 1},
        {"a join that then overlaps a third", {{0, 0, 10, 10}, {90, 90, 10, 10}, {5, 5, 90, 90}, {200, 0, 5, 5}}, 2},
        {"empty rectangles", {{0, 0, 0, 10}, {3, 3, 10, 0}}, 0},
    };
    const auto inside = [](const PixelRect& in, const PixelRect& r) {
        return r.x >= in.x && r.y >= in.y && r.x + r.width <= in.x + in.width && r.y + r.height <= in.y + in.height;
    };
    for (const Case& c : cases) {
        const std::vector<PixelRect> regions = DisjointRegions(c.rects, 100);
        EXPECT_EQ(regions.size(), c.regions) << c.what;
        for (const PixelRect& r : c.rects) {
            const bool covered =
                std::any_of(regions.begin(), regions.end(), [&](const auto& g) { return inside(g, r); });
            EXPECT_TRUE(covered || r.width <= 0 || r.height <= 0) << c.what;
        }
        for (std::size_t i = 0; i < regions.size(); ++i)
            for (std::size_t j = i + 1; j < regions.size(); ++j)
                EXPECT_TRUE(regions[i].x + regions[i].width <= regions[j].x ||
                            regions[j].x + regions[j].width <= regions[i].x ||
                            regions[i].y + regions[i].height <= regions[j].y ||
                            regions[j].y + regions[j].height <= regions[i].y)
                    << c.what;
    }
}

// Catches a moving part drawn beyond the rectangle said to hold it, which a frame drawn a
// region at a time would leave out of the regions it reaches into: each part alone, every
// fragment it sends written to the depth buffer, lies within its rectangle; the bulbs with
// their largest halos and with none, the flares at every angle, from the start camera and
// from the nearest and most turned one.
TEST(MovingPartRectsTest, EachMovingPartDrawsOnlyWithinItsRectangle)
{
    constexpr int kSide = 500;
    ResetGlToSceneBaseline();
    const GLint viewport[4] = {0, 0, kSide, kSide};
    std::vector<GLfloat> depth(static_cast<std::size_t>(kSide) * kSide);
    struct Camera {
        float distance, angle;
    };
    for (const Camera camera : {Camera{27.0f, 0.0f}, Camera{20.0f, 20.0f}}) {
        for (const float v : {1.2f, 0.1f}) {
            auto state = std::make_unique<SceneState>();
            state->m_fDistance = camera.distance;
            state->m_fAngle = camera.angle;
            state->m_fBulb.fill(v);
            GLdouble modelView[16], projection[16];
            glPushMatrix();
            PlaceCamera(*state);
            glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
            glPopMatrix();
            glGetDoublev(GL_PROJECTION_MATRIX, projection);
            const MovingPartRects rects = WhereMovingPartsDraw(LooksOf(*state), modelView, projection, viewport);
            // Draws the one part that choose picks, at every flare angle when it is a flare, and
            // counts what it sent outside its rectangle.
            const auto outside = [&](const PixelRect& rect, const std::function<void(MovingParts&)>& choose) {
                MovingParts parts;
                choose(parts);
                glClear(GL_DEPTH_BUFFER_BIT);
                glDepthFunc(GL_ALWAYS);
                glPushMatrix();
                PlaceCamera(*state);
                SetSpotLight(*state);
                const bool flare = std::find(parts.flares.begin(), parts.flares.end(), true) != parts.flares.end();
                for (int angle = 0; angle < (flare ? 360 : 1); angle += 2) {
                    state->m_fFlareAngle = static_cast<float>(angle);
                    DrawMovingParts(*state, parts);
                }
                glPopMatrix();
                glDepthFunc(GL_LESS);
                glReadPixels(0, 0, kSide, kSide, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
                int count = 0, drawn = 0;
                for (int y = 0; y < kSide; ++y) {
                    for (int x = 0; x < kSide; ++x) {
                        if (depth[static_cast<std::size_t>(y) * kSide + x] >= 1.0f)
                            continue;
                        ++drawn;
                        count += x < rect.x || x >= rect.x + rect.width || y < rect.y || y >= rect.y + rect.height;
                    }
                }
                EXPECT_GT(drawn, 0);
                return count;
            };
            for (int c = 0; c < 4; ++c)
                for (int i = 0; i < 10; ++i)
                    EXPECT_EQ(outside(rects.bulbs[c][i], [&](MovingParts& p) { p.bulbs[c][i] = true; }), 0)
                        << "bulb " << c << "/" << i << " at " << v << ", yaw " << camera.angle;
            for (int k = 0; k < 5; ++k) {
                EXPECT_EQ(outside(rects.stems[k], [&](MovingParts& p) { p.stems[k] = true; }), 0) << "stem " << k;
                EXPECT_EQ(outside(rects.apples[k], [&](MovingParts& p) { p.apples[k] = true; }), 0) << "apple " << k;
                EXPECT_EQ(outside(rects.flares[k], [&](MovingParts& p) { p.flares[k] = true; }), 0) << "flare " << k;
            }
        }
    }
    ResetGlToSceneBaseline();
}

// Catches a change said from the new frame's reach alone, which leaves the tips of a halo that
// shrinks on the screen, building up frame after frame: for bulbs that grow and bulbs that
// shrink, the changed rectangles hold where each drew before and where it draws now.
TEST(MovingPartRectsTest, AChangedBulbIsSaidWhereItDrewBeforeAndWhereItDrawsNow)
{
    const GLint viewport[4] = {0, 0, 500, 500};
    auto state = std::make_unique<SceneState>();
    state->m_fDistance = 27.0f;
    GLdouble modelView[16], projection[16];
    ResetGlToSceneBaseline();
    glPushMatrix();
    PlaceCamera(*state);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glPopMatrix();
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    const auto holds = [](const std::vector<PixelRect>& rects, const PixelRect& r) {
        return std::any_of(rects.begin(), rects.end(), [&](const PixelRect& c) {
            return r.x >= c.x && r.y >= c.y && r.x + r.width <= c.x + c.width && r.y + r.height <= c.y + c.height;
        });
    };
    for (const auto& [from, to] : {std::pair{1.2f, 0.1f}, std::pair{0.1f, 1.2f}}) {
        MovingLooks before, now;
        before.bulbs.fill(from);
        now.bulbs.fill(to);
        const std::vector<PixelRect> changed = MovingPartsChanged(before, now, modelView, projection, viewport);
        const MovingPartRects then = WhereMovingPartsDraw(before, modelView, projection, viewport);
        const MovingPartRects after = WhereMovingPartsDraw(now, modelView, projection, viewport);
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < 10; ++i)
                EXPECT_TRUE(holds(changed, then.bulbs[c][i]) && holds(changed, after.bulbs[c][i]))
                    << "bulb " << c << "/" << i << " from " << from << " to " << to;
    }
}

class FrameCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlToSceneBaseline();
        // Scenes of one process share the blink variables: each test keeps its own.
        m_nAlternateDir = g_nAlternateDir;
        m_nCascadeStage = g_nCascadeStage;
    }
    void TearDown() override
    {
        for (auto& scene : m_scenes)
            scene->OnDestroyContext();
        g_nAlternateDir = m_nAlternateDir;
        g_nCascadeStage = m_nCascadeStage;
        ResetGlToSceneBaseline();
    }

    CScene& MakeScene(FrameDrawing drawing, const SceneStart& start = {}, bool transparent = false, int size = 500)
    {
        auto scene = std::make_unique<CScene>();
        scene->SetTransparent(transparent);
        scene->OnCreate((fs::path(LUMETTA_SOURCE_DIR) / "assets").string());
        scene->SetFrameDrawing(drawing);
        scene->OnCreateContext();
        scene->OnSize(size, size);
        ApplySceneStart(scene->State(), start);
        m_scenes.push_back(std::move(scene));
        return *m_scenes.back();
    }

    // The frame the scene just drew, from wherever it was drawn, as RGBA rows bottom-up.
    static std::vector<std::uint8_t> Frame(const CScene& scene)
    {
        scene.PutFrame({scene.Bounds()});
        return ReadPixels(scene.Bounds(), 4);
    }

    std::vector<std::unique_ptr<CScene>> m_scenes;

private:
    int m_nAlternateDir = 0;
    int m_nCascadeStage = 0;
};

// Catches a part that changes but is not said to (a bulb, halo or flare missed, a projection
// off by a few pixels, a change seen a frame late), which would leave a window showing a
// stale bulb; and changes said to be everywhere, which would bring the whole frame each time.
TEST_F(FrameCacheTest, EveryPixelThatChangesLiesInTheChangedPartsAndLittleElseDoes)
{
    struct Case {
        const char* what;
        SceneStart start;
        bool transparent;
        double mostCovered;  // of the frame, over the run
    };
    SceneStart sweep, alternation, cascade;
    alternation.pattern = 2;
    alternation.spin = true;
    cascade.pattern = 3;
    const Case cases[] = {
        {"the sweep", sweep, false, 0.2},
        {"alternation with the flares turning", alternation, false, 0.7},
        {"the cascade over nothing", cascade, true, 0.15},
    };
    for (const Case& c : cases) {
        CScene& scene = MakeScene(FrameDrawing::Cached, c.start, c.transparent);
        scene.OnDraw();
        std::vector<std::uint8_t> before = Frame(scene);
        const int side = scene.Bounds().width;
        double covered = 0.0;
        constexpr int kFrames = 40;
        for (int frame = 1; frame <= kFrames; ++frame) {
            scene.OnDraw();
            ASSERT_TRUE(scene.FrameCached()) << c.what;
            const FrameChange& change = scene.Change();
            ASSERT_FALSE(change.whole) << c.what << ", frame " << frame;
            std::vector<char> inside(static_cast<std::size_t>(side) * side, 0);
            for (const PixelRect& p : change.parts) {
                covered += static_cast<double>(p.width) * p.height / (side * side) / kFrames;
                for (int y = p.y; y < p.y + p.height; ++y)
                    for (int x = p.x; x < p.x + p.width; ++x)
                        inside[static_cast<std::size_t>(y) * side + x] = 1;
            }
            const std::vector<std::uint8_t> now = Frame(scene);
            int outside = 0;
            for (std::size_t i = 0; i < inside.size(); ++i)
                outside += !inside[i] && std::memcmp(&now[i * 4], &before[i * 4], 4) != 0;
            EXPECT_EQ(outside, 0) << c.what << ": pixels changed outside the parts said in frame " << frame;
            before = now;
        }
        EXPECT_LT(covered, c.mostCovered) << c.what;
    }
}

// Catches a frame drawn aside that leaves its framebuffer bound (the window's next swap or read
// would miss the frame), a stack pushed and not popped, or an error in any frame: the first,
// which draws the still parts, and those after it, which copy them back.
TEST_F(FrameCacheTest, CachedFramesLeaveGlStateAndTheDefaultFramebufferAsFound)
{
    CScene& scene = MakeScene(FrameDrawing::Cached);
    for (int frame = 0; frame < 3; ++frame) {
        ExpectLeavesGlStateAsFound([&] { scene.OnDraw(); });
        ExpectLeavesGlStateAsFound([&] { scene.PutFrame(scene.Change().parts); });
        ExpectLeavesGlStateAsFound([&] { (void)scene.ReadFrame(4); });
        EXPECT_TRUE(scene.FrameCached());
        GLint draw = -1, read = -1, frontFace = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
        glGetIntegerv(GL_FRONT_FACE, &frontFace);
        EXPECT_EQ(draw, 0);
        EXPECT_EQ(read, 0);
        EXPECT_EQ(frontFace, GL_CCW) << "the frame is drawn upside down, and its front faces clockwise, alone";
    }
}

// Catches still parts kept past what shapes them: after the camera, the spot light or the size
// changes, the very next frame is the whole frame of the new scene, and all of it is said to
// have changed.
TEST_F(FrameCacheTest, AChangeInTheMiddleOfARunShowsWholeInTheVeryNextFrame)
{
    struct Case {
        const char* what;
        std::function<void(CScene&)> change;
    };
    const Case cases[] = {
        {"yaw", [](CScene& s) { OnKeyDown(s.State(), VK_LEFT); }},
        {"distance", [](CScene& s) { OnKeyDown(s.State(), VK_UP); }},
        {"grey level", [](CScene& s) { OnLightWeaker(s.State()); }},
        {"cutoff", [](CScene& s) { OnSpreadWiden(s.State()); }},
        {"size", [](CScene& s) { s.OnSize(400, 300); }},
    };
    for (const Case& c : cases) {
        CScene& cached = MakeScene(FrameDrawing::Cached);
        cached.OnDraw();
        cached.OnDraw();
        c.change(cached);
        // The same scene drawn whole, from the same state and blink variables.
        CScene& whole = MakeScene(FrameDrawing::Whole);
        whole.State() = cached.State();
        whole.OnSize(cached.Bounds().width, cached.Bounds().height);
        const int alternateDir = g_nAlternateDir, cascadeStage = g_nCascadeStage;
        whole.OnDraw();
        const std::vector<std::uint8_t> expected = Frame(whole);
        g_nAlternateDir = alternateDir;
        g_nCascadeStage = cascadeStage;
        cached.OnDraw();
        EXPECT_TRUE(cached.FrameCached()) << c.what;
        EXPECT_TRUE(cached.Change().whole) << c.what;
        EXPECT_EQ(cached.Change().parts, std::vector<PixelRect>{cached.Bounds()}) << c.what;
        const std::vector<std::uint8_t> shown = Frame(cached);
        int differing = 0;
        for (std::size_t i = 0; i < shown.size(); i += 4)
            differing += std::memcmp(&shown[i], &expected[i], 4) != 0;
        // The driver rounds a few edge pixels of the moving parts otherwise when they are drawn
        // over copied still parts; a frame kept from before the change differs in tens of per cent.
        EXPECT_LT(differing, static_cast<int>(shown.size() / 4 / 200)) << c.what;
    }
}

}  // namespace

// The whole frame of state at width x height and samples samples a pixel, drawn from the clear
// up in a framebuffer object of the test's own and averaged by GL, as RGBA rows bottom-up;
// state and the blink variables are left as they were. Drawn upside down, rows from the top,
// as the cache draws (samples lie otherwise in a pixel the other way up), and turned over here.
std::vector<std::uint8_t> WholeFrame(const SceneState& state, int width, int height, int samples)
{
    GLuint framebuffers[2], renderbuffers[3];
    glGenFramebuffers(2, framebuffers);
    glGenRenderbuffers(3, renderbuffers);
    const auto attach = [&](GLuint framebuffer, GLuint renderbuffer, int count, GLenum format, GLenum point) {
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, count, format, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, point, GL_RENDERBUFFER, renderbuffer);
    };
    attach(framebuffers[1], renderbuffers[2], 0, GL_RGBA8, GL_COLOR_ATTACHMENT0);
    attach(framebuffers[0], renderbuffers[0], samples > 1 ? samples : 0, GL_RGBA8, GL_COLOR_ATTACHMENT0);
    attach(framebuffers[0], renderbuffers[1], samples > 1 ? samples : 0, GL_DEPTH_COMPONENT24, GL_DEPTH_ATTACHMENT);
    SetupProjection(width, height);
    glMatrixMode(GL_PROJECTION);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glLoadIdentity();
    glScaled(1.0, -1.0, 1.0);
    glMultMatrixd(projection);
    glMatrixMode(GL_MODELVIEW);
    glFrontFace(GL_CW);
    const int alternateDir = g_nAlternateDir, cascadeStage = g_nCascadeStage;
    auto copy = std::make_unique<SceneState>(state);
    RenderFrame(*copy);
    glFrontFace(GL_CCW);
    g_nAlternateDir = alternateDir;
    g_nCascadeStage = cascadeStage;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[0]);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[1]);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[1]);
    const std::vector<std::uint8_t> upsideDown = ReadPixels({0, 0, width, height}, 4);
    std::vector<std::uint8_t> pixels(upsideDown.size());
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(&pixels[y * row], &upsideDown[(height - 1 - y) * row], row);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(2, framebuffers);
    glDeleteRenderbuffers(3, renderbuffers);
    return pixels;
}

// Catches a frame of several samples a pixel that is not the whole frame of its state: the
// samples' average put back in the wrong rows (stale bulbs in every frame after the first), an
// average kept from four samples once there is one: over each pattern at four samples, then at
// one and another size, then at four again, the cached frame is the whole frame but for a few
// pixels the driver rounds a little otherwise. (llvmpipe draws one frame twice a few levels
// apart in a few hundred pixels as it runs, so what changed is judged by the scene's own
// geometry, in the test below.)
TEST_F(FrameCacheTest, FramesOfSeveralSamplesAreTheWholeFramesOfTheirStateFrameAfterFrame)
{
    // Where a moving part's edge falls on a copied still part, or a frame is drawn the other way
    // up, the driver rounds a few of its samples otherwise: a level or two, a dozen at a rim.
    constexpr int kRounding = 16;
    SceneStart sweep, alternation, cascade;
    alternation.pattern = 2;
    alternation.spin = true;
    cascade.pattern = 3;
    for (const SceneStart& start : {sweep, alternation, cascade}) {
        CScene& cached = MakeScene(FrameDrawing::Cached, start, false, 300);
        for (int frame = 0; frame < 50; ++frame) {
            const int samples = frame >= 20 && frame < 30 ? 1 : 4;
            const int width = samples == 1 ? 240 : 300, height = samples == 1 ? 200 : 300;
            cached.SetSamples(samples);
            if (cached.Bounds().width != width)
                cached.OnSize(width, height);
            const std::vector<std::uint8_t> wholeNow = WholeFrame(cached.State(), width, height, samples);
            cached.OnSize(width, height);
            cached.OnDraw();
            ASSERT_EQ(cached.Samples(), samples);
            const std::vector<std::uint8_t> cachedNow = cached.ReadFrame(4);
            int differing = 0;
            for (std::size_t i = 0; i < wholeNow.size(); i += 4) {
                int most = 0;
                for (std::size_t c = 0; c < 4; ++c)
                    most = std::max(most, std::abs(wholeNow[i + c] - cachedNow[i + c]));
                differing += most > kRounding;
            }
            const std::string what = "pattern " + std::to_string(start.pattern) + ", frame " + std::to_string(frame);
            EXPECT_LT(differing, width * height / 1000) << what;
        }
    }
}

// Catches framebuffer objects made anew and the old ones lost when the picture is framed, as
// each sticker's measuring pass once did (17 MiB at 512 x 512): framing, another size and
// other samples keep the three it needs, and no more.
TEST_F(FrameCacheTest, FramingASizeOrSamplesMakeNoFramebufferBesideThoseKept)
{
    const auto framebuffers = [] {
        int count = 0;
        for (GLuint name = 1; name < 512; ++name)
            count += glIsFramebuffer(name) ? 1 : 0;
        return count;
    };
    const int before = framebuffers();
    CScene& scene = MakeScene(FrameDrawing::Cached, {}, false, 300);
    scene.SetSamples(4);
    scene.OnDraw();
    EXPECT_EQ(framebuffers(), before + 3) << "still, work and the average shown";
    scene.SetFraming({0.8, 0.1, -0.1});
    scene.OnDraw();
    scene.OnSize(200, 300);
    scene.OnDraw();
    EXPECT_EQ(framebuffers(), before + 3);
    scene.SetSamples(1);
    scene.OnDraw();
    EXPECT_EQ(framebuffers(), before + 2) << "the average kept at one sample";
    scene.OnDestroyContext();
    m_scenes.pop_back();
    EXPECT_EQ(framebuffers(), before);
}
