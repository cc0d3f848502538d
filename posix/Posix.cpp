#include "posix/Posix.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>

namespace posix {

int ListNames(int dirFd, std::vector<std::string>& names)
{
    names.clear();
    const int fd = RetryOnInterrupt([&] { return ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return errno;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return error;
}

int MakeFolders(const std::string& path, mode_t mode)
{
    if (path.empty())
        return ENOENT;
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            break;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

namespace {

// The mount a descriptor lies on: its mount id where statx gives one, else
// its device number (kernels before 5.8, which also lack openat2).
bool MountOf(int fd, std::uint64_t& id, const char* path = "")
{
    struct statx sx;
    if (::statx(fd, path, (*path == '\0' ? AT_EMPTY_PATH : 0) | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &sx) != 0)
        return false;
    id = (sx.stx_mask & STATX_MNT_ID) != 0 ? sx.stx_mnt_id
                                           : (std::uint64_t(sx.stx_dev_major) << 32 | sx.stx_dev_minor);
    return true;
}

} // namespace

int OpenFolderOnSameMount(int dirFd, const char* name)
{
    open_how how = {};
    how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const int fd =
        static_cast<int>(RetryOnInterrupt([&] { return ::syscall(SYS_openat2, dirFd, name, &how, sizeof how); }));
    // A kernel or a sandbox without openat2: compare mounts after opening.
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
        return fd;
    CFd child(RetryOnInterrupt([&] { return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    std::uint64_t parentMount = 0, childMount = 0;
    if (child.Get() < 0)
        return -1;
    if (!MountOf(dirFd, parentMount) || !MountOf(child.Get(), childMount))
        return -1;
    if (parentMount != childMount) {
        errno = EXDEV;
        return -1;
    }
    return child.Release();
}

std::string Resolved(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    std::string result = real != nullptr ? real : path;
    std::free(real);
    return result;
}

std::string MountPointOf(const std::string& real)
{
    std::string at = real;
    std::uint64_t id = 0;
    if (!MountOf(AT_FDCWD, id, at.c_str()))
        return at;
    while (at != "/") {
        const std::size_t slash = at.find_last_of('/');
        const std::string up = slash == 0 || slash == std::string::npos ? std::string("/") : at.substr(0, slash);
        std::uint64_t upId = 0;
        if (!MountOf(AT_FDCWD, upId, up.c_str()) || upId != id)
            break;
        at = up;
    }
    return at;
}

} // namespace posix
