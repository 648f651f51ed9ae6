// Cost of one frame, as the 50 ms timer asks for it, on the headless context.
// Run: build/bench/lumetta_bench (from the folder holding panel.bmp)
#include "app/headless_context.h"
#include "bulbs/bulb_string.h"
#include "models/wreath.h"
#include "view/frame.h"
#include "view/panel.h"
#include "view/scene.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Fixture {
    CHeadlessContext context{500, 500};
    std::unique_ptr<CScene> scene = std::make_unique<CScene>();
    Fixture()
    {
        scene->OnCreate();
        scene->OnCreateContext();
        scene->OnSize(500, 500);
    }
    // The next benchmark's context compiles its own shape lists.
    ~Fixture() { scene->OnDestroyContext(); }
};

void BM_RenderFrame(benchmark::State& state)
{
    Fixture f;
    if (!f.context.Ok()) {
        state.SkipWithError(f.context.Error().c_str());
        return;
    }
    f.scene->State().m_bFlareSpin = 1;
    for (auto _ : state)
        f.scene->OnDraw();
}
BENCHMARK(BM_RenderFrame)->Unit(benchmark::kMillisecond);

void BM_DrawFlares(benchmark::State& state)
{
    Fixture f;
    SceneState& s = f.scene->State();
    s.m_bFlareSpin = 1;
    glTranslatef(0.0f, 0.0f, -s.m_fDistance);
    for (auto _ : state) {
        DrawFlares(s);
        glFinish();
    }
}
BENCHMARK(BM_DrawFlares);

// The groups of a frame, each on its own, seen through the start camera so that what they
// send is also drawn.
template <void (*Draw)(SceneState&)>
void BM_Group(benchmark::State& state)
{
    Fixture f;
    glTranslatef(0.0f, 0.0f, -f.scene->State().m_fDistance);
    SetSpotLight(f.scene->State());
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Draw(f.scene->State());
        glFinish();
    }
}
void Panel(SceneState&) { DrawPanel(); }
void Wreath(SceneState& s) { DrawWreath(s); }
void BulbString(SceneState& s) { DrawBulbString(s); }
void StemsAndApples(SceneState&)
{
    DrawAppleStems();
    DrawApples();
}
BENCHMARK(BM_Group<Panel>)->Name("DrawPanel")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Group<Wreath>)->Name("DrawWreath")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Group<BulbString>)->Name("DrawBulbString")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Group<StemsAndApples>)->Name("DrawAppleStems+DrawApples")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
