// The file formats of --render: PNG pictures and animated WebP, both lossless, so that every
// frame in a file is exactly the picture that was rendered.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What encoding holds in memory per pixel of the picture, at most: a PNG its compressed
// bytes; an animation its frame turned top-down, the encoder's picture and the canvases it
// compares each new frame with, and the frames it has encoded.
inline constexpr double kPngBytesPerPixel = 1.0;
inline constexpr double kWebpBytesPerPixel = 36.0;

// Encodes width x height RGB8 pixels, rows bottom-up as GL reads them, as a PNG. Returns an
// empty string on success, else the encoder's message.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgbBottomUp,
                      std::vector<unsigned char>& png);

// An animated WebP that loops for ever, built one frame at a time.
class CWebpAnimation {
public:
    CWebpAnimation(int width, int height);
    ~CWebpAnimation();
    CWebpAnimation(const CWebpAnimation&) = delete;
    CWebpAnimation& operator=(const CWebpAnimation&) = delete;

    // Adds a frame of RGB8 pixels, rows bottom-up, shown from startMs on. Returns an empty
    // string, or why the frame could not be added.
    std::string Add(const std::vector<std::uint8_t>& rgbBottomUp, int startMs);
    // Ends the last frame at endMs and gives the whole file. Returns an empty string, or why not.
    std::string Finish(int endMs, std::vector<unsigned char>& webp);

private:
    struct Encoder;
    std::unique_ptr<Encoder> m_encoder;
    int m_width;
    int m_height;
};
