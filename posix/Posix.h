// Small POSIX helpers shared by the copy layer and the settings files.
// Every function here reports failure as a positive errno value and success
// as 0.
#pragma once

#include <cerrno>
#include <string>
#include <sys/types.h>
#include <vector>
#include <unistd.h>

namespace posix {

// Repeats a system call that a signal interrupted; returns its result.
template <class Call> auto RetryOnInterrupt(Call call)
{
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR))
            return result;
    }
}

// An owned file descriptor.
class CFd
{
public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() { Reset(); }
    CFd(CFd&& other) noexcept : m_fd(other.Release()) {}
    CFd& operator=(CFd&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd = -1;
};

// a and b joined by exactly one '/'.
inline std::string Join(const std::string& a, const std::string& b)
{
    if (a.empty())
        return b;
    return a.back() == '/' ? a + b : a + "/" + b;
}

// Whether path is folder itself or lies below it (folder may end in '/').
inline bool Inside(const std::string& path, const std::string& folder)
{
    return path == folder ||
           (!folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            (folder.back() == '/' || path[folder.size()] == '/'));
}

// Where path is once the folder from is at to; path itself when it lies
// outside from.
inline std::string MovedBelow(const std::string& path, const std::string& from, const std::string& to)
{
    if (!Inside(path, from))
        return path;
    std::string rest = path.substr(from.size());
    if (!rest.empty() && rest.front() == '/')
        rest.erase(0, 1);
    return rest.empty() ? to : Join(to, rest);
}

// The folder that holds path ("/" for a name at the top, or no folder).
inline std::string ParentFolder(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// The names in the folder open as dirFd, without "." and "..", in byte
// order, so that whatever walks them runs the same way every time.
int ListNames(int dirFd, std::vector<std::string>& names);

// Creates path and its missing parents with the given mode (less the
// umask); 0 once path is a folder.
int MakeFolders(const std::string& path, mode_t mode = 0777);

// Opens the folder name inside the folder open as dirFd for reading, never
// through a link and never into another mount: a bind mount of the same
// file system counts as another mount, which a device number cannot show.
// A descriptor, or -1 with errno set (EXDEV for a mount, ELOOP for a link).
int OpenFolderOnSameMount(int dirFd, const char* name);

// Where the mount holding the existing folder real (a resolved path) is
// mounted: the highest folder above it on the same mount.
std::string MountPointOf(const std::string& real);

// path with every link in it resolved; path itself where that fails.
std::string Resolved(const std::string& path);

} // namespace posix
