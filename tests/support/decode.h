// The animations read back as players read them, for the tests and the benchmark.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// Frames as RGB8 rows top-down, and what a player needs to show them.
struct DecodedAnimation {
    int width = 0;  // of the frames decoded (an MP4's are even)
    int height = 0;
    std::vector<std::vector<std::uint8_t>> frames;
    // GIF: each frame's delay in centiseconds, the area of the rectangles after the first,
    // and whether it loops for ever.
    std::vector<int> delays;
    int shortestDelay = 0;  // of any image, one that draws nothing too
    long laterArea = 0;
    bool loops = false;
    // GIF: each frame's coverage as it adds up, 255 where a colour was laid and not cleared
    // since, 0 elsewhere. WebM: each frame's alpha. None for an MP4.
    std::vector<std::vector<std::uint8_t>> alpha;
    // GIF: the first frame's coverage when the loop comes round to it again.
    std::vector<std::uint8_t> alphaAgain;
};

// An MP4's H.264 frames, turned to RGB as players do: by the colour matrix and range the stream
// says it holds (BT.601 when it says none); none when it cannot be read.
DecodedAnimation DecodeMp4(const std::filesystem::path& path);
// A WebM's VP9 frames, decoded by libvpx, which reads the alpha stream too, and turned to RGB
// as the MP4's are; their alpha beside them. None when it cannot be read.
DecodedAnimation DecodeWebm(const std::filesystem::path& path);
// A GIF's frames as they add up on the screen, each disposed of as it says (what is cleared
// shows black); none when it cannot be read.
DecodedAnimation DecodeGif(const std::filesystem::path& path);

// The frames of an animated WebP as they add up on its canvas, RGBA (each laid over the one
// before as it says), with the time each ends at; empty when it is none.
struct WebpFrames {
    std::vector<std::vector<std::uint8_t>> rgba;
    std::vector<int> endMs;
    int width = 0;
    int height = 0;
    unsigned loopCount = 1;
};
WebpFrames DecodeWebp(const std::filesystem::path& path);

// The peak signal-to-noise ratio of b against a (RGB8 of one size), in dB; 99 when equal.
double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);
// The top left width x height of an RGB8 picture of rows of rowWidth pixels.
std::vector<std::uint8_t> Crop(const std::vector<std::uint8_t>& rgb, int rowWidth, int width, int height);
