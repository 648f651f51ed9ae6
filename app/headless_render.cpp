#include "app/headless_render.h"

#include "app/headless_context.h"
#include "app/png_file.h"
#include "view/gl_check.h"
#include "view/scene.h"
#include "core/scene_host.h"

#include <GL/gl.h>

#include <cstdio>
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
    for (int i = 0; i < options.frames; ++i) {
        scene->OnDraw();
        glErrors.Check("while drawing a frame");
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
