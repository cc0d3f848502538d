// Small POSIX helpers shared by the copy layer. Every function here reports
// failure as a positive errno value and success as 0.
#pragma once

#include <cerrno>
#include <string>
#include <unistd.h>

namespace copyops {

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

// Creates path and its missing parents.
int MakeFolders(const std::string& path);

// Removes everything inside the folder open as dirFd, never following links
// and never entering another file system; 0 when all of it is gone.
int DeleteContent(int dirFd);

} // namespace copyops
