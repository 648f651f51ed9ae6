// The window module's one entry point: the wx application, started with what the command
// line asked for.
#include "window/window_entry.h"

#include "window/lumetta_app.h"

#include <gdk/gdk.h>

#include <cstdlib>

wxIMPLEMENT_APP_NO_MAIN(COrbelle3App);

extern "C" __attribute__((visibility("default"))) int LumettaRunWindow(const WindowRequest& request)
{
    // Debian's wxWidgets draws its GL canvas with GLX alone, so on a Wayland desktop the window
    // is an X11 one, Xwayland's; GTK would make it a Wayland one, where the canvas has no GL.
    gdk_set_allowed_backends("x11");
    // The window draws only what moves, a few tiles a frame: handing them to llvmpipe's
    // rasteriser threads and back costs more processor time than drawing them on this thread
    // (a fifth of the window's, a sixth at full screen). Read as the driver starts; the user's
    // own LP_NUM_THREADS wins.
    (void)::setenv("LP_NUM_THREADS", "0", 0);
    COrbelle3App::SetStartDocument(request.document);
    COrbelle3App::SetStart(request.start, request.fullscreen);
    COrbelle3App::SetInstalledData(request.installedData);
    // wx sees only the program name: the rest of the command line has been read.
    int argc = 1;
    char* argv[] = {request.programName, nullptr};
    const int status = wxEntry(argc, argv);
    // wx ends a start that failed (a document that cannot be opened) with -1.
    return status < 0 ? 1 : status;
}
