#include "ornament/way.h"

WayChosen ChooseOrnamentWay(OrnamentWay asked, const WaylandDesktop& desktop)
{
    WayChosen chosen;
    if (asked == OrnamentWay::X11)
        return chosen;
    if (desktop.display.empty())
        chosen.notWayland = "WAYLAND_DISPLAY is not set";
    else if (!desktop.answers)
        chosen.notWayland = "no Wayland compositor answers at " + desktop.display;
    else if (!desktop.layerShell)
        chosen.notWayland = "the Wayland compositor at " + desktop.display +
                            " offers no layer surfaces (zwlr_layer_shell_v1), on which the ornament hangs";
    else
        chosen.way = OrnamentWay::Wayland;
    if (asked == OrnamentWay::Wayland && chosen.way != OrnamentWay::Wayland)
        chosen.failure = "cannot hang the ornament on Wayland: " + chosen.notWayland;
    return chosen;
}
