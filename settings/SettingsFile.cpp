#include "settings/SettingsFile.h"

#include "settings/ProfilePaths.h"

#include <wx/fileconf.h>
#include <wx/log.h>

namespace {

// Makes the settings folder only when something is saved: a start that
// saves nothing leaves no trace in the user's configuration.
class CSettingsFile final : public wxFileConfig
{
public:
    CSettingsFile(const std::string& path, std::string folder)
        : wxFileConfig(settings::profile_paths::kApplication, settings::profile_paths::kVendor, wxString::FromUTF8(path), wxString(),
                       wxCONFIG_USE_LOCAL_FILE),
          m_folder(std::move(folder))
    {}

    bool Flush(bool currentOnly = false) override
    {
        if (!m_folder.empty())
            settings::profile_paths::MakePrivateFolders(m_folder);
        return wxFileConfig::Flush(currentOnly);
    }

private:
    std::string m_folder;
};

} // namespace

std::unique_ptr<wxFileConfig> OpenSettingsFile(const std::string& path)
{
    // wxFileConfig reports a bad line or an unreadable file through wxLog,
    // which would pop up a window before the program has shown anything.
    wxLogNull quiet;
    const std::size_t slash = path.rfind('/');
    auto file = std::make_unique<CSettingsFile>(
        path, slash != std::string::npos && slash > 0 ? path.substr(0, slash) : std::string());
    // An output folder such as "/media/$USB" must come back as typed.
    file->SetExpandEnvVars(false);
    return file;
}
