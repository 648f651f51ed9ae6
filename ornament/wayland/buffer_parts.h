// Which parts of a frame a Wayland buffer must be given before it shows it. Buffers are used
// again once the compositor lets them go, each still holding the frame it showed last; one
// that is some frames behind needs what changed in each of the frames since, not only in the
// latest. Plain values only, no compositor.
#pragma once

#include "core/rect.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

// A rectangle of a frame in its buffer's pixels, from the top left.
using BufferRect = Rect;

class CFrameHistory {
public:
    // Remembers the parts of the last frames frames.
    explicit CFrameHistory(std::size_t frames) : m_most(frames) {}

    // A new frame, of which parts changed since the one before. Returns its number, from 1.
    long Add(const std::vector<BufferRect>& parts);
    // What a buffer that holds frame held (0: none) must be given to hold the latest frame:
    // the parts of every frame since, or nothing (all of it) when it holds none or one older
    // than those remembered.
    std::optional<std::vector<BufferRect>> Since(long held) const;
    // Frames of a new size: every buffer needs all of it.
    void Clear();

private:
    const std::size_t m_most;
    long m_frame = 0;                               // frames added so far
    std::deque<std::vector<BufferRect>> m_history;  // the parts of the last frames, the latest last
};
