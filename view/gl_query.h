// What every way of showing the scene asks of its GL context the same way: an extension
// named, and the pixels of a framebuffer.
#pragma once

#include "view/frame_regions.h"

#include <cstdint>
#include <vector>

// Whether the space-separated list (GL's or GLX's extension string) names extension, as a
// whole word. False for a null list.
bool ExtensionNamed(const char* list, const char* extension);
// With a context current: whether it offers extension.
bool GlExtensionOffered(const char* extension);

// With the framebuffer to read from bound for reading: part of it, RGB8 (channels 3) or
// RGBA8 (4), rows bottom-up as GL gives them, tightly packed.
std::vector<std::uint8_t> ReadPixels(const PixelRect& part, int channels);
