#include "app/headless_render.h"

#include "app/headless_context.h"
#include "app/picture_encode.h"
#include "app/picture_name.h"
#include "app/safe_file.h"
#include "view/gl_check.h"
#include "view/scene.h"
#include "core/scene_host.h"

#include <GL/gl.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <memory>

namespace {

// With no window, a fatal message goes to stderr and there is no view to take down.
class CStderrHost : public CSceneHost {
public:
    void ShowMessage(const std::string& text, const std::string&, MessageOwner) override
    {
        std::fprintf(stderr, "lumetta: %s\n", text.c_str());
    }
    void DestroyView() override {}
};

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
            std::snprintf(text, sizeof text, "%ld s", s);
        else if (s < 3600)
            std::snprintf(text, sizeof text, "%ld min %ld s", s / 60, s % 60);
        else
            std::snprintf(text, sizeof text, "%ld h %ld min", s / 3600, s / 60 % 60);
        return text;
    }

    const int m_total;
    const bool m_bShown;
    bool m_bWritten = false;
    const Clock::time_point m_start = Clock::now();
    Clock::time_point m_last = m_start;
};

// For its life, Ctrl+C (or termination) only asks the render to stop after the frame it is
// drawing, so that what the run wrote can be removed; DieOfIt then ends the process as the
// signal would have.
class CInterruptGuard {
public:
    CInterruptGuard()
    {
        s_signal = 0;
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            m_previous[i] = std::signal(kSignals[i], [](int signal) { s_signal = signal; });
    }
    ~CInterruptGuard()
    {
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            std::signal(kSignals[i], m_previous[i]);
    }
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

    bool Interrupted() const { return s_signal != 0; }
    [[noreturn]] void DieOfIt()
    {
        const int signal = s_signal;
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        std::_Exit(128 + signal);
    }

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    static inline volatile std::sig_atomic_t s_signal = 0;
    void (*m_previous[3])(int) = {};
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

int RenderHeadless(const RenderOptions& options)
{
    PictureName picture;
    if (const std::string error = ReadPictureName(options.output, picture); !error.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", error.c_str());
        return 2;
    }
    const bool sequence = picture.kind == PictureName::Kind::Sequence;
    const bool animation = picture.kind == PictureName::Kind::Webp;
    const int frames = options.frames > 0 ? options.frames : animation ? LoopFrames(options.start) : 1;
    // Fail before rendering, not after a long run of frames.
    if (const std::string error = CheckFileWritable(FrameFileName(picture, options.output, 1)); !error.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", error.c_str());
        return 1;
    }
    CStderrHost host;
    SetSceneHost(&host);
    auto scene = std::make_unique<CScene>();
    scene->OnCreate();

    CHeadlessContext context(options.width, options.height);
    if (!context.Ok()) {
        std::fprintf(stderr, "lumetta: cannot render without a window: %s\n", context.Error().c_str());
        SetSceneHost(nullptr);
        return 1;
    }
    scene->OnCreateContext();
    scene->OnSize(options.width, options.height);
    SceneState& state = scene->State();
    state.m_fAngle = options.yaw;
    state.m_fDistance = options.distance;
    ApplySceneStart(state, options.start);

    CInterruptGuard interrupt;
    std::vector<std::string> written;  // files of a sequence this run made new
    std::unique_ptr<CWebpAnimation> webp;
    if (animation)
        webp = std::make_unique<CWebpAnimation>(options.width, options.height);
    std::string error;
    CGlErrorCheck glErrors;
    {
        CProgress progress(frames);
        for (int i = 1; i <= frames && error.empty() && !interrupt.Interrupted(); ++i) {
            scene->OnDraw();
            glErrors.Check("while drawing a frame");
            if (sequence || (!animation && i == frames)) {
                const std::string name = FrameFileName(picture, options.output, i);
                const bool existed = FileExists(name);
                std::vector<unsigned char> png;
                error = EncodePng(options.width, options.height, ReadPixelsRgb(options.width, options.height), png);
                if (error.empty())
                    error = WriteFileSafely(name, png);
                else
                    error = "cannot write '" + name + "': " + error;
                if (error.empty() && !existed)
                    written.push_back(name);
            } else if (animation) {
                error = webp->Add(ReadPixelsRgb(options.width, options.height), (i - 1) * kFrameMilliseconds);
                if (!error.empty())
                    error = "cannot write '" + options.output + "': " + error;
            }
            progress.Done(i);
        }
    }
    if (animation && error.empty() && !interrupt.Interrupted()) {
        std::vector<unsigned char> bytes;
        error = webp->Finish(frames * kFrameMilliseconds, bytes);
        error = error.empty() ? WriteFileSafely(options.output, bytes) : "cannot write '" + options.output + "': " + error;
    }
    scene->OnDestroyContext();
    SetSceneHost(nullptr);
    if (interrupt.Interrupted()) {
        // An export cut short leaves nothing of itself behind.
        for (const std::string& name : written)
            std::remove(name.c_str());
        interrupt.DieOfIt();
    }
    if (!error.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", error.c_str());
        for (const std::string& name : written)
            std::remove(name.c_str());
        return 1;
    }
    return 0;
}
