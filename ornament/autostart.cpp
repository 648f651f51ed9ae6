#include "ornament/autostart.h"

#include "core/files.h"
#include "os/settings_file.h"
#include "os/user_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

std::filesystem::path AutostartFile()
{
    return ConfigFolder() / "autostart" / "lumetta-ornament.desktop";
}

bool StartsAtLogin()
{
    std::string reason;
    std::FILE* file = OpenRegularFile(AutostartFile().c_str(), reason);
    if (!file)
        return false;
    // An entry is a few hundred bytes; what lies past the first 64 KiB is not one of ours.
    constexpr std::size_t kMostEntry = std::size_t{64} * 1024;
    std::string text(kMostEntry, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    (void)std::fclose(file);  // only read
    return AutostartEnabled(text);
}

bool AutostartEnabled(const std::string& entry)
{
    std::vector<std::string> lines;
    std::istringstream in(entry);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    // A desktop switches an entry off with either key, and keeps the file.
    const std::map<std::string, std::string> keys = SettingsGroup(lines, "Desktop Entry");
    const auto is = [&](const char* key, const char* value) {
        const auto found = keys.find(key);
        return found != keys.end() && found->second == value;
    };
    return !is("Hidden", "true") && !is("X-GNOME-Autostart-enabled", "false");
}

std::string DesktopExecArgument(const std::string& argument)
{
    const bool quoted = argument.empty() || argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string text;
    for (const char c : argument) {
        if (c == '%')
            text += "%%";
        else if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\'))
            text += std::string("\\") + c;
        else
            text += c;
    }
    if (quoted)
        text = '"' + text + '"';
    // The value's own escapes, over the Exec key's.
    std::string value;
    for (const char c : text) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '\n')
            value += "\\n";
        else if (c == '\t')
            value += "\\t";
        else if (c == '\r')
            value += "\\r";
        else
            value += c;
    }
    return value;
}

std::string AutostartEntry(const std::string& program)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Lumetta ornament\n"
           "Comment=The Lumetta wreath hung on the desktop\n"
           "Exec=" +
           DesktopExecArgument(program) +
           " --ornament\n"
           "Icon=lumetta\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetStartAtLogin(bool on, const std::string& program)
{
    const std::filesystem::path file = AutostartFile();
    std::string error;
    if (on) {
        error = MakePrivateFolders(file.parent_path());
        if (error.empty())
            error = ReplaceFile(file, AutostartEntry(program), 0644);
    } else if (std::remove(file.c_str()) != 0 && errno != ENOENT) {
        error = std::strerror(errno);
    }
    if (!error.empty())
        std::fprintf(stderr, "lumetta: cannot %s %s: %s\n", on ? "write" : "remove", ShownName(file.string()).c_str(),
                     error.c_str());
    return error.empty();
}
