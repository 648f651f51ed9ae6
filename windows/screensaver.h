// Lumetta as a Windows screensaver: lumetta.scr is the same program, and Windows starts it
// with "/s" (full screen until a key, a button or a real move of the mouse), "/p HWND" (drawn
// in the preview window given) or "/c" (its settings: there are none to set).
#pragma once

#include <string>
#include <vector>

// Whether arguments (the program's own name first) ask for the screensaver; if so, runs it
// and sets status to the process's exit status.
bool RunScreensaverIfAsked(const std::vector<std::wstring>& arguments, const std::string& installedData, int& status);
