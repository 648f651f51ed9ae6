#include "ornament/x11/x11_menu.h"

#include "os/modules.h"

std::string PopUpX11Menu(const OrnamentMenuState& state, int x, int y, OrnamentMenuClosed closed, void* data)
{
    std::string error;
    const auto entry =
        reinterpret_cast<OrnamentMenuEntry>(LoadModuleEntry(kOrnamentMenuModuleFile, kOrnamentMenuEntryName, error));
    if (!entry)
        return error;
    char said[256] = {};
    if (entry(&state, x, y, closed, data, said, sizeof said) < 0)
        return said;
    return {};
}
