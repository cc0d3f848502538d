// The engine itself: its points of contact with the file system, which
// tests override to inject faults, and the start of a copy.
#include "copy/CopyRun.h"

#include <xxhash.h>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace copy {

CCopyEngine::CCopyEngine() = default;
CCopyEngine::~CCopyEngine() = default;

int CCopyEngine::OpenSource(int dirFd, const char* name, int& fd)
{
    // O_NONBLOCK: a fifo that slipped in must not hang the copy.
    fd = RetryOnInterrupt([&] { return ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    return fd >= 0 ? 0 : errno;
}

int CCopyEngine::CopyRange(int in, int out, std::size_t max, std::size_t& moved)
{
    const ssize_t n = RetryOnInterrupt([&] { return ::copy_file_range(in, nullptr, out, nullptr, max, 0); });
    moved = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n < 0 ? errno : 0;
}

int CCopyEngine::ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got)
{
    const ssize_t n = RetryOnInterrupt([&] { return ::read(in, buffer, max); });
    got = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n < 0 ? errno : 0;
}

int CCopyEngine::WriteChunk(int out, const char* data, std::size_t size)
{
    for (std::size_t written = 0; written < size;) {
        const ssize_t w = RetryOnInterrupt([&] { return ::write(out, data + written, size - written); });
        if (w < 0)
            return errno;
        written += static_cast<std::size_t>(w);
    }
    return 0;
}

posix::Failure CCopyEngine::Transfer(int in, int out, std::size_t max, bool& fastPath, std::size_t& moved,
                                     XXH3_state_s* hash, check::CAudioWalker* walker)
{
    moved = 0;
    if (fastPath) {
        const int error = CopyRange(in, out, max, moved);
        if (error == 0 && moved > 0)
            return {};
        // Only the writing can run out of room or meet a read-only drive.
        if (error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS)
            return posix::OnOutput(error);
        // Refused (across file systems, as from a disc), 0 from a file
        // system that cannot tell its end this way, or an error that one
        // call doing both sides cannot pin on either (EIO): the plain way
        // decides, and names the side that fails. Nothing has moved.
        fastPath = false;
    }
    if (!m_buffer)
        m_buffer.reset(new char[kBufferBytes]);
    std::size_t got = 0;
    if (const int error = ReadChunk(in, m_buffer.get(), std::min(max, kBufferBytes), got))
        return posix::OnDisc(error);
    if (hash != nullptr)
        XXH3_128bits_update(hash, m_buffer.get(), got);
    if (walker != nullptr)
        walker->Feed(m_buffer.get(), got);
    if (const int error = WriteChunk(out, m_buffer.get(), got))
        return posix::OnOutput(error);
    moved = got;
    return {};
}

int CCopyEngine::LookUp(int dirFd, const char* name, struct stat& st)
{
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ? errno : 0;
}

int CCopyEngine::Flush(int dirFd)
{
    return ::syncfs(dirFd) != 0 ? errno : 0;
}

int CCopyEngine::ReadBack(int fd, char* buffer, std::size_t max, std::size_t& got)
{
    const ssize_t n = RetryOnInterrupt([&] { return ::read(fd, buffer, max); });
    got = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n < 0 ? errno : 0;
}

CopyOutcome CCopyEngine::CopyContent(const std::string& sourceFolder, const std::string& destFolder,
                                     bool askBeforeReplace, ICopyReporter& reporter, const Places& places,
                                     const Scope& scope)
{
    m_flushSeconds = 0;
    m_walked.clear();
    m_walkedInto = destFolder;
    CRun run(*this, reporter, places.shownDest.empty() ? destFolder : places.shownDest, askBeforeReplace, scope);
    return run.Copy(sourceFolder, destFolder, places.scratch);
}

} // namespace copy
