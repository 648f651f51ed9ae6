// The monitors of an X screen, which may be of different sizes with gaps between them, and
// the screen's own size, both as they are now rather than as they were when the connection
// was opened.
#pragma once

#include "core/rect.h"

#include <X11/Xlib.h>

#include <vector>

// A rectangle on the root window, in pixels, from its top left.
using MonitorRect = Rect;

// The monitors of display's default screen, the primary first: RandR's monitors (those
// xrandr --setmonitor makes among them), else Xinerama's heads, else the screen itself.
std::vector<MonitorRect> QueryMonitors(Display* display);
// The default screen's size now, asked of the X server.
MonitorRect QueryScreen(Display* display);

// Asks for the events that say the screen or its monitors changed; returns RandR's first
// event number, or -1 without RandR. After each such event, TakeScreenChange.
int WatchMonitors(Display* display);
// Tells Xlib of a screen change event (it keeps the screen's size itself only when told).
// Returns whether event was one.
bool TakeScreenChange(XEvent& event, int randrEvent);
