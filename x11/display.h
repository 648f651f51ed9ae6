// The X display of a way of showing the scene that draws on its own (the screensaver, the
// ornament): when its connection goes, its window has gone with it, and that is the end.
#pragma once

#include <X11/Xlib.h>

#include <memory>

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Opens the default display, or returns null. From then on the connection's going ends the
// process at once, quietly, with status 0; errorHandler (when given) takes X's errors.
DisplayPtr OpenDisplayToTheEnd(XErrorHandler errorHandler);
// Before the process ends for the connection's going: last, which must be quick and safe there
// (a file to take away).
void AtDisplayGone(void (*last)());
// After a toolkit started in the process set X's error handlers (which serve every
// connection): the display's own handlers again, the toolkit's still taking the errors of
// its own connections, and any connection's going ending the process quietly.
void KeepOwnErrorHandlers(Display* display);

// Whether display's screen is blanked, or its saver is on, as X says (DPMS and the
// screen saver extension): then there is nobody to draw for.
bool ScreenBlanked(Display* display);
