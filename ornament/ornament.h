// Lumetta as an ornament hung on the desktop: the wreath alone, with no frame and no backdrop,
// its bulbs blinking, and the desktop and its windows showing through wherever the wreath is
// not. It hangs below ordinary windows (or above), on every workspace, out of the taskbar,
// pager and window switcher, on one monitor. Clicks pass through but on the wreath, which a
// left-button drag moves and a right click opens its menu on; a click gives it the keys until
// the pointer leaves it. What the user chose is kept in the settings file for the next one.
//
// This is what it is and does, written once: its loop (draw, outline, show), its place and
// size, its choices, what others ask of it and what it keeps. Each way to the screen is a
// COrnamentSurface (surface.h): an X11 window (x11/) or a Wayland layer surface (wayland/).
#pragma once

#include "bulbs/patterns.h"
#include "ornament/choices.h"
#include "ornament/control.h"
#include "ornament/kept.h"
#include "ornament/options.h"
#include "ornament/surface.h"
#include "view/gl_check.h"
#include "view/scene.h"

#include <glib.h>

#include <memory>
#include <string>
#include <vector>

// The samples a pixel the ornament draws with at width x height: where a compositor shows its
// alpha, four, so that its edges blend into what is behind it; one where the window is cut to
// its outline instead, whose edge is a pixel's either way, and for more than a million pixels
// (1024 x 1024), where four samples of the kept and the drawn frame would hold more than 64
// MiB all day.
int OrnamentSamples(bool composited, int width, int height);

// What a way of hanging it is given by the program.
struct OrnamentStart {
    const OrnamentOptions* options = nullptr;
    std::string installedFolder;
    CRuntimeClaim* claim = nullptr;  // the desktop's place taken in the runtime folder, or null
    int wakeDescriptor = -1;         // readable once an end signal is caught
    int (*caught)() = nullptr;       // the end signal caught, or 0
    void (*started)() = nullptr;     // called once, as its clock first turns: its start is over
};

class COrnament final : public COrnamentEvents, private COrnamentWindow {
public:
    // Reads what was kept; touches no window system and no GL.
    COrnament(const OrnamentStart& start, CScene& scene);
    ~COrnament() override;
    COrnament(const COrnament&) = delete;
    COrnament& operator=(const COrnament&) = delete;

    // Shows it on surface, whose GL context is current for the scene, and runs it until it is
    // taken down (an end signal, Esc, its menu, --stop, its window gone). Returns the exit
    // status: 0, or 1 when it could not be shown or could not go on (said in one line).
    int Run(COrnamentSurface& surface);

    // --- COrnamentEvents ---
    void OnPress(unsigned long time) override;
    void OnRelease() override;
    void OnDrag(double dx, double dy) override;
    void OnPointerOver(bool over) override { m_bPointerOver = over; }
    void OnMenuAsked(unsigned long time) override;
    void OnMenuClosed(OrnamentChoice choice) override;
    void OnKey(int sceneCode, bool escape) override;
    void OnPlaced(const PlaceRect& place) override;
    void OnFrameSize(int width, int height) override;
    void OnMonitorsChanged() override;
    void OnCompositorChanged() override { m_bSamplesStale = m_bOutlineStale = true; }
    void OnExposed() override { m_bWholeNext = true; }
    void OnRequest(const OrnamentRequest& request) override { m_choices.Apply(request, m_scene.State()); }
    void TakeDown() override;
    void Fail(const std::string& line) override;

private:
    // --- COrnamentWindow: what its choices and handed requests ask ---
    void SetAbove(bool above) override;
    void SetSide(int side) override;
    void TakeGeometry(const Geometry& geometry) override;

    std::string Start();
    void Turn();
    void DrawFrame();
    void FollowOutline();
    // width x height of places made to fit the monitor that place is on; whether they had to be.
    bool Fit(const PlaceRect& place, int& width, int& height) const;
    // Puts the ornament at place, and notes the monitor it is on.
    void PutAt(const PlaceRect& place);
    // place, resized about its centre to width x height and kept wholly on its monitor.
    PlaceRect Resized(int width, int height) const;
    // The place now, kept for the next ornament.
    void KeepPlace();
    int Places(int side) const;

    const OrnamentStart& m_start;
    const OrnamentOptions& m_options;
    CScene& m_scene;
    CKeptSaver m_saver;
    COrnamentChoices m_choices;
    std::unique_ptr<CPatternCycle> m_cycle;
    CGlErrorCheck m_glErrors;
    COrnamentSurface* m_pSurface = nullptr;
    GMainLoop* m_loop = nullptr;
    std::vector<unsigned> m_sources;
    int m_status = 0;

    std::vector<Monitor> m_monitors;
    PlaceRect m_place;                  // in the desktop's layout
    Monitor m_on;                       // the monitor it was put on, as it was then
    PlaceRect m_dragFrom;               // where a drag started
    int m_side = kDefaultOrnamentSide;  // at scale 1
    int m_frameWidth = 0, m_frameHeight = 0;
    std::vector<OutlineRow> m_outline;
    bool m_bSizeStale = true, m_bSamplesStale = true, m_bOutlineStale = true, m_bWholeNext = true;
    bool m_bButtonHeld = false, m_bDragging = false, m_bMoved = false;
    bool m_bKeys = false, m_bPointerOver = false, m_bMenuOpen = false;
    bool m_bTurned = false;
    bool m_bMenuAgain = false;      // a click for the menu came while the last one was going
    unsigned long m_menuAgain = 0;  // at this time
};
