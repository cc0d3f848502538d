// Removing folder trees.
#include "copy/CopyEngine.h"
#include "posix/Posix.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace copy {

using posix::CFd;
using posix::ListNames;
using posix::RetryOnInterrupt;

namespace {

// One descriptor a level and no limit of its own: whatever depth the copy
// could build (it holds two a level), this removes. Whatever is mounted
// inside, a bind mount of a folder of the user's included, stays whole.
int DeleteIn(int dirFd)
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
        CFd child(posix::OpenFolderOnSameMount(dirFd, name.c_str()));
        if (child.Get() < 0) {
            // Something mounted here is not ours to empty.
            if (result == 0)
                result = errno == EXDEV ? EBUSY : errno;
            continue;
        }
        // A disc's read-only folders arrive writable, but a folder made
        // read-only afterwards must still be emptied.
        if ((st.st_mode & S_IRWXU) != S_IRWXU)
            ::fchmod(child.Get(), st.st_mode | S_IRWXU);
        const int inner = DeleteIn(child.Get());
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
    return DeleteIn(dirFd);
}

int DeleteTree(const std::string& given)
{
    std::string path = given;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0 ? 0 : errno;
    // A folder that something was mounted on is left as it is.
    const std::size_t slash = path.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    CFd up(RetryOnInterrupt([&] { return ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    CFd dir(up.Get() < 0 ? -1 : posix::OpenFolderOnSameMount(up.Get(), path.c_str() + slash + 1));
    if (dir.Get() < 0)
        return errno;
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(dir.Get(), st.st_mode | S_IRWXU);
    if (const int error = DeleteContent(dir.Get()))
        return error;
    dir.Reset();
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

} // namespace copy
