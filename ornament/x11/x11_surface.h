// The ornament as an X11 window (Xwayland's on a Wayland desktop): the window itself is
// argb_window.h's; this adapts its events, the X server's monitors and compositor, the frames
// brought to it a changed tile at a time, and its GTK menu, to the ornament.
#pragma once

#include "ornament/surface.h"
#include "ornament/x11/argb_window.h"
#include "x11/frame_present.h"

#include <X11/Xlib.h>
#include <glib.h>

#include <chrono>
#include <memory>

class CX11Surface final : public COrnamentSurface {
public:
    // On display, taking requests on claimWindow (x11_control.h); tells events what happens.
    CX11Surface(Display* display, Window claimWindow, COrnamentEvents& events);
    ~CX11Surface() override;
    CX11Surface(const CX11Surface&) = delete;
    CX11Surface& operator=(const CX11Surface&) = delete;

    std::vector<Monitor> Monitors() override;
    double PlaceScale() const override { return m_scale; }
    int FrameScale() const override { return 1; }
    std::string Show(const PlaceRect& place, bool above) override;
    void PutAt(const PlaceRect& place) override;
    void SetAbove(bool above) override { m_window.SetAbove(above); }
    bool Composited() const override { return m_window.CompositorRunning(); }
    bool WantsFrame() const override;
    void PutFrame(CScene& scene, bool whole) override;
    std::vector<std::uint8_t> ReadFrame(const CScene& scene) override;
    void SetOutline(const std::vector<OutlineRow>& rows) override { m_window.SetOutline(rows); }
    void ShowFrame() override { m_pPresenter->Show(); }
    void TakeKeys(unsigned long time) override { m_window.TakeKeys(static_cast<Time>(time)); }
    void ReleaseKeys() override { m_window.ReleaseKeys(); }
    std::string PopUpMenu(const OrnamentMenuState& state) override;

private:
    void OnEvent(XEvent& event);
    void OnButton(const XButtonEvent& button, bool pressed);
    void OnConfigure(const XConfigureEvent& configure);
    void OnClientMessage(const XClientMessageEvent& message);

    Display* const m_d;
    const Window m_claimWindow;
    COrnamentEvents& m_events;
    CArgbWindow m_window;
    std::unique_ptr<CFramePresenter> m_pPresenter;
    const double m_scale;
    PlaceRect m_put;
    GSource* m_source = nullptr;
    int m_randrEvent = -1, m_fixesEvent = 0;
    bool m_bFixes = false, m_bMapped = false, m_bMenuLoaded = false;
    mutable bool m_bBlanked = false;
    mutable std::chrono::steady_clock::time_point m_nextBlankCheck;
    int m_pressX = 0, m_pressY = 0, m_menuX = 0, m_menuY = 0;
    bool m_bPressed = false;
};
