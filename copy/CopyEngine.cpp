// Walking the source and copying each entry.
#include "copy/CopyEngine.h"

#include "copy/CopyTexts.h"
#include "copy/Posix.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <random>
#include <sys/stat.h>
#include <utility>

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

// Names in byte order, so that a copy runs the same way every time.
int ListDir(int dirFd, std::vector<std::string>& names)
{
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    names.clear();
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return error;
}

std::uint64_t TotalBytes(int dirFd, int depth)
{
    std::vector<std::string> names;
    if (depth > 256 || ListDir(dirFd, names) != 0)
        return 0;
    std::uint64_t total = 0;
    for (const std::string& name : names) {
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(st.st_mode)) {
            total += static_cast<std::uint64_t>(st.st_size);
        } else if (S_ISDIR(st.st_mode)) {
            CFd child(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (child.Get() >= 0)
                total += TotalBytes(child.Get(), depth + 1);
        }
    }
    return total;
}

using Identity = std::pair<dev_t, ino_t>;

Identity IdentityOf(const struct stat& st)
{
    return {st.st_dev, st.st_ino};
}

} // namespace

// One copy: the walk over the source and what it has done so far.
class CCopyEngine::CRun
{
public:
    CRun(CCopyEngine& engine, ICopyReporter& reporter, const std::string& destRoot, bool ask)
        : m_engine(engine), m_reporter(reporter), m_destRoot(destRoot), m_ask(ask)
    {
    }

    CopyOutcome Copy(const std::string& sourceFolder, const std::string& destFolder, const std::string& scratch);

private:
    enum class Step { Done, Skipped, Cancelled };

    // Runs op until it succeeds, asking the user what to do after each
    // failure. op returns 0 or a positive errno; ECANCELED stops the copy
    // without a question. Retry runs op again; Skip records relPath as
    // missing and returns Skipped; Cancel, like a cancel asked for through
    // the reporter before op ran, returns Cancelled and stops the whole run.
    template <class Op> Step Attempt(const std::string& relPath, Op op);
    bool Stopped();
    // A path for the user: an absolute one as it is, else below the
    // destination.
    std::string Shown(const std::string& relPath) const;
    void CopyDir(int srcFd, int dstFd, const std::string& rel);
    void CopyEntry(int srcFd, int dstFd, const std::string& name, const std::string& rel);
    void CopySubdir(int srcFd, int dstFd, const std::string& name, const struct stat& st, const std::string& rel);
    void CopyFile(int srcFd, int dstFd, const std::string& name, const struct stat& st, const std::string& rel);
    void CopyLink(int srcFd, int dstFd, const std::string& name, const struct stat& st, const std::string& rel);
    int Existing(int dstFd, const std::string& name, const std::string& rel, struct stat& st, bool& exists);
    bool MayReplace(int dstFd, const std::string& name, const std::string& rel, bool& skip, int& error);
    int WriteFile(int srcFd, int dstFd, const std::string& name, const struct stat& st, const std::string& rel);
    int MakePartial(int dstFd, std::string& partial, int& partialDir, CFd& out);
    void Advance(std::uint64_t bytes);

    CCopyEngine& m_engine;
    ICopyReporter& m_reporter;
    std::string m_destRoot;
    bool m_ask;
    bool m_replaceAll = false;
    bool m_cancelled = false;
    std::uint64_t m_done = 0;
    std::uint64_t m_total = 0;
    Identity m_destIdentity{};
    int m_scratchFd = -1;
    // Every destination entry this run made or entered, by identity, with
    // the name it was written under: on a file system that ignores letter
    // case a second name can lead to the same entry.
    std::map<Identity, std::string> m_written;
    std::string m_clashWith;
    std::vector<std::string> m_missing;
};

template <class Op> CCopyEngine::CRun::Step CCopyEngine::CRun::Attempt(const std::string& relPath, Op op)
{
    for (;;) {
        if (Stopped())
            return Step::Cancelled;
        m_clashWith.clear();
        const int error = op();
        if (error == 0)
            return Step::Done;
        if (error == ECANCELED) {
            m_cancelled = true;
            return Step::Cancelled;
        }
        const std::string reason =
            m_clashWith.empty() ? copytext::DescribeError(error) : copytext::NameClash(Shown(m_clashWith));
        switch (m_reporter.AskError(Shown(relPath), reason)) {
        case ErrorAnswer::Retry:
            continue;
        case ErrorAnswer::Skip:
            m_missing.push_back(relPath.empty() ? std::string(".") : relPath);
            return Step::Skipped;
        case ErrorAnswer::Cancel:
            m_cancelled = true;
            return Step::Cancelled;
        }
    }
}

std::string CCopyEngine::CRun::Shown(const std::string& relPath) const
{
    return !relPath.empty() && relPath.front() == '/' ? relPath : Join(m_destRoot, relPath);
}

bool CCopyEngine::CRun::Stopped()
{
    if (!m_cancelled && m_reporter.Cancelled())
        m_cancelled = true;
    return m_cancelled;
}

void CCopyEngine::CRun::Advance(std::uint64_t bytes)
{
    m_done += bytes;
    m_reporter.Progress(m_done, std::max(m_total, m_done));
}

CopyOutcome CCopyEngine::CRun::Copy(const std::string& sourceFolder, const std::string& destFolder,
                                    const std::string& scratch)
{
    CFd src, dst, scratchDir;
    Step step = Attempt(sourceFolder, [&] {
        src.Reset(::open(sourceFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        return src.Get() < 0 ? errno : 0;
    });
    if (step == Step::Done) {
        step = Attempt(m_destRoot, [&] {
            if (const int error = MakeFolders(destFolder))
                return error;
            dst.Reset(::open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (dst.Get() < 0)
                return errno;
            if (scratch.empty())
                return 0;
            scratchDir.Reset(::open(scratch.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            return scratchDir.Get() < 0 ? errno : 0;
        });
    }
    if (step == Step::Done) {
        struct stat st;
        if (::fstat(dst.Get(), &st) == 0)
            m_destIdentity = IdentityOf(st);
        m_scratchFd = scratchDir.Get();
        m_total = TotalBytes(src.Get(), 0);
        m_reporter.Progress(0, m_total);
        CopyDir(src.Get(), dst.Get(), "");
    }

    CopyOutcome outcome;
    if (m_cancelled) {
        outcome.result = CopyResult::Cancelled;
        return outcome;
    }
    if (m_missing.empty()) {
        // Nothing is reported as copied before it is on the device: the
        // output may be a stick that is pulled out right after the done
        // message.
        const auto start = std::chrono::steady_clock::now();
        step = Attempt(m_destRoot, [&] { return ::syncfs(dst.Get()) != 0 ? errno : 0; });
        m_engine.m_flushSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (step == Step::Done) {
            outcome.result = CopyResult::Copied;
            return outcome;
        }
        if (step == Step::Cancelled) {
            outcome.result = CopyResult::Cancelled;
            return outcome;
        }
    }
    outcome.result = CopyResult::Failed;
    outcome.missing = std::move(m_missing);
    return outcome;
}

void CCopyEngine::CRun::CopyDir(int srcFd, int dstFd, const std::string& rel)
{
    std::vector<std::string> names;
    if (Attempt(rel, [&] { return ListDir(srcFd, names); }) != Step::Done)
        return;
    for (const std::string& name : names) {
        if (Stopped())
            return;
        CopyEntry(srcFd, dstFd, name, Join(rel, name));
    }
}

void CCopyEngine::CRun::CopyEntry(int srcFd, int dstFd, const std::string& name, const std::string& rel)
{
    struct stat st;
    if (Attempt(rel, [&] { return ::fstatat(srcFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ? errno : 0; }) !=
        Step::Done)
        return;
    if (S_ISDIR(st.st_mode)) {
        // The destination inside the source would copy itself forever.
        if (IdentityOf(st) == m_destIdentity)
            return;
        CopySubdir(srcFd, dstFd, name, st, rel);
    } else if (S_ISREG(st.st_mode)) {
        CopyFile(srcFd, dstFd, name, st, rel);
    } else if (S_ISLNK(st.st_mode)) {
        CopyLink(srcFd, dstFd, name, st, rel);
    } else {
        Attempt(rel, [] { return ENOTSUP; });
    }
}

int CCopyEngine::CRun::Existing(int dstFd, const std::string& name, const std::string& rel, struct stat& st,
                                bool& exists)
{
    exists = false;
    if (const int error = m_engine.LookUp(dstFd, name.c_str(), st))
        return error == ENOENT ? 0 : error;
    exists = true;
    const auto it = m_written.find(IdentityOf(st));
    if (it != m_written.end() && it->second != rel) {
        m_clashWith = it->second;
        return EEXIST;
    }
    return 0;
}

void CCopyEngine::CRun::CopySubdir(int srcFd, int dstFd, const std::string& name, const struct stat& st,
                                   const std::string& rel)
{
    CFd childSrc, childDst;
    bool created = false;
    const Step step = Attempt(rel, [&] {
        childSrc.Reset(::openat(srcFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (childSrc.Get() < 0)
            return errno;
        struct stat existing;
        bool exists = false;
        if (const int error = Existing(dstFd, name, rel, existing, exists))
            return error;
        if (!exists) {
            // Copies must stay writable; a disc's folders are not.
            if (::mkdirat(dstFd, name.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0)
                return errno;
            created = true;
        } else if (!S_ISDIR(existing.st_mode)) {
            // Never write through a link into a folder elsewhere.
            return S_ISLNK(existing.st_mode) ? ELOOP : ENOTDIR;
        }
        childDst.Reset(::openat(dstFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (childDst.Get() < 0)
            return errno;
        struct stat opened;
        if (::fstat(childDst.Get(), &opened) != 0)
            return errno;
        m_written.emplace(IdentityOf(opened), rel);
        return 0;
    });
    if (step != Step::Done)
        return;
    CopyDir(childSrc.Get(), childDst.Get(), rel);
    if (created) {
        // After the content, which changes the folder's time.
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(childDst.Get(), times);
    }
}

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
            return errno;
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
        return EISDIR;

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
        if (const int error = m_engine.Transfer(in.Get(), out.Get(), kChunkBytes, fastPath, moved))
            return fail(error);
        if (moved == 0)
            break;
        Advance(moved);
    }
    if (m_reporter.Cancelled())
        return fail(ECANCELED);

    // Copies must be writable by their owner, or they could never be replaced.
    if (::fchmod(out.Get(), (st.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID)) | S_IRUSR | S_IWUSR) != 0)
        return fail(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out.Get(), times) != 0)
        return fail(errno);
    struct stat written;
    if (::fstat(out.Get(), &written) != 0)
        return fail(errno);
    if (::close(out.Release()) != 0)
        return fail(errno);
    if (::renameat(partialDir, partial.c_str(), dstFd, name.c_str()) != 0)
        return fail(errno);
    m_written.emplace(IdentityOf(written), rel);
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
            return EISDIR;
        const int partialDir = m_scratchFd >= 0 ? m_scratchFd : dstFd;
        const std::string partial = PartialName();
        if (::symlinkat(target.c_str(), partialDir, partial.c_str()) != 0)
            return errno;
        struct stat made;
        if (::fstatat(partialDir, partial.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::renameat(partialDir, partial.c_str(), dstFd, name.c_str()) != 0) {
            const int failure = errno;
            ::unlinkat(partialDir, partial.c_str(), 0);
            return failure;
        }
        m_written.emplace(IdentityOf(made), rel);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(dstFd, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return 0;
    });
}

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
        if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF)
            return errno;
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
        if (w < 0)
            return errno;
        written += w;
    }
    moved = static_cast<std::size_t>(got);
    return 0;
}

int CCopyEngine::LookUp(int dirFd, const char* name, struct stat& st)
{
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ? errno : 0;
}

CopyOutcome CCopyEngine::CopyContent(const std::string& sourceFolder, const std::string& destFolder,
                                     bool askBeforeReplace, ICopyReporter& reporter, const Places& places)
{
    m_flushSeconds = 0;
    CRun run(*this, reporter, places.shownDest.empty() ? destFolder : places.shownDest, askBeforeReplace);
    return run.Copy(sourceFolder, destFolder, places.scratch);
}

} // namespace copyops
