// A desktop-GL compatibility context on an offscreen pbuffer, from Mesa's EGL on the
// surfaceless platform: renders with no X server and no window, for pictures and for the
// ways of showing the scene that hand its frames to the window system as pixels.
#pragma once

#include <memory>
#include <string>

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
    struct Egl;
    std::unique_ptr<Egl> m_egl;
    std::string m_error;
};
