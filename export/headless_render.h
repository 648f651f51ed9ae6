// Pictures without a window: the scene rendered in a headless context and saved as a PNG, a
// numbered sequence of PNGs, or a looping animation (WebP, MP4 or GIF).
#pragma once

#include "export/outputs.h"
#include "export/sticker.h"
#include "view/scene_start.h"

#include <memory>

#include <cstdint>
#include <string>
#include <vector>

// The most frames a render may have: over 13 hours of the 50 ms clock.
inline constexpr int kMaxRenderFrames = 1000000;

// The samples a pixel an export is drawn with unless told: four smooth an edge to five levels
// for a fraction of what drawing four times the pixels would cost.
inline constexpr int kDefaultSamples = 4;

struct RenderOptions {
    std::string output;  // FILE.png, "-", a sequence such as frame%03d.png, FILE.webp, FILE.mp4, FILE.gif or FILE.webm
    // Frames to render, as that many timer ticks would: a picture is the last of them, a
    // sequence and an animation hold them all. 0: one for a picture or a sequence, one whole
    // loop for an animation.
    int frames = 0;
    int width = 500;
    int height = 500;
    float yaw = 0.0f;          // camera yaw in degrees, within the window's bounds
    float distance = 27.0f;    // camera distance, within the window's bounds
    SceneStart start;          // pattern, flares and spot light before the first frame
    int quality = -1;          // 0 to 100 for a lossy animation; -1: lossless WebP, the others' defaults
    bool transparent = false;  // no backdrop: what is not the scene is transparent
    // A messenger's sticker (sticker.h): transparent, square, the whole wreath framed in the
    // middle; a moving one's loop played as fast as its length allows, a still one the moment
    // the bulbs shine most unless frames says; its quality chosen for the bytes allowed.
    bool sticker = false;
    StickerProfile stickerProfile = StickerProfile::Telegram;  // with sticker: which messenger's
    // Samples a pixel, which smooth the edges: each pixel as much of the scene as covers it,
    // and a transparent one's alpha as much as is covered. 1 draws as the window does; 0,
    // kDefaultSamples or as near as the driver can, and as the window draws where it cannot,
    // without a word. A count asked for that the driver cannot give is said once.
    int samples = 0;
};

// Renders as the window would, with "panel.bmp" from the current folder or else from
// installedFolder, and writes what options.output names. Messages go to stderr, one line each;
// a failure, Ctrl+C, SIGTERM or SIGHUP removes what the run has written (the signals unless
// they were ignored at its start, then ending the process as they would). Returns the process
// exit status: 0 on success, 2 for a name or a length that cannot be made, 1 otherwise.
int RenderHeadless(const RenderOptions& options, const std::string& installedFolder);
// The same, with output taking the frames rather than the one options.output names, whose
// kind still decides how many frames there are and where an animation starts: for measuring
// the drawing apart from the encoding.
int RenderHeadless(const RenderOptions& options, const std::string& installedFolder, std::unique_ptr<COutput> output);
