#include "os/settings_file.h"

#include "core/files.h"
#include "os/user_file.h"
#include "res/texts.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") + 1 - first);
}

// The group a line opens, or an empty string when it opens none.
std::string GroupOf(const std::string& line)
{
    const std::string text = Trimmed(line);
    return text.size() > 2 && text.front() == '[' && text.back() == ']' ? text.substr(1, text.size() - 2)
                                                                        : std::string();
}

// The key a line sets, or an empty string when it sets none.
std::string KeyOf(const std::string& line)
{
    const auto equals = line.find('=');
    return equals == std::string::npos ? std::string() : Trimmed(line.substr(0, equals));
}

bool IsComment(const std::string& line)
{
    const std::string text = Trimmed(line);
    return text.empty() || text.front() == '#' || text.front() == ';';
}

void Say(const std::string& line)
{
    std::fprintf(stderr, "lumetta: %s\n", line.c_str());
}

// The lines of the file at path (none when there is no file), or false with error set when
// it is there and cannot be read.
bool ReadLines(const std::filesystem::path& path, std::vector<std::string>& lines, std::string& error)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return true;
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "it is not a file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return true;
}

// The settings folder's lock, held for the object's life: one writer at a time, whichever
// program. The folder is locked rather than the file, which each writer replaces. It is tried
// for waitMs at most: a program that holds it for ever (or a stopped one) must not stop this one.
class CFolderLock {
public:
    CFolderLock(const std::filesystem::path& folder, int waitMs)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= end) {
                m_bHeld = errno != EWOULDBLOCK;  // a folder that cannot be locked is written all the same
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_bHeld = true;
    }
    ~CFolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    // False when another program held it all the time given.
    bool Held() const { return m_bHeld; }

private:
    int m_fd;
    bool m_bHeld = false;
};

// A file the user took the write permissions from is theirs to keep as it is.
bool MadeReadOnly(const std::filesystem::path& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) == 0;
}

std::atomic<bool> g_bSaidReadOnly{false}, g_bSaidUnreadable{false}, g_bSaidLocked{false};

// Says line, once in the process for each kind.
void SayOnce(std::atomic<bool>& said, const std::string& line)
{
    if (!said.exchange(true))
        Say(line);
}

// A line of the file as a message quotes it: its first 60 bytes, control characters escaped.
std::string Excerpt(const std::string& line)
{
    constexpr std::size_t kMost = 60;
    return line.size() <= kMost ? ShownName(line) : ShownName(line.substr(0, kMost)) + "...";
}

// Whether most of lines end in a carriage return: a file written on Windows, whose new lines
// are written so too.
bool MostlyCrlf(const std::vector<std::string>& lines)
{
    std::size_t crlf = 0;
    for (const std::string& line : lines)
        crlf += !line.empty() && line.back() == '\r' ? 1 : 0;
    return crlf * 2 > lines.size();
}

}  // namespace

std::filesystem::path ConfigFolder()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : "/";
    }
    return std::filesystem::path(home) / ".config";
}

std::filesystem::path SettingsFilePath()
{
    const std::filesystem::path file = ConfigFolder() / kTextAppName / (std::string(kTextAppName) + ".conf");
    // Writing replaces the file by renaming a new one over it; through a link, even one whose
    // file does not exist yet, the file it names is the one to replace.
    std::string target;
    return FollowLinks(file.string(), target) ? std::filesystem::path(target) : file;
}

std::string EscapeSettingsValue(const std::string& value)
{
    const bool quoted = !value.empty() && (value.front() == ' ' || value.front() == '\t' || value.front() == '"' ||
                                           value.back() == ' ' || value.back() == '\t');
    std::string text = quoted ? "\"" : "";
    for (const char c : value) {
        switch (c) {
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\t':
            text += "\\t";
            break;
        case '\\':
            text += "\\\\";
            break;
        case '"':
            text += quoted ? "\\\"" : "\"";
            break;
        default:
            text += c;
            break;
        }
    }
    return quoted ? text + "\"" : text;
}

std::string UnescapeSettingsValue(const std::string& text)
{
    const bool quoted = !text.empty() && text.front() == '"';
    std::string value;
    for (std::size_t i = quoted ? 1 : 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            switch (text[++i]) {
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            case 't':
                value += '\t';
                break;
            case '\\':
                value += '\\';
                break;
            case '"':
                value += '"';
                break;
            default:
                break;  // an escape the file's writers never make stands for nothing
            }
        } else if (!(quoted && text[i] == '"' && i == text.size() - 1)) {
            value += text[i];
        }
    }
    return value;
}

std::map<std::string, std::string> SettingsGroup(const std::vector<std::string>& lines, const std::string& group,
                                                 std::vector<int>* damaged)
{
    std::map<std::string, std::string> values;
    bool inGroup = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (const std::string opened = GroupOf(line); !opened.empty()) {
            inGroup = opened == group;
        } else if (const std::string key = KeyOf(line); !key.empty()) {
            if (inGroup)
                values[key] = UnescapeSettingsValue(Trimmed(line.substr(line.find('=') + 1)));
        } else if (!IsComment(line) && damaged) {
            damaged->push_back(static_cast<int>(i) + 1);
        }
    }
    return values;
}

std::vector<std::string> MergeSettings(const std::vector<std::string>& lines, const std::string& group,
                                       const std::map<std::string, std::string>& values, bool wholeGroup)
{
    std::map<std::string, std::string> missing = values;
    std::vector<std::string> out;
    bool inGroup = false, seen = false;
    const std::string newEnd = MostlyCrlf(lines) ? "\r" : "";
    const auto addMissing = [&] {
        // After the group's last key, before any blank lines or comments that lead to the next.
        auto at = out.end();
        while (at != out.begin() && IsComment(*(at - 1)) && GroupOf(*(at - 1)).empty())
            --at;
        std::vector<std::string> added;
        added.reserve(missing.size());
        for (const auto& [key, value] : missing)
            added.push_back(key + "=" + EscapeSettingsValue(value) + newEnd);
        out.insert(at, added.begin(), added.end());
        missing.clear();
    };
    for (const std::string& line : lines) {
        if (const std::string opened = GroupOf(line); !opened.empty()) {
            if (inGroup)
                addMissing();
            inGroup = opened == group;
            seen |= inGroup;
        } else if (const std::string key = KeyOf(line); inGroup && !key.empty()) {
            if (const auto value = values.find(key); value != values.end()) {
                const bool crlf = !line.empty() && line.back() == '\r';
                out.push_back(key + "=" + EscapeSettingsValue(value->second) + (crlf ? "\r" : ""));
                missing.erase(key);
                continue;
            }
            if (wholeGroup)
                continue;
        }
        out.push_back(line);
    }
    if (inGroup)
        addMissing();
    if (!seen && !missing.empty()) {
        out.push_back("[" + group + "]" + newEnd);
        addMissing();
    }
    return out;
}

std::map<std::string, std::string> ReadSettings(const std::string& group)
{
    std::vector<std::string> lines;
    std::string error;
    const std::filesystem::path path = SettingsFilePath();
    if (!ReadLines(path, lines, error)) {
        Say("cannot read settings " + ShownName(path.string()) + ": " + error);
        return {};
    }
    std::vector<int> damaged;
    std::map<std::string, std::string> values = SettingsGroup(lines, group, &damaged);
    if (!damaged.empty()) {
        const std::string more =
            damaged.size() > 1 ? " (and " + std::to_string(damaged.size() - 1) + " more lines like it)" : "";
        Say("settings " + ShownName(path.string()) + ", line " + std::to_string(damaged.front()) + ": unexpected '" +
            Excerpt(lines[static_cast<std::size_t>(damaged.front()) - 1]) + "', kept as it is" + more);
    }
    return values;
}

SettingsSave TryWriteSettings(const std::string& group, const std::map<std::string, std::string>& values,
                              bool wholeGroup, int waitMs)
{
    const std::filesystem::path path = SettingsFilePath();
    if (std::string error = MakePrivateFolders(path.parent_path()); !error.empty()) {
        Say("cannot save settings: " + error);
        return SettingsSave::Failed;
    }
    const CFolderLock lock(path.parent_path(), waitMs);
    if (!lock.Held())
        return SettingsSave::Locked;
    std::vector<std::string> lines;
    if (std::string error; !ReadLines(path, lines, error)) {
        SayOnce(g_bSaidUnreadable,
                "cannot read settings " + ShownName(path.string()) + ": " + error + "; they are not written over");
        return SettingsSave::Failed;
    }
    const std::vector<std::string> merged = MergeSettings(lines, group, values, wholeGroup);
    if (merged == lines)
        return SettingsSave::Saved;
    if (MadeReadOnly(path)) {
        SayOnce(g_bSaidReadOnly,
                "settings " + ShownName(path.string()) + " are read-only, so nothing is saved in them");
        return SettingsSave::Failed;
    }
    std::string bytes;
    for (const std::string& line : merged)
        bytes += line + '\n';
    if (std::string error = ReplaceFile(path, bytes); !error.empty()) {
        Say("cannot save settings to " + ShownName(path.string()) + ": " + error);
        return SettingsSave::Failed;
    }
    return SettingsSave::Saved;
}

bool WriteSettings(const std::string& group, const std::map<std::string, std::string>& values, bool wholeGroup)
{
    const SettingsSave saved = TryWriteSettings(group, values, wholeGroup, kSettingsLockMilliseconds);
    if (saved == SettingsSave::Locked)
        SayOnce(g_bSaidLocked, "settings " + ShownName(SettingsFilePath().string()) +
                                   " are locked by another program, so nothing is saved in them");
    return saved == SettingsSave::Saved;
}
