#include "window/about_box.h"

#include "window/resources.h"
#include "res/texts.h"

#include <wx/button.h>
#include <wx/fontenum.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

namespace {

// The box's own face where the system has it, else a Japanese proportional Gothic.
wxFont AboutFont()
{
    const wxString wanted = wxString::FromUTF8(kAboutFontFace);
    const wxString face = wxFontEnumerator::IsValidFacename(wanted) ? wanted : wxString(kAboutFallbackFontFace);
    return wxFont(wxFontInfo(kAboutFontPoints).FaceName(face));
}

}  // namespace

CAboutBox::CAboutBox(wxWindow* parent)
{
    // The font must be known before anything is measured in dialog units.
    SetFont(AboutFont());
    Create(parent, wxID_ANY, wxString::FromUTF8(kAboutCaption), wxDefaultPosition, wxDefaultSize,
           wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
    SetFont(AboutFont());
    const auto du = [this](int x, int y) { return ConvertDialogToPixels(wxPoint(x, y)); };
    const auto size = [this](int cx, int cy) { return ConvertDialogToPixels(wxSize(cx, cy)); };

    new wxStaticBitmap(this, wxID_ANY, MainIcons().GetIcon(32), du(7, 7), size(20, 20));
    auto* version = new wxStaticText(this, wxID_ANY, wxString(), du(40, 10), size(70, 19), wxST_NO_AUTORESIZE);
    version->SetLabelText(wxString::FromUTF8(kAboutVersion));  // ampersands shown as they are
    auto* notice = new wxStaticText(this, wxID_ANY, wxString(), du(32, 29), size(78, 21), wxST_NO_AUTORESIZE);
    notice->SetLabelText(wxString::FromUTF8(kAboutNotice));
    auto* ok = new wxButton(this, wxID_OK, kAboutOk, du(33, 58), size(50, 14));
    ok->SetDefault();
    ok->SetFocus();

    SetClientSize(size(117, 79));
    if (parent)
        Move(parent->ClientToScreen(wxPoint(0, 0)));
}
