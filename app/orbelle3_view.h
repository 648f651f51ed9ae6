// The view: hosts the scene in a wxGLCanvas, drives it from paint, size and a 50 ms timer,
// and gives the scene its message boxes.
#pragma once

#include "view/scene.h"
#include "core/scene_host.h"

#include <wx/docview.h>
#include <wx/glcanvas.h>
#include <wx/timer.h>

#include <memory>

class COrbelle3View : public wxView, public CSceneHost {
public:
    COrbelle3View();
    ~COrbelle3View() override;

    bool OnCreate(wxDocument* doc, long flags) override;
    // All drawing happens in the canvas' paint handler, one frame per paint.
    void OnDraw(wxDC*) override {}
    bool OnClose(bool deleteWindow) override;
    // The frame's title stays "Lumetta" whatever the document is called.
    void OnChangeFilename() override {}

    // CSceneHost
    void ShowMessage(const std::string& text, const std::string& caption, MessageOwner owner) override;
    void DestroyView() override { OnDestroy(); }

private:
    // Stops the timer, then lets the context go. Safe to call twice.
    void OnDestroy();
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnTimer(wxTimerEvent& event);
    // The canvas' client size in pixels.
    wxSize ClientPixels() const;

    std::unique_ptr<CScene> m_pScene;
    wxGLCanvas* m_pCanvas = nullptr;  // owned by the frame
    std::unique_ptr<wxGLContext> m_hRC;
    bool m_bContextReady = false;
    bool m_bFatal = false;  // a fatal message is up; nothing more is drawn
    wxTimer m_timer;

    wxDECLARE_DYNAMIC_CLASS(COrbelle3View);
};
