// Endurance: many headless frames with the user's commands in between, drawn whole as the
// window draws them and over the still parts kept as the screensaver and the ornament draw
// them. Nothing may wear out: no GL error, the stacks at their depths after every frame, as
// many display lists and framebuffers at the end as after the first frames, resident memory
// flat, and every blink pattern still periodic.
// LUMETTA_SOAK_FRAMES sets how many frames (2000 unless set; 100000 for the long run), and
// LUMETTA_SOAK_TRACE prints resident memory as it goes. Memory is judged after the first 1200
// frames, or the first third of a longer run, by which the driver and the allocator have made
// all the room they will keep (over the still parts kept, they take a last block or two as
// late as the 2700th frame, and then nothing in 10,000).
#define GL_GLEXT_PROTOTYPES 1
#include "os/headless_context.h"
#include "bulbs/patterns.h"
#include "view/input.h"
#include "view/scene_start.h"
#include "view/scene.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <unistd.h>

namespace {

long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

int DisplayLists()
{
    int lists = 0;
    for (GLuint name = 1; name < 4096; ++name)
        lists += glIsList(name) ? 1 : 0;
    return lists;
}

int Framebuffers()
{
    int framebuffers = 0;
    for (GLuint name = 1; name < 256; ++name)
        framebuffers += glIsFramebuffer(name) ? 1 : 0;
    return framebuffers;
}

// Everything a pattern step reads or writes, bit for bit.
std::array<std::uint32_t, 15> PatternBits(const SceneState& s)
{
    std::array<std::uint32_t, 15> bits{};
    for (std::size_t i = 0; i < s.m_fBulb.size(); ++i)
        bits[i] = std::bit_cast<std::uint32_t>(s.m_fBulb[i]);
    bits[10] = static_cast<std::uint32_t>(s.m_nSweepPhase);
    bits[11] = static_cast<std::uint32_t>(s.m_nSweepIndex);
    bits[12] = static_cast<std::uint32_t>(g_nAlternateDir);
    bits[13] = static_cast<std::uint32_t>(g_nCascadeStage);
    bits[14] = static_cast<std::uint32_t>(s.m_nPattern);
    return bits;
}

void Soak(FrameDrawing drawing)
{
    const char* setting = std::getenv("LUMETTA_SOAK_FRAMES");
    const long frames = setting ? std::atol(setting) : 2000;
    const long kWarmUp = std::max(1200L, frames / 3);
    const bool trace = std::getenv("LUMETTA_SOAK_TRACE") != nullptr;  // resident memory every 100 frames
    ASSERT_GT(frames, 0);

    CHeadlessContext context(320, 240);
    ASSERT_TRUE(context.Ok()) << context.Error();
    CScene scene;
    scene.SetFrameDrawing(drawing);
    scene.OnCreateContext();
    scene.OnSize(320, 240);
    SceneState& s = scene.State();
    std::mt19937 random(12345);
    void (*const commands[])(SceneState&) = {OnFlareSpin,   OnLightStronger, OnLightWeaker,
                                             OnSpreadWiden, OnSpreadNarrow,  OnViewReset};
    const int keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, 'A', 'R'};
    const int periods[] = {70, 20, 85};

    long drawn = 0, errors = 0, badStacks = 0, brokenPeriods = 0;
    int listsAfterWarmUp = -1, framebuffersAfterWarmUp = -1;
    long lowest = 0, highest = 0;
    auto frame = [&] {
        scene.OnDraw();
        ++drawn;
        errors += glGetError() != GL_NO_ERROR ? 1 : 0;
        GLint modelView = 0, projection = 0, attrib = 0, clientAttrib = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelView);
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projection);
        glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attrib);
        glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &clientAttrib);
        badStacks += (modelView != 1 || projection != 1 || attrib != 0 || clientAttrib != 0) ? 1 : 0;
        // The first frame makes every display list there will ever be.
        if (drawn == 1) {
            listsAfterWarmUp = DisplayLists();
            framebuffersAfterWarmUp = Framebuffers();
        }
        if (drawn == kWarmUp) {
            lowest = highest = ResidentBytes();
        } else if (drawn > kWarmUp && drawn % 100 == 0) {
            const long resident = ResidentBytes();
            lowest = std::min(lowest, resident);
            highest = std::max(highest, resident);
            if (trace)
                std::printf("frame %ld: resident %ld KiB\n", drawn, resident / 1024);
        }
        // Commands come between frames now and then, as a user's would; none touches the bulbs.
        if (random() % 7 == 0)
            commands[random() % std::size(commands)](s);
        if (random() % 5 == 0)
            OnKeyDown(s, keys[random() % std::size(keys)]);
    };

    // frame() counts the frames drawn.
    int segment = 0;
    while (drawn < frames) {
        // Each pattern is chosen from another, so it starts from its start state, and must
        // come round to the same bits after its period, whatever else happens meanwhile.
        const int pattern = segment % 3 + 1;
        OnKeyDown(s, '1' + pattern % 3);
        OnKeyDown(s, '0' + pattern);
        const int period = periods[pattern - 1];
        for (int i = 0; i < period; ++i)
            frame();
        const auto once = PatternBits(s);
        for (int i = 0; i < period; ++i)
            frame();
        brokenPeriods += PatternBits(s) == once ? 0 : 1;
        ++segment;
    }
    EXPECT_EQ(errors, 0) << "frames with a GL error";
    EXPECT_EQ(badStacks, 0) << "frames that left a stack off its depth";
    EXPECT_EQ(brokenPeriods, 0) << "pattern runs that did not come round";
    EXPECT_EQ(DisplayLists(), listsAfterWarmUp) << "display lists made after the first frames";
    EXPECT_EQ(Framebuffers(), framebuffersAfterWarmUp) << "framebuffers made after the first frames";
    // A leak grows with the frames; on a loaded machine the driver may also take one more
    // block of 1 MiB once, which a short run cannot tell from growth, so it allows for it.
    const long allowed = drawn >= 10000 ? 1L << 20 : 2L << 20;
    if (drawn > kWarmUp)
        EXPECT_LE(highest - lowest, allowed) << "resident memory grew from " << lowest << " to " << highest;
    else
        std::printf("soak: too short a run to judge memory\n");
    scene.OnDestroyContext();
    std::printf("soak: %ld frames, %d display lists, resident %ld to %ld KiB\n", drawn, listsAfterWarmUp, lowest / 1024,
                highest / 1024);
}

TEST(SoakTest, ManyFramesWithCommandsBetweenWearNothingOut)
{
    for (const FrameDrawing drawing : {FrameDrawing::Whole, FrameDrawing::Cached}) {
        SCOPED_TRACE(drawing == FrameDrawing::Whole ? "whole frames" : "frames over the still parts kept");
        Soak(drawing);
    }
}

}  // namespace
