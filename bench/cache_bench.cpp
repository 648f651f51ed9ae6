// Cost of a frame of a camera that holds still, drawn over the still parts kept
// (view/frame_cache.h), against the whole frame, at the ornament's 360 x 360 (transparent), the
// window's 500 x 500 and the screensaver's 1920 x 1080: the cached frame, the same with its
// changed tiles copied to the context's own framebuffer as the hosts copy them, and the copy of
// the still parts back alone. With --present, on an X display, the frames brought to a GLX
// window as the screensaver and the ornament bring them: the whole frame swapped in, against
// only the changed tiles copied. Times are per frame; "CPU" is the process's, all its threads':
// llvmpipe rasterises on threads of its own.
//
// Before any figure it checks that it draws what the program draws: its cached frames against
// the frames `lumetta --render` writes of the same scene, byte for byte; with --present, that
// the window shows each frame whole.
//
// Run in assets/ (the backdrop picture):
//   ../build/release/bench/lumetta_cache_bench
//   xvfb-run -s "-screen 0 1920x1080x24" ../build/release/bench/lumetta_cache_bench --present
#define GL_GLEXT_PROTOTYPES 1
#include "os/headless_context.h"
#include "export/headless_render.h"
#include "view/gl_query.h"
#include "tests/support/png_read.h"
#include "view/frame_cache.h"
#include "view/scene.h"
#include "view/scene_start.h"
#include "x11/frame_present.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kLargestWidth = 1920;
constexpr int kLargestHeight = 1080;

// The scene of a way of showing it: its size, whether it has a backdrop, and how it animates.
struct Shape {
    int width, height;
    bool transparent;
    bool busy;  // alternation with the flares turning: the most that changes from frame to frame
};
Shape ShapeOf(const benchmark::State& state)
{
    return {static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), state.range(2) != 0,
            state.range(3) != 0};
}

std::unique_ptr<CScene> MakeScene(const Shape& shape, FrameDrawing drawing)
{
    auto scene = std::make_unique<CScene>();
    scene->SetTransparent(shape.transparent);
    scene->OnCreate();
    scene->SetFrameDrawing(drawing);
    scene->OnCreateContext();
    scene->OnSize(shape.width, shape.height);
    SceneStart start;
    start.pattern = shape.busy ? 2 : 1;
    start.spin = shape.busy;
    ApplySceneStart(scene->State(), start);
    // The first frame draws the still parts; the benchmark measures the frames after it.
    scene->OnDraw();
    return scene;
}

void Drawing(benchmark::State& state, FrameDrawing drawing, bool copyTiles)
{
    const Shape shape = ShapeOf(state);
    // A context of the frame's size, as the program makes: the driver rounds a few pixels
    // otherwise in a larger one.
    const CHeadlessContext context(shape.width, shape.height);
    auto scene = MakeScene(shape, drawing);
    double covered = 0.0;
    for (auto _ : state) {
        scene->OnDraw();
        if (copyTiles) {
            scene->PutFrame(scene->Change().parts);
            glFinish();
        }
        for (const PixelRect& part : scene->Change().parts)
            covered += static_cast<double>(part.width) * part.height / (shape.width * shape.height);
    }
    state.counters["changed"] = benchmark::Counter(covered / static_cast<double>(state.iterations()));
    scene->OnDestroyContext();
}

void BM_Whole(benchmark::State& state)
{
    Drawing(state, FrameDrawing::Whole, false);
}
void BM_Cached(benchmark::State& state)
{
    Drawing(state, FrameDrawing::Cached, false);
}
void BM_CachedTilesCopiedIn(benchmark::State& state)
{
    Drawing(state, FrameDrawing::Cached, true);
}

// The still parts copied back, colour and depth, as a cached frame begins: the texels of one
// framebuffer object's renderbuffers copied to another's. Beside it, the same as a blit into
// the context's own framebuffer, which Mesa makes a drawing pass.
void BM_Restore(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const bool toDefault = state.range(2) != 0;
    const CHeadlessContext context(width, height);
    GLuint framebuffers[2], renderbuffers[4];
    glGenFramebuffers(2, framebuffers);
    glGenRenderbuffers(4, renderbuffers);
    for (int i = 0; i < 2; ++i) {
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[2 * i]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[2 * i + 1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers[2 * i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers[2 * i + 1]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[0]);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, toDefault ? 0 : framebuffers[1]);
    for (auto _ : state) {
        if (toDefault) {
            glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT,
                              GL_NEAREST);
        } else {
            for (int i = 0; i < 2; ++i)
                glCopyImageSubData(renderbuffers[i], GL_RENDERBUFFER, 0, 0, 0, 0, renderbuffers[2 + i], GL_RENDERBUFFER,
                                   0, 0, 0, 0, width, height, 1);
        }
        glFinish();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(2, framebuffers);
    glDeleteRenderbuffers(4, renderbuffers);
    if (glGetError() != GL_NO_ERROR)
        state.SkipWithError("the copy failed");
}

void Shapes(benchmark::internal::Benchmark* b)
{
    for (const bool busy : {false, true}) {
        b->Args({360, 360, 1, busy});
        b->Args({500, 500, 0, busy});
        b->Args({kLargestWidth, kLargestHeight, 0, busy});
    }
    b->ArgNames({"w", "h", "transparent", "busy"})
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}
void Sizes(benchmark::internal::Benchmark* b)
{
    for (const int toDefault : {0, 1}) {
        b->Args({360, 360, toDefault});
        b->Args({500, 500, toDefault});
        b->Args({kLargestWidth, kLargestHeight, toDefault});
    }
    b->ArgNames({"w", "h", "to_default"})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
}

// --- the frames brought to a window ---

struct Window {
    Display* display = nullptr;
    ::Window window = 0;
    GLXContext context = nullptr;
};
// One window and context for the whole run, sized for each benchmark.
Window g_window;

// A double-buffered GLX window on the display, its context current; false when there is none.
bool OpenWindow()
{
    Window& w = g_window;
    w.display = XOpenDisplay(nullptr);
    if (!w.display)
        return false;
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
                        8,        GLX_DEPTH_SIZE,   24,           None};
    XVisualInfo* visual = glXChooseVisual(w.display, DefaultScreen(w.display), attributes);
    if (!visual)
        return false;
    XSetWindowAttributes set{};
    set.colormap = XCreateColormap(w.display, DefaultRootWindow(w.display), visual->visual, AllocNone);
    w.window = XCreateWindow(w.display, DefaultRootWindow(w.display), 0, 0, kLargestWidth, kLargestHeight, 0,
                             visual->depth, InputOutput, visual->visual, CWColormap, &set);
    XMapWindow(w.display, w.window);
    XSync(w.display, False);
    w.context = glXCreateContext(w.display, visual, nullptr, True);
    XFree(visual);
    return w.context && glXMakeCurrent(w.display, w.window, w.context);
}

void SizeWindow(int width, int height)
{
    XResizeWindow(g_window.display, g_window.window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(g_window.display, False);
}

void Presenting(benchmark::State& state, FrameDrawing drawing)
{
    const Shape shape = ShapeOf(state);
    const Window& w = g_window;
    SizeWindow(shape.width, shape.height);
    auto scene = MakeScene(shape, drawing);
    CFramePresenter presenter(w.display, DefaultScreen(w.display), w.window, true);
    double covered = 0.0;
    for (auto _ : state) {
        scene->OnDraw();
        presenter.CopyIn(*scene);
        presenter.Show();
        // The frame is on the screen when the X server has taken it.
        XSync(w.display, False);
        for (const PixelRect& part : presenter.Shown())
            covered += static_cast<double>(part.width) * part.height / (shape.width * shape.height);
    }
    state.counters["shown"] = benchmark::Counter(covered / static_cast<double>(state.iterations()));
    scene->OnDestroyContext();
}

void BM_WholeSwapped(benchmark::State& state)
{
    Presenting(state, FrameDrawing::Whole);
}
void BM_TilesCopied(benchmark::State& state)
{
    Presenting(state, FrameDrawing::Cached);
}

// --- the check ---

// The cached frames of a new scene, drawn here, against those that `lumetta --render`
// draws of the same scene with one sample a pixel, as the window, the screensaver and the
// ornament draw: how many pixels of all differ.
long PixelsDifferingFromTheProgram()
{
    constexpr int kSide = 500, kFrames = 12;
    const fs::path folder = fs::temp_directory_path() / "lumetta-cache-bench";
    fs::create_directories(folder);
    fs::copy_file("panel.bmp", folder / "panel.bmp", fs::copy_options::overwrite_existing);
    const std::string command = "cd '" + folder.string() + "' && '" LUMETTA_BINARY "' --render f%02d.png --size " +
                                std::to_string(kSide) + "x" + std::to_string(kSide) + " --frames " +
                                std::to_string(kFrames) + " --samples 1";
    if (std::system(command.c_str()) != 0)
        return -1;
    const Shape shape{kSide, kSide, false, false};
    const CHeadlessContext context(kSide, kSide);
    if (!context.Ok())
        return -1;
    auto scene = std::make_unique<CScene>();
    scene->OnCreate();
    scene->SetFrameDrawing(FrameDrawing::Cached);
    scene->OnCreateContext();
    scene->OnSize(shape.width, shape.height);
    long differing = 0;
    for (int i = 1; i <= kFrames; ++i) {
        scene->OnDraw();
        if (!scene->FrameCached())
            return -1;
        const std::vector<std::uint8_t> drawn = scene->ReadFrame(3);
        char name[16];
        (void)std::snprintf(name, sizeof name, "f%02d.png", i);
        const RgbImage written = ReadPng(folder / name);
        if (written.width != kSide)
            return -1;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                differing +=
                    std::memcmp(written.AtGl(x, y), &drawn[(static_cast<std::size_t>(y) * kSide + x) * 3], 3) != 0;
    }
    scene->OnDestroyContext();
    fs::remove_all(folder);
    return differing;
}

// The window after frames brought a tile at a time, against the whole of the last frame
// copied in: how many pixels differ (a changed part not brought would show).
long PixelsMissedInTheWindow()
{
    constexpr int kSide = 500, kFrames = 30;
    const Window& w = g_window;
    SizeWindow(kSide, kSide);
    auto scene = MakeScene({kSide, kSide, false, true}, FrameDrawing::Cached);
    CFramePresenter presenter(w.display, DefaultScreen(w.display), w.window, true);
    if (!presenter.CopiesParts())
        return -1;
    for (int i = 0; i < kFrames; ++i) {
        scene->OnDraw();
        presenter.CopyIn(*scene);
        presenter.Show();
    }
    XSync(w.display, False);
    XImage* shown = XGetImage(w.display, w.window, 0, 0, kSide, kSide, AllPlanes, ZPixmap);
    scene->PutFrame({scene->Bounds()});
    const std::vector<std::uint8_t> frame = ReadPixels({0, 0, kSide, kSide}, 3);
    long differing = shown ? 0 : -1;
    for (int y = 0; shown && y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const unsigned long pixel = XGetPixel(shown, x, kSide - 1 - y);
            const std::uint8_t* want = &frame[(static_cast<std::size_t>(y) * kSide + x) * 3];
            differing += (pixel >> 16 & 0xff) != want[0] || (pixel >> 8 & 0xff) != want[1] || (pixel & 0xff) != want[2];
        }
    }
    if (shown)
        XDestroyImage(shown);
    scene->OnDestroyContext();
    return differing;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool present = argc > 1 && std::strcmp(argv[1], "--present") == 0;
    if (present) {
        --argc;
        ++argv;
        if (!OpenWindow()) {
            std::fprintf(stderr, "lumetta_cache_bench: no GLX window on this display\n");
            return 1;
        }
        const long missed = PixelsMissedInTheWindow();
        std::printf("Window: %ld pixels differ from the frame after 30 frames brought a tile at a time\n", missed);
        if (missed != 0) {
            std::fprintf(stderr, "lumetta_cache_bench: the window does not show the frame (needs an X display "
                                 "whose GLX offers GLX_MESA_copy_sub_buffer)\n");
            return 1;
        }
        benchmark::RegisterBenchmark("WholeFrameSwapped", BM_WholeSwapped)->Apply(Shapes);
        benchmark::RegisterBenchmark("CachedFrameTilesCopied", BM_TilesCopied)->Apply(Shapes);
    } else {
        const long differing = PixelsDifferingFromTheProgram();
        std::printf("Cached frames: %ld pixels of 12 frames differ from those the program writes\n", differing);
        if (differing != 0) {
            std::fprintf(stderr, "lumetta_cache_bench: this does not draw what the program draws (-1: it could not "
                                 "be run, or has no framebuffer objects)\n");
            return 1;
        }
        benchmark::RegisterBenchmark("WholeFrame", BM_Whole)->Apply(Shapes);
        benchmark::RegisterBenchmark("CachedFrame", BM_Cached)->Apply(Shapes);
        benchmark::RegisterBenchmark("CachedFrameTilesCopiedIn", BM_CachedTilesCopiedIn)->Apply(Shapes);
        benchmark::RegisterBenchmark("StillPartsCopiedBack", BM_Restore)->Apply(Sizes);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
