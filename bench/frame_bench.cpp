// Cost of a frame, as the 50 ms timer asks for it, and of each drawing group, at 500 x 500
// and 1920 x 1080, on one headless context for the whole run. "CPU" is the main thread's:
// llvmpipe rasterises on threads of its own.
// Run from the folder holding panel.bmp: (cd assets && ../build/release/bench/lumetta_bench)
#include "app/headless_context.h"
#include "bulbs/bulb_string.h"
#include "models/wreath.h"
#include "view/frame.h"
#include "view/panel.h"
#include "view/scene.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kLargestWidth = 1920;
constexpr int kLargestHeight = 1080;

// The scene as the window has it after its creation, at a client size of width x height.
struct Fixture {
    std::unique_ptr<CScene> scene = std::make_unique<CScene>();
    Fixture(int width, int height)
    {
        scene->OnCreate();
        scene->OnCreateContext();
        scene->OnSize(width, height);
        scene->State().m_bFlareSpin = 1;
    }
    SceneState& State() { return scene->State(); }
};

void BM_Frame(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        f.scene->OnDraw();
}

// The groups of a frame, each on its own, seen through the start camera so that what they
// send is also drawn.
template <void (*Draw)(SceneState&)>
void BM_Group(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -f.State().m_fDistance);
    SetSpotLight(f.State());
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Draw(f.State());
        glFinish();
    }
    glPopMatrix();
}
void Panel(SceneState&) { DrawPanel(); }
void Wreath(SceneState& s) { DrawWreath(s); }
void BulbString(SceneState& s) { DrawBulbString(s); }
void StemsAndApples(SceneState&)
{
    DrawAppleStems();
    DrawApples();
}
void Flares(SceneState& s) { DrawFlares(s); }

void Sizes(benchmark::internal::Benchmark* b)
{
    b->Args({500, 500})->Args({kLargestWidth, kLargestHeight})->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_Frame)->Name("Frame")->Apply(Sizes);
BENCHMARK(BM_Group<Panel>)->Name("DrawPanel")->Apply(Sizes);
BENCHMARK(BM_Group<Wreath>)->Name("DrawWreath")->Apply(Sizes);
BENCHMARK(BM_Group<BulbString>)->Name("DrawBulbString")->Apply(Sizes);
BENCHMARK(BM_Group<StemsAndApples>)->Name("DrawAppleStems+DrawApples")->Apply(Sizes);
BENCHMARK(BM_Group<Flares>)->Name("DrawFlares")->Apply(Sizes);

}  // namespace

int main(int argc, char** argv)
{
    // One context for the whole run, as large as the largest picture: the shape cache's lists
    // are made once and belong to it.
    CHeadlessContext context(kLargestWidth, kLargestHeight);
    if (!context.Ok()) {
        std::fprintf(stderr, "lumetta_bench: %s\n", context.Error().c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
