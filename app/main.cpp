// Lumetta: reads the command line, then either opens the window or renders headless.
#include "app/command_line.h"
#include "app/headless_render.h"
#include "app/lumetta_app.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

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

}  // namespace

int main(int argc, char** argv)
{
    const CommandLine command = ParseCommandLine(argc, argv, std::cout, std::cerr);
    switch (command.action) {
    case CommandLine::Action::Exit:
        return command.exitStatus;
    case CommandLine::Action::Render:
        return RenderHeadless(command.render);
    case CommandLine::Action::Window:
        break;
    }
    // GTK would say this twice in its own words; what matters is what to do instead.
    if (!HaveDisplay()) {
        std::fprintf(stderr, "lumetta: cannot open the display; use --render FILE.png for pictures without a window\n");
        return 1;
    }
    COrbelle3App::SetStartDocument(command.document);
    // wx sees only the program name: the rest of the command line has been read.
    int wxArgc = 1;
    const int status = wxEntry(wxArgc, argv);
    // wx ends a start that failed (a document that cannot be opened) with -1.
    return status < 0 ? 1 : status;
}
