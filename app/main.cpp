// Lumetta: reads the command line, then hands over to one way of showing the scene: the
// window, an export (--render), the screensaver or the ornament.
#include "app/command_line.h"
#include "export/headless_render.h"
#include "os/modules.h"
#include "window/window_entry.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

// Whether a window can be had: it is an X11 window (Xwayland's on a Wayland desktop), so an X
// display must answer.
bool HaveDisplay()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

// Where the installed backdrop picture is: the data folder beside the installed program's
// folder, written plainly (/usr/share/lumetta, not /usr/bin/../share/lumetta) for messages.
std::string InstalledDataFolder()
{
    const std::string program = ProgramFolder();
    if (program.empty())
        return {};
    return std::filesystem::path(program + "/" LUMETTA_DATA_FROM_BIN).lexically_normal().string();
}

// Loads the window module and hands the window over to it.
int RunWindow(const WindowRequest& request)
{
    std::string error;
    const auto entry = reinterpret_cast<WindowEntry>(LoadModuleEntry(kWindowModuleFile, kWindowEntryName, error));
    if (!entry) {
        std::fprintf(stderr, "lumetta: cannot open a window: %s\n", error.c_str());
        return 1;
    }
    return entry(request);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string installedData = InstalledDataFolder();
    const CommandLine command = ParseCommandLine(argc, argv, std::cout, std::cerr, installedData);
    switch (command.action) {
    case CommandLine::Action::Exit:
        return command.exitStatus;
    case CommandLine::Action::Render:
        return RenderHeadless(command.render, installedData);
    case CommandLine::Action::Saver:
        return RunSaver(command.saver, installedData);
    case CommandLine::Action::Ornament:
        return RunOrnament(command.ornament, installedData);
    case CommandLine::Action::Window:
        break;
    }
    // GTK would say this twice in its own words; what matters is what to do instead.
    if (!HaveDisplay()) {
        std::fprintf(stderr, "lumetta: cannot open the display; use --render FILE.png for pictures without a window\n");
        return 1;
    }
    return RunWindow({command.document, command.start, command.fullscreen, installedData, argv[0]});
}
