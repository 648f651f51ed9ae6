// The scene's frames shown in a window through GDI: drawn offscreen, in a WGL context of their
// own that draws only into framebuffer objects, then brought to the window with
// SetDIBitsToDevice, the parts that changed after the first frame. GL on a window of its own
// under a frame's toolbar, or in a child window, does not show on every driver; pixels given
// to GDI show on all.
#pragma once

#include "os/headless_context.h"
#include "view/scene.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CGdiFrames {
public:
    // Makes the context and readies scene in it; Error() says when it could not.
    CGdiFrames(CScene& scene, int samples);
    ~CGdiFrames();
    CGdiFrames(const CGdiFrames&) = delete;
    CGdiFrames& operator=(const CGdiFrames&) = delete;

    const std::string& Error() const { return m_error; }
    // The window's client area is width x height: the next frame is drawn at that size.
    void Resize(int width, int height);
    // Draws the next frame and advances the scene by one step.
    void Draw();
    // Brings what changed since the last frame shown to the window; all of it when whole.
    void Show(HDC dc, bool whole);

private:
    CScene& m_scene;
    std::unique_ptr<CHeadlessContext> m_context;
    std::string m_error;
    int m_nWidth = 0, m_nHeight = 0;
    std::vector<std::uint8_t> m_pixels;  // the last frame drawn, BGRA, rows bottom-up
    std::vector<PixelRect> m_changed;    // where it differs from the frame shown before it
    bool m_bDrawn = false;
};
