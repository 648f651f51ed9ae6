#include "x11/display.h"

#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdlib>

namespace {

Display* g_pOwnDisplay = nullptr;
XErrorHandler g_ownErrors = nullptr;
XErrorHandler g_othersErrors = nullptr;
void (*g_last)() = nullptr;

int OnConnectionLost(Display*)
{
    if (g_last)
        g_last();
    std::_Exit(0);
}

// The display's own errors to its handler, a toolkit's to the toolkit's.
int OnError(Display* display, XErrorEvent* error)
{
    if (display != g_pOwnDisplay && g_othersErrors)
        return g_othersErrors(display, error);
    return g_ownErrors ? g_ownErrors(display, error) : 0;
}

}  // namespace

DisplayPtr OpenDisplayToTheEnd(XErrorHandler errorHandler)
{
    DisplayPtr display(XOpenDisplay(nullptr));
    if (display) {
        g_pOwnDisplay = display.get();
        g_ownErrors = errorHandler;
        XSetErrorHandler(OnError);
        XSetIOErrorHandler(OnConnectionLost);
    }
    return display;
}

void AtDisplayGone(void (*last)())
{
    g_last = last;
}

void KeepOwnErrorHandlers(Display* display)
{
    g_pOwnDisplay = display;
    if (const XErrorHandler toolkit = XSetErrorHandler(OnError); toolkit != OnError)
        g_othersErrors = toolkit;
    XSetIOErrorHandler(OnConnectionLost);
}

bool ScreenBlanked(Display* display)
{
    int event = 0, error = 0;
    if (DPMSQueryExtension(display, &event, &error) && DPMSCapable(display)) {
        CARD16 level = DPMSModeOn;
        BOOL enabled = False;
        if (DPMSInfo(display, &level, &enabled) && enabled && level != DPMSModeOn)
            return true;
    }
    if (XScreenSaverQueryExtension(display, &event, &error)) {
        XScreenSaverInfo* info = XScreenSaverAllocInfo();
        const bool on = info && XScreenSaverQueryInfo(display, DefaultRootWindow(display), info) &&
                        info->state == ScreenSaverOn;
        if (info)
            XFree(info);
        return on;
    }
    return false;
}
