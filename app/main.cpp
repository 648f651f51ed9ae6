// Lumetta: reads the command line, then either opens the window or renders headless.
#include "app/command_line.h"
#include "app/headless_render.h"
#include "app/window_entry.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

// Whether a window can be had: a Wayland display is taken on trust, an X display must answer.
bool HaveDisplay()
{
    if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
        return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

// The folder the running program is in, or empty when the system will not say.
std::string ProgramFolder()
{
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    std::string folder(self, static_cast<std::size_t>(length));
    folder.erase(folder.rfind('/'));
    return folder;
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

// Loads the window module, from beside the program (as built) or from the installed library
// folder, and hands the window over to it.
int RunWindow(const WindowRequest& request)
{
    const std::string folder = ProgramFolder();
    const std::string candidates[] = {folder + "/" + kWindowModuleFile,
                                      folder + "/" LUMETTA_MODULE_FROM_BIN "/" + kWindowModuleFile};
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        // Never closed: the toolkit it brings stays until the program ends.
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto entry = module ? reinterpret_cast<WindowEntry>(dlsym(module, kWindowEntryName)) : nullptr;
        if (!entry) {
            std::fprintf(stderr, "lumetta: cannot load the window: %s\n", dlerror());
            return 1;
        }
        return entry(request);
    }
    std::fprintf(stderr, "lumetta: cannot open a window: %s is in neither %s nor %s\n", kWindowModuleFile,
                 folder.c_str(), (folder + "/" LUMETTA_MODULE_FROM_BIN).c_str());
    return 1;
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
