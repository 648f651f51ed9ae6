// The scene's 50 ms clock for the ways of showing it on an X display that draw on their own
// (the screensaver, the ornament): a frame when one is due, and between frames a wait that an
// X event or an end signal cuts short.
#pragma once

#include <X11/Xlib.h>

#include <chrono>

class CFrameClock {
public:
    using Clock = std::chrono::steady_clock;

    // Whether a frame is due now.
    bool Due() const { return Clock::now() >= m_next; }
    // After a frame: the next is due 50 ms after this one was; a late frame is not caught up
    // with, the clock starts again from now.
    void Drawn();
    // Flushes the display, then waits until the next frame is due, an X event comes, or
    // wakeDescriptor (the end signals') becomes readable.
    void Wait(Display* display, int wakeDescriptor) const;

private:
    Clock::time_point m_next = Clock::now();
};
