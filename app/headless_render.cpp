#include "app/headless_render.h"

#include "app/end_signals.h"
#include "app/headless_context.h"
#include "app/memory_room.h"
#include "app/outputs.h"
#include "app/picture_name.h"
#include "app/safe_file.h"
#include "app/frame_pipeline.h"
#include "view/gl_check.h"
#include "view/scene.h"

#include <GL/gl.h>

#include <chrono>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <memory>

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
                     Duration(elapsed).c_str(), Duration(left).c_str());
        std::fflush(stderr);
        m_bWritten = true;
    }

private:
    using Clock = std::chrono::steady_clock;

    static std::string Duration(double seconds)
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

    const int m_total;
    const bool m_bShown;
    bool m_bWritten = false;
    const Clock::time_point m_start = Clock::now();
    Clock::time_point m_last = m_start;
};

}  // namespace

std::vector<std::uint8_t> ReadPixelsRgb(int width, int height)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPopClientAttrib();
    return pixels;
}

int RenderHeadless(const RenderOptions& options, const std::string& installedFolder)
{
    return RenderHeadless(options, installedFolder, nullptr);
}

int RenderHeadless(const RenderOptions& options, const std::string& installedFolder, std::unique_ptr<COutput> output)
{
    PictureName picture;
    if (const std::string error = ReadPictureName(options.output, picture); !error.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", error.c_str());
        return 2;
    }
    const bool sequence = picture.kind == PictureName::Kind::Sequence;
    const bool animation = picture.IsAnimation();
    // An animation loops: it starts where the scene has settled into its loop, so that its
    // first frame follows its last as any frame follows the one before. A picture or a
    // sequence shows the ticks of a new scene, as the window would.
    const SceneLoop loop = animation ? FindSceneLoop(options.start) : SceneLoop{};
    const int frames = options.frames > 0 ? options.frames : animation ? loop.frames : 1;
    // Fail before rendering, not after a long run of frames.
    if (const std::string error = CheckFileWritable(FrameFileName(picture, options.output, 1)); !error.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", error.c_str());
        return 1;
    }
    // The GL driver takes the picture's memory as it needs it and does not survive not
    // getting it: a size that cannot fit is refused before the driver starts.
    FitDriverToAddressLimit();
    // From here Ctrl+C stops the run after the frame being drawn, and what it wrote goes: the
    // output's temporary file too, which it makes at once.
    const CEndSignals endSignals;
    const CFileSizeLimitAsError fileSizeLimit;
    const OutputRequest request{picture, options.output, options.width, options.height, frames, options.quality};
    if (!output)
        output = MakeOutput(request);
    const double framesHeld = CFramePipeline::Depth(output->PrepareThreads()) + 1;
    const std::string room =
        CheckRoomForPicture(options.width, options.height,
                            framesHeld * 3 + output->PrepareThreads() * OutputBytesPerPixel(picture.kind));
    if (!room.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", room.c_str());
        return 1;
    }
    if (const std::string error = output->StartError(); !error.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", error.c_str());
        return 1;
    }
    auto scene = std::make_unique<CScene>();
    scene->OnCreate(installedFolder);

    CHeadlessContext context(options.width, options.height);
    if (!context.Ok()) {
        std::fprintf(stderr, "lumetta: cannot render without a window: %s\n", context.Error().c_str());
        return 1;
    }
    scene->OnCreateContext();
    scene->OnSize(options.width, options.height);
    SceneState& state = scene->State();
    state.m_fAngle = options.yaw;
    state.m_fDistance = options.distance;
    ApplySceneStart(state, options.start);
    CPatternCycle cycle(options.start);
    AdvanceUnseen(state, cycle, loop.lead);

    std::string error;
    CGlErrorCheck glErrors;
    {
        // The frames are encoded on other threads while the next ones are drawn.
        CFramePipeline pipeline(*output);
        CProgress progress(frames);
        for (int i = 0; i < frames && error.empty() && CEndSignals::Caught() == 0; ++i) {
            scene->OnDraw();
            glErrors.Check("while drawing a frame");
            cycle.AfterFrame(state);
            // A picture is the last frame; the frames before it are only drawn.
            if (sequence || animation || i == frames - 1) {
                auto frame = std::make_shared<CFrame>();
                frame->index = i;
                frame->width = options.width;
                frame->height = options.height;
                frame->rgb = ReadPixelsRgb(options.width, options.height);
                error = pipeline.Push(std::move(frame));
            }
            progress.Done(i + 1);
        }
        if (error.empty() && CEndSignals::Caught() == 0)
            error = pipeline.Finish();
    }
    if (error.empty() && CEndSignals::Caught() == 0)
        error = output->Complete();
    scene->OnDestroyContext();
    if (CEndSignals::Caught() != 0) {
        // An export cut short leaves nothing of itself behind, its temporary file neither.
        output->TakeAway();
        output.reset();
        CEndSignals::DieOfIt();
    }
    if (!error.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", error.c_str());
        output->TakeAway();
        return 1;
    }
    return 0;
}
