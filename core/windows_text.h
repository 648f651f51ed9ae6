// Text where the program meets Windows. Windows names files in UTF-16; the program keeps every
// name in UTF-8, as on Linux, and turns it over only at the system's door, so that any name
// reaches the file it names whatever the ANSI code page.
#pragma once

#include <string>

// name in UTF-16; invalid UTF-8 becomes the replacement character.
std::wstring Widen(const std::string& name);
// name in UTF-8; an unpaired surrogate becomes the replacement character.
std::string Narrow(const std::wstring& name);
// The words a Linux program would give for a Windows error code (GetLastError's), for the
// errors a user can act on ("No such file or directory", "Permission denied", "No space left
// on device"); the system's own words for the rest.
std::string SystemWords(unsigned long error);
