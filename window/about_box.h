// The about box: the program's icon, name and version, and a short notice.
#pragma once

#include <wx/dialog.h>

class CAboutBox : public wxDialog {
public:
    // Laid out in dialog units of its own font, at the top left of parent's client area.
    // OK, Enter, Esc and the close box end it.
    explicit CAboutBox(wxWindow* parent);
};
