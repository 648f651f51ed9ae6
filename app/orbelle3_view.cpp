#include "app/orbelle3_view.h"

#include <wx/dcclient.h>
#include <wx/msgdlg.h>

namespace {

constexpr int kFrameMilliseconds = 50;

// Double-buffered RGBA with a 32-bit depth buffer; where the display offers no 32-bit
// depth, 24 bits serve the scene as well.
wxGLAttributes PixelFormat()
{
    wxGLAttributes attrs;
    attrs.PlatformDefaults().RGBA().DoubleBuffer().Depth(32).EndList();
    if (wxGLCanvas::IsDisplaySupported(attrs))
        return attrs;
    wxGLAttributes fallback;
    fallback.PlatformDefaults().RGBA().DoubleBuffer().Depth(24).EndList();
    return fallback;
}

}  // namespace

wxIMPLEMENT_DYNAMIC_CLASS(COrbelle3View, wxView);

COrbelle3View::COrbelle3View() : m_pScene(std::make_unique<CScene>())
{
}

COrbelle3View::~COrbelle3View()
{
    OnDestroy();
}

bool COrbelle3View::OnCreate(wxDocument* doc, long flags)
{
    if (!wxView::OnCreate(doc, flags))
        return false;

    wxWindow* frame = wxTheApp->GetTopWindow();
    m_pCanvas = new wxGLCanvas(frame, PixelFormat(), wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxFULL_REPAINT_ON_RESIZE | wxWANTS_CHARS);
    // Every pixel is painted by GL; erasing first would only flicker.
    m_pCanvas->SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_hRC = std::make_unique<wxGLContext>(m_pCanvas);

    SetSceneHost(this);
    m_pScene->OnCreate();

    m_pCanvas->Bind(wxEVT_PAINT, &COrbelle3View::OnPaint, this);
    m_pCanvas->Bind(wxEVT_SIZE, &COrbelle3View::OnSize, this);
    m_timer.Bind(wxEVT_TIMER, &COrbelle3View::OnTimer, this);
    m_timer.Start(kFrameMilliseconds);
    frame->Layout();
    m_pCanvas->SetFocus();
    return true;
}

bool COrbelle3View::OnClose(bool deleteWindow)
{
    if (!wxView::OnClose(deleteWindow))
        return false;
    OnDestroy();
    return true;
}

void COrbelle3View::OnDestroy()
{
    m_timer.Stop();
    if (m_pCanvas) {
        m_pCanvas->Unbind(wxEVT_PAINT, &COrbelle3View::OnPaint, this);
        m_pCanvas->Unbind(wxEVT_SIZE, &COrbelle3View::OnSize, this);
    }
    m_hRC.reset();
    m_bContextReady = false;
    SetSceneHost(nullptr);
}

void COrbelle3View::ShowMessage(const std::string& text, const std::string& caption, MessageOwner owner)
{
    // The box comes from inside a frame or the view's creation and the process ends after
    // it: no further frame may start while it waits, half-way through the one before.
    m_timer.Stop();
    m_bFatal = true;
    wxWindow* parent = owner == MessageOwner::View ? static_cast<wxWindow*>(m_pCanvas) : wxWindow::FindFocus();
    wxMessageDialog box(parent, wxString::FromUTF8(text), wxString::FromUTF8(caption), wxOK | wxICON_NONE);
    box.ShowModal();
}

wxSize COrbelle3View::ClientPixels() const
{
    return m_pCanvas->GetClientSize() * m_pCanvas->GetContentScaleFactor();
}

void COrbelle3View::OnPaint(wxPaintEvent&)
{
    // A wxPaintDC must exist during a paint handler even though GL does the drawing.
    wxPaintDC dc(m_pCanvas);
    if (m_bFatal || !m_hRC || !m_pCanvas->SetCurrent(*m_hRC))
        return;
    // On GTK a context can first be made current once the canvas is on screen, so the GL
    // half of the view's creation happens on its first paint.
    if (!m_bContextReady) {
        m_pScene->OnCreateContext();
        const wxSize size = ClientPixels();
        m_pScene->OnSize(size.x, size.y);
        m_bContextReady = true;
    }
    m_pScene->OnDraw();
    m_pCanvas->SwapBuffers();
}

void COrbelle3View::OnSize(wxSizeEvent& event)
{
    event.Skip();
    if (m_bContextReady && m_pCanvas->SetCurrent(*m_hRC)) {
        const wxSize size = ClientPixels();
        m_pScene->OnSize(size.x, size.y);
    }
    m_pCanvas->Refresh(false);
}

void COrbelle3View::OnTimer(wxTimerEvent&)
{
    m_pCanvas->Refresh(false);
}
