#include "window/settings.h"

#include "os/settings_file.h"

#include "core/files.h"
#include "res/texts.h"

#include <wx/fileconf.h>
#include <wx/filefn.h>
#include <wx/utils.h>
#include <wx/log.h>
#include <wx/sstream.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// wx reports what goes wrong in a settings file through its log, which a GUI program would
// show as message boxes; while the file is read or written, each message is one line on
// stderr instead.
class CSettingsLog : public wxLog {
public:
    CSettingsLog() : m_pPrevious(wxLog::SetActiveTarget(this)) {}
    ~CSettingsLog() override { wxLog::SetActiveTarget(m_pPrevious); }

protected:
    void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo&) override
    {
        if (level <= wxLOG_Warning)
            std::fprintf(stderr, "lumetta: settings: %s\n", static_cast<const char*>(msg.utf8_str()));
    }

private:
    wxLog* m_pPrevious;
};

std::string PathText(const std::filesystem::path& path)
{
    return path.string();
}

std::unique_ptr<wxFileConfig> EmptySettings()
{
    wxStringInputStream nothing(wxString{});
    return std::make_unique<wxFileConfig>(nothing);
}

}  // namespace

CSettings::CSettings() : m_path(SettingsFilePath())
{
    CSettingsLog log;
    struct stat info;
    const bool exists = ::stat(m_path.c_str(), &info) == 0;
    const int statError = errno;
    if (exists || statError != ENOENT) {
        const char* problem = nullptr;
        if (!exists)
            problem = std::strerror(statError);
        else if (!S_ISREG(info.st_mode))
            problem = "it is not a file";
        else if (::access(m_path.c_str(), R_OK) != 0)
            problem = std::strerror(errno);
        if (problem) {
            std::fprintf(stderr, "lumetta: cannot read settings %s: %s; settings will not be saved\n",
                         PathText(m_path).c_str(), problem);
            m_bSavable = false;
            m_pConfig = EmptySettings();
            return;
        }
    }
    // UTF-8 with any other bytes kept as they are, so that one stray byte neither turns the
    // whole file into another encoding nor stops new names from being written.
    static const wxMBConvUTF8 kBytesKept(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);
    m_pConfig = std::make_unique<wxFileConfig>(kTextAppName, wxEmptyString, wxString(m_path.c_str(), *wxConvFileName),
                                               wxEmptyString, wxCONFIG_USE_LOCAL_FILE, kBytesKept);
    // A file name is kept as it is: "$HOME" in a name is not the home folder.
    m_pConfig->SetExpandEnvVars(false);
    // Saved only by Save, never again behind the program's back when the object goes.
    m_pConfig->DisableAutoSave();
}

CSettings::~CSettings() = default;

bool CSettings::Save()
{
    if (!m_bSavable)
        return false;
    // Folders made here are private to the user, as the config folder should be.
    std::filesystem::path folder;
    for (const std::filesystem::path& part : m_path.parent_path()) {
        folder /= part;
        if (::mkdir(folder.c_str(), 0700) == 0)
            continue;
        // Something of that name is there: a folder (or a link to one) will do.
        int error = errno;
        struct stat info;
        if (error == EEXIST) {
            if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                continue;
            error = errno == EEXIST ? ENOTDIR : errno;
        }
        std::fprintf(stderr, "lumetta: cannot save settings in %s: %s\n", PathText(folder).c_str(),
                     std::strerror(error));
        return false;
    }
    CSettingsLog log;
    if (!m_pConfig->Flush()) {
        std::fprintf(stderr, "lumetta: cannot save settings to %s\n", PathText(m_path).c_str());
        return false;
    }
    return true;
}
