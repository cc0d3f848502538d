// Reading a copy back from the drive: a stick with fake capacity or worn
// flash keeps the names and the sizes but not the bytes, and only the
// device itself can tell. The kernel's cache would answer from memory, so
// each file's cached pages are dropped before it is read.
#include "copy/CopyRun.h"

#include <fcntl.h>
#include <unistd.h>

namespace copyops {

bool CCopyEngine::CRun::SameOnDrive(int dstFd, const std::string& rel, const XXH128_hash_t& expected)
{
    CFd fd(RetryOnInterrupt([&] { return ::openat(dstFd, rel.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); }));
    if (fd.Get() < 0)
        return false;
    // Only clean pages are dropped; the flush of the whole file system
    // before made them so. A file's own fdatasync here would cost a cache
    // flush of the device per file (measured: the read-back took twice as
    // long), for nothing.
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    if (!state)
        return false;
    XXH3_128bits_reset(state.get());
    if (!m_engine.m_readBackBuffer)
        m_engine.m_readBackBuffer.reset(new char[kChunkBytes]);
    char* buffer = m_engine.m_readBackBuffer.get();
    for (;;) {
        if (Stopped())
            return true; // a cancel is no difference
        std::size_t got = 0;
        if (m_engine.ReadBack(fd.Get(), buffer, kChunkBytes, got) != 0)
            return false;
        if (got == 0)
            break;
        XXH3_128bits_update(state.get(), buffer, got);
        Advance(got);
    }
    // What was read is of no further use; keep the cache for the disc.
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_DONTNEED);
    return XXH128_isEqual(XXH3_128bits_digest(state.get()), expected) != 0;
}

void CCopyEngine::CRun::ReadBackAll(int dstFd)
{
    for (const auto& [rel, hash] : m_hashes) {
        if (Stopped())
            return;
        if (!SameOnDrive(dstFd, rel, hash))
            m_different.push_back(rel);
    }
}

} // namespace copyops
