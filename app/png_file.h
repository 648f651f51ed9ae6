// PNG output for headless pictures, written so that nothing is lost: a symbolic link is
// followed to the file it names, only a regular file that may itself be written is ever
// replaced, its mode (and, for root, its owner) is kept, and "-" means standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes width x height RGB8 pixels, rows bottom-up as GL reads them, to path as a PNG.
// A new file, or one with no other hard link, is written to a temporary file beside it and
// renamed into place, so that it is never left half-written; a file with other hard links
// is written in place, after room for it has been reserved, so that the links stay one file.
// Returns an empty string on success, else a message naming the file and the system's reason.
std::string WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgbBottomUp);

// Whether WritePng could write path, checked before a long render: standard output that is
// not a terminal, a regular file that may be written, or a new file in a folder that takes
// one. Returns an empty string when it could, else the same kind of message as WritePng.
std::string CheckPngWritable(const std::string& path);
