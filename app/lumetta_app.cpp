#include "app/lumetta_app.h"

#include "app/orbelle3_view.h"
#include "res/texts.h"

// --- COrbelle3App ---

std::string COrbelle3App::s_startDocument;

void COrbelle3App::SetStartDocument(const std::string& path)
{
    s_startDocument = path;
}

bool COrbelle3App::OnInit()
{
    // The command line was read before wx started; wxApp::OnInit would read it again.
    SetAppName(kTextAppName);

    m_pDocManager = new wxDocManager;
    // Any file may be named as the document; none is read.
    new wxDocTemplate(m_pDocManager, kTextFileTypeName, "*", "", "", kTextFileTypeId, "COrbelle3View",
                      CLASSINFO(COrbelle3Doc), CLASSINFO(COrbelle3View));

    auto* frame = new CMainFrame(m_pDocManager);
    SetTopWindow(frame);

    wxDocument* doc = s_startDocument.empty()
                          ? m_pDocManager->CreateNewDocument()
                          : m_pDocManager->CreateDocument(wxString::FromUTF8(s_startDocument), wxDOC_SILENT);
    if (!doc) {
        frame->Destroy();
        return false;
    }
    frame->Show();
    frame->Update();
    return true;
}

int COrbelle3App::OnExit()
{
    delete m_pDocManager;
    return wxApp::OnExit();
}

// --- COrbelle3Doc ---

wxIMPLEMENT_DYNAMIC_CLASS(COrbelle3Doc, wxDocument);

// --- CMainFrame ---

wxBEGIN_EVENT_TABLE(CMainFrame, wxDocParentFrame)
wxEND_EVENT_TABLE()

CMainFrame::CMainFrame(wxDocManager* manager)
    : wxDocParentFrame(manager, nullptr, wxID_ANY, kTextFrameTitle, wxDefaultPosition, wxSize(500, 500))
{
    wxAcceleratorEntry exitKey(wxACCEL_NORMAL, WXK_ESCAPE, wxID_EXIT);
    SetAcceleratorTable(wxAcceleratorTable(1, &exitKey));
}
