// The user's own small files (settings, the autostart entry): made whole or left as they were.
#pragma once

#include <filesystem>
#include <string>

// Makes the folders of folder that are missing, private to the user. Returns an empty string,
// or the line saying which could not be made and why.
std::string MakePrivateFolders(const std::filesystem::path& folder);

// Writes bytes to a new file beside path, makes sure of it on the disk and renames it over
// path: the file is whole or as it was. The mode of the file it replaces is kept; a new one
// is private to the user (0600) unless mode says otherwise. Returns an empty string, or the
// system's reason.
std::string ReplaceFile(const std::filesystem::path& path, const std::string& bytes, unsigned mode = 0600);
