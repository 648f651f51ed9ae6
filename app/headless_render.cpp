#include "app/headless_render.h"

#include "app/headless_context.h"
#include "app/png_file.h"
#include "view/gl_check.h"
#include "view/scene.h"
#include "core/scene_host.h"

#include <GL/gl.h>

#include <chrono>
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
    // Fail before rendering, not after a long run of frames.
    if (const std::string error = CheckPngWritable(options.output); !error.empty()) {
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
    scene->State().m_fAngle = options.yaw;
    scene->State().m_fDistance = options.distance;
    CGlErrorCheck glErrors;
    {
        CProgress progress(options.frames);
        for (int i = 0; i < options.frames; ++i) {
            scene->OnDraw();
            glErrors.Check("while drawing a frame");
            progress.Done(i + 1);
        }
    }

    const std::string error = WritePng(options.output, options.width, options.height,
                                       ReadPixelsRgb(options.width, options.height));
    scene->OnDestroyContext();
    SetSceneHost(nullptr);
    if (!error.empty()) {
        std::fprintf(stderr, "lumetta: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
