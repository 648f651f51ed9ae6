#include "wayland/compositor.h"

#include <wayland-client.h>

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

}  // namespace

WaylandDesktop FindWaylandDesktop()
{
    WaylandDesktop desktop;
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name)
        return desktop;
    desktop.display = name;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return desktop;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &desktop);
    desktop.answers = wl_display_roundtrip(display) >= 0;
    desktop.layerShell = desktop.layerShell && desktop.answers;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return desktop;
}
