// Writing the pictures and animations of --render so that nothing is lost: a symbolic link
// is followed to the file it names, only a regular file that may itself be written is ever
// replaced, its mode (and, for root, its owner) is kept, and "-" means standard output.
#pragma once

#include <string>
#include <vector>

// Writes bytes to path. A new file, or one with no other hard link, is written to a
// temporary file beside it and renamed into place, so that it is never left half-written; a
// file with other hard links is written in place, after room for it has been reserved, so
// that the links stay one file. A file not yet in place when an end signal has been caught
// (see end_signals.h) is not put there: the target stays as it was. Returns an empty string on
// success, else a message naming the file and the system's reason.
std::string WriteFileSafely(const std::string& path, const std::vector<unsigned char>& bytes);

// Whether WriteFileSafely could write path, checked before a long render: standard output
// that is not a terminal, a regular file that may be written, or a new file in a folder that
// takes one. Returns an empty string when it could, else the same kind of message.
std::string CheckFileWritable(const std::string& path);

// Whether path names something already (a link counts, whether or not its file exists).
bool FileExists(const std::string& path);
