#include "ornament/wayland/buffer_parts.h"

long CFrameHistory::Add(const std::vector<BufferRect>& parts)
{
    m_history.push_back(parts);
    if (m_history.size() > m_most)
        m_history.pop_front();
    return ++m_frame;
}

std::optional<std::vector<BufferRect>> CFrameHistory::Since(long held) const
{
    const long behind = m_frame - held;
    if (held <= 0 || behind < 0 || behind > static_cast<long>(m_history.size()))
        return std::nullopt;
    std::vector<BufferRect> parts;
    for (auto frame = m_history.end() - behind; frame != m_history.end(); ++frame)
        parts.insert(parts.end(), frame->begin(), frame->end());
    return parts;
}

void CFrameHistory::Clear()
{
    m_history.clear();
    // Frames already held are older than any remembered now.
    m_frame += static_cast<long>(m_most) + 1;
}
