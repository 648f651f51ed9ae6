// The least a wx program can do to show a GL frame: a 500 x 500 frame holding one GL canvas
// that clears itself on paint. Lumetta's first frame is measured against this one's.
#include <wx/frame.h>
#include <wx/glcanvas.h>
#include <wx/wx.h>

#include <GL/gl.h>

namespace {

wxGLAttributes CanvasAttributes()
{
    wxGLAttributes attributes;
    attributes.PlatformDefaults().RGBA().DoubleBuffer().Depth(24).EndList();
    return attributes;
}

class CBareCanvas : public wxGLCanvas {
public:
    explicit CBareCanvas(wxWindow* parent)
        : wxGLCanvas(parent, CanvasAttributes())
    {
        Bind(wxEVT_PAINT, &CBareCanvas::OnPaint, this);
    }

private:
    void OnPaint(wxPaintEvent&)
    {
        wxPaintDC dc(this);
        if (!m_context)
            m_context = new wxGLContext(this);
        SetCurrent(*m_context);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SwapBuffers();
    }
    wxGLContext* m_context = nullptr;
};

class CBareApp : public wxApp {
public:
    bool OnInit() override
    {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "Bare", wxDefaultPosition, wxSize(500, 500));
        new CBareCanvas(frame);
        frame->Show();
        return true;
    }
};

}  // namespace

wxIMPLEMENT_APP(CBareApp);
