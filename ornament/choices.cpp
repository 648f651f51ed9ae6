#include "ornament/choices.h"

#include "bulbs/patterns.h"
#include "ornament/autostart.h"
#include "os/modules.h"
#include "os/settings_file.h"
#include "view/input.h"

#include <string>

namespace {

void SelectPattern(SceneState& state, int pattern)
{
    void (*const select[])(SceneState&) = {OnLightPattern1, OnLightPattern2, OnLightPattern3};
    select[pattern - 1](state);
}

}  // namespace

COrnamentChoices::COrnamentChoices(const OrnamentOptions& options, COrnamentWindow& window, CKeptSaver& saver)
    : m_options(options), m_window(window), m_saver(saver), m_kept(ReadKept(ReadSettings(kKeptGroup)))
{
    if (options.patternGiven)
        m_kept.pattern = options.start.pattern;
    m_kept.spin = m_kept.spin || options.start.spin;
    m_kept.above = m_kept.above || options.above;
}

SceneStart COrnamentChoices::Start() const
{
    SceneStart start = m_options.start;
    start.pattern = m_kept.pattern;
    start.spin = m_kept.spin;
    return start;
}

OrnamentMenuState COrnamentChoices::MenuState(const SceneState& state, int side) const
{
    OrnamentMenuState shown;
    shown.pattern = state.m_nPattern;
    shown.spin = state.m_bFlareSpin != 0;
    shown.canShrink = NextSide(side, false) != side;
    shown.canGrow = NextSide(side, true) != side;
    shown.above = m_kept.above;
    shown.locked = m_kept.locked;
    shown.atLogin = StartsAtLogin();
    return shown;
}

void COrnamentChoices::Choose(OrnamentChoice choice, SceneState& state, int side)
{
    switch (choice) {
    case OrnamentChoice::Nothing:
        break;
    case OrnamentChoice::Pattern1:
    case OrnamentChoice::Pattern2:
    case OrnamentChoice::Pattern3: {
        const int pattern = static_cast<int>(choice) - static_cast<int>(OrnamentChoice::Pattern1) + 1;
        SelectPattern(state, pattern);
        m_saver.Keep({{kKeptPattern, std::to_string(pattern)}});
        break;
    }
    case OrnamentChoice::Flares:
        OnFlareSpin(state);
        m_saver.Keep({{kKeptSpin, std::to_string(state.m_bFlareSpin)}});
        break;
    case OrnamentChoice::Smaller:
    case OrnamentChoice::Larger:
        if (const int next = NextSide(side, choice == OrnamentChoice::Larger); next != side) {
            m_window.SetSide(next);
            m_saver.Keep({{kKeptSide, std::to_string(next)}});
        }
        break;
    case OrnamentChoice::KeepAbove:
        m_kept.above = !m_kept.above;
        m_window.SetAbove(m_kept.above);
        m_saver.Keep({{kKeptAbove, std::to_string(m_kept.above ? 1 : 0)}});
        break;
    case OrnamentChoice::Locked:
        m_kept.locked = !m_kept.locked;
        m_saver.Keep({{kKeptLocked, std::to_string(m_kept.locked ? 1 : 0)}});
        break;
    case OrnamentChoice::AtLogin:
        SetStartAtLogin(!StartsAtLogin(), ProgramPath());
        break;
    case OrnamentChoice::TakeDown:
        m_window.TakeDown();
        break;
    }
}

bool COrnamentChoices::Key(int code, SceneState& state)
{
    if (code == 0 || !::OnKeyDown(state, code))
        return false;
    if (code == 'R')
        state.m_fDistance = kWholeWreathDistance;
    if (code >= '1' && code <= '3')
        m_saver.Keep({{kKeptPattern, std::to_string(state.m_nPattern)}});
    else if (code == 'A')
        m_saver.Keep({{kKeptSpin, std::to_string(state.m_bFlareSpin)}});
    return true;
}

void COrnamentChoices::Apply(const OrnamentRequest& request, SceneState& state)
{
    if (request.stop)
        m_window.TakeDown();
    if (request.pattern != 0)
        SelectPattern(state, request.pattern);
    if (request.spin && state.m_bFlareSpin == 0)
        OnFlareSpin(state);
    if (request.above && !m_kept.above) {
        m_kept.above = true;
        m_window.SetAbove(true);
    }
    Geometry geometry;
    if (!request.geometry.empty() && ReadGeometry(request.geometry, geometry).empty())
        m_window.TakeGeometry(geometry);
}
