// The pictures built into the program: the icons and the toolbar's button images.
#pragma once

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

// The main icon, 32 x 32 and 16 x 16: the frame and the about box.
wxIconBundle MainIcons();

inline constexpr int kToolImageWidth = 16;
inline constexpr int kToolImageHeight = 15;
inline constexpr int kToolImageCount = 11;
// Button image index (0 to 10) of the strip, in the toolbar's order of buttons.
wxBitmap ToolImage(int index);
