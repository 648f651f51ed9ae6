#include "os/settings_file.h"

#include "core/files.h"
#include "res/texts.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

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

// The lines of the file at path, or false with error set when it is there and cannot be read.
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

// Makes the folders of path that are missing, private to the user.
std::string MakeFolders(const std::filesystem::path& folder)
{
    std::filesystem::path made;
    for (const std::filesystem::path& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) == 0)
            continue;
        struct stat info;
        if (errno == EEXIST && ::stat(made.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        return "cannot make " + ShownName(made.string()) + ": " + std::strerror(errno == EEXIST ? ENOTDIR : errno);
    }
    return {};
}

}  // namespace

std::filesystem::path SettingsFilePath()
{
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* user = ::getpwuid(::getuid());
            home = user ? user->pw_dir : "/";
        }
        base = std::filesystem::path(home) / ".config";
    }
    const std::filesystem::path file = base / kTextAppName / (std::string(kTextAppName) + ".conf");
    // Writing replaces the file by renaming a new one over it; through a link, even one whose
    // file does not exist yet, the file it names is the one to replace.
    std::string target;
    return FollowLinks(file.string(), target) ? std::filesystem::path(target) : file;
}

std::map<std::string, std::string> ReadSettings(const std::string& group)
{
    std::map<std::string, std::string> values;
    std::vector<std::string> lines;
    std::string error;
    const std::filesystem::path path = SettingsFilePath();
    if (!ReadLines(path, lines, error)) {
        std::fprintf(stderr, "lumetta: cannot read settings %s: %s\n", ShownName(path.string()).c_str(), error.c_str());
        return values;
    }
    bool inGroup = false;
    for (const std::string& line : lines) {
        if (const std::string opened = GroupOf(line); !opened.empty()) {
            inGroup = opened == group;
            continue;
        }
        const auto equals = line.find('=');
        if (inGroup && equals != std::string::npos)
            values[Trimmed(line.substr(0, equals))] = Trimmed(line.substr(equals + 1));
    }
    return values;
}

std::string WriteSettings(const std::string& group, const std::map<std::string, std::string>& values)
{
    const std::filesystem::path path = SettingsFilePath();
    std::vector<std::string> lines;
    if (std::string error; !ReadLines(path, lines, error))
        return "cannot read settings " + ShownName(path.string()) + ": " + error + "; they are not written over";
    // The group's keys replaced where they stand, and the missing ones added at its end, or
    // with the group at the file's end.
    std::map<std::string, std::string> missing = values;
    std::vector<std::string> out;
    bool inGroup = false, seen = false;
    const auto addMissing = [&] {
        for (const auto& [key, value] : missing)
            out.push_back(key + "=" + value);
        missing.clear();
    };
    for (const std::string& line : lines) {
        if (const std::string opened = GroupOf(line); !opened.empty()) {
            if (inGroup)
                addMissing();
            inGroup = opened == group;
            seen |= inGroup;
        } else if (const auto equals = line.find('='); inGroup && equals != std::string::npos) {
            const std::string key = Trimmed(line.substr(0, equals));
            if (const auto value = values.find(key); value != values.end()) {
                out.push_back(key + "=" + value->second);
                missing.erase(key);
                continue;
            }
        }
        out.push_back(line);
    }
    if (inGroup)
        addMissing();
    if (!seen && !missing.empty()) {
        out.push_back("[" + group + "]");
        addMissing();
    }

    if (std::string error = MakeFolders(path.parent_path()); !error.empty())
        return "cannot save settings: " + error;
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return "cannot save settings to " + ShownName(path.string()) + ": " + std::strerror(errno);
    std::ostringstream text;
    for (const std::string& line : out)
        text << line << '\n';
    const std::string bytes = text.str();
    struct stat info;
    ::fchmod(fd, ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0600);
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = !written ? writeError : errno;
        ::unlink(temporary.c_str());
        return "cannot save settings to " + ShownName(path.string()) + ": " + std::strerror(error);
    }
    return {};
}
