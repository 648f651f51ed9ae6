// H.264 in MP4 through FFmpeg's libraries: the part of the MP4 output that needs them, built
// as a module of its own (lumetta-mp4.so), since they bring a hundred libraries that nothing
// else uses. What it writes is an MP4 that every browser and phone plays: yuv420p, exactly 20
// frames a second (one a tick), the index at the front so that it plays while it loads.
#pragma once

#include "app/frame_pipeline.h"

#include <string>
#include <vector>

class CMp4Encoder {
public:
    virtual ~CMp4Encoder() = default;
    // Any thread, several frames at once: the frame's colours as the encoder takes them.
    virtual std::string Prepare(const CFrame& frame, std::vector<std::uint8_t>& yuv) = 0;
    // One thread, frames in order: encodes and writes them; the file is started at frame 0.
    virtual std::string Write(int index, std::vector<std::uint8_t>& yuv) = 0;
    // After the last frame: the rest of the stream, and the index moved to the front.
    virtual std::string Finish() = 0;
};

// Makes the encoder of a width x height video to path, at quality 0 to 100 (-1 for the
// default). Null, with error saying why, when FFmpeg has no H.264 encoder.
using Mp4EncoderEntry = CMp4Encoder* (*)(const char* path, int width, int height, int quality, std::string* error);

inline constexpr char kMp4ModuleFile[] = "lumetta-mp4.so";
inline constexpr char kMp4EntryName[] = "LumettaMakeMp4Encoder";
