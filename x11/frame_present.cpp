#include "x11/frame_present.h"

#include "view/gl_query.h"

#include <algorithm>

namespace {

// Each part is a request of its own to the X server, and a compositor is told of each: parts
// that one rectangle holds with no more than two tiles' pixels besides go as that rectangle
// (in a small window, the whole of it).
std::vector<PixelRect> FewerCopies(const std::vector<PixelRect>& parts)
{
    if (parts.size() < 2)
        return parts;
    int left = parts[0].x, bottom = parts[0].y, right = left, top = bottom;
    long area = 0;
    for (const PixelRect& p : parts) {
        left = std::min(left, p.x);
        bottom = std::min(bottom, p.y);
        right = std::max(right, p.x + p.width);
        top = std::max(top, p.y + p.height);
        area += static_cast<long>(p.width) * p.height;
    }
    const PixelRect all{left, bottom, right - left, top - bottom};
    if (static_cast<long>(all.width) * all.height - area <= 2L * kFrameTile * kFrameTile)
        return {all};
    return parts;
}

}  // namespace

CFramePresenter::CFramePresenter(Display* display, int screen, GLXDrawable drawable, bool doubleBuffered)
    : m_display(display), m_drawable(drawable), m_bDoubleBuffered(doubleBuffered)
{
    if (doubleBuffered && ExtensionNamed(glXQueryExtensionsString(display, screen), "GLX_MESA_copy_sub_buffer"))
        m_copySubBuffer = reinterpret_cast<PFNGLXCOPYSUBBUFFERMESAPROC>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
}

void CFramePresenter::CopyIn(const CScene& scene)
{
    // Without a copy of part of the back buffer, each frame goes whole, with a swap.
    m_bSwap = m_bDoubleBuffered && !m_copySubBuffer;
    if (!m_bSwap && m_bDoubleBuffered && !(scene.Bounds() == m_size)) {
        // Mesa's software driver learns a window's new size only at a swap: until then the back
        // buffer keeps the size it was made with, and a copy to the window lands out of place.
        // What the swap shows is covered by the whole frame copied straight after it.
        glXSwapBuffers(m_display, m_drawable);
        m_bWholeNext = true;
    }
    m_size = scene.Bounds();
    const FrameChange& change = scene.Change();
    if (m_bSwap || m_bWholeNext || change.whole)
        m_parts = {scene.Bounds()};
    else
        m_parts = FewerCopies(change.parts);
    scene.PutFrame(m_parts);
    m_bWholeNext = false;
}

void CFramePresenter::Show()
{
    if (!m_bDoubleBuffered) {
        // Drawn and copied into the window itself.
        glFlush();
        return;
    }
    if (m_bSwap) {
        glXSwapBuffers(m_display, m_drawable);
        // What is in the back buffer now is not known: the next frame cannot go in parts.
        m_bWholeNext = true;
        return;
    }
    for (const PixelRect& part : m_parts)
        m_copySubBuffer(m_display, m_drawable, part.x, part.y, part.width, part.height);
}
