// Copying one file or link: written under a partial name, renamed into
// place when complete.
#include "copy/CopyRun.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <random>
#include <unistd.h>

namespace copy {

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

bool CCopyEngine::CRun::Kept(const std::string& rel, bool file) const
{
    if (m_keptFd < 0 || m_scope.redo.count(rel) != 0)
        return false;
    struct stat there;
    return ::fstatat(m_keptFd, rel.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && (!file || S_ISREG(there.st_mode));
}

bool CCopyEngine::CRun::MayReplace(int dstFd, const std::string& name, const std::string& rel, bool& skip)
{
    skip = false;
    struct stat existing;
    bool exists = false;
    if (Existing(dstFd, name, rel, existing, exists) || !exists || S_ISDIR(existing.st_mode))
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
Failure CCopyEngine::CRun::MakePartial(int dstFd, std::string& partial, int& partialDir, CFd& out)
{
    partialDir = m_scratchFd >= 0 ? m_scratchFd : dstFd;
    for (int tries = 0;; ++tries) {
        partial = PartialName();
        out.Reset(::openat(partialDir, partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (out.Get() >= 0)
            return {};
        if (errno != EEXIST || tries > 100)
            return OnOutput(errno);
    }
}

Failure CCopyEngine::CRun::WriteFile(int srcFd, int dstFd, const std::string& name, const struct stat& st,
                                 const std::string& rel)
{
    const std::uint64_t doneBefore = m_done;
    CFd in;
    {
        int fd = -1;
        if (const int error = m_engine.OpenSource(srcFd, name.c_str(), fd))
            return OnDisc(error);
        in.Reset(fd);
    }
    struct stat opened;
    if (::fstat(in.Get(), &opened) != 0)
        return OnDisc(errno);
    if (!S_ISREG(opened.st_mode))
        return OnDisc(ENOTSUP);

    struct stat existing;
    bool exists = false;
    if (Failure failure = Existing(dstFd, name, rel, existing, exists))
        return failure;
    if (exists && S_ISDIR(existing.st_mode))
        return OnOutput(EISDIR);

    std::string partial;
    int partialDir = -1;
    CFd out;
    if (Failure failure = MakePartial(dstFd, partial, partialDir, out))
        return failure;
    auto fail = [&](Failure failure) {
        out.Reset();
        ::unlinkat(partialDir, partial.c_str(), 0);
        m_done = doneBefore;
        return failure;
    };

    // The kernel's own copy never shows the bytes; verifying hashes them
    // on their way through, and audio is walked on its way through.
    const bool walk = check::IsWalkedAudioName(name);
    check::CAudioWalker walker;
    bool fastPath = m_engine.m_useCopyFileRange && !m_scope.verify && !walk;
    XXH3_state_t* hash = nullptr;
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> hashState(nullptr, &XXH3_freeState);
    if (m_scope.verify) {
        hashState.reset(XXH3_createState());
        if (!hashState)
            return fail(OnOutput(ENOMEM));
        hash = hashState.get();
        XXH3_128bits_reset(hash);
    }
    for (;;) {
        if (m_reporter.Cancelled())
            return fail(OnDisc(ECANCELED));
        std::size_t moved = 0;
        if (Failure failure =
                m_engine.Transfer(in.Get(), out.Get(), kChunkBytes, fastPath, moved, hash, walk ? &walker : nullptr))
            return fail(std::move(failure));
        if (moved == 0)
            break;
        Advance(moved);
    }
    if (m_reporter.Cancelled())
        return fail(OnDisc(ECANCELED));

    // The drive starts writing this file now, while the next one is read:
    // the flush at the end then waits for little, and a read-back can
    // start sooner. Only a hint; the flush still decides.
    ::sync_file_range(out.Get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    // Copies must be writable by their owner, or they could never be replaced.
    if (::fchmod(out.Get(), (st.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID)) | S_IRUSR | S_IWUSR) != 0)
        return fail(OnOutput(errno));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out.Get(), times) != 0)
        return fail(OnOutput(errno));
    struct stat written;
    if (::fstat(out.Get(), &written) != 0)
        return fail(OnOutput(errno));
    if (::close(out.Release()) != 0)
        return fail(OnOutput(errno));
    if (::renameat(partialDir, partial.c_str(), dstFd, name.c_str()) != 0)
        return fail(OnOutput(errno));
    Wrote(rel, name, IdentityOf(written));
    if (hash != nullptr) {
        const XXH128_hash_t digest = XXH3_128bits_digest(hash);
        m_hashes.emplace_back(rel, digest);
        char hex[33];
        std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(digest.high64),
                      static_cast<unsigned long long>(digest.low64));
        m_seen.push_back({rel, static_cast<std::uint64_t>(written.st_size), hex});
    }
    if (walk)
        m_engine.m_walked[rel] = walker.Finish();
    return {};
}

void CCopyEngine::CRun::CopyFile(int srcFd, int dstFd, const std::string& name, const struct stat& st,
                                 const std::string& rel)
{
    bool skip = false;
    if (Kept(rel, true)) {
        // The copy being completed holds it: it is not read at all.
        skip = true;
    } else if (m_scope.fillOnly) {
        // Completing a copy: what is there stays, unless it is known to be
        // bad, which is replaced unasked.
        struct stat there;
        skip = !m_scope.redo.count(rel) && m_engine.LookUp(dstFd, name.c_str(), there) == 0 &&
               S_ISREG(there.st_mode);
    } else if (!MayReplace(dstFd, name, rel, skip)) {
        return;
    }
    if (skip) {
        // "No" keeps the old file; that is the user's choice, not a hole.
        // Completing a copy keeps what it has.
        Advance(static_cast<std::uint64_t>(st.st_size) * Passes());
        return;
    }
    Attempt(rel, [&] { return WriteFile(srcFd, dstFd, name, st, rel); });
}

void CCopyEngine::CRun::CopyLink(int srcFd, int dstFd, const std::string& name, const struct stat& st,
                                 const std::string& rel)
{
    bool skip = false;
    if (Kept(rel, false))
        return;
    if (m_scope.fillOnly) {
        struct stat there;
        if (m_engine.LookUp(dstFd, name.c_str(), there) == 0)
            return;
    }
    if (!MayReplace(dstFd, name, rel, skip) || skip)
        return;
    Attempt(rel, [&] {
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
        const ssize_t n = ::readlinkat(srcFd, name.c_str(), target.data(), target.size());
        if (n < 0)
            return OnDisc(errno);
        if (static_cast<std::size_t>(n) >= target.size())
            return OnDisc(ENAMETOOLONG);
        target.resize(static_cast<std::size_t>(n));
        struct stat existing;
        bool exists = false;
        if (Failure clash = Existing(dstFd, name, rel, existing, exists))
            return clash;
        if (exists && S_ISDIR(existing.st_mode))
            return OnOutput(EISDIR);
        const int partialDir = m_scratchFd >= 0 ? m_scratchFd : dstFd;
        const std::string partial = PartialName();
        if (::symlinkat(target.c_str(), partialDir, partial.c_str()) != 0)
            return OnOutput(errno);
        struct stat made;
        if (::fstatat(partialDir, partial.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::renameat(partialDir, partial.c_str(), dstFd, name.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(partialDir, partial.c_str(), 0);
            return OnOutput(error);
        }
        Wrote(rel, name, IdentityOf(made));
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(dstFd, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return Failure{};
    });
}

} // namespace copy
