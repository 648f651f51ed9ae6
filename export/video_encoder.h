// Video through FFmpeg's libraries: the part of the MP4 and WebM outputs that needs them,
// built as a module of its own (lumetta-video.so), since they bring a hundred libraries that
// nothing else uses.
//   - H.264 in MP4, which every browser and phone plays: yuv420p, the index at the front so
//     that it plays while it loads.
//   - VP9 in WebM, opaque (yuv420p) or with transparency (yuva420p), as browsers and
//     messengers' stickers take it.
#pragma once

#include "export/frame_pipeline.h"

#include <string>
#include <vector>

enum class VideoCodec {
    H264,  // in MP4
    Vp9,   // in WebM
};

// What the encoder is asked to make.
struct VideoSettings {
    VideoCodec codec = VideoCodec::H264;
    int width = 0;  // of the picture; an odd side of an H.264 video is encoded one pixel longer
    int height = 0;
    int quality = -1;          // 0 to 100; -1: the default
    int framesPerSecond = 20;  // one frame a 50 ms tick, unless a sticker plays faster
    bool alpha = false;        // VP9 only: the frames' coverage as its alpha
    int threads = 0;           // the encoder's threads; 0: its own choice
    int lookahead = -1;        // x264's frames of lookahead; -1: its own
};

class CVideoEncoder {
public:
    virtual ~CVideoEncoder() = default;
    // Before the first Write: the file the video goes to.
    virtual void WriteTo(const std::string& path) = 0;
    // Any thread, several frames at once: the frame's colours as the encoder takes them.
    virtual std::string Prepare(const CFrame& frame, std::vector<std::uint8_t>& planes) = 0;
    // One thread, frames in order: encodes and writes them; the file is started at frame 0.
    virtual std::string Write(int index, std::vector<std::uint8_t>& planes) = 0;
    // After the last frame: the rest of the stream, and the file's index.
    virtual std::string Finish() = 0;
};

// Makes the encoder, or null with error saying why (FFmpeg has no such encoder). Opens no file.
using VideoEncoderEntry = CVideoEncoder* (*)(const VideoSettings& settings, std::string* error);

inline constexpr char kVideoModuleFile[] = "lumetta-video.so";
inline constexpr char kVideoEntryName[] = "LumettaMakeVideoEncoder";
