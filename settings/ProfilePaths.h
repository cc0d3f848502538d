// Where Talvora keeps its per-user files on a Linux desktop.
#pragma once

#include <string>

namespace settings::profile_paths {

inline constexpr const char* kVendor = "Merrowind";
inline constexpr const char* kApplication = "Talvora";

// $XDG_CONFIG_HOME/Merrowind (or ~/.config/Merrowind).
std::string SettingsFolder();

// SettingsFolder() + "/Talvora.conf".
std::string SettingsFile();

// The user's temporary folder on disk, ending in '/': $TMPDIR when set and
// absolute, otherwise $XDG_CACHE_HOME (or ~/.cache). Not created here.
std::string TempPath();

// Folder for the single-instance lock: $XDG_RUNTIME_DIR when set and
// absolute, otherwise the settings folder.
std::string RuntimeFolder();

// Creates a folder and its missing parents, private to the user; 0 once it
// is a folder, else an errno value.
int MakePrivateFolders(const std::string& path);

} // namespace settings::profile_paths
