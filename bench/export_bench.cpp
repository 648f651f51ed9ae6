// The exports of --render, 70 frames at 500 x 500 (one loop of pattern 1) in each format,
// against drawing and reading back the same frames with no encoding at all: the same
// RenderHeadless, its output replaced by one that takes the frames and does nothing. At the
// end it prints the ratios, the sizes, and how close the lossy frames stay to the frames
// drawn (PSNR against frames kept from a run of the same frames).
//
// Run in assets/ (the backdrop picture): ../build/release/bench/lumetta_export_bench
#include "export/headless_render.h"

#include "tests/support/decode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kSide = 500;
constexpr int kFrames = 70;

// Takes the frames and does nothing with them, or keeps them top-down to compare with.
class CDrawOnly : public COutput {
public:
    explicit CDrawOnly(std::vector<std::vector<std::uint8_t>>* keep = nullptr) : m_keep(keep) {}
    std::string Prepare(const CFrame*, const CFrame& frame, std::vector<std::uint8_t>&) override
    {
        if (m_keep) {
            std::vector<std::uint8_t> topDown;
            for (int y = 0; y < frame.height; ++y)
                topDown.insert(topDown.end(), frame.TopDown(0, y), frame.TopDown(0, y) + frame.width * 3);
            const std::lock_guard lock(m_mutex);
            m_keep->resize(std::max<std::size_t>(m_keep->size(), frame.index + 1));
            (*m_keep)[frame.index] = std::move(topDown);
        }
        return {};
    }
    std::string Write(const CFrame&, std::vector<std::uint8_t>&) override { return {}; }
    std::string Finish() override { return {}; }

private:
    std::vector<std::vector<std::uint8_t>>* m_keep;
    std::mutex m_mutex;
};

fs::path Scratch()
{
    static const fs::path s_folder = [] {
        fs::path folder = fs::temp_directory_path() / "lumetta-export-bench";
        fs::create_directories(folder);
        return folder;
    }();
    return s_folder;
}

RenderOptions Options(const std::string& name)
{
    RenderOptions options;
    options.output = (Scratch() / name).string();
    options.frames = kFrames;
    options.width = options.height = kSide;
    return options;
}

std::map<std::string, double> g_seconds;  // the median of each, filled in by the reporter

void BM_Export(benchmark::State& state, const std::string& name)
{
    for (auto _ : state) {
        if (RenderHeadless(Options(name), {}) != 0)
            state.SkipWithError("the export failed");
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(Scratch() / name));
}

void BM_DrawOnly(benchmark::State& state)
{
    for (auto _ : state) {
        // The kind of the name sets the frames: an animation's, from where its loop starts.
        if (RenderHeadless(Options("same.webp"), {}, std::make_unique<CDrawOnly>()) != 0)
            state.SkipWithError("drawing failed");
    }
}

void ReportCloseness()
{
    std::vector<std::vector<std::uint8_t>> drawn;
    RenderHeadless(Options("same.webp"), {}, std::make_unique<CDrawOnly>(&drawn));
    const std::pair<const char*, DecodedAnimation> decoded[] = {
        {"MP4", DecodeMp4(Scratch() / "export.mp4")},
        {"GIF", DecodeGif(Scratch() / "export.gif")},
    };
    for (const auto& [format, animation] : decoded) {
        const auto& frames = animation.frames;
        if (frames.size() != drawn.size()) {
            std::printf("%s: %zu frames decoded, %zu drawn\n", format, frames.size(), drawn.size());
            continue;
        }
        double sum = 0, worst = 99;
        for (std::size_t k = 0; k < frames.size(); ++k) {
            const double psnr = Psnr(drawn[k], frames[k]);
            sum += psnr;
            worst = std::min(worst, psnr);
        }
        std::printf("%s: PSNR against the frames drawn %.2f dB on average, %.2f dB at worst\n", format,
                    sum / frames.size(), worst);
    }
}

// Keeps each run's median (or only) time, for the ratios printed at the end.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        // Repetitions report after their runs: their median is what stays.
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                g_seconds[run.run_name.function_name] = run.GetAdjustedRealTime() / 1e3;
        }
    }
};

}  // namespace

BENCHMARK(BM_DrawOnly)->Name("draw_70_frames")->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, webp, std::string("export.webp"))
    ->Name("export_webp")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, mp4, std::string("export.mp4"))
    ->Name("export_mp4")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, gif, std::string("export.gif"))
    ->Name("export_gif")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double draw = g_seconds["draw_70_frames"];
    if (draw > 0) {
        std::printf("\nwall time against drawing the same frames (%.3f s):\n", draw);
        for (const char* format : {"webp", "mp4", "gif"}) {
            const std::string name = std::string("export_") + format;
            if (g_seconds.count(name))
                std::printf("  %-5s %.3f s  %.2fx  %8ju bytes\n", format, g_seconds[name], g_seconds[name] / draw,
                            static_cast<std::uintmax_t>(fs::file_size(Scratch() / ("export." + std::string(format)))));
        }
    }
    ReportCloseness();
    fs::remove_all(Scratch());
    benchmark::Shutdown();
    return 0;
}
