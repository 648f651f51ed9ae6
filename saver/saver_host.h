// Lumetta as a screensaver on X11: the scene drawn into a window that someone else made (the
// screensaver daemon's, or its settings dialog's small preview), with a GLX context of the
// window's own visual, on the scene's 50 ms clock. No menu, dialog or keyboard: it ends when
// told to (SIGTERM, SIGINT, SIGHUP) or when its window goes.
#pragma once

#include "view/scene_start.h"

#include <string>

struct SaverOptions {
    unsigned long window = 0;  // the X window to draw in, when not root
    bool root = false;         // the window named by XSCREENSAVER_WINDOW, else the root window
    SceneStart start;
};

// Draws until ended. Returns the exit status: 0, quietly, when ended by a signal (one that was
// not ignored at the start) or by its window going, whenever that is noticed; 1, with one
// line on stderr, when there is no such window, it cannot take GL, or the backdrop picture
// is in neither the current folder nor installedFolder.
int RunSaver(const SaverOptions& options, const std::string& installedFolder);
