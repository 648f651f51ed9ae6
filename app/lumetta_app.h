// The wx shell: application, document and main frame. The view lives in orbelle3_view.h.
#pragma once

#include <wx/docview.h>
#include <wx/wx.h>

#include <string>

class COrbelle3App : public wxApp {
public:
    // The document to open at start; empty for a new, empty document.
    static void SetStartDocument(const std::string& path);

    bool OnInit() override;
    int OnExit() override;

private:
    wxDocManager* m_pDocManager = nullptr;
    static std::string s_startDocument;
};

wxDECLARE_APP(COrbelle3App);

// The document holds and stores nothing: wxDocument's own opening checks that the file can
// be read and reads none of it.
class COrbelle3Doc : public wxDocument {
    wxDECLARE_DYNAMIC_CLASS(COrbelle3Doc);
};

class CMainFrame : public wxDocParentFrame {
public:
    CMainFrame(wxDocManager* manager);

private:
    wxDECLARE_EVENT_TABLE();
};
