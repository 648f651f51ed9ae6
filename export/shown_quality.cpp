#include "export/shown_quality.h"

#include <algorithm>
#include <cmath>

void CShownQuality::Lay(const CFrame& frame, const CFrameRect& rect, const std::uint8_t* rgba, bool laidOver)
{
    const std::size_t pixels = static_cast<std::size_t>(frame.width) * frame.height;
    m_canvas.resize(pixels * 4);
    for (int y = 0; y < rect.height; ++y) {
        for (int x = 0; x < rect.width; ++x) {
            const std::uint8_t* in = rgba + (static_cast<std::size_t>(y) * rect.width + x) * 4;
            std::uint8_t* out = &m_canvas[(static_cast<std::size_t>(rect.y + y) * frame.width + rect.x + x) * 4];
            const unsigned a = in[3];
            // Laid over, what was there shows through as much as this is clear.
            const unsigned below = laidOver ? 255 - a : 0;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>((in[c] * a + out[c] * below + 127) / 255);
            out[3] = static_cast<std::uint8_t>(a + (out[3] * below + 127) / 255);
        }
    }
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* shown = &m_canvas[static_cast<std::size_t>(y) * frame.width * 4];
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t* drawn = frame.TopDown(x, y);
            for (int c = 0; c < frame.channels; ++c) {
                const double d = static_cast<double>(shown[x * 4 + c]) - drawn[c];
                m_squaredError += d * d;
            }
        }
    }
    m_samples += static_cast<double>(pixels) * frame.channels;
}

double CShownQuality::Psnr() const
{
    if (m_squaredError == 0 || m_samples == 0)
        return 99;
    return std::min(99.0, 10 * std::log10(255.0 * 255.0 * m_samples / m_squaredError));
}
