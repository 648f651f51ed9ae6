// Opening the files the program reads, as a careful Linux program must: only regular files,
// and never in a way that could wait for ever (a FIFO blocks an ordinary open until someone
// writes to it).
#pragma once

#include <cstdio>
#include <string>

// Opens path for reading when it is a regular file, symbolic links followed. Otherwise
// returns null and sets reason to the system's words for why not (a FIFO, device, socket or
// folder counts as a file that cannot be opened).
std::FILE* OpenRegularFile(const char* path, std::string& reason);

// The file that writing to path would reach: path with every symbolic link followed, a
// dangling one to the name it points at. Returns false, with errno set, for a loop or a
// name that cannot be looked at.
bool FollowLinks(const std::string& path, std::string& target);

// The current folder, for messages; "." when the system cannot say.
std::string CurrentFolder();

// name as a message shows it on one line: control characters (a newline, a tab, an escape)
// written as \n, \t or \xNN, and a backslash as \\ only when something else was written so.
// Any other byte, UTF-8 included, stays as it is.
std::string ShownName(const std::string& name);
