#include "window/orbelle3_view.h"

#include "x11/key_places.h"
#include "window/lumetta_app.h"
#include "x11/frame_present.h"

#include "bulbs/patterns.h"
#include "res/ids.h"
#include "view/input.h"

#include <wx/dcclient.h>
#include <wx/msgdlg.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

#include <algorithm>
#include <iterator>

namespace {

// The window smooths its edges as the exports and the ornament do: four samples a pixel.
constexpr int kWindowSamples = 4;
// The clock asks for a frame by marking this one pixel to be painted: a paint for more than it
// is the window system's, which lost what was shown (exposed, a menu closed over it, a new
// size), and then the whole frame is brought again.
const wxRect kTick(0, 0, 1, 1);

// clang-format off
const wxEventTypeTag<wxMouseEvent> kButtonEvents[] = {
    wxEVT_LEFT_DOWN,   wxEVT_LEFT_UP,   wxEVT_RIGHT_DOWN,      wxEVT_RIGHT_UP,      wxEVT_MIDDLE_DOWN,
    wxEVT_MIDDLE_UP,   wxEVT_AUX1_DOWN, wxEVT_AUX1_UP,         wxEVT_AUX2_DOWN,     wxEVT_AUX2_UP,
};
// clang-format on

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

// The scene's code for a key: arrows (the keypad's too), letters by their upper-case
// character, which wx gives for a key-down whatever Shift or Caps Lock say, and the digit
// row's keys by their place, whatever the layout types on them.
int SceneKeyCode(const wxKeyEvent& event)
{
    switch (const int code = event.GetKeyCode()) {
    case WXK_LEFT:
    case WXK_NUMPAD_LEFT:
        return VK_LEFT;
    case WXK_UP:
    case WXK_NUMPAD_UP:
        return VK_UP;
    case WXK_RIGHT:
    case WXK_NUMPAD_RIGHT:
        return VK_RIGHT;
    case WXK_DOWN:
    case WXK_NUMPAD_DOWN:
        return VK_DOWN;
    default:
        if (code >= 'A' && code <= 'Z')
            return code;
        return DigitRowKey(event.GetRawKeyFlags(), code);
    }
}

// The flag of the button that a button event is about; 0 for none.
unsigned ButtonFlag(int button)
{
    switch (button) {
    case wxMOUSE_BTN_LEFT:
        return MK_LBUTTON;
    case wxMOUSE_BTN_RIGHT:
        return MK_RBUTTON;
    case wxMOUSE_BTN_MIDDLE:
        return MK_MBUTTON;
    case wxMOUSE_BTN_AUX1:
        return MK_XBUTTON1;
    case wxMOUSE_BTN_AUX2:
        return MK_XBUTTON2;
    default:
        return 0;
    }
}

unsigned SceneMouseFlags(const wxMouseEvent& event)
{
    unsigned flags = 0;
    flags |= event.LeftIsDown() ? MK_LBUTTON : 0;
    flags |= event.RightIsDown() ? MK_RBUTTON : 0;
    flags |= event.ShiftDown() ? MK_SHIFT : 0;
    flags |= event.ControlDown() ? MK_CONTROL : 0;
    flags |= event.MiddleIsDown() ? MK_MBUTTON : 0;
    flags |= event.Aux1IsDown() ? MK_XBUTTON1 : 0;
    flags |= event.Aux2IsDown() ? MK_XBUTTON2 : 0;
    return flags;
}

}  // namespace

wxIMPLEMENT_DYNAMIC_CLASS(COrbelle3View, wxView);

wxBEGIN_EVENT_TABLE(COrbelle3View, wxView)
    EVT_MENU_RANGE(ID_FLARE_SPIN, ID_SPREAD_NARROW, COrbelle3View::OnViewCommand)
    EVT_UPDATE_UI_RANGE(ID_FLARE_SPIN, ID_LIGHT_PATTERN3, COrbelle3View::OnUpdateViewCommand)
wxEND_EVENT_TABLE()

COrbelle3View::COrbelle3View() : m_pScene(std::make_unique<CScene>()), m_cycle(COrbelle3App::GetSceneStart())
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

    wxFrame* frame = wxStaticCast(wxTheApp->GetTopWindow(), wxFrame);
    SetFrame(frame);
    m_pCanvas = new wxGLCanvas(frame, PixelFormat(), wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxFULL_REPAINT_ON_RESIZE | wxWANTS_CHARS);
    // Every pixel is painted by GL; erasing first would only flicker.
    m_pCanvas->SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_hRC = std::make_unique<wxGLContext>(m_pCanvas);

    SetSceneHost(this);
    m_pScene->SetFrameDrawing(FrameDrawing::Cached);
    m_pScene->SetSamples(kWindowSamples);
    m_pScene->OnCreate(COrbelle3App::GetInstalledData());
    ApplySceneStart(State(), COrbelle3App::GetSceneStart());

    m_pCanvas->Bind(wxEVT_PAINT, &COrbelle3View::OnPaint, this);
    m_pCanvas->Bind(wxEVT_SIZE, &COrbelle3View::OnSize, this);
    m_pCanvas->Bind(wxEVT_KEY_DOWN, &COrbelle3View::OnKeyDown, this);
    m_pCanvas->Bind(wxEVT_MOTION, &COrbelle3View::OnMouseMove, this);
    for (const auto type : kButtonEvents)
        m_pCanvas->Bind(type, &COrbelle3View::OnMouseButton, this);
    m_timer.Bind(wxEVT_TIMER, &COrbelle3View::OnTimer, this);
    m_timer.Start(kFrameMilliseconds);
    frame->SendSizeEvent();
    Activate(true);
    m_pCanvas->SetFocus();
    return true;
}

bool COrbelle3View::OnClose(bool deleteWindow)
{
    if (!wxView::OnClose(deleteWindow))
        return false;
    OnDestroy();
    // The close may come from inside one of the canvas' own events (Esc), so the canvas
    // goes once that event is over, or with the frame if that is sooner.
    if (m_pCanvas) {
        m_pCanvas->Hide();
        wxTheApp->CallAfter([canvas = m_pCanvas] {
            if (canvas)
                canvas->Destroy();
        });
    }
    return true;
}

void COrbelle3View::OnDestroy()
{
    m_timer.Stop();
    if (m_pCanvas) {
        m_pCanvas->Unbind(wxEVT_PAINT, &COrbelle3View::OnPaint, this);
        m_pCanvas->Unbind(wxEVT_SIZE, &COrbelle3View::OnSize, this);
        m_pCanvas->Unbind(wxEVT_KEY_DOWN, &COrbelle3View::OnKeyDown, this);
        m_pCanvas->Unbind(wxEVT_MOTION, &COrbelle3View::OnMouseMove, this);
        for (const auto type : kButtonEvents)
            m_pCanvas->Unbind(type, &COrbelle3View::OnMouseButton, this);
    }
    // What the scene made in the context goes with it, so that a later context starts clean.
    if (m_bContextReady) {
        if (m_pCanvas && m_hRC && m_pCanvas->SetCurrent(*m_hRC))
            m_pScene->OnDestroyContext();
        else
            m_pScene->OnContextLost();
    }
    m_pPresenter.reset();
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

// --- The canvas' events ---

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
        Display* display = wxGetX11Display();
        m_pPresenter = std::make_unique<CFramePresenter>(display, DefaultScreen(display),
                                                         static_cast<GLXDrawable>(m_pCanvas->GetXWindow()), true);
        m_bContextReady = true;
    }
    if (m_pCanvas->GetUpdateRegion().GetBox() != kTick)
        m_pPresenter->ShowWholeNext();
    m_pScene->OnDraw();
    m_pPresenter->CopyIn(*m_pScene);
    m_pPresenter->Show();
    m_glErrors.Check("while drawing a frame");
    m_cycle.AfterFrame(State());
    ++m_nFramesDrawn;
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
    // Hidden or minimised, nothing is drawn: the animation waits for it to be seen again.
    const wxTopLevelWindow* frame = wxDynamicCast(GetFrame(), wxTopLevelWindow);
    if (!m_pCanvas->IsShownOnScreen() || (frame && frame->IsIconized()))
        return;
    m_pCanvas->Refresh(false, &kTick);
}

void COrbelle3View::OnKeyDown(wxKeyEvent& event)
{
    // With Alt a key belongs to the menu bar's mnemonics, not to the scene.
    if (event.AltDown() || event.MetaDown()) {
        event.Skip();
        return;
    }
    // The scene's keys are used up here, so that the arrows never move the focus away
    // from the canvas; every other key goes on to the toolkit.
    if (!::OnKeyDown(State(), SceneKeyCode(event)))
        event.Skip();
}

void COrbelle3View::OnMouseMove(wxMouseEvent& event)
{
    event.Skip();
    MoveMouse(SceneMouseFlags(event), event.GetPosition());
}

void COrbelle3View::OnMouseButton(wxMouseEvent& event)
{
    event.Skip();  // a click still gives the canvas the focus
    // X reports motion as hints, and in a quick drag the last motion before a button goes
    // down or up can be lost; the button's own event says where the pointer went meanwhile,
    // with the buttons as they were just before it.
    const wxPoint p = event.GetPosition();
    const SceneState::Point& last = State().m_ptLast;
    if (p.x == last.x && p.y == last.y)
        return;
    const unsigned button = ButtonFlag(event.GetButton());
    const unsigned before = event.ButtonDown() ? SceneMouseFlags(event) & ~button : SceneMouseFlags(event) | button;
    MoveMouse(before, p);
}

void COrbelle3View::MoveMouse(unsigned flags, wxPoint p)
{
    // While a button is held GTK keeps reporting the pointer outside the canvas; a view
    // that does not capture the mouse sees nothing of that, so a drag that comes back in
    // measures from the last point it saw inside.
    if (!wxRect(m_pCanvas->GetClientSize()).Contains(p))
        return;
    ::OnMouseMove(State(), flags, p.x, p.y);
}

// --- The view commands ---

namespace {

// Each command of the menu and toolbar, as the scene runs it, and for those with a check
// mark, whether it is checked.
// clang-format off
const struct {
    int id;
    void (*command)(SceneState&);
    bool (*checked)(const SceneState&);  // null: no check mark
} kViewCommands[] = {
    {ID_FLARE_SPIN,     ::OnFlareSpin,     IsFlareSpinChecked},
    {ID_LIGHT_PATTERN1, ::OnLightPattern1, [](const SceneState& s) { return IsPatternChecked(s, 1); }},
    {ID_LIGHT_PATTERN2, ::OnLightPattern2, [](const SceneState& s) { return IsPatternChecked(s, 2); }},
    {ID_LIGHT_PATTERN3, ::OnLightPattern3, [](const SceneState& s) { return IsPatternChecked(s, 3); }},
    {ID_LIGHT_STRONGER, ::OnLightStronger, nullptr},
    {ID_LIGHT_WEAKER,   ::OnLightWeaker,   nullptr},
    {ID_VIEW_RESET,     ::OnViewReset,     nullptr},
    {ID_SPREAD_WIDEN,   ::OnSpreadWiden,   nullptr},
    {ID_SPREAD_NARROW,  ::OnSpreadNarrow,  nullptr},
};
// clang-format on

const auto* ViewCommand(int id)
{
    const auto* row = std::find_if(std::begin(kViewCommands), std::end(kViewCommands),
                                   [id](const auto& command) { return command.id == id; });
    return row == std::end(kViewCommands) ? nullptr : row;
}

}  // namespace

void COrbelle3View::OnViewCommand(wxCommandEvent& event)
{
    if (const auto* row = ViewCommand(event.GetId()))
        row->command(State());
}

void COrbelle3View::OnUpdateViewCommand(wxUpdateUIEvent& event)
{
    if (const auto* row = ViewCommand(event.GetId()); row && row->checked)
        event.Check(row->checked(State()));
}
