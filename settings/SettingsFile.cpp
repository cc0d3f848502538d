#include "settings/SettingsFile.h"

#include "settings/ProfilePaths.h"

#include <wx/fileconf.h>
#include <wx/log.h>

std::unique_ptr<wxFileConfig> OpenSettingsFile(const std::string& path)
{
    // wxFileConfig reports a bad line or an unreadable file through wxLog,
    // which would pop up a window before the program has shown anything.
    wxLogNull quiet;
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        profile_paths::MakeFolders(path.substr(0, slash));
    auto file = std::make_unique<wxFileConfig>(profile_paths::kApplication, profile_paths::kVendor,
                                               wxString::FromUTF8(path), wxString(),
                                               wxCONFIG_USE_LOCAL_FILE);
    // An output folder such as "/media/$USB" must come back as typed.
    file->SetExpandEnvVars(false);
    return file;
}
