// The window's side of Lumetta (wxWidgets, and GTK with it) is a module of its own, loaded
// only when a window opens: pictures, the screensaver, --help and --version start without
// loading the toolkit, which would cost them time and memory for nothing.
#pragma once

#include "view/scene_start.h"

#include <string>

struct WindowRequest {
    std::string document;  // the file named on the command line, or empty
    SceneStart start;
    bool fullscreen = false;
    std::string installedData;  // the installed data folder, where the backdrop picture also is
    char* programName = nullptr;
};

// Opens the window and runs it until it closes; returns the program's exit status.
using WindowEntry = int (*)(const WindowRequest& request);

inline constexpr char kWindowModuleFile[] = "lumetta-window.so";
inline constexpr char kWindowEntryName[] = "LumettaRunWindow";
