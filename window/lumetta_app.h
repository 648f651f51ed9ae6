// The wx shell: application, document manager, document and main frame. The view lives in
// orbelle3_view.h, the about box in about_box.h.
#pragma once

#include "view/scene_start.h"

#include <wx/docview.h>
#include <wx/toolbar.h>
#include <wx/wx.h>

#include <map>
#include <memory>
#include <string>

class CMainFrame;

class COrbelle3App : public wxApp {
public:
    // The document to open at start; empty for a new, empty document.
    static void SetStartDocument(const std::string& path);
    // How the scene starts, and whether the window opens full screen.
    static void SetStart(const SceneStart& start, bool fullscreen);
    static const SceneStart& GetSceneStart() { return s_sceneStart; }
    // The installed data folder, where the backdrop picture is when the current folder has none.
    static void SetInstalledData(const std::string& folder) { s_installedData = folder; }
    static const std::string& GetInstalledData() { return s_installedData; }

    // Settings, document template, the start document with its frame and view, then the
    // frame shown and painted. False, with no window left, when the document cannot be had.
    bool OnInit() override;
    // Writes the recent-file list back to the settings.
    int OnExit() override;

    wxDocManager* GetDocManager() const { return m_pDocManager; }
    CMainFrame* GetMainFrame() const;

private:
    void OnAppAbout(wxCommandEvent& event);
    void OnAppExit(wxCommandEvent& event);

    std::map<std::string, std::string> m_recentFiles;  // as read at the start
    wxDocManager* m_pDocManager = nullptr;
    static std::string s_startDocument;
    static SceneStart s_sceneStart;
    static std::string s_installedData;
    static bool s_bFullScreen;

    wxDECLARE_EVENT_TABLE();
};

wxDECLARE_APP(COrbelle3App);

// The document holds and stores nothing.
class COrbelle3Doc : public wxDocument {
public:
    // Succeeds when file is a regular file that can be read; reads none of it. Otherwise
    // says so in a message box, and the reason on stderr.
    bool DoOpenDocument(const wxString& file) override;

private:
    wxDECLARE_DYNAMIC_CLASS(COrbelle3Doc);
};

// The frame: the menu bar, the toolbar, Esc as the one accelerator, and the view's canvas
// below them. Its title stays "Lumetta" whatever the document is called.
class CMainFrame : public wxDocParentFrame {
public:
    explicit CMainFrame(wxDocManager* manager);

private:
    wxToolBar* m_wndToolBar = nullptr;
};
