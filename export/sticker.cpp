#include "export/sticker.h"

#include "view/scene_start.h"

#include <algorithm>
#include <iterator>

namespace {

// WhatsApp's frames last at least 8 ms: at most 125 a second. Each limit in bytes is read the
// stricter way, a KB as 1000 bytes, so that no messenger's reading refuses the file.
const StickerRules kRules[] = {
    {"telegram", "a Telegram sticker", 512, true, false, true, true, 3000, 30, 256000, 512000},
    {"telegram-emoji", "a Telegram custom emoji", 100, true, false, true, true, 3000, 30, 256000, 512000},
    {"whatsapp", "a WhatsApp sticker", 512, false, true, false, false, 10000, 125, 500000, 0},
    {"whatsapp-still", "a still WhatsApp sticker", 512, false, false, true, false, 0, 0, 0, 100000},
    {"whatsapp-tray", "a WhatsApp sticker pack's tray picture", 96, false, false, false, true, 0, 0, 0, 50000},
};

}  // namespace

bool StickerRules::Takes(PictureName::Kind kind) const
{
    switch (kind) {
    case PictureName::Kind::Webm:
        return webmMoves;
    case PictureName::Kind::Webp:
        return webpMoves || webpStill;
    case PictureName::Kind::Png:
        return pngStill;
    case PictureName::Kind::Sequence:
        return webmMoves || webpMoves;
    default:
        return false;
    }
}

bool StickerRules::Moves(PictureName::Kind kind) const
{
    return (kind == PictureName::Kind::Webm && webmMoves) || (kind == PictureName::Kind::Webp && webpMoves) ||
           (kind == PictureName::Kind::Sequence && (webmMoves || webpMoves));
}

std::string StickerRules::Endings() const
{
    std::string moving = webmMoves ? "FILE.webm" : webpMoves ? "FILE.webp" : "";
    std::string still = pngStill && webpStill ? "FILE.png or FILE.webp"
                        : pngStill            ? "FILE.png"
                        : webpStill           ? "FILE.webp"
                                              : "";
    if (!moving.empty())
        moving += " (it moves; FRAME%03d.png writes its frames)";
    if (!moving.empty() && !still.empty())
        return moving + ", or " + still + " (it stands still)";
    return moving.empty() ? still + " (it stands still)" : moving;
}

const StickerRules& RulesOf(StickerProfile profile)
{
    return kRules[static_cast<int>(profile)];
}

bool FindStickerProfile(const std::string& name, StickerProfile& profile)
{
    for (std::size_t i = 0; i < std::size(kRules); ++i) {
        if (name == kRules[i].name) {
            profile = static_cast<StickerProfile>(i);
            return true;
        }
    }
    return false;
}

std::string StickerProfileNames()
{
    std::string names;
    for (const StickerRules& rules : kRules)
        names += (names.empty() ? "" : ", ") + std::string(rules.name);
    return names;
}

int StickerFramesPerSecond(const StickerRules& rules, int frames)
{
    const int scene = 1000 / kFrameMilliseconds;
    // frames + 1 frames at the rate last no longer than the most a sticker may: the loop
    // itself ends at least one frame before that.
    const long fitting = ((frames + 1L) * 1000 + rules.mostMilliseconds - 1) / rules.mostMilliseconds;
    const long rate = std::max<long>(scene, fitting);
    return rate <= rules.mostFramesPerSecond ? static_cast<int>(rate) : 0;
}

int StickerMostFrames(const StickerRules& rules)
{
    return static_cast<int>(static_cast<long>(rules.mostFramesPerSecond) * rules.mostMilliseconds / 1000 - 1);
}

void PixelExtent::Join(const PixelExtent& other)
{
    if (other.Empty())
        return;
    if (Empty()) {
        *this = other;
        return;
    }
    left = std::min(left, other.left);
    bottom = std::min(bottom, other.bottom);
    right = std::max(right, other.right);
    top = std::max(top, other.top);
}

PixelExtent CoveredExtent(const std::uint8_t* rgba, int width, int height)
{
    PixelExtent extent{width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rgba + static_cast<std::size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            if (row[x * 4 + 3] != 0) {
                extent.left = std::min(extent.left, x);
                extent.right = std::max(extent.right, x + 1);
                extent.bottom = std::min(extent.bottom, y);
                extent.top = std::max(extent.top, y + 1);
            }
        }
    }
    return extent.Empty() ? PixelExtent{} : extent;
}

Framing FramingFor(const PixelExtent& extent, int side, int margin)
{
    // A pixel count across the picture is 2 / side of the -1 to 1 the framing works in.
    const double across = std::max(extent.right - extent.left, extent.top - extent.bottom);
    const double scale = (side - 2.0 * margin) / across;
    const double middleX = (extent.left + extent.right) / static_cast<double>(side) - 1.0;
    const double middleY = (extent.bottom + extent.top) / static_cast<double>(side) - 1.0;
    return {scale, -scale * middleX, -scale * middleY};
}
