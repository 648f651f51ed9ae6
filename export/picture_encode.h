// PNG pictures, lossless, so that a picture is exactly what was rendered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Encodes width x height pixels of channels bytes each (3: RGB8, 4: RGBA8 with straight alpha),
// rows bottom-up as GL reads them, as a PNG. Returns an empty string on success, else the
// encoder's message.
std::string EncodePng(int width, int height, int channels, const std::vector<std::uint8_t>& pixelsBottomUp,
                      std::vector<unsigned char>& png);
