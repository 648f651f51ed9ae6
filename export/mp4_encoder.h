// H.264 in MP4 through FFmpeg's libraries: the part of the MP4 output that needs them, built
// as a module of its own (lumetta-mp4.so), since they bring a hundred libraries that nothing
// else uses. What it writes is an MP4 that every browser and phone plays: yuv420p, exactly 20
// frames a second (one a tick), the index at the front so that it plays while it loads.
#pragma once

#include "export/frame_pipeline.h"

#include <string>
#include <vector>

// What the encoder is asked to make.
struct Mp4Settings {
    int width = 0;  // of the picture; an odd side is encoded one pixel longer
    int height = 0;
    int quality = -1;    // 0 to 100; -1: the default
    int threads = 0;     // x264's threads; 0: its own choice
    int lookahead = -1;  // x264's frames of lookahead; -1: its own
};

class CMp4Encoder {
public:
    virtual ~CMp4Encoder() = default;
    // Before the first Write: the file the video goes to.
    virtual void WriteTo(const std::string& path) = 0;
    // Any thread, several frames at once: the frame's colours as the encoder takes them.
    virtual std::string Prepare(const CFrame& frame, std::vector<std::uint8_t>& yuv) = 0;
    // One thread, frames in order: encodes and writes them; the file is started at frame 0.
    virtual std::string Write(int index, std::vector<std::uint8_t>& yuv) = 0;
    // After the last frame: the rest of the stream, and the index moved to the front.
    virtual std::string Finish() = 0;
};

// Makes the encoder, or null with error saying why (FFmpeg has no H.264 encoder). Opens no file.
using Mp4EncoderEntry = CMp4Encoder* (*)(const Mp4Settings& settings, std::string* error);

inline constexpr char kMp4ModuleFile[] = "lumetta-mp4.so";
inline constexpr char kMp4EntryName[] = "LumettaMakeMp4Encoder";
