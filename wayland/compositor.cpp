#include "wayland/compositor.h"

#include <poll.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

void OnGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t)
{
    if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0)
        static_cast<WaylandDesktop*>(data)->layerShell = true;
}

void OnGlobalGone(void*, wl_registry*, uint32_t)
{
}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalGone};

const wl_callback_listener kDoneListener = {
    [](void* done, wl_callback*, uint32_t) { *static_cast<bool*>(done) = true; },
};

// A round trip that gives up at end, or when wake becomes readable: libwayland's own waits
// for ever. False when it ended without the answer.
bool RoundTrip(wl_display* display, std::chrono::steady_clock::time_point end, int wake)
{
    bool done = false;
    wl_callback* sync = wl_display_sync(display);
    wl_callback_add_listener(sync, &kDoneListener, &done);
    while (!done) {
        if (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                break;
            continue;
        }
        wl_display_flush(display);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        pollfd waits[] = {{wl_display_get_fd(display), POLLIN, 0}, {wake, POLLIN, 0}};
        if (left <= 0 || ::poll(waits, wake >= 0 ? 2 : 1, static_cast<int>(left)) <= 0 || waits[1].revents != 0) {
            wl_display_cancel_read(display);
            break;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0)
            break;
    }
    wl_callback_destroy(sync);
    return done;
}

}  // namespace

WaylandDesktop FindWaylandDesktop(int limitMs, int wakeDescriptor)
{
    WaylandDesktop desktop;
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name)
        return desktop;
    desktop.display = name;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return desktop;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &desktop);
    desktop.answers = RoundTrip(display, end, wakeDescriptor);
    desktop.silent = !desktop.answers && wl_display_get_error(display) == 0;
    desktop.layerShell = desktop.layerShell && desktop.answers;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return desktop;
}
