// The command line: the window (with an optional document, or full screen), a headless
// picture, the screensaver in another program's window, or the ornament on the desktop.
#pragma once

#include "export/headless_render.h"
#include "ornament/run.h"
#include "saver/saver_host.h"

#include <iosfwd>
#include <string>

struct CommandLine {
    enum class Action {
        Window,    // open the window, with document if one is named
        Render,    // headless picture per render
        Saver,     // the scene in the window of saver
        Ornament,  // the wreath hung on the desktop
        Exit,      // help, version or a bad argument: exit with exitStatus
    };
    Action action = Action::Window;
    int exitStatus = 0;
    std::string document;
    bool fullscreen = false;
    SceneStart start;  // in every mode
    RenderOptions render;
    SaverOptions saver;
    OrnamentOptions ornament;
};

// Parses argv. Help and version go to out, a bad argument's message to err (Action::Exit,
// status 2); nothing else is printed. The help names installedData as the folder where the
// installed backdrop picture is.
CommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                             const std::string& installedData = {});
