#include "export/headless_render.h"

#include "os/end_signals.h"
#include "os/fail.h"
#include "export/frame_pipeline.h"
#include "os/headless_context.h"
#include "export/memory_room.h"
#include "export/outputs.h"
#include "export/picture_name.h"
#include "export/safe_file.h"
#include "export/sticker.h"
#include "core/scene_host.h"
#include "view/gl_check.h"
#include "view/scene.h"

#include <GL/gl.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <system_error>

namespace {

std::string Duration(double seconds)
{
    const long s = std::lround(seconds);
    char text[32];
    if (s < 60)
        (void)std::snprintf(text, sizeof text, "%ld s", s);
    else if (s < 3600)
        (void)std::snprintf(text, sizeof text, "%ld min %ld s", s / 60, s % 60);
    else
        (void)std::snprintf(text, sizeof text, "%ld h %ld min", s / 3600, s / 60 % 60);
    return text;
}

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
                     Duration(elapsed).c_str(), Duration(left).c_str());
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

// An animation longer than this is said on stderr before it starts, terminal or not.
constexpr int kLongAnimationFrames = 5 * 60 * 1000 / kFrameMilliseconds;

// Whether an animation's length, chosen by its loop when --frames does not say, can be made;
// says on stderr how long a long one will be. Returns an empty string, or why not.
std::string CheckLength(const RenderOptions& options, int frames)
{
    if (options.frames > 0)
        return {};
    const std::string choose = "choose its length with --frames N (1 to " + std::to_string(kMaxRenderFrames) + ")";
    if (frames > kMaxRenderFrames)
        return "one loop of this scene is " + std::to_string(frames) + " frames, more than the " +
               std::to_string(kMaxRenderFrames) + " an animation may have; " + choose;
    // A sticker's loop is held to 3 seconds, and said so, further on.
    if (frames > kLongAnimationFrames && !options.sticker)
        std::fprintf(stderr, "lumetta: one loop of this scene is %d frames, an animation of %s; %s\n", frames,
                     Duration(frames * kFrameMilliseconds / 1000.0).c_str(), choose.c_str());
    return {};
}

// One export, from its first frame to its last, with everything it makes: the context, the
// output and its files, and the threads that encode. Whatever ends it, the threads are
// stopped and, unless it was completed, every file it made is taken away, all while the end
// signals are still caught.
class CExport {
public:
    CExport(const RenderOptions& options, const PictureName& picture, const ExportPlan& plan, int frames,
            std::unique_ptr<COutput> output)
        : m_options(options), m_picture(picture), m_plan(plan), m_nFrames(frames), m_pOutput(std::move(output))
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
    std::string Run(CScene& scene, int lead, std::string& made)
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
        const int wanted = m_options.samples == 0 ? kDefaultSamples : m_options.samples;
        if (wanted > 1) {
            const int samples = m_plan.frameCache ? NearestSamples(wanted) : 1;
            // What was asked for and cannot be had is said; the default goes as near as it can
            // without a word.
            if (m_options.samples != 0 && samples != wanted) {
                if (!m_plan.frameCache)
                    std::fprintf(stderr, "lumetta: there is not the memory to smooth the edges of this picture; "
                                         "they are drawn as the window draws them\n");
                else if (samples == 1)
                    std::fprintf(stderr, "lumetta: this GL driver cannot smooth the edges; they are drawn as the "
                                         "window draws them\n");
                else
                    std::fprintf(stderr,
                                 "lumetta: this GL driver smooths with %d samples a pixel, the nearest it can to %d\n",
                                 samples, wanted);
            }
            scene.SetSamples(samples);
        }
        m_pScene = &scene;
        scene.OnSize(m_options.width, m_options.height);
        SceneState& state = scene.State();
        state.m_fAngle = m_options.yaw;
        state.m_fDistance = m_options.distance;
        ApplySceneStart(state, m_options.start);
        CPatternCycle cycle(m_options.start);
        AdvanceUnseen(state, cycle, lead);

        // A still sticker is the last frame, whatever its format.
        const bool stillSticker = m_options.sticker && !RulesOf(m_options.stickerProfile).Moves(m_picture.kind);
        const bool everyFrame = (m_picture.kind == PictureName::Kind::Sequence || m_picture.IsAnimation()) &&
                                !stillSticker;
        if (m_options.sticker && everyFrame) {
            if (std::string refusal = ProbeSticker(scene, cycle); !refusal.empty() || CEndSignals::Caught() != 0)
                return refusal;
        }
        if (m_options.sticker) {
            // The wreath's extent over every frame the sticker shows, its halos and glints
            // too, centred and as large as the margin allows.
            const PixelExtent extent = MeasureExtent(scene, cycle, everyFrame);
            if (CEndSignals::Caught() != 0)
                return {};
            if (extent.Empty())
                return "nothing of the wreath shows in the sticker";
            scene.SetFraming(FramingFor(extent, m_options.width, RulesOf(m_options.stickerProfile).Margin()));
        }
        std::string error;
        CGlErrorCheck glErrors;
        // The frames are encoded on other threads while the next ones are drawn.
        m_pPipeline = std::make_unique<CFramePipeline>(*m_pOutput, m_plan.preparers, PipelineDepth(m_plan));
        CProgress progress(m_nFrames);
        for (int i = 0; i < m_nFrames && error.empty() && CEndSignals::Caught() == 0; ++i) {
            scene.OnDraw();
            glErrors.Check("while drawing a frame");
            cycle.AfterFrame(state);
            // A picture is the last frame; the frames before it are only drawn.
            if (everyFrame || i == m_nFrames - 1) {
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
            scene.SetFraming(pass == 0 ? FramingFor(extent, m_options.width, RulesOf(m_options.stickerProfile).Margin())
                                       : Framing{});
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
    const PictureName& m_picture;
    const ExportPlan& m_plan;
    const int m_nFrames;
    std::unique_ptr<COutput> m_pOutput;
    std::unique_ptr<CHeadlessContext> m_pContext;
    std::unique_ptr<CFramePipeline> m_pPipeline;
    CScene* m_pScene = nullptr;  // while the scene has made things in the context
    bool m_bComplete = false;
};

// Why a loop of frames is too long for a sticker of rules, and what would make it fit: the
// flares at rest, or a shorter pattern cycle.
std::string TooLongForASticker(const StickerRules& rules, const SceneStart& start, int frames)
{
    const int most = StickerMostFrames(rules);
    std::string line = "one loop of this scene is " + std::to_string(frames) + " frames, more than " + rules.what +
                       " holds (" + std::to_string(most) + ", under " + std::to_string(rules.mostMilliseconds / 1000) +
                       " seconds at " + std::to_string(rules.mostFramesPerSecond) + " a second)";
    SceneStart fitting = start;
    fitting.spin = false;
    if (start.spin && FindSceneLoop(fitting).frames <= most)
        return line + ": the flares take that long to come round; leave out --spin";
    if (start.cycleSeconds > 0) {
        const std::string spin = start.spin ? "leave out --spin and " : "";
        for (int seconds = start.cycleSeconds - 1; seconds >= 1; --seconds) {
            fitting.cycleSeconds = seconds;
            if (FindSceneLoop(fitting).frames <= most)
                return line + ": the three patterns take that long to come round; " + spin + "choose --cycle " +
                       std::to_string(seconds) + (seconds > 1 ? " or less" : "");
        }
        return line + ": the three patterns take that long to come round; " + spin + "leave out --cycle";
    }
    return line;
}

// What makes a moving sticker that does not fit its bytes one that does: each pattern's own
// loop, with the flares at rest, fits every messenger's.
std::string StickerAdvice(const SceneStart& start)
{
    const bool cycle = start.cycleSeconds > 0;
    if (!start.spin && !cycle)
        return {};
    return std::string("leave out ") + (start.spin ? "--spin" : "") + (start.spin && cycle ? " and " : "") +
           (cycle ? "--cycle" : "");
}

// The samples a pixel the GL driver gives for wanted, asked of it in a child process: the plan
// for the memory is made before the driver starts in this one, and the threads it starts are
// part of the plan. Where the child cannot tell, wanted, which plans for the most.
int DriverSamples(int wanted)
{
    int answer[2];
    if (::pipe2(answer, O_CLOEXEC) != 0)
        return wanted;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(answer[0]);
        const CHeadlessContext context(16, 16);
        const int samples = context.Ok() ? NearestSamples(wanted) : wanted;
        (void)!::write(answer[1], &samples, sizeof samples);
        ::_exit(0);
    }
    ::close(answer[1]);
    int samples = wanted;
    pollfd said = {answer[0], POLLIN, 0};
    if (child > 0 && ::poll(&said, 1, 10000) == 1 && ::read(answer[0], &samples, sizeof samples) != sizeof samples)
        samples = wanted;
    ::close(answer[0]);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    return std::clamp(samples, 1, wanted);
}

}  // namespace

int RenderHeadless(const RenderOptions& options, const std::string& installedFolder)
{
    return RenderHeadless(options, installedFolder, nullptr);
}

int RenderHeadless(const RenderOptions& options, const std::string& installedFolder, std::unique_ptr<COutput> output)
{
    PictureName picture;
    if (const std::string error = ReadPictureName(options.output, picture); !error.empty())
        return Fail(error, 2);
    // A still sticker is one picture, whatever its format.
    const StickerRules& rules = RulesOf(options.stickerProfile);
    const bool still = options.sticker && !rules.Moves(picture.kind);
    // A moving sticker's frames, as numbered PNGs, are its loop as it plays.
    const bool animation =
        (picture.IsAnimation() || (options.sticker && picture.kind == PictureName::Kind::Sequence)) && !still;
    // An animation loops: it starts where the scene has settled into its loop, so that its
    // first frame follows its last as any frame follows the one before. A picture or a
    // sequence shows the ticks of a new scene, as the window would; a still sticker the one
    // where the bulbs shine most, unless told.
    const SceneLoop loop = animation ? FindSceneLoop(options.start) : SceneLoop{};
    const int frames = options.frames > 0 ? options.frames
                       : animation        ? loop.frames
                       : still            ? BrightestFrame(options.start)
                                          : 1;
    if (const std::string error = CheckLength(options, frames); !error.empty())
        return Fail(error, 2);
    int framesPerSecond = 1000 / kFrameMilliseconds;
    if (options.sticker && animation) {
        framesPerSecond = StickerFramesPerSecond(rules, frames);
        if (framesPerSecond == 0)
            return Fail(TooLongForASticker(rules, options.start, frames), 2);
    }

    // Everything that can fail before the first frame is found before any file is made: the
    // target, the backdrop picture, the memory and the encoder; the context just after.
    if (const std::string error = CheckFileWritable(FrameFileName(picture, options.output, 1)); !error.empty())
        return Fail(error);
    auto scene = std::make_unique<CScene>();
    scene->SetTransparent(options.transparent);
    scene->OnCreate(installedFolder);
    ExportWork work;
    work.kind = still ? PictureName::Kind::Png : picture.kind;
    work.width = options.width;
    work.height = options.height;
    work.transparent = options.transparent;
    work.framesKept = options.sticker ? (animation ? frames : 1) : 0;
    // A picture of one sample a pixel is drawn whole, exactly as the window draws it; frames
    // that follow each other, and frames of several samples, are drawn over the still parts
    // kept, in framebuffers of their own.
    const int samples = options.samples == 0 ? kDefaultSamples : options.samples;
    work.frameCache = animation || picture.kind == PictureName::Kind::Sequence || samples > 1;
    // Every driver that smooths at all gives four; more is asked of this one.
    work.samples = samples > kDefaultSamples ? DriverSamples(samples) : samples;
    ExportPlan plan;
    if (const std::string error = PlanExport(work, plan); !error.empty())
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
        if (!output) {
            OutputRequest request;
            request.picture = picture;
            request.name = options.output;
            request.width = options.width;
            request.height = options.height;
            request.frames = frames;
            request.quality = options.quality;
            request.transparent = options.transparent;
            request.framesPerSecond = framesPerSecond;
            request.sticker = options.sticker;
            request.still = still;
            if (options.sticker) {
                request.stickerWhat = rules.what;
                // A sticker's frames are not the sticker, and hold any number of bytes.
                if (picture.kind != PictureName::Kind::Sequence)
                    request.mostBytes = still ? rules.mostBytesStill : rules.mostBytesMoving;
                request.stickerAdvice = StickerAdvice(options.start);
            }
            request.encoderThreads = plan.encoderThreads;
            request.lookahead = plan.lookahead;
            output = MakeOutput(request);
        }
        error = output->CheckError();
        if (error.empty()) {
            CExport run(options, picture, plan, frames, std::move(output));
            error = run.Run(*scene, loop.lead, made);
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
    // A faster rate is worth a word once the sticker is made. A WebP's frames last whole
    // milliseconds, and the length said is the one the file holds.
    const int frameMilliseconds = 1000 / framesPerSecond;
    const double seconds = picture.kind == PictureName::Kind::Webp ? frames * frameMilliseconds / 1000.0
                                                                   : static_cast<double>(frames) / framesPerSecond;
    if (framesPerSecond * kFrameMilliseconds != 1000)
        std::fprintf(stderr,
                     "lumetta: the loop of %d frames plays at %d frames a second rather than 20, so that %s "
                     "lasts %.2f seconds, under %d\n",
                     frames, framesPerSecond, rules.what, seconds, rules.mostMilliseconds / 1000);
    if (!made.empty())
        std::fprintf(stderr, "lumetta: made %s\n", made.c_str());
    return 0;
}
