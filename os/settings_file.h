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

// How long a writer waits for another program to let the folder's lock go before it gives up.
inline constexpr int kSettingsLockMilliseconds = 1000;

// The keys and values of group, from the settings file; none when it or the group is missing.
// A file that cannot be read is said on stderr and read as empty; lines that are neither a
// group, a key, a comment nor blank are said in one line (they are kept as they stand).
std::map<std::string, std::string> ReadSettings(const std::string& group);

// Saves the keys of group: each of values set, and with wholeGroup every other key of the
// group taken away. Under the lock, the file is read again and every other line kept byte for
// byte; it is written aside, made sure of on the disk and renamed over the old one, with the
// folders made (private to the user) where missing. Nothing is written over a file that
// cannot be read, nor over one the user made read-only, nor while another program holds the
// lock for longer than kSettingsLockMilliseconds (each said once in the process). Returns
// true when the file holds the values, else false with the reason said on stderr.
bool WriteSettings(const std::string& group, const std::map<std::string, std::string>& values, bool wholeGroup = false);

// What a save came to.
enum class SettingsSave {
    Saved,   // the file holds the values
    Locked,  // another program held the lock all the time given; nothing said, nothing done
    Failed,  // said on stderr, as WriteSettings says it
};
// WriteSettings for a caller that must not wait: the lock is tried for waitMs at most (0:
// once).
SettingsSave TryWriteSettings(const std::string& group, const std::map<std::string, std::string>& values,
                              bool wholeGroup, int waitMs);

// What the two above do to a file's lines, alone.
// The keys and values of group in lines; damaged, when given, gets the numbers (from 1) of
// the lines that are neither a group, a key, a comment nor blank.
std::map<std::string, std::string> SettingsGroup(const std::vector<std::string>& lines, const std::string& group,
                                                 std::vector<int>* damaged = nullptr);
// lines with group's keys set as WriteSettings sets them: each key replaced where it stands
// (a line ending in a carriage return keeps it), new keys at the end of the group, a new
// group at the end of the file (with carriage returns where most lines end in one).
std::vector<std::string> MergeSettings(const std::vector<std::string>& lines, const std::string& group,
                                       const std::map<std::string, std::string>& values, bool wholeGroup);
// A value as the file holds it, and back: a backslash, a newline, a carriage return and a tab
// written as \\, \n, \r and \t, and a value that starts or ends with a space or a tab, or
// starts with a quote, put in quotes.
std::string EscapeSettingsValue(const std::string& value);
std::string UnescapeSettingsValue(const std::string& text);
