// Counts how often the X server sees the screen drawn, for SECONDS: each damage report of the
// root window, taken away as it comes, is one frame (a client that draws a frame in several
// requests is seen once, as long as it draws them together). Prints frames a second.
// Usage: lumetta_damage_count SECONDS    (on DISPLAY)
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    Display* display = XOpenDisplay(nullptr);
    // A loaded machine's new X server may take its time to answer.
    for (int tries = 0; !display && tries < 100; ++tries) {
        ::poll(nullptr, 0, 50);
        display = XOpenDisplay(nullptr);
    }
    int event = 0, error = 0;
    if (!display || !XDamageQueryExtension(display, &event, &error)) {
        std::fprintf(stderr, "damage_count: no display with DAMAGE\n");
        return 1;
    }
    const Damage damage = XDamageCreate(display, DefaultRootWindow(display), XDamageReportNonEmpty);
    XSync(display, False);
    long frames = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        while (XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type == event + XDamageNotify) {
                ++frames;
                XDamageSubtract(display, damage, None, None);
            }
        }
        pollfd wait = {ConnectionNumber(display), POLLIN, 0};
        ::poll(&wait, 1, 5);
    }
    std::printf("%.1f\n", frames / seconds);
    XDamageDestroy(display, damage);
    XCloseDisplay(display);
    return 0;
}
