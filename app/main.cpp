// Lumetta: reads the command line, then either opens the window or renders headless.
#include "app/command_line.h"
#include "app/headless_render.h"
#include "app/lumetta_app.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

wxIMPLEMENT_APP_NO_MAIN(COrbelle3App);

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

// Where the installed backdrop picture is: beside the installed program, in its data folder.
std::string InstalledDataFolder()
{
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    std::string folder(self, static_cast<std::size_t>(length));
    folder.erase(folder.rfind('/'));
    return folder + "/" LUMETTA_DATA_FROM_BIN;
}

}  // namespace

int main(int argc, char** argv)
{
    const CommandLine command = ParseCommandLine(argc, argv, std::cout, std::cerr);
    switch (command.action) {
    case CommandLine::Action::Exit:
        return command.exitStatus;
    case CommandLine::Action::Render:
        return RenderHeadless(command.render);
    case CommandLine::Action::Saver:
        return RunSaver(command.saver, InstalledDataFolder().c_str());
    case CommandLine::Action::Window:
        break;
    }
    // GTK would say this twice in its own words; what matters is what to do instead.
    if (!HaveDisplay()) {
        std::fprintf(stderr, "lumetta: cannot open the display; use --render FILE.png for pictures without a window\n");
        return 1;
    }
    COrbelle3App::SetStartDocument(command.document);
    COrbelle3App::SetStart(command.start, command.fullscreen);
    // wx sees only the program name: the rest of the command line has been read.
    int wxArgc = 1;
    const int status = wxEntry(wxArgc, argv);
    // wx ends a start that failed (a document that cannot be opened) with -1.
    return status < 0 ? 1 : status;
}
