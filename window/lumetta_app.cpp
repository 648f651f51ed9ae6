#include "window/lumetta_app.h"

#include "window/about_box.h"
#include "window/orbelle3_view.h"
#include "window/resources.h"
#include "core/files.h"
#include "os/settings_file.h"
#include "res/ids.h"
#include "res/texts.h"

#include <glib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

namespace {

constexpr int kRecentFiles = 4;
const char* const kRecentFilesGroup = "RecentFiles";

// A document manager whose recent-file list holds four entries.
class CDocManager : public wxDocManager {
public:
    CDocManager() : wxDocManager(0, false) { Initialize(); }
    wxFileHistory* OnCreateFileHistory() override { return new wxFileHistory(kRecentFiles); }
};

wxString Text(const char* utf8)
{
    return wxString::FromUTF8(utf8);
}

wxString Text(std::string_view utf8)
{
    return wxString::FromUTF8(utf8.data(), utf8.size());
}

// The recent-file list as the settings keep it: file1, the newest, to file4.
std::map<std::string, std::string> RecentFiles(const wxFileHistory& history)
{
    std::map<std::string, std::string> files;
    for (size_t i = 0; i < history.GetCount(); ++i)
        files["file" + std::to_string(i + 1)] = std::string(history.GetHistoryFile(i).fn_str());
    return files;
}

// A file name as the system gives it, whatever its bytes.
wxString FileNameText(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return wxString(error ? path.c_str() : absolute.c_str(), *wxConvFileName);
}

wxMenuBar* CreateMainMenu()
{
    auto* application = new wxMenu;
    application->Append(ID_APP_EXIT, Text(kMenuExit), Text(CommandPrompt(ID_APP_EXIT)));
    auto* apples = new wxMenu;
    apples->AppendCheckItem(ID_FLARE_SPIN, Text(kMenuFlareSpin), Text(CommandPrompt(ID_FLARE_SPIN)));
    auto* bulbs = new wxMenu;
    bulbs->AppendCheckItem(ID_LIGHT_PATTERN1, Text(kMenuPattern1), Text(CommandPrompt(ID_LIGHT_PATTERN1)));
    bulbs->AppendCheckItem(ID_LIGHT_PATTERN2, Text(kMenuPattern2), Text(CommandPrompt(ID_LIGHT_PATTERN2)));
    bulbs->AppendCheckItem(ID_LIGHT_PATTERN3, Text(kMenuPattern3), Text(CommandPrompt(ID_LIGHT_PATTERN3)));
    auto* help = new wxMenu;
    help->Append(ID_APP_ABOUT, Text(kMenuAbout), Text(CommandPrompt(ID_APP_ABOUT)));

    auto* bar = new wxMenuBar;
    bar->Append(application, Text(kMenuApplication));
    bar->Append(apples, Text(kMenuApples));
    bar->Append(bulbs, Text(kMenuBulbs));
    bar->Append(help, Text(kMenuHelp));
    return bar;
}

// The toolbar's buttons in order; 0 stands for the gap between two groups. The pattern and
// flare buttons stay pressed while their state is on.
struct ToolEntry {
    int id;
    wxItemKind kind;
};
const ToolEntry kToolbar[] = {
    {ID_APP_EXIT, wxITEM_NORMAL},
    {0, wxITEM_SEPARATOR},
    {ID_FLARE_SPIN, wxITEM_CHECK},
    {0, wxITEM_SEPARATOR},
    {ID_LIGHT_PATTERN1, wxITEM_CHECK},
    {ID_LIGHT_PATTERN2, wxITEM_CHECK},
    {ID_LIGHT_PATTERN3, wxITEM_CHECK},
    {0, wxITEM_SEPARATOR},
    {ID_LIGHT_WEAKER, wxITEM_NORMAL},
    {ID_LIGHT_STRONGER, wxITEM_NORMAL},
    {ID_SPREAD_NARROW, wxITEM_NORMAL},
    {ID_SPREAD_WIDEN, wxITEM_NORMAL},
    {0, wxITEM_SEPARATOR},
    {ID_VIEW_RESET, wxITEM_NORMAL},
    {0, wxITEM_SEPARATOR},
    {ID_APP_ABOUT, wxITEM_NORMAL},
};

void LoadToolBar(wxToolBar* bar)
{
    bar->SetToolBitmapSize(wxSize(kToolImageWidth, kToolImageHeight));
    int image = 0;
    for (const ToolEntry& tool : kToolbar) {
        if (tool.kind == wxITEM_SEPARATOR) {
            bar->AddSeparator();
            continue;
        }
        bar->AddTool(tool.id, wxString(), ToolImage(image++), wxNullBitmap, tool.kind, Text(CommandTooltip(tool.id)),
                     Text(CommandPrompt(tool.id)));
    }
    bar->Realize();
}

}  // namespace

// --- COrbelle3App ---

wxBEGIN_EVENT_TABLE(COrbelle3App, wxApp)
    EVT_MENU(ID_APP_ABOUT, COrbelle3App::OnAppAbout)
    EVT_MENU(ID_APP_EXIT, COrbelle3App::OnAppExit)
wxEND_EVENT_TABLE()

std::string COrbelle3App::s_startDocument;
SceneStart COrbelle3App::s_sceneStart;
std::string COrbelle3App::s_installedData;
bool COrbelle3App::s_bFullScreen = false;

void COrbelle3App::SetStartDocument(const std::string& path)
{
    s_startDocument = path;
}

void COrbelle3App::SetStart(const SceneStart& start, bool fullscreen)
{
    s_sceneStart = start;
    s_bFullScreen = fullscreen;
}

CMainFrame* COrbelle3App::GetMainFrame() const
{
    return dynamic_cast<CMainFrame*>(GetTopWindow());
}

bool COrbelle3App::OnInit()
{
    // The command line was read before wx started; wxApp::OnInit would read it again.
    SetAppName(kTextAppName);
    m_pDocManager = new CDocManager;
    // Oldest first: each file added goes to the top.
    m_recentFiles = ReadSettings(kRecentFilesGroup);
    for (int i = kRecentFiles; i >= 1; --i) {
        const auto file = m_recentFiles.find("file" + std::to_string(i));
        if (file != m_recentFiles.end() && !file->second.empty())
            m_pDocManager->AddFileToHistory(wxString(file->second.c_str(), *wxConvFileName));
    }
    m_recentFiles = RecentFiles(*m_pDocManager->GetFileHistory());
    // Any file may be named as the document; none is read.
    new wxDocTemplate(m_pDocManager, Text(DocumentString(DocumentField::FileTypeName)), "*", "", "",
                      Text(DocumentString(DocumentField::FileTypeId)), "COrbelle3View", CLASSINFO(COrbelle3Doc),
                      CLASSINFO(COrbelle3View));

    auto* frame = new CMainFrame(m_pDocManager);
    SetTopWindow(frame);

    wxDocument* doc = s_startDocument.empty()
                          ? m_pDocManager->CreateNewDocument()
                          : m_pDocManager->CreateDocument(FileNameText(s_startDocument), wxDOC_SILENT);
    if (!doc) {
        // wx has said why in its own words; the frame was never shown and goes at once,
        // before the document manager that its events pass through.
        delete frame;
        delete m_pDocManager;
        m_pDocManager = nullptr;
        return false;
    }
    if (s_bFullScreen)
        frame->ShowFullScreen(true, wxFULLSCREEN_ALL);
    else
        frame->Show();
    frame->Update();
    return true;
}

int COrbelle3App::OnExit()
{
    // Only the list's own keys, and only when it changed: whatever else the file holds, the
    // ornament's place among it, is another program's.
    if (m_pDocManager) {
        if (const auto files = RecentFiles(*m_pDocManager->GetFileHistory()); files != m_recentFiles)
            WriteSettings(kRecentFilesGroup, files, true);
    }
    delete m_pDocManager;
    m_pDocManager = nullptr;
    return wxApp::OnExit();
}

void COrbelle3App::OnAppAbout(wxCommandEvent&)
{
    CAboutBox box(GetTopWindow());
    box.ShowModal();
}

void COrbelle3App::OnAppExit(wxCommandEvent&)
{
    // No document is ever modified, so nothing asks before the window goes.
    if (wxWindow* frame = GetTopWindow())
        frame->Close();
}

// --- COrbelle3Doc ---

wxIMPLEMENT_DYNAMIC_CLASS(COrbelle3Doc, wxDocument);

bool COrbelle3Doc::DoOpenDocument(const wxString& file)
{
    // File names are bytes; the wx string came from them and gives them back unchanged.
    const std::string name(file.fn_str());
    std::string reason;
    std::FILE* opened = OpenRegularFile(name.c_str(), reason);
    if (!opened) {
        std::fprintf(stderr, "lumetta: cannot open %s: %s\n", ShownName(name).c_str(), reason.c_str());
        // wx's own words, with the name shown as GLib shows any file name.
        gchar* shown = g_filename_display_name(name.c_str());
        wxLogError(_("File \"%s\" could not be opened for reading."), wxString::FromUTF8(shown));
        g_free(shown);
        return false;
    }
    // Opened to be sure it can be, and nothing read: how it closes does not matter.
    (void)std::fclose(opened);
    return true;
}

// --- CMainFrame ---

CMainFrame::CMainFrame(wxDocManager* manager)
    : wxDocParentFrame(manager, nullptr, wxID_ANY, kTextFrameTitle, wxDefaultPosition, wxSize(500, 500))
{
    SetIcons(MainIcons());
    SetMenuBar(CreateMainMenu());
    m_wndToolBar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT | wxTB_TOP, AFX_IDW_TOOLBAR);
    if (m_wndToolBar)
        LoadToolBar(m_wndToolBar);
    wxAcceleratorEntry exitKey(wxACCEL_NORMAL, WXK_ESCAPE, ID_APP_EXIT);
    SetAcceleratorTable(wxAcceleratorTable(1, &exitKey));
    // The size is the whole window's, menu bar and toolbar included.
    SetSize(wxSize(500, 500));
}
