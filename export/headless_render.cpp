#include "export/headless_render.h"

#include "os/end_signals.h"
#include "os/fail.h"
#include "export/frame_pipeline.h"
#include "os/headless_context.h"
#include "export/memory_room.h"
#include "export/outputs.h"
#include "export/picture_name.h"
#include "export/render_plan.h"
#include "export/safe_file.h"
#include "export/sticker.h"
#include "core/scene_host.h"
#include "view/gl_check.h"
#include "view/scene.h"

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <system_error>

namespace {

// Frames done of all, with the time taken and the time still to go, on one line of a
// terminal rewritten in place; silent when stderr is not a terminal.
class CProgress {
public:
    explicit CProgress(int total) : m_total(total), m_bShown(::isatty(STDERR_FILENO) == 1) {}
    ~CProgress()
    {
        if (m_bWritten)
            std::fputc('\n', stderr);
    }
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    void Done(int frames)
    {
        if (!m_bShown)
            return;
        const auto now = Clock::now();
        // A few lines a second are enough, and a short render says nothing at all.
        if (frames < m_total && now - m_last < std::chrono::milliseconds(250))
            return;
        const double elapsed = std::chrono::duration<double>(now - m_start).count();
        if (!m_bWritten && frames == m_total && elapsed < 1.0)
            return;
        m_last = now;
        const double left = elapsed / frames * (m_total - frames);
        std::fprintf(stderr, "\rlumetta: frame %d of %d, %s so far, about %s to go   ", frames, m_total,
                     SpokenDuration(elapsed).c_str(), SpokenDuration(left).c_str());
        std::fflush(stderr);
        m_bWritten = true;
    }

private:
    using Clock = std::chrono::steady_clock;

    const int m_total;
    const bool m_bShown;
    bool m_bWritten = false;
    const Clock::time_point m_start = Clock::now();
    Clock::time_point m_last = m_start;
};

// One export, from its first frame to its last, with everything it makes: the context, the
// output and its files, and the threads that encode. Whatever ends it, the threads are
// stopped and, unless it was completed, every file it made is taken away, all while the end
// signals are still caught.
class CExport {
public:
    CExport(const RenderOptions& options, const RenderPlan& render, const ExportPlan& plan,
            std::unique_ptr<COutput> output)
        : m_options(options), m_render(render), m_plan(plan), m_nFrames(render.frames), m_pOutput(std::move(output))
    {
        s_pRunning = this;
        SetFatalCleanup(&AbandonRunning);
    }

    ~CExport()
    {
        SetFatalCleanup(nullptr);
        s_pRunning = nullptr;
        m_pPipeline.reset();
        // Cut short by an exception: the scene's lists go with the context, as they must.
        if (m_pScene)
            m_pScene->OnDestroyContext();
        Abandon();
    }
    CExport(const CExport&) = delete;
    CExport& operator=(const CExport&) = delete;

    // Makes the context, draws every frame into it and hands each to the output; lead frames
    // are advanced unseen first. Returns an empty string, or what went wrong; made is what the
    // output says it made, if it says.
    std::string Run(CScene& scene, std::string& made)
    {
        {
            // The driver's threads, started with the context, keep the end signals out:
            // handlers run on this thread alone.
            const CHoldEndSignals hold;
            m_pContext = std::make_unique<CHeadlessContext>(m_options.width, m_options.height);
        }
        if (!m_pContext->Ok())
            return "cannot render without a window: " + m_pContext->Error();
        if (CEndSignals::Caught() != 0)
            return {};
        if (std::string error = m_pOutput->Start(); !error.empty())
            return error;
        scene.OnCreateContext();
        SetSamples(scene);
        m_pScene = &scene;
        scene.OnSize(m_options.width, m_options.height);
        SceneState& state = scene.State();
        state.m_fAngle = m_options.yaw;
        state.m_fDistance = m_options.distance;
        ApplySceneStart(state, m_options.start);
        CPatternCycle cycle(m_options.start);
        AdvanceUnseen(state, cycle, m_render.lead);
        if (m_render.rules) {
            if (std::string refusal = FrameSticker(scene, cycle); !refusal.empty() || CEndSignals::Caught() != 0)
                return refusal;
        }
        std::string error = DrawFrames(scene, cycle);
        if (error.empty() && CEndSignals::Caught() == 0)
            error = m_pPipeline->Finish();
        m_pPipeline.reset();
        scene.OnDestroyContext();
        m_pScene = nullptr;
        if (error.empty() && CEndSignals::Caught() == 0)
            error = m_pOutput->Complete();
        m_bComplete = error.empty();
        if (m_bComplete)
            made = m_pOutput->Made();
        return error;
    }

private:
    // The samples a pixel the scene draws with: what was asked and cannot be had is said; the
    // default goes as near as it can without a word.
    void SetSamples(CScene& scene) const
    {
        const int wanted = m_options.samples == 0 ? kDefaultSamples : m_options.samples;
        if (wanted <= 1)
            return;
        const int samples = m_plan.frameCache ? NearestSamples(wanted) : 1;
        if (m_options.samples != 0 && samples != wanted) {
            if (!m_plan.frameCache)
                std::fprintf(stderr, "lumetta: there is not the memory to smooth the edges of this picture; they "
                                     "are drawn as the window draws them\n");
            else if (samples == 1)
                std::fprintf(stderr, "lumetta: this GL driver cannot smooth the edges; they are drawn as the window "
                                     "draws them\n");
            else
                std::fprintf(stderr,
                             "lumetta: this GL driver smooths with %d samples a pixel, the nearest it can to %d\n",
                             samples, wanted);
        }
        scene.SetSamples(samples);
    }

    // A sticker's framing: the wreath's extent over every frame it shows, its halos and glints
    // too, centred and as large as the margin allows. A moving one is first tried on a few
    // frames, and refused when those show that it cannot fit. Returns an empty string, or why
    // there is no sticker.
    std::string FrameSticker(CScene& scene, const CPatternCycle& cycle)
    {
        if (m_render.everyFrame) {
            if (std::string refusal = ProbeSticker(scene, cycle); !refusal.empty() || CEndSignals::Caught() != 0)
                return refusal;
        }
        const PixelExtent extent = MeasureExtent(scene, cycle, m_render.everyFrame);
        if (CEndSignals::Caught() != 0)
            return {};
        if (extent.Empty())
            return "nothing of the wreath shows in the sticker";
        scene.SetFraming(FramingFor(extent, m_options.width, m_render.rules->Margin()));
        return {};
    }

    // Draws the frames and hands those the output takes to the pipeline, which encodes them on
    // other threads while the next ones are drawn. Returns an empty string, or what went wrong.
    std::string DrawFrames(CScene& scene, CPatternCycle& cycle)
    {
        std::string error;
        CGlErrorCheck glErrors;
        m_pPipeline = std::make_unique<CFramePipeline>(*m_pOutput, m_plan.preparers, PipelineDepth(m_plan));
        CProgress progress(m_nFrames);
        for (int i = 0; i < m_nFrames && error.empty() && CEndSignals::Caught() == 0; ++i) {
            scene.OnDraw();
            glErrors.Check("while drawing a frame");
            cycle.AfterFrame(scene.State());
            // A picture is the last frame; the frames before it are only drawn.
            if (m_render.everyFrame || i == m_nFrames - 1) {
                auto frame = std::make_shared<CFrame>();
                frame->index = i;
                frame->width = m_options.width;
                frame->height = m_options.height;
                frame->channels = m_options.transparent ? 4 : 3;
                frame->rgb = scene.ReadFrame(frame->channels);
                error = m_pPipeline->Push(std::move(frame));
            }
            progress.Done(i + 1);
        }
        return error;
    }

    // Draws the frames the run will draw, from the same scene and clock, and finds where any
    // of those it keeps covers a pixel at all; the scene, the clock and the blink variables
    // are left as they were.
    PixelExtent MeasureExtent(CScene& scene, const CPatternCycle& cycle, bool everyFrame) const
    {
        const CBlinkVariablesKept blinkVariables;
        const auto before = std::make_unique<SceneState>(scene.State());
        CPatternCycle measuring = cycle;
        PixelExtent extent;
        // A still sticker's one moment is measured alone: the frames before it are advanced
        // unseen, as drawing them would.
        const int unseen = everyFrame ? 0 : m_nFrames - 1;
        AdvanceUnseen(scene.State(), measuring, unseen);
        for (int i = unseen; i < m_nFrames && CEndSignals::Caught() == 0; ++i) {
            scene.OnDraw();
            measuring.AfterFrame(scene.State());
            if (everyFrame || i == m_nFrames - 1) {
                const std::vector<std::uint8_t> rgba = scene.ReadFrame(4);
                extent.Join(CoveredExtent(rgba.data(), m_options.width, m_options.height));
            }
        }
        scene.State() = *before;
        return extent;
    }

    // Short runs of a moving sticker's frames from across its loop, framed by where they
    // cover, for the output to tell whether the whole loop can be made; the scene and the
    // clock are left as they were.
    std::string ProbeSticker(CScene& scene, const CPatternCycle& cycle)
    {
        constexpr int kRuns = 4, kRunFrames = 5;
        if (kRuns * kRunFrames >= m_nFrames)
            return {};
        const auto before = std::make_unique<SceneState>(scene.State());
        std::vector<std::vector<CFrame>> runs(kRuns, std::vector<CFrame>(kRunFrames));
        PixelExtent extent;
        // The first pass finds the framing, the second draws in it.
        for (int pass = 0; pass < 2; ++pass) {
            for (int run = 0; run < kRuns && CEndSignals::Caught() == 0; ++run) {
                const CBlinkVariablesKept blinkVariables;
                CPatternCycle probing = cycle;
                AdvanceUnseen(scene.State(), probing, run * m_nFrames / kRuns);
                for (int i = 0; i < kRunFrames; ++i) {
                    scene.OnDraw();
                    probing.AfterFrame(scene.State());
                    CFrame& frame = runs[static_cast<std::size_t>(run)][static_cast<std::size_t>(i)];
                    frame = {i, m_options.width, m_options.height, 4, scene.ReadFrame(4)};
                    if (pass == 0)
                        extent.Join(CoveredExtent(frame.rgb.data(), frame.width, frame.height));
                }
                scene.State() = *before;
            }
            if (extent.Empty() || CEndSignals::Caught() != 0)
                return {};
            scene.SetFraming(pass == 0 ? FramingFor(extent, m_options.width, m_render.rules->Margin()) : Framing{});
        }
        std::vector<std::vector<const CFrame*>> shown;
        for (const std::vector<CFrame>& run : runs) {
            shown.emplace_back();
            for (const CFrame& frame : run)
                shown.back().push_back(&frame);
        }
        return m_pOutput->Probe(shown, m_nFrames);
    }

public:
    // Stops the threads and, unless the export completed with no end signal caught, takes
    // away every file it made, its temporary file too. Also before a fatal exit.
    void Abandon()
    {
        m_pPipeline.reset();
        if (m_pOutput) {
            if (!m_bComplete || CEndSignals::Caught() != 0)
                m_pOutput->TakeAway();
            m_pOutput.reset();
        }
        m_pContext.reset();
    }

private:
    static void AbandonRunning()
    {
        if (s_pRunning)
            s_pRunning->Abandon();
    }

    static inline CExport* s_pRunning = nullptr;

    const RenderOptions& m_options;
    const RenderPlan& m_render;
    const ExportPlan& m_plan;
    const int m_nFrames;
    std::unique_ptr<COutput> m_pOutput;
    std::unique_ptr<CHeadlessContext> m_pContext;
    std::unique_ptr<CFramePipeline> m_pPipeline;
    CScene* m_pScene = nullptr;  // while the scene has made things in the context
    bool m_bComplete = false;
};

}  // namespace

int RenderHeadless(const RenderOptions& options, const std::string& installedFolder)
{
    return RenderHeadless(options, installedFolder, nullptr);
}

int RenderHeadless(const RenderOptions& options, const std::string& installedFolder, std::unique_ptr<COutput> output)
{
    RenderPlan render;
    int status = 1;
    if (const std::string error = PlanRender(options, render, status); !error.empty())
        return Fail(error, status);
    // Everything that can fail before the first frame is found before any file is made: the
    // target, the backdrop picture, the memory and the encoder; the context just after.
    if (const std::string error = CheckFileWritable(FrameFileName(render.picture, options.output, 1)); !error.empty())
        return Fail(error);
    auto scene = std::make_unique<CScene>();
    scene->SetTransparent(options.transparent);
    scene->OnCreate(installedFolder);
    ExportPlan plan;
    if (const std::string error = PlanExport(WorkOf(options, render), plan); !error.empty())
        return Fail(error);
    if (const char* show = std::getenv("LUMETTA_SHOW_PLAN"); show && *show == '1')
        std::fprintf(stderr, "lumetta: %s\n", DescribePlan(plan).c_str());
    ApplyDriverPlan(plan);
    scene->SetFrameDrawing(plan.frameCache ? FrameDrawing::Cached : FrameDrawing::Whole);

    // From here Ctrl+C stops the run after the frame being drawn, and what it wrote goes.
    const CEndSignals endSignals;
    const CWriteSignalsAsErrors writeSignals;
    std::string error, made;
    try {
        if (!output)
            output = MakeOutput(RequestOf(options, render, plan));
        error = output->CheckError();
        if (error.empty()) {
            CExport run(options, render, plan, std::move(output));
            error = run.Run(*scene, made);
        }
    } catch (const std::bad_alloc&) {
        error = "a " + std::to_string(options.width) + "x" + std::to_string(options.height) +
                " picture ran out of memory; a smaller --size needs less";
    } catch (const std::system_error& e) {
        error = std::string("cannot start a thread: ") + e.code().message();
    }
    if (CEndSignals::Caught() != 0)
        CEndSignals::DieOfIt();
    if (!error.empty())
        return Fail(error);
    SayMade(render, made);
    return 0;
}
