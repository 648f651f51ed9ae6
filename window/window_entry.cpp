// The window module's one entry point: the wx application, started with what the command
// line asked for.
#include "window/window_entry.h"

#include "window/lumetta_app.h"

wxIMPLEMENT_APP_NO_MAIN(COrbelle3App);

extern "C" __attribute__((visibility("default"))) int LumettaRunWindow(const WindowRequest& request)
{
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
