// How near an encoded animation comes to the frames it was made from, as a viewer shows it:
// each frame's decoded rectangle is laid on a canvas as the file says, and the canvas is
// compared with the frame drawn, premultiplied, so that what is clear counts as black.
#pragma once

#include "export/frame_pipeline.h"

#include <cstdint>
#include <vector>

class CShownQuality {
public:
    // rgba: the decoded rectangle rect, straight RGBA rows top-down, laid over what was there
    // (its clear pixels showing the frame below; the others are opaque or land on clear ones)
    // or taking its place. Then the canvas is compared with frame.
    void Lay(const CFrame& frame, const CFrameRect& rect, const std::uint8_t* rgba, bool laidOver);
    // The peak signal-to-noise ratio over every frame laid, in dB; 99 when all were exact.
    double Psnr() const;

private:
    std::vector<std::uint8_t> m_canvas;  // premultiplied RGBA, top-down
    double m_squaredError = 0;
    double m_samples = 0;
};

// The dB below which a sticker is not made: its small stars and edges smear.
constexpr double kLeastStickerPsnr = 35.0;
