#include "ornament/menu.h"

#include "os/modules.h"

OrnamentChoice ShowOrnamentMenu(const OrnamentMenuState& state, int x, int y, OrnamentMenuTick tick, void* data,
                                std::string& error)
{
    const auto entry =
        reinterpret_cast<OrnamentMenuEntry>(LoadModuleEntry(kOrnamentMenuModuleFile, kOrnamentMenuEntryName, error));
    if (!entry)
        return OrnamentChoice::Nothing;
    char said[256] = {};
    const int choice = entry(&state, x, y, tick, data, said, sizeof said);
    if (choice < 0) {
        error = said;
        return OrnamentChoice::Nothing;
    }
    return static_cast<OrnamentChoice>(choice);
}
