// The command line: window mode with an optional document, or a headless picture.
#pragma once

#include "app/headless_render.h"

#include <iosfwd>
#include <string>

struct CommandLine {
    enum class Action {
        Window,  // open the window, with document if one is named
        Render,  // headless picture per render
        Exit,    // help, version or a bad argument: exit with exitStatus
    };
    Action action = Action::Window;
    int exitStatus = 0;
    std::string document;
    RenderOptions render;
};

// Parses argv. Help and version go to out, a bad argument's message to err (Action::Exit,
// status 2); nothing else is printed.
CommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
