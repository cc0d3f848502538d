#include "settings/ProfilePaths.h"

#include "posix/Posix.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace settings::profile_paths {
namespace {

// Only absolute values count: the XDG rules tell programs to ignore a
// relative one, and a relative $TMPDIR would depend on the current folder.
std::string AbsoluteEnv(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return {};
    return value;
}

std::string HomeFolder()
{
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty())
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr)
        return pw->pw_dir;
    return "/";
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string XdgFolder(const char* variable, const char* fallbackBelowHome)
{
    std::string folder = AbsoluteEnv(variable);
    if (folder.empty())
        folder = WithoutTrailingSlashes(HomeFolder()) + "/" + fallbackBelowHome;
    return WithoutTrailingSlashes(folder);
}

} // namespace

std::string SettingsFolder()
{
    return XdgFolder("XDG_CONFIG_HOME", ".config") + "/" + kVendor;
}

std::string SettingsFile()
{
    return SettingsFolder() + "/" + kApplication + ".conf";
}

std::string TempPath()
{
    std::string folder = AbsoluteEnv("TMPDIR");
    if (folder.empty())
        folder = XdgFolder("XDG_CACHE_HOME", ".cache");
    folder = WithoutTrailingSlashes(folder);
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string RuntimeFolder()
{
    std::string folder = AbsoluteEnv("XDG_RUNTIME_DIR");
    if (folder.empty())
        return SettingsFolder();
    return WithoutTrailingSlashes(folder);
}

int MakePrivateFolders(const std::string& path)
{
    return posix::MakeFolders(path, 0700);
}

} // namespace settings::profile_paths
