// The scene's frames brought to a GLX window by the ways of showing it that run for hours (the
// screensaver, the ornament): of a cached frame (FrameDrawing::Cached), only the tiles that
// changed are copied into the window's back buffer and from there to the window
// (GLX_MESA_copy_sub_buffer), so that the X server, and a compositor, are given only those.
// The back buffer is never swapped, so it always holds the whole of the last frame. Where the
// driver cannot copy part of it, and for a frame drawn whole, the whole frame is swapped in.
#pragma once

#include "view/scene.h"

#include <GL/glx.h>

#include <vector>

class CFramePresenter {
public:
    // With a context current on drawable, a window of screen.
    CFramePresenter(Display* display, int screen, GLXDrawable drawable, bool doubleBuffered);

    // After scene.OnDraw: puts what changed of the frame into the back buffer (the whole of it
    // when it must all go), so that the back buffer holds the whole frame.
    void CopyIn(const CScene& scene);
    // Then brings it to the window.
    void Show();
    // The window's own contents were lost (exposed, or redrawn by the X server): the next frame
    // goes whole.
    void ShowWholeNext() { m_bWholeNext = true; }

    // Whether the driver can copy part of the back buffer to the window.
    bool CopiesParts() const { return m_copySubBuffer != nullptr; }
    // The parts of the frame that the last Show brought to the window, bottom-up.
    const std::vector<PixelRect>& Shown() const { return m_parts; }

private:
    Display* const m_display;
    const GLXDrawable m_drawable;
    const bool m_bDoubleBuffered;
    PFNGLXCOPYSUBBUFFERMESAPROC m_copySubBuffer = nullptr;
    bool m_bWholeNext = true;
    bool m_bSwap = false;  // the frame goes with a buffer swap
    PixelRect m_size;      // of the frame before
    std::vector<PixelRect> m_parts;
};
