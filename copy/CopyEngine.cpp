// The engine itself: its points of contact with the file system, which
// tests override to inject faults, and the start of a copy.
#include "copy/CopyRun.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace copyops {

CCopyEngine::CCopyEngine() = default;
CCopyEngine::~CCopyEngine() = default;

int CCopyEngine::OpenSource(int dirFd, const char* name, int& fd)
{
    // O_NONBLOCK: a fifo that slipped in must not hang the copy.
    fd = RetryOnInterrupt([&] { return ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    return fd >= 0 ? 0 : errno;
}

int CCopyEngine::Transfer(int in, int out, std::size_t max, bool& fastPath, std::size_t& moved)
{
    moved = 0;
    if (fastPath) {
        const ssize_t n = RetryOnInterrupt([&] { return ::copy_file_range(in, nullptr, out, nullptr, max, 0); });
        if (n > 0) {
            moved = static_cast<std::size_t>(n);
            return 0;
        }
        if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) {
            // One call does both sides; only these can come of the writing.
            m_writeFailed = errno == ENOSPC || errno == EDQUOT || errno == EFBIG || errno == EROFS;
            return errno;
        }
        // Refused, or 0 from a file system that cannot tell its end this way:
        // read/write decides. The file positions have not moved.
        fastPath = false;
    }
    if (!m_buffer)
        m_buffer.reset(new char[kBufferBytes]);
    const std::size_t want = std::min(max, kBufferBytes);
    const ssize_t got = RetryOnInterrupt([&] { return ::read(in, m_buffer.get(), want); });
    if (got < 0)
        return errno;
    for (ssize_t written = 0; written < got;) {
        const ssize_t w = RetryOnInterrupt(
            [&] { return ::write(out, m_buffer.get() + written, static_cast<std::size_t>(got - written)); });
        if (w < 0) {
            m_writeFailed = true;
            return errno;
        }
        written += w;
    }
    moved = static_cast<std::size_t>(got);
    return 0;
}

int CCopyEngine::LookUp(int dirFd, const char* name, struct stat& st)
{
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ? errno : 0;
}

int CCopyEngine::Flush(int dirFd)
{
    return ::syncfs(dirFd) != 0 ? errno : 0;
}

CopyOutcome CCopyEngine::CopyContent(const std::string& sourceFolder, const std::string& destFolder,
                                     bool askBeforeReplace, ICopyReporter& reporter, const Places& places)
{
    m_flushSeconds = 0;
    CRun run(*this, reporter, places.shownDest.empty() ? destFolder : places.shownDest, askBeforeReplace);
    return run.Copy(sourceFolder, destFolder, places.scratch);
}

} // namespace copyops
