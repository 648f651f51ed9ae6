// Parts of Lumetta that bring large libraries with them live in modules of their own, loaded
// only when they are needed: the window (wxWidgets and GTK) and the MP4 encoder (FFmpeg's
// libraries). Pictures, the screensaver, --help and --version start without them.
#pragma once

#include <string>

// The running program's file, or empty when the system will not say.
std::string ProgramPath();
// The folder the running program is in, or empty when the system will not say.
std::string ProgramFolder();

// The entry point named entry of the module file, from beside the program (as built) or from
// the installed module folder. Null, with error saying why, when neither has it or it will
// not load. A module once loaded stays until the program ends.
void* LoadModuleEntry(const char* file, const char* entry, std::string& error);
