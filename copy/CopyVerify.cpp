// Reading a copy back from the drive: a stick with fake capacity or worn
// flash keeps the names and the sizes but not the bytes, and only the
// device itself can tell. The kernel's cache would answer from memory, so
// each file's cached pages are dropped before it is read. That reaches the
// device only where the kernel itself runs the file system: through FUSE a
// program of its own reads the device, through a cache no reader can
// drop, and a read-back there proves nothing of the device.
#include "copy/CopyRun.h"

#include <libmount.h>

#include <algorithm>
#include <deque>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace copy {

namespace {

// Opens a copy for reading it back with nothing of it in the cache, and
// asks the drive for all of it at once, so that the device reads ahead
// while the file before it is still being compared. Only clean pages are
// dropped; the flush of the whole file system before made them so. A
// file's own fdatasync here would cost a cache flush of the device per
// file (measured: the read-back took twice as long), for nothing.
int OpenFromDrive(int dstFd, const std::string& rel)
{
    const int fd = RetryOnInterrupt([&] { return ::openat(dstFd, rel.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); });
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    }
    return fd;
}

} // namespace

bool MountEntryOf(int fd, std::string& target, std::string& fsType)
{
    // The mount id tells a bind mount or a second mount of the same device
    // apart; kernels before 5.8 give only the device number.
    struct statx sx;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) != 0)
        return false;
    const bool byId = (sx.stx_mask & STATX_MNT_ID) != 0;
    const dev_t dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    libmnt_table* table = mnt_new_table();
    if (table == nullptr)
        return false;
    bool found = false;
    if (mnt_table_parse_file(table, "/proc/self/mountinfo") == 0) {
        libmnt_iter* iter = mnt_new_iter(MNT_ITER_BACKWARD);
        libmnt_fs* fs = nullptr;
        while (!found && iter != nullptr && mnt_table_next_fs(table, iter, &fs) == 0) {
            found = byId ? static_cast<std::uint64_t>(mnt_fs_get_id(fs)) == sx.stx_mnt_id : mnt_fs_get_devno(fs) == dev;
            if (found) {
                target = mnt_fs_get_target(fs) != nullptr ? mnt_fs_get_target(fs) : "";
                fsType = mnt_fs_get_fstype(fs) != nullptr ? mnt_fs_get_fstype(fs) : "";
            }
        }
        mnt_free_iter(iter);
    }
    mnt_unref_table(table);
    return found && !target.empty();
}

DriveFileSystem FileSystemKind(unsigned long fType, const std::string& mountType)
{
    if (fType == FUSE_SUPER_MAGIC || mountType == "fuse" || mountType == "fuseblk" ||
        mountType.rfind("fuse.", 0) == 0 || mountType.rfind("fuseblk.", 0) == 0)
        return DriveFileSystem::Fuse;
    return DriveFileSystem::Kernel;
}

DriveFileSystem CCopyEngine::FileSystemOf(int dirFd, std::string& mountType)
{
    std::string target;
    if (!MountEntryOf(dirFd, target, mountType))
        mountType.clear();
    struct statfs fs;
    const unsigned long fType = ::fstatfs(dirFd, &fs) == 0 ? static_cast<unsigned long>(fs.f_type) : 0;
    return FileSystemKind(fType, mountType);
}

ReadBackResult CCopyEngine::CRun::Reach(int dstFd)
{
    ReadBackResult reach;
    reach.state = ReadBackState::FromDevice;
    if (m_engine.FileSystemOf(dstFd, reach.fsType) == DriveFileSystem::Fuse) {
        reach.state = ReadBackState::NotFromDevice;
        reach.why = NotFromDeviceReason::FuseCache;
    }
    return reach;
}

bool CCopyEngine::CRun::SameOnDrive(CFd fd, const XXH128_hash_t& expected)
{
    if (fd.Get() < 0)
        return false;
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
    // The files ahead of the one being compared are asked for already, up
    // to this many bytes, so that the drive always has reads to do.
    constexpr std::uint64_t kAhead = std::uint64_t(64) << 20;
    std::deque<CFd> opened;
    std::size_t asked = 0;
    std::uint64_t bytesAhead = 0;
    for (std::size_t i = 0; i < m_hashes.size(); ++i) {
        if (Stopped())
            return;
        while (asked < m_hashes.size() && (asked <= i || bytesAhead < kAhead)) {
            opened.emplace_back(OpenFromDrive(dstFd, m_hashes[asked].first));
            struct stat st;
            if (opened.back().Get() >= 0 && ::fstat(opened.back().Get(), &st) == 0)
                bytesAhead += static_cast<std::uint64_t>(st.st_size);
            ++asked;
        }
        CFd current = std::move(opened.front());
        opened.pop_front();
        struct stat st;
        if (current.Get() >= 0 && ::fstat(current.Get(), &st) == 0)
            bytesAhead -= std::min<std::uint64_t>(bytesAhead, static_cast<std::uint64_t>(st.st_size));
        if (!SameOnDrive(std::move(current), m_hashes[i].second))
            m_different.push_back(m_hashes[i].first);
    }
}

} // namespace copy
