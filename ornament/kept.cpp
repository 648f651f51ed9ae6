#include "ornament/kept.h"

#include "core/files.h"
#include "ornament/placement.h"
#include "os/settings_file.h"

#include <charconv>
#include <cstdio>

namespace {

constexpr int kLeastSide = 16, kMostSide = 8192;
// How long values may wait for the lock before that is said.
constexpr auto kSayAfter = std::chrono::seconds(1);

}  // namespace

int NextSide(int side, bool larger)
{
    int next = side;
    for (const int s : kOrnamentSides) {
        if (larger ? s > side && (next == side || s < next) : s < side)
            next = s;
    }
    return next;
}

OrnamentKept ReadKept(const std::map<std::string, std::string>& values)
{
    const auto number = [&](const char* key, long low, long high, long& value) {
        const auto kept = values.find(key);
        if (kept == values.end())
            return false;
        const std::string& text = kept->second;
        long read = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
        if (error != std::errc() || end != text.data() + text.size() || read < low || read > high)
            return false;
        value = read;
        return true;
    };
    OrnamentKept kept;
    long x = 0, y = 0, value = 0;
    if (number(kKeptX, -kMostPlace, kMostPlace, x) && number(kKeptY, -kMostPlace, kMostPlace, y)) {
        kept.placed = true;
        kept.x = static_cast<int>(x);
        kept.y = static_cast<int>(y);
    }
    if (const auto output = values.find(kKeptOutput); output != values.end() && !output->second.empty() &&
                                                      number(kKeptOutputX, -kMostPlace, kMostPlace, x) &&
                                                      number(kKeptOutputY, -kMostPlace, kMostPlace, y)) {
        kept.output = output->second;
        kept.outputX = static_cast<int>(x);
        kept.outputY = static_cast<int>(y);
    }
    if (number(kKeptSide, kLeastSide, kMostSide, value))
        kept.side = static_cast<int>(value);
    if (number(kKeptPattern, 1, 3, value))
        kept.pattern = static_cast<int>(value);
    if (number(kKeptSpin, 0, 1, value))
        kept.spin = value == 1;
    if (number(kKeptAbove, 0, 1, value))
        kept.above = value == 1;
    if (number(kKeptLocked, 0, 1, value))
        kept.locked = value == 1;
    return kept;
}

void CKeptSaver::Keep(const std::map<std::string, std::string>& values)
{
    if (m_waiting.empty())
        m_since = Clock::now();
    for (const auto& [key, value] : values)
        m_waiting[key] = value;
    Try(0);
}

void CKeptSaver::Turn()
{
    if (!m_waiting.empty())
        Try(0);
}

void CKeptSaver::Finish(int waitMs)
{
    if (!m_waiting.empty())
        Try(waitMs);
}

void CKeptSaver::Try(int waitMs)
{
    switch (TryWriteSettings(kKeptGroup, m_waiting, false, waitMs)) {
    case SettingsSave::Saved:
    case SettingsSave::Failed:  // said; trying again would only say it again
        m_waiting.clear();
        m_bSaid = false;
        return;
    case SettingsSave::Locked:
        break;
    }
    if (!m_bSaid && Clock::now() - m_since >= kSayAfter) {
        std::fprintf(stderr,
                     "lumetta: another program holds the lock on the settings in %s; the ornament's choices are "
                     "kept for this run, and saved when it can\n",
                     ShownName(SettingsFilePath().parent_path().string()).c_str());
        m_bSaid = true;
    }
}
