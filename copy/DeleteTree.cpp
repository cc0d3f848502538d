// Removing folder trees.
#include "copy/CopyEngine.h"
#include "posix/Posix.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace copyops {

using posix::CFd;
using posix::ListNames;
using posix::RetryOnInterrupt;

namespace {

// One descriptor a level and no limit of its own: whatever depth the copy
// could build (it holds two a level), this removes.
int DeleteIn(int dirFd, dev_t dev)
{
    std::vector<std::string> names;
    int result = ListNames(dirFd, names);
    for (const std::string& name : names) {
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT && result == 0)
                result = errno;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (::unlinkat(dirFd, name.c_str(), 0) != 0 && result == 0)
                result = errno;
            continue;
        }
        // Another file system mounted inside is not ours to empty.
        if (st.st_dev != dev) {
            if (result == 0)
                result = EBUSY;
            continue;
        }
        CFd child(RetryOnInterrupt(
            [&] { return ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
        if (child.Get() < 0) {
            if (result == 0)
                result = errno;
            continue;
        }
        // A disc's read-only folders arrive writable, but a folder made
        // read-only afterwards must still be emptied.
        if ((st.st_mode & S_IRWXU) != S_IRWXU)
            ::fchmod(child.Get(), st.st_mode | S_IRWXU);
        const int inner = DeleteIn(child.Get(), dev);
        child.Reset();
        if (inner != 0) {
            if (result == 0)
                result = inner;
        } else if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0 && result == 0) {
            result = errno;
        }
    }
    return result;
}

} // namespace

int DeleteContent(int dirFd)
{
    struct stat st;
    if (::fstat(dirFd, &st) != 0)
        return errno;
    return DeleteIn(dirFd, st.st_dev);
}

int DeleteTree(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0 ? 0 : errno;
    CFd dir(RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (dir.Get() < 0)
        return errno;
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(dir.Get(), st.st_mode | S_IRWXU);
    if (const int error = DeleteContent(dir.Get()))
        return error;
    dir.Reset();
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

} // namespace copyops
