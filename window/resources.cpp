#include "window/resources.h"

#include <wx/icon.h>

#include "res/lumetta_16.xpm"
#include "res/lumetta_32.xpm"
#include "res/toolbar.xpm"

namespace {

wxIconBundle IconsOf(const char* const* large, const char* const* small)
{
    wxIconBundle icons;
    icons.AddIcon(wxIcon(large));
    icons.AddIcon(wxIcon(small));
    return icons;
}

}  // namespace

wxIconBundle MainIcons()
{
    return IconsOf(lumetta_32_xpm, lumetta_16_xpm);
}

wxBitmap ToolImage(int index)
{
    static const wxBitmap strip(toolbar_xpm);
    return strip.GetSubBitmap(wxRect(index * kToolImageWidth, 0, kToolImageWidth, kToolImageHeight));
}
