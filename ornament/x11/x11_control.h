// One ornament to an X display, and what another lumetta asks of it. A window of the hanging
// ornament's owns the selection _LUMETTA_ORNAMENT_S<screen>; another asks it to go, or to take
// options, by appending a line of words to a property of that window, which the ornament
// takes away as it reads it.
#pragma once

#include "ornament/request.h"

#include <X11/Xlib.h>

#include <string>
#include <vector>

struct HangingOrnament {
    Window window = 0;  // 0: none hangs
    long pid = -1;      // its process, or -1 when it does not say
};

// The ornament hanging on display's default screen, if any.
HangingOrnament FindHanging(Display* display);
// Takes the ornament's place on display for window, unless another ornament has it: looked at
// and taken while the X server is grabbed, so that of ornaments started at once exactly one
// hangs. Returns the other's, or window 0 when window took it.
HangingOrnament ClaimPlace(Display* display, Window window);
// The selection's atom, for telling when another took the place (SelectionClear).
Atom PlaceAtom(Display* display);

// Appends request to the requests of the ornament that hangs, and waits up to limitMs for it
// to take them. False when it did not, or is gone.
bool SendRequest(Display* display, const HangingOrnament& hanging, const OrnamentRequest& request, int limitMs);
// Waits up to limitMs for the ornament that hangs to be gone. Returns whether it is.
bool WaitGone(Display* display, const HangingOrnament& hanging, int limitMs);

// In the ornament: whether event says requests are waiting, and the requests taken away. The
// property is taken away whole each time; past 64 KiB it is not read, since no lumetta writes
// so much.
bool RequestsWaiting(Display* display, const XEvent& event, Window window);
std::vector<OrnamentRequest> TakeRequests(Display* display, Window window);
// A window of the ornament's that owns the selection and takes requests: never shown.
Window MakeClaimWindow(Display* display);
