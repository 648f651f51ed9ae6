// The ornament as a Wayland layer surface, in the module that wayland_entry.h loads: GTK 3 with
// gtk-layer-shell makes the surface, in the bottom layer, above the wallpaper and under the
// windows, or in the top one; on one output, placed from that output's edges whatever room
// panels reserve, reserving none itself. GTK's surface stays clear and takes the clicks where
// the wreath is; the frames, drawn in a GL context with no window (os/headless_context.h), are
// shown over it on a surface of their own (frame_surface.h), only the parts that changed. A
// left-button drag moves it by the surface's margins, a right click opens its menu as a popup
// of the surface, and a click gives it the keys where the compositor can (layer-shell 4).
#pragma once

#include "ornament/surface.h"
#include "ornament/wayland/compositor_link.h"
#include "ornament/wayland/frame_surface.h"
#include "os/headless_context.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

class CLayerSurface final : public COrnamentSurface, private CCompositorLink::PointerEvents {
public:
    CLayerSurface(COrnamentEvents& events, CHeadlessContext& context);
    ~CLayerSurface() override;
    CLayerSurface(const CLayerSurface&) = delete;
    CLayerSurface& operator=(const CLayerSurface&) = delete;

    // Reaches what the compositor offers beyond GTK. Returns an empty string, or why the
    // ornament cannot hang here.
    std::string Connect();
    // The surface goes, before whoever waits for the ornament to go is told.
    void Close();

    std::vector<Monitor> Monitors() override;
    double PlaceScale() const override { return 1.0; }
    int FrameScale() const override { return m_scale; }
    std::string Show(const PlaceRect& place, bool above) override;
    void PutAt(const PlaceRect& place) override;
    void SetAbove(bool above) override;
    bool Composited() const override { return true; }
    bool WantsFrame() const override;
    void PutFrame(CScene& scene, bool whole) override;
    std::vector<std::uint8_t> ReadFrame(const CScene& scene) override;
    void SetOutline(const std::vector<OutlineRow>& rows) override;
    void ShowFrame() override { m_frames->Show(m_picture.data(), m_shown); }
    void TakeKeys(unsigned long time) override;
    void ReleaseKeys() override;
    std::string PopUpMenu(const OrnamentMenuState& state) override;

private:
    struct Output {
        GdkMonitor* monitor = nullptr;
        std::string name;
        PlaceRect rect;  // in the compositor's layout, logical pixels
    };

    // Whether the compositor gives a layer surface the keys on a click (layer-shell 4).
    static bool OnDemandKeys();
    void MakeWindow(bool above);
    void ConnectWindow();
    void Watch(GdkMonitor* monitor);
    std::vector<Output> Outputs();
    void SizeFrames();
    void CommitPlace();
    void OnClosed(int surface);
    void OnPointerButton(wl_surface* surface, double x, double y, bool pressed) override;
    void OnPointerMoved(double dx, double dy) override;
    void OnPointerOver(wl_surface* surface, bool over) override;
    wl_surface* Own() const;

    COrnamentEvents& m_events;
    CHeadlessContext& m_context;
    std::unique_ptr<CCompositorLink> m_link;
    std::unique_ptr<CFrameSurface> m_frames;
    std::vector<Output> m_outputs;
    GtkWidget* m_window = nullptr;
    GtkWidget* m_area = nullptr;
    GtkWidget* m_menu = nullptr;
    GdkEvent* m_menuClick = nullptr;  // the right click a menu pops up at
    OrnamentChoice m_chosen = OrnamentChoice::Nothing;
    std::vector<std::uint32_t> m_picture;  // the last frame, rows from the top, premultiplied ARGB
    std::vector<BufferRect> m_shown;       // the parts of it put since it was last shown
    int m_scale = 1, m_frameWidth = 0, m_frameHeight = 0;
    PlaceRect m_place;
    GdkMonitor* m_outputMonitor = nullptr;
    bool m_bClosed = false;      // the compositor closed the surface, which is to be made anew
    int m_surfaces = 0;          // surfaces made anew so far
    std::vector<int> m_closing;  // which of them the compositor closed, to be looked at
    bool m_bPressed = false, m_bAbove = false;
    double m_pressX = 0, m_pressY = 0, m_movedX = 0, m_movedY = 0;
};
