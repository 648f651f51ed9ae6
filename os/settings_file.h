// The per-user settings file that the window and the ornament share:
// $XDG_CONFIG_HOME/orbelle3/orbelle3.conf, or ~/.config/orbelle3/orbelle3.conf when that
// variable is unset, empty or not an absolute path. Lines of "[group]" and "key=value", as
// wxWidgets' file config writes them (values escaped as it escapes them), and any other line,
// which is kept as it stands. Each program owns its groups: a writer takes the folder's lock,
// reads the file again, changes only its own group's keys and puts the file in place whole,
// so that two programs saving at once lose nothing of each other's.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The user's folder of settings: $XDG_CONFIG_HOME, or ~/.config when that is unset, empty
// or not an absolute path.
std::filesystem::path ConfigFolder();
// The settings file's path; a symbolic link is followed.
std::filesystem::path SettingsFilePath();

// The keys and values of group, from the settings file; none when it or the group is missing.
// A file that cannot be read is said on stderr and read as empty; so is each line that is
// neither a group, a key, a comment nor blank (it is kept as it stands all the same).
std::map<std::string, std::string> ReadSettings(const std::string& group);

// Saves the keys of group: each of values set, and with wholeGroup every other key of the
// group taken away. Under the lock, the file is read again and every other line kept byte for
// byte; it is written aside, made sure of on the disk and renamed over the old one, with the
// folders made (private to the user) where missing. Nothing is written over a file that
// cannot be read, nor over one the user made read-only (said once in the process). Returns
// true when the file holds the values, else false with the reason said on stderr.
bool WriteSettings(const std::string& group, const std::map<std::string, std::string>& values, bool wholeGroup = false);

// What the two above do to a file's lines, alone.
// The keys and values of group in lines; damaged, when given, gets the numbers (from 1) of
// the lines that are neither a group, a key, a comment nor blank.
std::map<std::string, std::string> SettingsGroup(const std::vector<std::string>& lines, const std::string& group,
                                                 std::vector<int>* damaged = nullptr);
// lines with group's keys set as WriteSettings sets them: each key replaced where it stands,
// new keys at the end of the group, a new group at the end of the file.
std::vector<std::string> MergeSettings(const std::vector<std::string>& lines, const std::string& group,
                                       const std::map<std::string, std::string>& values, bool wholeGroup);
// A value as the file holds it, and back: a backslash, a newline, a carriage return and a tab
// written as \\, \n, \r and \t, and a value that starts with a space or a quote put in quotes.
std::string EscapeSettingsValue(const std::string& value);
std::string UnescapeSettingsValue(const std::string& text);
