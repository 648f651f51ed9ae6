// The view: hosts the scene in a wxGLCanvas, drives it from paint, size and a 50 ms timer,
// turns the canvas' keys and mouse moves and the frame's commands into scene input, and
// gives the scene its message boxes.
#pragma once

#include "core/scene_host.h"
#include "view/gl_check.h"
#include "view/input.h"
#include "view/scene_start.h"
#include "view/scene.h"

#include <wx/docview.h>
#include <wx/glcanvas.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <memory>

// x11/frame_present.h, which brings X's macros with it.
class CFramePresenter;

class COrbelle3View : public wxView, public CSceneHost {
public:
    COrbelle3View();
    ~COrbelle3View() override;

    // Makes the canvas in the main frame, reads the backdrop picture (a missing one ends the
    // program), starts the frame timer and gives the canvas the keyboard focus.
    bool OnCreate(wxDocument* doc, long flags) override;
    // All drawing happens in the canvas' paint handler, one frame per paint: over the still
    // parts kept, with smooth edges, and only what changed brought to the canvas' window.
    void OnDraw(wxDC*) override {}
    // Lets go of the context and the canvas.
    bool OnClose(bool deleteWindow) override;
    // The frame's title stays "Lumetta" whatever the document is called.
    void OnChangeFilename() override {}

    // CSceneHost
    void ShowMessage(const std::string& text, const std::string& caption, MessageOwner owner) override;
    void DestroyView() override { OnDestroy(); }

    CScene& Scene() { return *m_pScene; }
    wxGLCanvas* GetCanvas() const { return m_pCanvas; }
    // Frames drawn since the view was made.
    long FramesDrawn() const { return m_nFramesDrawn; }

private:
    // Stops the timer, then lets the context go. Safe to call twice.
    void OnDestroy();
    // The canvas' events.
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnTimer(wxTimerEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void OnMouseButton(wxMouseEvent& event);
    // A mouse move to p in client pixels with the given buttons and keys held, if p lies
    // inside the canvas.
    void MoveMouse(unsigned flags, wxPoint p);
    // The view commands of the menu and toolbar, and their check marks.
    void OnViewCommand(wxCommandEvent& event);
    void OnUpdateViewCommand(wxUpdateUIEvent& event);

    // The canvas' client size in physical pixels.
    wxSize ClientPixels() const;
    SceneState& State() { return m_pScene->State(); }

    std::unique_ptr<CScene> m_pScene;
    // A child of the main frame, destroyed by the view when it closes or with the frame,
    // whichever comes first.
    wxWeakRef<wxGLCanvas> m_pCanvas;
    std::unique_ptr<wxGLContext> m_hRC;
    std::unique_ptr<CFramePresenter> m_pPresenter;  // brings the frames to the canvas' window
    bool m_bContextReady = false;
    bool m_bFatal = false;  // a fatal message is up; nothing more is drawn
    wxTimer m_timer;
    CGlErrorCheck m_glErrors;
    CPatternCycle m_cycle;
    long m_nFramesDrawn = 0;

    wxDECLARE_DYNAMIC_CLASS(COrbelle3View);
    wxDECLARE_EVENT_TABLE();
};
