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
