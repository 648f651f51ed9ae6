#include "x11/monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

std::vector<MonitorRect> QueryMonitors(Display* display)
{
    std::vector<MonitorRect> monitors;
    const Window root = DefaultRootWindow(display);
    int event = 0, error = 0, major = 0, minor = 0;
    if (XRRQueryExtension(display, &event, &error) && XRRQueryVersion(display, &major, &minor) &&
        (major > 1 || minor >= 5)) {
        int count = 0;
        if (XRRMonitorInfo* info = XRRGetMonitors(display, root, True, &count)) {
            for (int i = 0; i < count; ++i) {
                const MonitorRect rect{info[i].x, info[i].y, info[i].width, info[i].height};
                if (info[i].primary)
                    monitors.insert(monitors.begin(), rect);
                else
                    monitors.push_back(rect);
            }
            XRRFreeMonitors(info);
        }
    }
    if (monitors.empty() && XineramaQueryExtension(display, &event, &error) && XineramaIsActive(display)) {
        int count = 0;
        if (XineramaScreenInfo* heads = XineramaQueryScreens(display, &count)) {
            for (int i = 0; i < count; ++i)
                monitors.push_back({heads[i].x_org, heads[i].y_org, heads[i].width, heads[i].height});
            XFree(heads);
        }
    }
    // Monitors of no size say nothing of where a window is seen.
    monitors.erase(std::remove_if(monitors.begin(), monitors.end(),
                                  [](const MonitorRect& m) { return m.width <= 0 || m.height <= 0; }),
                   monitors.end());
    if (monitors.empty())
        monitors.push_back(QueryScreen(display));
    return monitors;
}

MonitorRect QueryScreen(Display* display)
{
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height, &border, &depth))
        return {0, 0, DisplayWidth(display, DefaultScreen(display)), DisplayHeight(display, DefaultScreen(display))};
    return {0, 0, static_cast<int>(width), static_cast<int>(height)};
}

int WatchMonitors(Display* display)
{
    int event = 0, error = 0;
    if (!XRRQueryExtension(display, &event, &error))
        return -1;
    XRRSelectInput(display, DefaultRootWindow(display),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    return event;
}

bool TakeScreenChange(XEvent& event, int randrEvent)
{
    if (randrEvent < 0 || (event.type != randrEvent + RRScreenChangeNotify && event.type != randrEvent + RRNotify))
        return false;
    XRRUpdateConfiguration(&event);
    return true;
}
