#include "ornament/ornament.h"

#include "os/settings_file.h"
#include "view/input.h"

#include <glib-unix.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

// How far the default place stands in from the primary monitor's top right corner.
constexpr int kMargin = 48;
// How long the last save may wait for another program's lock as the ornament ends.
constexpr int kLastSaveMilliseconds = 500;

void Say(const std::string& line)
{
    std::fprintf(stderr, "lumetta: %s\n", line.c_str());
}

std::string SizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

int OrnamentSamples(bool composited, int width, int height)
{
    constexpr long kMostSmoothedPixels = 1024L * 1024;
    return composited && static_cast<long>(width) * height <= kMostSmoothedPixels ? 4 : 1;
}

COrnament::COrnament(const OrnamentStart& start, CScene& scene)
    : m_start(start), m_options(*start.options), m_scene(scene), m_choices(m_options, *this, m_saver)
{
}

COrnament::~COrnament()
{
    for (const unsigned source : m_sources)
        g_source_remove(source);
    if (m_loop)
        g_main_loop_unref(m_loop);
}

int COrnament::Run(COrnamentSurface& surface)
{
    m_pSurface = &surface;
    if (const std::string error = Start(); !error.empty()) {
        Say(error);
        return 1;
    }
    SceneState& state = m_scene.State();
    m_scene.OnCreateContext();
    state.m_fDistance = kWholeWreathDistance;
    const SceneStart start = m_choices.Start();
    ApplySceneStart(state, start);
    m_cycle = std::make_unique<CPatternCycle>(start);

    m_loop = g_main_loop_new(nullptr, FALSE);
    m_sources.push_back(g_timeout_add(
        kFrameMilliseconds,
        +[](gpointer self) -> gboolean {
            static_cast<COrnament*>(self)->Turn();
            return G_SOURCE_CONTINUE;
        },
        this));
    m_sources.push_back(g_unix_fd_add(
        m_start.wakeDescriptor, G_IO_IN,
        +[](gint, GIOCondition, gpointer self) -> gboolean {
            static_cast<COrnament*>(self)->TakeDown();
            return G_SOURCE_CONTINUE;
        },
        this));
    if (m_start.claim) {
        // Requests are answered at once, and on every turn those still coming are read on.
        m_sources.push_back(g_unix_fd_add(
            m_start.claim->ListenDescriptor(), G_IO_IN,
            +[](gint, GIOCondition, gpointer self) -> gboolean {
                auto* ornament = static_cast<COrnament*>(self);
                for (const OrnamentRequest& request : ornament->m_start.claim->Serve())
                    ornament->m_choices.Apply(request, ornament->m_scene.State());
                return G_SOURCE_CONTINUE;
            },
            this));
    }
    if (m_start.caught() == 0 && m_status == 0)
        g_main_loop_run(m_loop);
    m_saver.Finish(kLastSaveMilliseconds);
    m_scene.OnDestroyContext();
    m_pSurface = nullptr;
    return m_status;
}

// Where it starts, at what size, and shown there.
std::string COrnament::Start()
{
    m_monitors = m_pSurface->Monitors();
    if (m_monitors.empty())
        return "there is no monitor to hang the ornament on";
    const OrnamentKept& kept = m_choices.Kept();
    m_side = kept.side;
    int width = Places(m_side), height = width;
    const bool given = m_options.geometry.width > 0;
    if (given) {
        width = m_options.geometry.width;
        height = m_options.geometry.height;
    }
    bool moved = false;
    PlaceRect place = StartPlace(m_options.geometry, kept, m_monitors, width, height, kMargin, moved);
    if (Fit(place, width, height)) {
        if (given)
            Say("--geometry " + m_options.geometryText + " is larger than its monitor; the ornament is " +
                SizeText(width, height) + " instead");
        place = StartPlace(m_options.geometry, kept, m_monitors, width, height, kMargin, moved);
    }
    if (moved)
        Say("--geometry " + m_options.geometryText + " is on no monitor; the ornament hangs at +" +
            std::to_string(place.x) + "+" + std::to_string(place.y) + " instead");
    if (given || width != Places(m_side))
        m_side = std::max(1, static_cast<int>(std::lround(width / m_pSurface->PlaceScale())));
    m_place = place;
    m_on = m_monitors[static_cast<std::size_t>(MonitorOf(RectsOf(m_monitors), place))];
    return m_pSurface->Show(place, kept.above);
}

int COrnament::Places(int side) const
{
    return static_cast<int>(std::lround(side * m_pSurface->PlaceScale()));
}

bool COrnament::Fit(const PlaceRect& place, int& width, int& height) const
{
    const std::vector<PlaceRect> rects = RectsOf(m_monitors);
    const int on = MonitorOf(rects, place);
    return on >= 0 && FitOnMonitor(rects[static_cast<std::size_t>(on)], width, height);
}

// One turn of the clock: requests, saves and keys looked after, then a frame when one is
// wanted. Hidden, on a blanked screen or not asked for by the compositor, it only keeps its
// time.
void COrnament::Turn()
{
    if (!std::exchange(m_bTurned, true) && m_start.started)
        m_start.started();
    if (m_start.caught() != 0) {
        TakeDown();
        return;
    }
    if (m_start.claim) {
        for (const OrnamentRequest& request : m_start.claim->Serve())
            m_choices.Apply(request, m_scene.State());
    }
    m_saver.Turn();
    // The keys are the ornament's from a click on it until the pointer leaves it.
    if (m_bKeys && !m_bPointerOver && !m_bButtonHeld && !m_bMenuOpen) {
        m_pSurface->ReleaseKeys();
        m_bKeys = false;
    }
    if (m_status == 0 && m_pSurface->WantsFrame() && m_frameWidth > 0)
        DrawFrame();
}

void COrnament::DrawFrame()
{
    if (m_bSizeStale) {
        m_scene.OnSize(m_frameWidth, m_frameHeight);
        m_bSizeStale = false;
        m_bSamplesStale = m_bOutlineStale = m_bWholeNext = true;
    }
    // Its size or the compositor changed, or it just started: smooth edges where they show.
    if (m_bSamplesStale) {
        m_scene.SetSamples(OrnamentSamples(m_pSurface->Composited(), m_frameWidth, m_frameHeight));
        m_bSamplesStale = false;
    }
    m_scene.OnDraw();
    m_pSurface->PutFrame(m_scene, m_bWholeNext);
    // The flares' tips reach past the apples as they turn; the outline is set before the frame
    // is shown, so that the two agree.
    if (m_bOutlineStale || m_scene.State().m_bFlareSpin)
        FollowOutline();
    m_pSurface->ShowFrame();
    m_glErrors.Check("while drawing a frame");
    m_cycle->AfterFrame(m_scene.State());
    m_bWholeNext = false;
}

void COrnament::FollowOutline()
{
    const std::vector<std::uint8_t> rgba = m_pSurface->ReadFrame(m_scene);
    std::vector<OutlineRow> rows = CoveredRows(rgba.data(), m_frameWidth, m_frameHeight);
    if (m_bOutlineStale || rows != m_outline) {
        m_pSurface->SetOutline(rows);
        m_outline = std::move(rows);
    }
    m_bOutlineStale = false;
}

// --- Input ---

void COrnament::OnPress(unsigned long time)
{
    m_pSurface->TakeKeys(time);
    m_bKeys = m_bButtonHeld = true;
    m_bDragging = !m_choices.Kept().locked;
    m_bMoved = false;
    m_dragFrom = m_place;
}

void COrnament::OnDrag(double dx, double dy)
{
    if (!m_bDragging)
        return;
    PlaceRect to = m_dragFrom;
    to.x = std::clamp(m_dragFrom.x + static_cast<int>(std::lround(dx)), -kMostPlace, kMostPlace);
    to.y = std::clamp(m_dragFrom.y + static_cast<int>(std::lround(dy)), -kMostPlace, kMostPlace);
    if (to == m_place)
        return;
    PutAt(to);
    m_bMoved = true;
}

void COrnament::OnRelease()
{
    m_bButtonHeld = false;
    if (!std::exchange(m_bDragging, false) || !std::exchange(m_bMoved, false))
        return;
    // Dropped across monitors, it goes wholly onto the one that holds most of it; only a drag
    // is the user's own place.
    PutAt(OntoItsMonitor(RectsOf(m_monitors), m_place));
    KeepPlace();
}

void COrnament::OnMenuAsked(unsigned long time)
{
    // A click that comes between the menu going and its choice being told (which waits for the
    // toolkit's turn) is for a new menu, opened once the last one is done.
    if (m_bMenuOpen) {
        m_menuAgain = time;
        m_bMenuAgain = true;
        return;
    }
    m_pSurface->TakeKeys(time);
    m_bKeys = m_bMenuOpen = true;
    if (const std::string error = m_pSurface->PopUpMenu(m_choices.MenuState(m_scene.State(), m_side)); !error.empty()) {
        Say("the ornament's menu cannot open: " + error);
        m_bMenuOpen = false;
    }
}

void COrnament::OnMenuClosed(OrnamentChoice choice)
{
    m_bMenuOpen = false;
    m_choices.Choose(choice, m_scene.State(), m_side);
    if (std::exchange(m_bMenuAgain, false))
        OnMenuAsked(m_menuAgain);
}

void COrnament::OnKey(int sceneCode, bool escape)
{
    // Keys meant for the menu that come before it holds the keyboard act on nothing.
    if (m_bMenuOpen)
        return;
    if (escape)
        TakeDown();
    else if (m_choices.Key(sceneCode, m_scene.State()))
        m_bOutlineStale = true;
}

// --- The window system's news ---

void COrnament::OnPlaced(const PlaceRect& place)
{
    m_place = place;
}

void COrnament::OnFrameSize(int width, int height)
{
    if (width == m_frameWidth && height == m_frameHeight)
        return;
    m_frameWidth = width;
    m_frameHeight = height;
    m_bSizeStale = true;
}

// It keeps its place on its monitor, which may have moved in the layout; off it now, or with
// its monitor gone, it comes onto the nearest, and the place the user chose stays kept for
// when that monitor comes back.
void COrnament::OnMonitorsChanged()
{
    std::vector<Monitor> monitors = m_pSurface->Monitors();
    if (monitors.empty())
        return;  // it waits for one
    m_monitors = std::move(monitors);
    PlaceRect place = m_place;
    const auto same = std::find_if(m_monitors.begin(), m_monitors.end(),
                                   [&](const Monitor& m) { return !m_on.name.empty() && m.name == m_on.name; });
    if (same != m_monitors.end()) {
        place.x += same->rect.x - m_on.rect.x;
        place.y += same->rect.y - m_on.rect.y;
    }
    const std::vector<PlaceRect> mine = same != m_monitors.end() ? std::vector<PlaceRect>{same->rect}
                                                                 : RectsOf(m_monitors);
    if (!SeenOnAMonitor(mine, place))
        place = OntoNearestMonitor(mine, place);
    PutAt(place);
}

void COrnament::TakeDown()
{
    if (m_loop)
        g_main_loop_quit(m_loop);
}

void COrnament::Fail(const std::string& line)
{
    Say(line);
    m_status = 1;
    TakeDown();
}

// --- Places ---

void COrnament::PutAt(const PlaceRect& place)
{
    m_place = place;
    const int on = MonitorOf(RectsOf(m_monitors), place);
    if (on >= 0)
        m_on = m_monitors[static_cast<std::size_t>(on)];
    m_pSurface->PutAt(place);
}

PlaceRect COrnament::Resized(int width, int height) const
{
    const PlaceRect resized = {m_place.x + (m_place.width - width) / 2, m_place.y + (m_place.height - height) / 2,
                               width, height};
    return OntoItsMonitor(RectsOf(m_monitors), resized);
}

void COrnament::KeepPlace()
{
    if (!m_on.name.empty())
        m_saver.Keep({{kKeptOutput, m_on.name},
                      {kKeptOutputX, std::to_string(m_place.x - m_on.rect.x)},
                      {kKeptOutputY, std::to_string(m_place.y - m_on.rect.y)}});
    else
        m_saver.Keep({{kKeptX, std::to_string(m_place.x)}, {kKeptY, std::to_string(m_place.y)}});
}

// --- COrnamentWindow ---

void COrnament::SetAbove(bool above)
{
    m_pSurface->SetAbove(above);
}

void COrnament::SetSide(int side)
{
    int width = Places(side), height = width;
    Fit(m_place, width, height);
    m_side = side;
    PutAt(Resized(width, height));
    // Its centre stays where it was, this time and the next.
    KeepPlace();
}

void COrnament::TakeGeometry(const Geometry& geometry)
{
    PlaceRect place = m_place;
    if (geometry.width > 0) {
        int width = geometry.width, height = geometry.height;
        Fit(m_place, width, height);
        m_side = std::max(1, static_cast<int>(std::lround(width / m_pSurface->PlaceScale())));
        place = Resized(width, height);
    }
    if (geometry.placed)
        place = OntoNearestMonitor(RectsOf(m_monitors),
                                   GeometryPlace(geometry, LayoutOf(RectsOf(m_monitors)), place.width, place.height));
    PutAt(place);
}
