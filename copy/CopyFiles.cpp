// Copying one file or link: written under a partial name, renamed into
// place when complete.
#include "copy/CopyRun.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace copyops {

namespace {

std::string PartialName()
{
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    char name[64];
    std::snprintf(name, sizeof name, ".talvora-%08x%04x.part", salt ^ static_cast<unsigned>(::getpid()),
                  counter.fetch_add(1) & 0xffffu);
    return name;
}


} // namespace

bool CCopyEngine::CRun::MayReplace(int dstFd, const std::string& name, const std::string& rel, bool& skip, int& error)
{
    skip = false;
    struct stat existing;
    bool exists = false;
    error = Existing(dstFd, name, rel, existing, exists);
    if (error != 0 || !exists || S_ISDIR(existing.st_mode))
        return true; // the write reports what is wrong
    if (!m_ask || m_replaceAll)
        return true;
    switch (m_reporter.AskReplace(Join(m_destRoot, rel))) {
    case ReplaceAnswer::Yes:
        return true;
    case ReplaceAnswer::YesToAll:
        m_replaceAll = true;
        return true;
    case ReplaceAnswer::No:
        skip = true;
        return true;
    case ReplaceAnswer::Cancel:
        break;
    }
    m_cancelled = true;
    return false;
}

// A new, empty partial file, in the scratch folder when there is one.
int CCopyEngine::CRun::MakePartial(int dstFd, std::string& partial, int& partialDir, CFd& out)
{
    partialDir = m_scratchFd >= 0 ? m_scratchFd : dstFd;
    for (int tries = 0;; ++tries) {
        partial = PartialName();
        out.Reset(::openat(partialDir, partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (out.Get() >= 0)
            return 0;
        if (errno != EEXIST || tries > 100)
            return OnDestination(errno);
    }
}

int CCopyEngine::CRun::WriteFile(int srcFd, int dstFd, const std::string& name, const struct stat& st,
                                 const std::string& rel)
{
    const std::uint64_t doneBefore = m_done;
    CFd in;
    {
        int fd = -1;
        if (const int error = m_engine.OpenSource(srcFd, name.c_str(), fd))
            return error;
        in.Reset(fd);
    }
    struct stat opened;
    if (::fstat(in.Get(), &opened) != 0)
        return errno;
    if (!S_ISREG(opened.st_mode))
        return ENOTSUP;

    struct stat existing;
    bool exists = false;
    if (const int error = Existing(dstFd, name, rel, existing, exists))
        return error;
    if (exists && S_ISDIR(existing.st_mode))
        return OnDestination(EISDIR);

    std::string partial;
    int partialDir = -1;
    CFd out;
    if (const int error = MakePartial(dstFd, partial, partialDir, out))
        return error;
    auto fail = [&](int error) {
        out.Reset();
        ::unlinkat(partialDir, partial.c_str(), 0);
        m_done = doneBefore;
        return error;
    };

    bool fastPath = m_engine.m_useCopyFileRange;
    for (;;) {
        if (m_reporter.Cancelled())
            return fail(ECANCELED);
        std::size_t moved = 0;
        m_engine.m_writeFailed = false;
        if (const int error = m_engine.Transfer(in.Get(), out.Get(), kChunkBytes, fastPath, moved))
            return fail(m_engine.m_writeFailed ? OnDestination(error) : error);
        if (moved == 0)
            break;
        Advance(moved);
    }
    if (m_reporter.Cancelled())
        return fail(ECANCELED);

    // Copies must be writable by their owner, or they could never be replaced.
    if (::fchmod(out.Get(), (st.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID)) | S_IRUSR | S_IWUSR) != 0)
        return fail(OnDestination(errno));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out.Get(), times) != 0)
        return fail(OnDestination(errno));
    struct stat written;
    if (::fstat(out.Get(), &written) != 0)
        return fail(OnDestination(errno));
    if (::close(out.Release()) != 0)
        return fail(OnDestination(errno));
    if (::renameat(partialDir, partial.c_str(), dstFd, name.c_str()) != 0)
        return fail(OnDestination(errno));
    Wrote(rel, name, IdentityOf(written));
    return 0;
}

void CCopyEngine::CRun::CopyFile(int srcFd, int dstFd, const std::string& name, const struct stat& st,
                                 const std::string& rel)
{
    bool skip = false;
    int error = 0;
    if (!MayReplace(dstFd, name, rel, skip, error))
        return;
    if (skip) {
        // "No" keeps the old file; that is the user's choice, not a hole.
        Advance(static_cast<std::uint64_t>(st.st_size));
        return;
    }
    Attempt(rel, [&] { return WriteFile(srcFd, dstFd, name, st, rel); });
}

void CCopyEngine::CRun::CopyLink(int srcFd, int dstFd, const std::string& name, const struct stat& st,
                                 const std::string& rel)
{
    bool skip = false;
    int error = 0;
    if (!MayReplace(dstFd, name, rel, skip, error) || skip)
        return;
    Attempt(rel, [&] {
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
        const ssize_t n = ::readlinkat(srcFd, name.c_str(), target.data(), target.size());
        if (n < 0)
            return errno;
        if (static_cast<std::size_t>(n) >= target.size())
            return ENAMETOOLONG;
        target.resize(static_cast<std::size_t>(n));
        struct stat existing;
        bool exists = false;
        if (const int clash = Existing(dstFd, name, rel, existing, exists))
            return clash;
        if (exists && S_ISDIR(existing.st_mode))
            return OnDestination(EISDIR);
        const int partialDir = m_scratchFd >= 0 ? m_scratchFd : dstFd;
        const std::string partial = PartialName();
        if (::symlinkat(target.c_str(), partialDir, partial.c_str()) != 0)
            return OnDestination(errno);
        struct stat made;
        if (::fstatat(partialDir, partial.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::renameat(partialDir, partial.c_str(), dstFd, name.c_str()) != 0) {
            const int failure = errno;
            ::unlinkat(partialDir, partial.c_str(), 0);
            return OnDestination(failure);
        }
        Wrote(rel, name, IdentityOf(made));
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(dstFd, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return 0;
    });
}

} // namespace copyops
