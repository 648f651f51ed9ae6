#include "ornament/x11/x11_control.h"

#include <X11/Xatom.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>

namespace {

Atom RequestsAtom(Display* d)
{
    return XInternAtom(d, "_LUMETTA_ORNAMENT_REQUESTS", False);
}

// Waits up to limitMs for an event that done says is the one; events for others are dropped.
template <typename Done>
bool WaitForEvent(Display* d, int limitMs, Done done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (done(event))
                return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd connection = {ConnectionNumber(d), POLLIN, 0};
        ::poll(&connection, 1, static_cast<int>(left));
    }
}

}  // namespace

Atom PlaceAtom(Display* display)
{
    return XInternAtom(display, ("_LUMETTA_ORNAMENT_S" + std::to_string(DefaultScreen(display))).c_str(), False);
}

HangingOrnament FindHanging(Display* display)
{
    HangingOrnament hanging;
    hanging.window = XGetSelectionOwner(display, PlaceAtom(display));
    if (hanging.window == None)
        return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, hanging.window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False,
                           XA_CARDINAL, &type, &format, &count, &left, &data) == Success &&
        data && count == 1 && format == 32)
        hanging.pid = *reinterpret_cast<const long*>(data);
    if (data)
        XFree(data);
    return hanging;
}

HangingOrnament ClaimPlace(Display* display, Window window)
{
    XGrabServer(display);
    HangingOrnament other = FindHanging(display);
    if (other.window == 0)
        XSetSelectionOwner(display, PlaceAtom(display), window, CurrentTime);
    XUngrabServer(display);
    XSync(display, False);
    return other;
}

bool SendRequest(Display* display, const HangingOrnament& hanging, const OrnamentRequest& request, int limitMs)
{
    const Atom requests = RequestsAtom(display);
    XSelectInput(display, hanging.window, PropertyChangeMask | StructureNotifyMask);
    const std::string line = RequestText(request) + "\n";
    XChangeProperty(display, hanging.window, requests, XA_STRING, 8, PropModeAppend,
                    reinterpret_cast<const unsigned char*>(line.data()), static_cast<int>(line.size()));
    XFlush(display);
    return WaitForEvent(display, limitMs, [&](const XEvent& event) {
        return event.type == PropertyNotify && event.xproperty.window == hanging.window &&
               event.xproperty.atom == requests && event.xproperty.state == PropertyDelete;
    });
}

bool WaitGone(Display* display, const HangingOrnament& hanging, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (XGetSelectionOwner(display, PlaceAtom(display)) == hanging.window) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        WaitForEvent(display, static_cast<int>(std::min<long long>(left, 50)), [&](const XEvent& event) {
            return event.type == DestroyNotify && event.xdestroywindow.window == hanging.window;
        });
    }
    return true;
}

bool RequestsWaiting(Display* display, const XEvent& event, Window window)
{
    return event.type == PropertyNotify && event.xproperty.window == window &&
           event.xproperty.atom == RequestsAtom(display) && event.xproperty.state == PropertyNewValue;
}

std::vector<OrnamentRequest> TakeRequests(Display* display, Window window)
{
    // In 32-bit units, as X counts a property's length.
    constexpr long kMostLength = 64 * 1024 / 4;
    std::vector<OrnamentRequest> taken;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    // Deleted as it is read only when read to its end: read whole, or taken away unread.
    if (XGetWindowProperty(display, window, RequestsAtom(display), 0, kMostLength, True, XA_STRING, &type, &format,
                           &count, &left, &data) == Success &&
        data && format == 8 && left == 0) {
        std::istringstream lines(std::string(reinterpret_cast<const char*>(data), count));
        for (std::string line; std::getline(lines, line);)
            taken.push_back(ReadRequest(line));
    }
    if (data)
        XFree(data);
    if (left > 0)
        XDeleteProperty(display, window, RequestsAtom(display));
    return taken;
}

Window MakeClaimWindow(Display* display)
{
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    const Window window = XCreateWindow(display, DefaultRootWindow(display), -1, -1, 1, 1, 0, 0, InputOnly,
                                        CopyFromParent, CWEventMask, &attributes);
    const long pid = static_cast<long>(::getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    return window;
}
