// Starting the ornament at login, as XDG autostart does it on every desktop that follows
// freedesktop.org: a desktop entry in the user's autostart folder,
// $XDG_CONFIG_HOME/autostart/lumetta-ornament.desktop.
#pragma once

#include <filesystem>
#include <string>

std::filesystem::path AutostartFile();
// Whether the entry is there and the desktop has not switched it off.
bool StartsAtLogin();
// Whether an entry's text leaves it on: neither Hidden=true nor X-GNOME-Autostart-enabled=false.
bool AutostartEnabled(const std::string& entry);
// Writes the entry, starting program with --ornament (over one switched off), or takes it away. Returns whether it was
// done; says why not on stderr.
bool SetStartAtLogin(bool on, const std::string& program);

// The entry's text for program.
std::string AutostartEntry(const std::string& program);
// One argument of a desktop entry's Exec key, quoted and escaped as the entry format asks:
// in double quotes when it holds a space or a character a shell would take, with ", `, $ and
// \ escaped there, % doubled, and the value's own escapes for a backslash and a line break.
std::string DesktopExecArgument(const std::string& argument);
