// PNG output for headless pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes width x height RGB8 pixels, rows bottom-up as GL reads them, to path as a PNG.
// Writes to a temporary file beside path and renames it, so path is never left half-written.
// Returns an empty string on success, else a message naming the file and the reason.
std::string WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgbBottomUp);

// Whether WritePng could write path: its folder takes a new file and path is not a folder.
// Returns an empty string when it could, else the same kind of message as WritePng.
std::string CheckPngWritable(const std::string& path);
