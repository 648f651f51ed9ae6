#include "x11/frame_clock.h"

#include "view/scene_start.h"

#include <poll.h>

#include <algorithm>

void CFrameClock::Drawn()
{
    m_next = std::max(m_next + std::chrono::milliseconds(kFrameMilliseconds), Clock::now());
}

void CFrameClock::Wait(Display* display, int wakeDescriptor) const
{
    XFlush(display);
    if (XPending(display) > 0)
        return;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_next - Clock::now()).count();
    pollfd waits[] = {{ConnectionNumber(display), POLLIN, 0}, {wakeDescriptor, POLLIN, 0}};
    ::poll(waits, wakeDescriptor >= 0 ? 2 : 1, static_cast<int>(std::max<long long>(wait, 0)));
}
