// Per-user settings, which hold the recent-file list: one file in the XDG config folder
// (os/settings_file.h says where).
#pragma once

#include <wx/fileconf.h>

#include <filesystem>
#include <memory>

class CSettings {
public:
    // Reads the settings file. Nothing about it stops the program: a missing or empty file
    // gives empty settings, a damaged line is kept as it is and said on stderr, and a file
    // that cannot be read is said on stderr and never written over.
    CSettings();
    ~CSettings();
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    wxConfigBase& Config() { return *m_pConfig; }
    // Writes the settings back when they changed, through a temporary file, creating the
    // folder if need be. Returns false, with one line on stderr, when that cannot be done;
    // the file is then left as it was.
    bool Save();

private:
    std::filesystem::path m_path;
    std::unique_ptr<wxFileConfig> m_pConfig;
    bool m_bSavable = true;
};
