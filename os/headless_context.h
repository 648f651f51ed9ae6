// A desktop-GL compatibility context that draws offscreen: on Linux a pbuffer from Mesa's EGL
// on the surfaceless platform, with no X server and no window; on Windows a WGL context
// (headless_context_windows.cpp). For pictures, and for the ways of showing the scene that
// hand its frames to the window system as pixels.
#pragma once

#include <memory>
#include <string>

// Whether frames may be drawn into the context's own framebuffer: on Linux a pbuffer's; on
// Windows it is a window's that is never shown, and frames go into framebuffer objects alone.
#ifdef _WIN32
constexpr bool kHeadlessFramebufferDraws = false;
#else
constexpr bool kHeadlessFramebufferDraws = true;
#endif

class CHeadlessContext {
public:
    // Creates a width x height RGBA8 pbuffer with a depth buffer and makes its context
    // current. On failure Ok() is false and Error() says why; nothing is current.
    CHeadlessContext(int width, int height);
    ~CHeadlessContext();
    CHeadlessContext(const CHeadlessContext&) = delete;
    CHeadlessContext& operator=(const CHeadlessContext&) = delete;

    bool Ok() const { return m_error.empty(); }
    // A new pbuffer of width x height for the same context, made current; the context keeps
    // what was made in it. Returns whether it was; else Error() says why.
    bool Resize(int width, int height);
    const std::string& Error() const { return m_error; }

private:
    struct Handles;  // the system's own
    std::unique_ptr<Handles> m_handles;
    std::string m_error;
};
