// Reads a PNG back for pixel checks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // rows top-down

    // The pixel at x from the left, y from the bottom, as GL counts.
    const std::uint8_t* AtGl(int x, int y) const
    {
        return &rgb[(static_cast<std::size_t>(height - 1 - y) * width + x) * 3];
    }
};

// The picture in path as RGB8, or an image of width 0 when it is not a readable PNG.
RgbImage ReadPng(const std::filesystem::path& path);
