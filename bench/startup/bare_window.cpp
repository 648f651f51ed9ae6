// The least a wx program can do to show a GL frame: a 500 x 500 frame holding one GL canvas
// that clears itself on paint. Lumetta's first frame is measured against this one's.
// Given the floor's recording of a frame (lumetta_bare_window RECORDING, from the folder
// holding panel.bmp), it draws that frame instead, with the scene's fixed state and texture:
// the least a window can do to show Lumetta's first picture.
#include "bench/floor.h"
#include "view/scene.h"

#include <wx/frame.h>
#include <wx/glcanvas.h>
#include <wx/wx.h>

#include <GL/gl.h>

#include <cstdio>
#include <memory>

namespace {

wxGLAttributes CanvasAttributes()
{
    wxGLAttributes attributes;
    attributes.PlatformDefaults().RGBA().DoubleBuffer().Depth(24).EndList();
    return attributes;
}

std::unique_ptr<FloorFrame> g_floor;  // the frame to draw, when one is given

class CBareCanvas : public wxGLCanvas {
public:
    explicit CBareCanvas(wxWindow* parent) : wxGLCanvas(parent, CanvasAttributes())
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
        if (g_floor) {
            CScene scene;
            scene.OnCreate();
            scene.OnCreateContext();
            const wxSize size = GetClientSize();
            scene.OnSize(size.x, size.y);
            CFloorRenderer(*g_floor).Draw();
        } else {
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
        SwapBuffers();
    }
    wxGLContext* m_context = nullptr;
};

}  // namespace

// Outside the unnamed namespace: wx gives the application's class a wxGetApp() of its own.
class CBareApp : public wxApp {
public:
    bool OnInit() override
    {
        if (argc > 1) {
            g_floor = std::make_unique<FloorFrame>();
            std::FILE* in = std::fopen(argv[1].utf8_str(), "rb");
            const bool read = in && g_floor->Read(in);
            if (in)
                std::fclose(in);
            if (!read) {
                std::fprintf(stderr, "lumetta_bare_window: cannot read %s\n",
                             static_cast<const char*>(argv[1].utf8_str()));
                return false;
            }
        }
        auto* frame = new wxFrame(nullptr, wxID_ANY, "Bare", wxDefaultPosition, wxSize(500, 500));
        new CBareCanvas(frame);
        frame->Show();
        return true;
    }
};

wxIMPLEMENT_APP(CBareApp);
