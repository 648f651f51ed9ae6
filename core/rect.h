// A rectangle of whole pixels, the one kind every module passes about. Where it is counted
// from is the name's business: a PixelRect from a framebuffer's bottom left, as GL counts;
// a PlaceRect on the desktop's layout and a MonitorRect on an X root, from the top left.
#pragma once

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};
