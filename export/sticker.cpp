#include "export/sticker.h"

#include "view/scene_start.h"

#include <algorithm>

int StickerFramesPerSecond(int frames)
{
    const int scene = 1000 / kFrameMilliseconds;
    // The least whole rate at which the frames last no longer than the most a sticker may.
    const int fitting = (frames * 1000 + kStickerMostMilliseconds - 1) / kStickerMostMilliseconds;
    const int rate = std::max(scene, fitting);
    return rate <= kStickerMostFramesPerSecond ? rate : 0;
}
