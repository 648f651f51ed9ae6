// Stickers as messengers take them, each messenger's limits as it publishes them (checked on
// 2026-12-08):
// - Telegram (core.telegram.org/stickers): a sticker 512 pixels a side; a moving one in WebM
//   with VP9 and no sound, at most 3 seconds, at most 30 frames a second and at most 256 KB,
//   looping; a still one in PNG or WebP of at most 512 KB. Its custom emoji: the same, but
//   100 x 100 pixels.
// - WhatsApp (its sticker app guidelines, github.com/WhatsApp/stickers): 512 x 512 WebP, a
//   still one of at most 100 KB, a moving one of at most 500 KB lasting at most 10 seconds
//   with frames of at least 8 ms; a pack's tray picture a 96 x 96 PNG of at most 50 KB. It
//   asks for no margin (it recommends a white stroke round the art, which is not drawn).
#pragma once

#include "export/picture_name.h"
#include "view/scene.h"

#include <cstdint>
#include <string>

enum class StickerProfile { Telegram, TelegramEmoji, WhatsApp, WhatsAppStill, WhatsAppTray };

struct StickerRules {
    const char* name;         // as --sticker takes it
    const char* what;         // as a line of Lumetta's says it: "a Telegram sticker"
    int side;                 // the picture is side x side
    bool webmMoves;           // FILE.webm makes the moving sticker
    bool webpMoves;           // FILE.webp makes the moving sticker; otherwise a still one, if taken
    bool webpStill;           // FILE.webp makes a still sticker
    bool pngStill;            // FILE.png makes a still sticker
    int mostMilliseconds;     // a moving sticker's length
    int mostFramesPerSecond;  // a moving sticker's rate
    long mostBytesMoving;
    long mostBytesStill;
    // The margin kept round the wreath's extent, Lumetta's own: 20 pixels at 512, room for
    // the halos and smoothed edges on any background, in proportion at other sides.
    int Margin() const { return (side * 20 + 511) / 512; }
    // Whether name's kind makes this sticker, and whether that one moves. A numbered sequence
    // of PNGs is a moving sticker's frames, lossless, as the sticker is made of them.
    bool Takes(PictureName::Kind kind) const;
    bool Moves(PictureName::Kind kind) const;
    // "FILE.webm (it moves; FRAME%03d.png writes its frames), or FILE.png or FILE.webp (it
    // stands still)".
    std::string Endings() const;
};

const StickerRules& RulesOf(StickerProfile profile);
// Finds the profile named name; false when there is none.
bool FindStickerProfile(const std::string& name, StickerProfile& profile);
// The profile names, for a message: "telegram, telegram-emoji, whatsapp, ...".
std::string StickerProfileNames();

// The least whole rate at which a loop of frames plays as a sticker of these rules: the
// scene's 20 a second, or faster as a long loop needs to end a whole frame before the most a
// sticker may last; 0 when even the fastest rate allowed is too slow.
int StickerFramesPerSecond(const StickerRules& rules, int frames);
// The most frames a loop may have to play as such a sticker.
int StickerMostFrames(const StickerRules& rules);

// The pixels of a picture something covers, as GL counts them: columns left to right, rows
// bottom to top, each range half-open.
struct PixelExtent {
    int left = 0, bottom = 0, right = 0, top = 0;
    bool Empty() const { return right <= left || top <= bottom; }
    void Join(const PixelExtent& other);
};
// Where premultiplied rgba, width x height with rows bottom-up, covers anything at all.
PixelExtent CoveredExtent(const std::uint8_t* rgba, int width, int height);
// The framing that puts extent, in a side x side picture, in the middle with margin pixels
// round its longer side.
Framing FramingFor(const PixelExtent& extent, int side, int margin);
