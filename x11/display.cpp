#include "x11/display.h"

#include <cstdlib>

namespace {

int OnConnectionLost(Display*)
{
    std::_Exit(0);
}

}  // namespace

DisplayPtr OpenDisplayToTheEnd(XErrorHandler errorHandler)
{
    DisplayPtr display(XOpenDisplay(nullptr));
    if (display) {
        if (errorHandler)
            XSetErrorHandler(errorHandler);
        XSetIOErrorHandler(OnConnectionLost);
    }
    return display;
}
