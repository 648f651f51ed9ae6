#include "windows/gdi_frames.h"

#include <utility>

CGdiFrames::CGdiFrames(CScene& scene, int samples) : m_scene(scene)
{
    m_context = std::make_unique<CHeadlessContext>(16, 16);
    if (!m_context->Ok()) {
        m_error = "cannot draw the scene: " + m_context->Error();
        return;
    }
    m_scene.SetFrameDrawing(FrameDrawing::Cached);
    m_scene.SetSamples(samples);
    m_scene.OnCreateContext();
}

CGdiFrames::~CGdiFrames()
{
    if (m_error.empty())
        m_scene.OnDestroyContext();
}

void CGdiFrames::Resize(int width, int height)
{
    if (!m_error.empty() || (width == m_nWidth && height == m_nHeight))
        return;
    m_nWidth = width;
    m_nHeight = height;
    m_scene.OnSize(width, height);
    m_bDrawn = false;
}

void CGdiFrames::Draw()
{
    if (!m_error.empty() || m_nWidth <= 0 || m_nHeight <= 0)
        return;
    m_scene.OnDraw();
    m_pixels = m_scene.ReadFrame(4);
    for (std::size_t i = 0; i + 3 < m_pixels.size(); i += 4)
        std::swap(m_pixels[i], m_pixels[i + 2]);
    // What changed since the frame last shown: a frame drawn but not shown leaves its parts.
    const FrameChange& change = m_scene.Change();
    if (change.whole || !m_bDrawn)
        m_changed = {m_scene.Bounds()};
    else
        m_changed.insert(m_changed.end(), change.parts.begin(), change.parts.end());
    m_bDrawn = true;
}

void CGdiFrames::Show(HDC dc, bool whole)
{
    if (!m_bDrawn || m_pixels.size() != static_cast<std::size_t>(m_nWidth) * m_nHeight * 4)
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = m_nWidth;
    info.bmiHeader.biHeight = m_nHeight;  // positive: rows bottom-up, as GL reads them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const std::vector<PixelRect> all{m_scene.Bounds()};
    // A part's y counts up from the bottom, as GL's and the bitmap's rows do; the window's
    // counts down from the top.
    for (const PixelRect& part : whole ? all : m_changed)
        SetDIBitsToDevice(dc, part.x, m_nHeight - part.y - part.height, static_cast<DWORD>(part.width),
                          static_cast<DWORD>(part.height), part.x, part.y, 0, static_cast<UINT>(m_nHeight),
                          m_pixels.data(), &info, DIB_RGB_COLORS);
    m_changed.clear();
}
