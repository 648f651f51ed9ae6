// The per-user settings file, which the window keeps through its toolkit and the ornament
// reads and writes without one: $XDG_CONFIG_HOME/orbelle3/orbelle3.conf, or
// ~/.config/orbelle3/orbelle3.conf when that variable is unset, empty or not an absolute path.
// Lines of "[group]" and "key=value", as the toolkit writes them.
#pragma once

#include <filesystem>
#include <map>
#include <string>

// The settings file's path; a symbolic link is followed.
std::filesystem::path SettingsFilePath();

// The keys and values of group, from the settings file; none when it or the group is missing.
// A file that cannot be read is said on stderr, once, and read as empty.
std::map<std::string, std::string> ReadSettings(const std::string& group);

// Sets the keys of group to values in the settings file, every other line kept as it is: the
// file is written aside and renamed over the old one, with the folders made (private to the
// user) where missing. A file that cannot be read is never written over. Returns an empty
// string, or the line saying why nothing was written.
std::string WriteSettings(const std::string& group, const std::map<std::string, std::string>& values);
