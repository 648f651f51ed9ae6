// Cost of a frame, as the 50 ms timer asks for it, and of each drawing group, at 500 x 500
// and 1920 x 1080, on one headless context for the whole run; beside it the floor, the same
// frame's triangles drawn from a vertex buffer (floor.h), and at the end frame / floor.
// "CPU" is the main thread's: llvmpipe rasterises on threads of its own.
// Run from the folder holding panel.bmp: (cd assets && ../build/release/bench/lumetta_bench)
#include "os/headless_context.h"
#include "bench/floor.h"
#include "bulbs/bulb_string.h"
#include "models/wreath.h"
#include "view/frame.h"
#include "view/panel.h"
#include "view/scene.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kLargestWidth = 1920;
constexpr int kLargestHeight = 1080;

FloorFrame g_floor;

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

void BM_Floor(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const CFloorRenderer floor(g_floor);
    for (auto _ : state)
        floor.Draw();
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
void Panel(SceneState&)
{
    DrawPanel();
}
void Wreath(SceneState& s)
{
    DrawWreath(s);
}
void BulbString(SceneState& s)
{
    DrawBulbString(s);
}
void StemsAndApples(SceneState&)
{
    DrawAppleStems();
    DrawApples();
}
void Flares(SceneState& s)
{
    DrawFlares(s);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->Args({500, 500})->Args({kLargestWidth, kLargestHeight})->Unit(benchmark::kMillisecond);
}
// Frame and floor side by side at each size, so that a change in the machine's load falls on
// both alike.
BENCHMARK(BM_Frame)->Name("Frame")->Args({500, 500})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor)->Name("Floor")->Args({500, 500})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frame)->Name("Frame")->Args({kLargestWidth, kLargestHeight})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor)->Name("Floor")->Args({kLargestWidth, kLargestHeight})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Group<Panel>)->Name("DrawPanel")->Apply(Sizes);
BENCHMARK(BM_Group<Wreath>)->Name("DrawWreath")->Apply(Sizes);
BENCHMARK(BM_Group<BulbString>)->Name("DrawBulbString")->Apply(Sizes);
BENCHMARK(BM_Group<StemsAndApples>)->Name("DrawAppleStems+DrawApples")->Apply(Sizes);
BENCHMARK(BM_Group<Flares>)->Name("DrawFlares")->Apply(Sizes);

// The recording of one frame, made by the recorder program beside this one.
bool CaptureFloor()
{
    std::FILE* pipe = popen("'" LUMETTA_FLOOR_CAPTURE "'", "r");
    if (!pipe)
        return false;
    const bool read = g_floor.Read(pipe);
    return pclose(pipe) == 0 && read;
}

std::vector<unsigned char> ReadPixels(int width, int height)
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// The floor must draw the frame's picture before its figures mean anything: the first frame
// of a new scene, its shapes replayed from their lists as in every frame the benchmark times,
// against the floor's, pixel by pixel. Two frames go first: the one that makes the shape
// lists leaves driver state that shifts a few pixels of the frame after it (Mesa 22.3), and
// from then on every frame of the same state draws the same picture.
int FloorPixelsDiffering()
{
    constexpr int size = 500;
    for (int warmUp = 0; warmUp < 2; ++warmUp) {
        Fixture warm(size, size);
        warm.scene->OnDraw();
    }
    Fixture f(size, size);
    f.scene->OnDraw();
    const std::vector<unsigned char> frame = ReadPixels(size, size);
    CFloorRenderer(g_floor).Draw();
    const std::vector<unsigned char> floor = ReadPixels(size, size);
    int differing = 0;
    for (std::size_t i = 0; i < frame.size(); i += 4)
        differing += !std::equal(&frame[i], &frame[i] + 4, &floor[i]);
    return differing;
}

// The console report, and each run's times kept for the frame / floor ratios.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            m_times[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const
    {
        for (const char* size : {"500/500", "1920/1080"}) {
            const auto frame = Find(std::string("Frame/") + size);
            const auto floor = Find(std::string("Floor/") + size);
            if (frame == m_times.end() || floor == m_times.end())
                continue;
            // Both send the same vertices: the main thread's extra time spread over them is what
            // the immediate-mode calls cost above the vertex buffer's.
            const double extraNsPerVertex = (frame->second.second - floor->second.second) * 1e6 /
                                            static_cast<double>(g_floor.vertices.size());
            std::printf("Frame / Floor at %s: wall %.2f, main-thread CPU %.2f (%+.1f ns a vertex)\n", size,
                        frame->second.first / floor->second.first, frame->second.second / floor->second.second,
                        extraNsPerVertex);
        }
    }

private:
    using Times = std::map<std::string, std::pair<double, double>>;
    // A run's times, or with --benchmark_repetitions the median of its runs.
    Times::const_iterator Find(const std::string& name) const
    {
        const auto median = m_times.find(name + "_median");
        return median != m_times.end() ? median : m_times.find(name);
    }
    Times m_times;
};

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
    if (!CaptureFloor()) {
        std::fprintf(stderr, "lumetta_bench: cannot record the floor's frame\n");
        return 1;
    }
    const int differing = FloorPixelsDiffering();
    std::printf("Floor: %zu vertices in %zu draw calls; %d of 250000 pixels differ from the frame's\n",
                g_floor.vertices.size(), g_floor.DrawCalls(), differing);
    if (differing != 0)
        std::fprintf(stderr,
                     "lumetta_bench: the floor does not draw the frame's picture; frame / floor means little\n");
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
