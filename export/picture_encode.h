// PNG pictures, lossless, so that a picture is exactly what was rendered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Encodes width x height RGB8 pixels, rows bottom-up as GL reads them, as a PNG. Returns an
// empty string on success, else the encoder's message.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgbBottomUp,
                      std::vector<unsigned char>& png);
