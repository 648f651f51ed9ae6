// Pictures without a window: the scene rendered in a headless context and saved as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RenderOptions {
    std::string output;  // PNG file to write
    int frames = 1;      // frames to render, as that many timer ticks would; the last is saved
    int width = 500;
    int height = 500;
    float yaw = 0.0f;         // camera yaw in degrees, within the window's bounds
    float distance = 27.0f;   // camera distance, within the window's bounds
};

// Renders as the window would, from the current directory's "panel.bmp", and writes the last
// frame. Messages go to stderr. Returns the process exit status: 0 on success, 1 otherwise.
int RenderHeadless(const RenderOptions& options);

// The current read framebuffer's width x height RGB8 pixels, rows bottom-up.
std::vector<std::uint8_t> ReadPixelsRgb(int width, int height);
