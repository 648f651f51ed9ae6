// The program's side of the Wayland ornament: the module loaded and run.
#include "ornament/wayland/wayland_entry.h"

#include "os/modules.h"

#include <cstdio>

int HangOnWayland(const OrnamentStart& start)
{
    std::string error;
    const auto entry = reinterpret_cast<WaylandOrnamentEntry>(
        LoadModuleEntry(kWaylandOrnamentModuleFile, kWaylandOrnamentEntryName, error));
    if (!entry) {
        if (start.options->way == OrnamentWay::Wayland) {
            std::fprintf(stderr, "lumetta: cannot hang the ornament on Wayland: %s\n", error.c_str());
            return 1;
        }
        std::fprintf(stderr, "lumetta: cannot hang the ornament on Wayland: %s; it hangs through X11\n", error.c_str());
        return kHangOnX11;
    }
    return entry(start);
}
