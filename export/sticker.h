// Stickers as messengers take them. Telegram publishes its limits (core.telegram.org/stickers,
// checked on 2026-12-08): a side of exactly 512 pixels, the other 512 or less; a moving
// sticker in WebM with VP9 and no sound, at most 3 seconds, at most 30 frames a second and at
// most 256 KB, looping; a still one in PNG or WebP.
#pragma once

inline constexpr int kStickerSide = 512;
inline constexpr int kStickerMostFramesPerSecond = 30;
inline constexpr int kStickerMostMilliseconds = 3000;
inline constexpr long kStickerMostBytes = 256L * 1024;

// The rate at which a loop of frames plays as a sticker: the scene's 20 a second, or as much
// faster as a loop longer than 3 seconds needs; 0 when even 30 a second is too slow.
int StickerFramesPerSecond(int frames);
