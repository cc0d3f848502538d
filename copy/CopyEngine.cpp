#include "copy/CopyEngine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace copyops {

namespace {

const char kPartialPrefix[] = ".talvora-";
const char kPartialSuffix[] = ".part";

class CFd
{
public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() { Reset(); }
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

std::string Join(const std::string& a, const std::string& b)
{
    if (a.empty())
        return b;
    return a.back() == '/' ? a + b : a + "/" + b;
}

std::string PartialName()
{
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    char name[64];
    std::snprintf(name, sizeof name, "%s%08x%04x%s", kPartialPrefix, salt ^ static_cast<unsigned>(::getpid()),
                  counter.fetch_add(1) & 0xffffu, kPartialSuffix);
    return name;
}

// Names in byte order, so that a copy runs the same way every time.
bool ListDir(int dirFd, std::vector<std::string>& names, int& error)
{
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        error = errno;
        ::close(fd);
        return false;
    }
    names.clear();
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 && !IsPartialFileName(e->d_name))
            names.emplace_back(e->d_name);
        errno = 0;
    }
    error = errno;
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return error == 0;
}

std::uint64_t TotalBytes(int dirFd, int depth)
{
    std::vector<std::string> names;
    int error = 0;
    if (depth > 256 || !ListDir(dirFd, names, error))
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

int MakeDirs(const std::string& path)
{
    std::string partial;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        partial = path.substr(0, next);
        pos = next + 1;
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

} // namespace

std::string DescribeError(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return "Er is niet genoeg ruimte op de schijf.";
    case EACCES:
    case EPERM:
        return "U heeft geen toestemming.";
    case EIO:
        return "Het bestand kan niet worden gelezen of geschreven (invoer-/uitvoerfout). De CD is misschien beschadigd.";
    case EROFS:
        return "Op deze schijf kan niet worden geschreven.";
    case ENAMETOOLONG:
        return "De naam of het pad is te lang.";
    case ENOENT:
        return "Het bestand of de map bestaat niet (meer).";
    case EISDIR:
        return "Er staat al een map met deze naam.";
    case ENOTDIR:
    case EEXIST:
        return "Er staat al iets anders met deze naam.";
    case ELOOP:
        return "Er staat een snelkoppeling (symbolische koppeling) met deze naam.";
    case ENOTSUP:
        return "Dit is geen gewoon bestand of gewone map.";
    case EMFILE:
    case ENFILE:
        return "Er zijn te veel bestanden tegelijk geopend.";
    default:
        return "Systeemfout " + std::to_string(error) + " (" + std::strerror(error) + ").";
    }
}

bool IsPartialFileName(const char* name)
{
    const std::size_t n = std::strlen(name);
    const std::size_t p = sizeof kPartialPrefix - 1, s = sizeof kPartialSuffix - 1;
    return n > p + s && std::strncmp(name, kPartialPrefix, p) == 0 && std::strcmp(name + n - s, kPartialSuffix) == 0;
}

struct CCopyEngine::Run
{
    Run(ICopyReporter& r, const std::string& dest) : reporter(r), destRoot(dest) {}
    ICopyReporter& reporter;
    std::string destRoot;
    bool ask = false;
    bool replaceAll = false;
    bool cancelled = false;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    dev_t destDev = 0;
    ino_t destIno = 0;
    std::vector<std::string> missing;
};

CCopyEngine::CCopyEngine() = default;
CCopyEngine::~CCopyEngine() = default;

int CCopyEngine::OpenSource(int dirFd, const char* name)
{
    // O_NONBLOCK: a fifo that slipped in must not hang the copy.
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

ssize_t CCopyEngine::Transfer(int in, int out, std::size_t max, bool& fastPath)
{
    if (fastPath) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, max, 0);
        if (n > 0)
            return n;
        if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF)
            return -errno;
        // Refused, or 0 from a file system that cannot tell its end this way:
        // read/write decides. The file positions have not moved.
        fastPath = false;
    }
    if (!m_buffer)
        m_buffer.reset(new char[kBufferBytes]);
    const std::size_t want = std::min(max, kBufferBytes);
    ssize_t got;
    do
        got = ::read(in, m_buffer.get(), want);
    while (got < 0 && errno == EINTR);
    if (got <= 0)
        return got < 0 ? -errno : 0;
    for (ssize_t written = 0; written < got;) {
        const ssize_t w = ::write(out, m_buffer.get() + written, static_cast<std::size_t>(got - written));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        written += w;
    }
    return got;
}

template <class Op>
CCopyEngine::Step CCopyEngine::Attempt(Run& run, const std::string& shownPath, const std::string& relPath, Op op)
{
    for (;;) {
        if (run.cancelled || run.reporter.Cancelled()) {
            run.cancelled = true;
            return Step::Cancelled;
        }
        const int error = op();
        if (error == 0)
            return Step::Done;
        if (error == ECANCELED) {
            run.cancelled = true;
            return Step::Cancelled;
        }
        switch (run.reporter.AskError(shownPath, DescribeError(error))) {
        case ErrorAnswer::Retry:
            continue;
        case ErrorAnswer::Skip:
            run.missing.push_back(relPath.empty() ? std::string(".") : relPath);
            return Step::Skipped;
        case ErrorAnswer::Cancel:
            run.cancelled = true;
            return Step::Cancelled;
        }
    }
}

bool CCopyEngine::CopyContent(const std::string& sourceFolder, const std::string& destFolder, bool askBeforeReplace,
                              ICopyReporter& reporter)
{
    Run run(reporter, destFolder);
    run.ask = askBeforeReplace;
    m_flushSeconds = 0;

    CFd src, dst;
    Step step = Attempt(run, sourceFolder, sourceFolder, [&] {
        src.Reset(::open(sourceFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        return src.Get() < 0 ? errno : 0;
    });
    if (step == Step::Done) {
        step = Attempt(run, destFolder, destFolder, [&] {
            if (const int error = MakeDirs(destFolder))
                return error;
            dst.Reset(::open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            return dst.Get() < 0 ? errno : 0;
        });
    }
    if (step == Step::Done) {
        struct stat st;
        if (::fstat(dst.Get(), &st) == 0) {
            run.destDev = st.st_dev;
            run.destIno = st.st_ino;
        }
        run.total = TotalBytes(src.Get(), 0);
        reporter.Progress(0, run.total);
        CopyDir(run, src.Get(), dst.Get(), "");
    }

    if (run.cancelled)
        return false;
    if (!run.missing.empty()) {
        reporter.ReportMissing(run.missing);
        return false;
    }
    // Nothing is reported as copied before it is on the device: the output
    // may be a stick that is pulled out right after the done message.
    const auto start = std::chrono::steady_clock::now();
    step = Attempt(run, destFolder, destFolder, [&] { return ::syncfs(dst.Get()) != 0 ? errno : 0; });
    m_flushSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (step == Step::Skipped) {
        reporter.ReportMissing(run.missing);
        return false;
    }
    return step == Step::Done;
}

void CCopyEngine::CopyDir(Run& run, int srcFd, int dstFd, const std::string& rel)
{
    std::vector<std::string> names;
    if (Attempt(run, Join(run.destRoot, rel), rel, [&] {
            int error = 0;
            return ListDir(srcFd, names, error) ? 0 : error;
        }) != Step::Done)
        return;
    for (const std::string& name : names) {
        if (run.cancelled || run.reporter.Cancelled()) {
            run.cancelled = true;
            return;
        }
        CopyEntry(run, srcFd, dstFd, name, Join(rel, name));
    }
}

void CCopyEngine::CopyEntry(Run& run, int srcFd, int dstFd, const std::string& name, const std::string& rel)
{
    struct stat st;
    if (Attempt(run, Join(run.destRoot, rel), rel,
                [&] { return ::fstatat(srcFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ? errno : 0; }) !=
        Step::Done)
        return;
    if (S_ISDIR(st.st_mode)) {
        // The destination inside the source would copy itself forever.
        if (st.st_dev == run.destDev && st.st_ino == run.destIno)
            return;
        CopySubdir(run, srcFd, dstFd, name, st, rel);
    } else if (S_ISREG(st.st_mode)) {
        CopyFile(run, srcFd, dstFd, name, st, rel);
    } else if (S_ISLNK(st.st_mode)) {
        CopyLink(run, srcFd, dstFd, name, st, rel);
    } else {
        Attempt(run, Join(run.destRoot, rel), rel, [] { return ENOTSUP; });
    }
}

void CCopyEngine::CopySubdir(Run& run, int srcFd, int dstFd, const std::string& name, const struct stat& st,
                             const std::string& rel)
{
    CFd childSrc, childDst;
    bool created = false;
    const Step step = Attempt(run, Join(run.destRoot, rel), rel, [&] {
        childSrc.Reset(::openat(srcFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (childSrc.Get() < 0)
            return errno;
        struct stat existing;
        if (::fstatat(dstFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return errno;
            // Copies must stay writable; a disc's folders are not.
            if (::mkdirat(dstFd, name.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0)
                return errno;
            created = true;
        } else if (!S_ISDIR(existing.st_mode)) {
            // Never write through a link into a folder elsewhere.
            return S_ISLNK(existing.st_mode) ? ELOOP : ENOTDIR;
        }
        childDst.Reset(::openat(dstFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        return childDst.Get() < 0 ? errno : 0;
    });
    if (step != Step::Done)
        return;
    CopyDir(run, childSrc.Get(), childDst.Get(), rel);
    if (created) {
        // After the content, which changes the folder's time.
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(childDst.Get(), times);
    }
}

bool CCopyEngine::MayReplace(Run& run, int dstFd, const std::string& name, const std::string& rel, bool& skip)
{
    skip = false;
    struct stat existing;
    if (::fstatat(dstFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0)
        return true;
    if (S_ISDIR(existing.st_mode))
        return true; // the write reports it
    if (!run.ask || run.replaceAll)
        return true;
    switch (run.reporter.AskReplace(Join(run.destRoot, rel))) {
    case ReplaceAnswer::Yes:
        return true;
    case ReplaceAnswer::YesToAll:
        run.replaceAll = true;
        return true;
    case ReplaceAnswer::No:
        skip = true;
        return true;
    case ReplaceAnswer::Cancel:
        break;
    }
    run.cancelled = true;
    return false;
}

int CCopyEngine::WriteFile(Run& run, int srcFd, int dstFd, const std::string& name, const struct stat& st)
{
    const std::uint64_t doneBefore = run.done;
    CFd in;
    {
        const int fd = OpenSource(srcFd, name.c_str());
        if (fd < 0)
            return -fd;
        in.Reset(fd);
    }
    struct stat opened;
    if (::fstat(in.Get(), &opened) != 0)
        return errno;
    if (!S_ISREG(opened.st_mode))
        return ENOTSUP;

    struct stat existing;
    if (::fstatat(dstFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(existing.st_mode))
        return EISDIR;

    std::string partial;
    CFd out;
    for (int tries = 0; out.Get() < 0; ++tries) {
        partial = PartialName();
        out.Reset(::openat(dstFd, partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (out.Get() < 0 && (errno != EEXIST || tries > 100))
            return errno;
    }
    auto fail = [&](int error) {
        out.Reset();
        ::unlinkat(dstFd, partial.c_str(), 0);
        run.done = doneBefore;
        return error;
    };

    bool fastPath = m_useCopyFileRange;
    for (;;) {
        if (run.reporter.Cancelled())
            return fail(ECANCELED);
        const ssize_t n = Transfer(in.Get(), out.Get(), kChunkBytes, fastPath);
        if (n < 0)
            return fail(static_cast<int>(-n));
        if (n == 0)
            break;
        run.done += static_cast<std::uint64_t>(n);
        run.reporter.Progress(run.done, std::max(run.total, run.done));
    }
    if (run.reporter.Cancelled())
        return fail(ECANCELED);

    // Copies must be writable by their owner, or they could never be replaced.
    if (::fchmod(out.Get(), (st.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID)) | S_IRUSR | S_IWUSR) != 0)
        return fail(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out.Get(), times) != 0)
        return fail(errno);
    if (::close(out.Release()) != 0)
        return fail(errno);
    if (::renameat(dstFd, partial.c_str(), dstFd, name.c_str()) != 0)
        return fail(errno);
    return 0;
}

void CCopyEngine::CopyFile(Run& run, int srcFd, int dstFd, const std::string& name, const struct stat& st,
                           const std::string& rel)
{
    bool skip = false;
    if (!MayReplace(run, dstFd, name, rel, skip))
        return;
    if (skip) {
        // "No" keeps the old file; that is the user's choice, not a hole.
        run.done += static_cast<std::uint64_t>(st.st_size);
        run.reporter.Progress(run.done, std::max(run.total, run.done));
        return;
    }
    Attempt(run, Join(run.destRoot, rel), rel, [&] { return WriteFile(run, srcFd, dstFd, name, st); });
}

void CCopyEngine::CopyLink(Run& run, int srcFd, int dstFd, const std::string& name, const struct stat& st,
                           const std::string& rel)
{
    bool skip = false;
    if (!MayReplace(run, dstFd, name, rel, skip) || skip)
        return;
    Attempt(run, Join(run.destRoot, rel), rel, [&] {
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
        const ssize_t n = ::readlinkat(srcFd, name.c_str(), target.data(), target.size());
        if (n < 0)
            return errno;
        if (static_cast<std::size_t>(n) >= target.size())
            return ENAMETOOLONG;
        target.resize(static_cast<std::size_t>(n));
        struct stat existing;
        if (::fstatat(dstFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(existing.st_mode))
            return EISDIR;
        const std::string partial = PartialName();
        if (::symlinkat(target.c_str(), dstFd, partial.c_str()) != 0)
            return errno;
        if (::renameat(dstFd, partial.c_str(), dstFd, name.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(dstFd, partial.c_str(), 0);
            return error;
        }
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(dstFd, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return 0;
    });
}

namespace {

bool DeleteContent(int dirFd, dev_t dev, int depth)
{
    std::vector<std::string> names;
    if (depth > 512)
        return false;
    // Unlike a copy's listing, this one keeps partial files: they go too.
    {
        const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            return false;
        }
        while (const dirent* e = ::readdir(dir))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    bool all = true;
    for (const std::string& name : names) {
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            all = all && errno == ENOENT;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            // Another file system mounted inside is not ours to empty.
            if (st.st_dev != dev) {
                all = false;
                continue;
            }
            CFd child(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (child.Get() < 0) {
                all = false;
                continue;
            }
            struct stat cst;
            if (::fstat(child.Get(), &cst) == 0 && (cst.st_mode & S_IRWXU) != S_IRWXU)
                ::fchmod(child.Get(), cst.st_mode | S_IRWXU);
            all = DeleteContent(child.Get(), dev, depth + 1) && all;
            child.Reset();
            if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0)
                all = false;
        } else if (::unlinkat(dirFd, name.c_str(), 0) != 0) {
            all = false;
        }
    }
    return all;
}

} // namespace

bool DeleteTree(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0;
    CFd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.Get() < 0)
        return false;
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(dir.Get(), st.st_mode | S_IRWXU);
    const bool content = DeleteContent(dir.Get(), st.st_dev, 0);
    dir.Reset();
    return content && ::rmdir(path.c_str()) == 0;
}

} // namespace copyops
