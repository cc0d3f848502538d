#include "copy/FileOperations.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <filesystem>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace copyjob {

namespace {

using posix::CFd;
using posix::RetryOnInterrupt;

const char kWorkPrefix[] = ".talvora-";
constexpr std::size_t kWorkRandom = 6; // as mkdtemp fills in

int OpenFolder(int dirFd, const char* name)
{
    return RetryOnInterrupt(
        [&] { return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
}

// An advisory lock held as long as the descriptor stays open; the kernel
// drops it when the process ends, however it ends.
bool Lock(int fd)
{
    return RetryOnInterrupt([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0;
}

int FlushFolder(const std::string& path)
{
    CFd dir(OpenFolder(AT_FDCWD, path.c_str()));
    if (dir.Get() < 0)
        return errno;
    return ::fsync(dir.Get()) != 0 ? errno : 0;
}

} // namespace

bool IsWorkFolderName(const char* name)
{
    const std::size_t prefix = sizeof kWorkPrefix - 1;
    if (std::strlen(name) != prefix + kWorkRandom || std::strncmp(name, kWorkPrefix, prefix) != 0)
        return false;
    for (const char* p = name + prefix; *p; ++p)
        if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')))
            return false;
    return true;
}

CFileOperations::CFileOperations(CopyRunner runner, copyops::CCopyEngine* engine)
    : m_runner(std::move(runner)), m_engine(engine != nullptr ? *engine : m_ownEngine)
{
}

PathState CFileOperations::Inspect(const std::string& path)
{
    struct stat st;
    // Like an existence test on the original platform: whatever cannot be
    // looked at counts as not there.
    if (::lstat(path.c_str(), &st) != 0)
        return PathState::Missing;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() ? PathState::OwnFolder : PathState::Other;
}

bool CFileOperations::IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string CFileOperations::Resolve(const std::string& path)
{
    std::string head = path, tail;
    while (!head.empty()) {
        if (char* real = ::realpath(head.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            if (!tail.empty())
                resolved += (resolved.back() == '/' ? "" : "/") + tail;
            return resolved;
        }
        const std::size_t slash = head.find_last_of('/');
        if (slash == std::string::npos)
            break;
        const std::string last = head.substr(slash + 1);
        if (!last.empty())
            tail = tail.empty() ? last : last + "/" + tail;
        head = slash == 0 ? (head == "/" ? std::string() : std::string("/")) : head.substr(0, slash);
    }
    return path;
}

std::uint64_t CFileOperations::LargestFileAllowed(const std::string& folder)
{
    struct statfs fs;
    if (::statfs(folder.c_str(), &fs) != 0)
        return 0;
    // vfat and msdos: a file's size is a 32-bit number.
    return fs.f_type == MSDOS_SUPER_MAGIC ? 0xFFFFFFFFull : 0;
}

std::string CFileOperations::FileLargerThan(const std::string& root, std::uint64_t limit)
{
    std::error_code ec;
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError) && !it->is_symlink(sizeError) && it->file_size(sizeError) > limit &&
            !sizeError)
            return it->path().lexically_relative(root).string();
    }
    return {};
}

Failure CFileOperations::MakeFolder(const std::string& path)
{
    return posix::OnOutput(::mkdir(path.c_str(), 0777) != 0 ? errno : 0, path);
}

Failure CFileOperations::HoldTempFolder(const std::string& folder)
{
    auto failed = [&](int error) { return posix::OnTemp(error, folder); };
    if (const int error = posix::MakeFolders(posix::ParentFolder(folder)))
        return failed(error);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return failed(errno);
    CFd dir(OpenFolder(AT_FDCWD, folder.c_str()));
    if (dir.Get() < 0)
        return failed(errno);
    struct stat st;
    if (::fstat(dir.Get(), &st) != 0)
        return failed(errno);
    if (st.st_uid != ::geteuid())
        return failed(EPERM);
    if (!Lock(dir.Get()))
        return failed(EBUSY);
    // Whatever a killed run left there would otherwise travel into this
    // book.
    if (const int error = copyops::DeleteContent(dir.Get()))
        return failed(error);
    m_holds.push_back(std::move(dir));
    return {};
}

void CFileOperations::RemoveLeftovers(const std::string& folder)
{
    CFd dir(OpenFolder(AT_FDCWD, folder.c_str()));
    if (dir.Get() < 0)
        return;
    std::vector<std::string> names;
    {
        DIR* list = ::fdopendir(::dup(dir.Get()));
        if (list == nullptr)
            return;
        while (const dirent* e = ::readdir(list))
            if (IsWorkFolderName(e->d_name))
                names.emplace_back(e->d_name);
        ::closedir(list);
    }
    for (const std::string& name : names) {
        CFd work(OpenFolder(dir.Get(), name.c_str()));
        struct stat st;
        // Somebody else's, or one a running copy still holds, stays.
        if (work.Get() < 0 || ::fstat(work.Get(), &st) != 0 || st.st_uid != ::geteuid() || !Lock(work.Get()))
            continue;
        if (copyops::DeleteContent(work.Get()) == 0)
            ::unlinkat(dir.Get(), name.c_str(), AT_REMOVEDIR);
    }
}

Failure CFileOperations::MakeWorkFolder(const std::string& folder, std::string& work)
{
    for (int tries = 0; tries < 10; ++tries) {
        std::string path = posix::Join(folder, std::string(kWorkPrefix) + std::string(kWorkRandom, 'X'));
        if (::mkdtemp(path.data()) == nullptr)
            return posix::OnOutput(errno, folder);
        CFd dir(OpenFolder(AT_FDCWD, path.c_str()));
        struct stat st;
        if (dir.Get() < 0 || !Lock(dir.Get()) || ::fstat(dir.Get(), &st) != 0)
            return posix::OnOutput(errno, path);
        // Another run's clean-up may have taken it between its making and
        // the lock.
        if (st.st_nlink == 0)
            continue;
        m_holds.push_back(std::move(dir));
        work = path;
        return {};
    }
    return posix::OnOutput(EBUSY, folder);
}

copyops::CopyOutcome CFileOperations::Copy(const std::string& sourceFolder, const std::string& destFolder,
                                           const std::string& scratchFolder, const std::string& shownDest,
                                           const std::string& title, bool askBeforeReplace,
                                           const copyops::CopyScope& scope)
{
    copyops::CopyOutcome outcome;
    m_runner(title, [&](copyops::ICopyReporter& reporter) {
        outcome = m_engine.CopyContent(sourceFolder, destFolder, askBeforeReplace, reporter,
                                       {scratchFolder, shownDest}, scope);
    });
    return outcome;
}

Failure CFileOperations::Publish(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS)
            return posix::OnOutput(errno, to);
        // A file system that cannot promise not to replace: look first.
        struct stat st;
        if (::lstat(to.c_str(), &st) == 0)
            return posix::OnOutput(EEXIST, to);
        if (::rename(from.c_str(), to.c_str()) != 0)
            return posix::OnOutput(errno, to);
    }
    // The book's files are on the device already; its name should be too.
    // The rename has happened whatever the flush says, and a device that
    // fails here has failed the files' flush just before.
    FlushFolder(posix::ParentFolder(to));
    return {};
}

Failure CFileOperations::Delete(const std::string& folder)
{
    return posix::OnOutput(copyops::DeleteTree(folder), folder);
}

} // namespace copyjob
