#include "copy/FileOperations.h"

#include "copy/CopyRun.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <filesystem>
#include <fstream>
#include <libmount.h>
#include <linux/magic.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace copy {

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

// The proof that this program made a folder, written inside it when it is
// made: name, owner and a free lock prove nothing, and a user's
// ".talvora-backup" or "_TalvoraTmp_" must never be emptied. No user
// writes this file by accident: it names its own folder and carries a
// random token.
const char kMarkName[] = ".talvora-werkmap";
const char kMarkHeading[] = "Talvora werkmap\n";
constexpr std::size_t kTokenBytes = 16;

std::string MarkText(const std::string& folderName, const unsigned char* token)
{
    std::string text = kMarkHeading + folderName + "\n";
    for (std::size_t i = 0; i < kTokenBytes; ++i) {
        text += "0123456789abcdef"[token[i] >> 4];
        text += "0123456789abcdef"[token[i] & 15];
    }
    return text + "\n";
}

int WriteMark(int dirFd, const std::string& folderName)
{
    unsigned char token[kTokenBytes];
    if (::getrandom(token, sizeof token, 0) != static_cast<ssize_t>(sizeof token))
        return errno != 0 ? errno : EIO;
    const std::string text = MarkText(folderName, token);
    CFd mark(RetryOnInterrupt([&] {
        return ::openat(dirFd, kMarkName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }));
    if (mark.Get() < 0)
        return errno;
    const ssize_t written = RetryOnInterrupt([&] { return ::write(mark.Get(), text.data(), text.size()); });
    if (written != static_cast<ssize_t>(text.size()))
        return written < 0 ? errno : EIO;
    return ::close(mark.Release()) != 0 ? errno : 0;
}

bool HasMark(int dirFd, const std::string& folderName)
{
    CFd mark(RetryOnInterrupt(
        [&] { return ::openat(dirFd, kMarkName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }));
    struct stat st;
    const std::size_t size = MarkText(folderName, std::array<unsigned char, kTokenBytes>{}.data()).size();
    if (mark.Get() < 0 || ::fstat(mark.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) != size)
        return false;
    std::string text(size, '\0');
    if (RetryOnInterrupt([&] { return ::read(mark.Get(), text.data(), size); }) != static_cast<ssize_t>(size))
        return false;
    const std::string start = kMarkHeading + folderName + "\n";
    if (text.compare(0, start.size(), start) != 0 || text.back() != '\n')
        return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(start.size()), text.end() - 1,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool IsEmptyFolder(int dirFd)
{
    std::vector<std::string> names;
    return posix::ListNames(dirFd, names) == 0 && names.empty();
}

// The mount table's file system type at mountPoint, and for a bare
// "fuseblk" the type that udev recorded for its block device.
void MountedType(const std::string& mountPoint, std::string& fsType, std::string& deviceFsType)
{
    libmnt_table* table = mnt_new_table();
    if (table == nullptr)
        return;
    std::string source;
    if (mnt_table_parse_file(table, "/proc/self/mountinfo") == 0) {
        // The last mount at a place is the one seen there.
        if (libmnt_fs* fs = mnt_table_find_target(table, mountPoint.c_str(), MNT_ITER_BACKWARD)) {
            fsType = mnt_fs_get_fstype(fs) != nullptr ? mnt_fs_get_fstype(fs) : "";
            source = mnt_fs_get_source(fs) != nullptr ? mnt_fs_get_source(fs) : "";
        }
    }
    mnt_unref_table(table);
    struct stat st;
    if (fsType != "fuseblk" || ::stat(source.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return;
    std::ifstream data("/run/udev/data/b" + std::to_string(major(st.st_rdev)) + ":" +
                       std::to_string(minor(st.st_rdev)));
    for (std::string line; std::getline(data, line);)
        if (line.rfind("E:ID_FS_TYPE=", 0) == 0)
            deviceFsType = line.substr(13);
}

int FlushFolder(const std::string& path)
{
    CFd dir(OpenFolder(AT_FDCWD, path.c_str()));
    if (dir.Get() < 0)
        return errno;
    return ::fsync(dir.Get()) != 0 ? errno : 0;
}

} // namespace

MountSpot SpotOf(const std::string& real, const std::string& mountPoint, bool empty)
{
    auto inside = [](const std::string& path, const std::string& folder) {
        return path.compare(0, folder.size(), folder) == 0 &&
               (path.size() == folder.size() || folder == "/" || path[folder.size()] == '/');
    };
    auto away = [&](const std::string& base) {
        return inside(real, base) && mountPoint != base && inside(base, mountPoint);
    };
    if (away("/media") || away("/run/media"))
        return empty ? MountSpot::LeftBehind : MountSpot::MediaFolder;
    if (away("/mnt"))
        return MountSpot::MntFolder;
    return MountSpot::OnDrive;
}

std::uint64_t LargestFileOn(const std::string& fsType, const std::string& deviceFsType)
{
    std::string type = fsType;
    for (const char* fuse : {"fuse.", "fuseblk."})
        if (type.rfind(fuse, 0) == 0)
            type.erase(0, std::strlen(fuse));
    if (type == "fuseblk")
        type = deviceFsType;
    // A FAT file's size is a 32-bit number.
    for (const char* fat : {"vfat", "msdos", "fat", "fat16", "fat32", "fusefat", "umsdos"})
        if (type == fat)
            return 0xFFFFFFFFull;
    return 0;
}

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

CFileOperations::CFileOperations(CopyRunner runner, copy::CCopyEngine* engine, Remounter remounter)
    : m_runner(std::move(runner)), m_engine(engine != nullptr ? *engine : m_ownEngine),
      m_remounter(std::move(remounter))
{
}

void CFileOperations::Held(CFd dir, const std::string& path)
{
    m_holds.push_back({Resolve(path), std::move(dir)});
}

PathState CFileOperations::Inspect(const std::string& path)
{
    struct stat st;
    // Like an existence test on the original platform: whatever cannot be
    // looked at counts as not there.
    if (::lstat(path.c_str(), &st) != 0)
        return PathState::Missing;
    // lstat sees a link as a link: that alone keeps the book from being
    // written elsewhere. Whoever owns the folder (a colleague in a shared
    // folder, a share or stick that shows every file as root's) may have
    // let this user write; the copy itself finds out.
    return S_ISDIR(st.st_mode) ? PathState::Folder : PathState::Other;
}

bool CFileOperations::IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

MountSpot CFileOperations::OnMissingDrive(const std::string& folder)
{
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return MountSpot::OnDrive;
    const std::string resolved = real;
    std::free(real);
    std::error_code error;
    // A folder that cannot be listed counts as holding something: what is
    // in it is not known to be nothing.
    const bool empty = std::filesystem::is_empty(resolved, error) && !error;
    return SpotOf(resolved, posix::MountPointOf(resolved), empty);
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
    if (fs.f_type == MSDOS_SUPER_MAGIC)
        return 0xFFFFFFFFull;
    if (fs.f_type != FUSE_SUPER_MAGIC)
        return 0;
    // Through FUSE the kernel knows only FUSE; the mount table knows more.
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return 0;
    const std::string mountPoint = posix::MountPointOf(real);
    std::free(real);
    std::string fsType, deviceFsType;
    MountedType(mountPoint, fsType, deviceFsType);
    return LargestFileOn(fsType, deviceFsType);
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

bool CFileOperations::Room(const std::string& folder, std::uint64_t& blockSize, std::uint64_t& free)
{
    // A folder the copy makes later lies on the drive of its nearest
    // existing parent.
    std::string existing = folder;
    struct statvfs fs;
    while (::statvfs(existing.c_str(), &fs) != 0) {
        if (errno != ENOENT || existing == "/" || existing.empty())
            return false;
        existing = posix::ParentFolder(existing);
    }
    blockSize = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    free = static_cast<std::uint64_t>(fs.f_bavail) * blockSize;
    return blockSize != 0;
}

std::uint64_t CFileOperations::SizeOnDrive(const std::string& root, std::uint64_t blockSize)
{
    return CFileOperations::SizeToFill(root, blockSize, {}, {});
}

std::uint64_t CFileOperations::SizeToFill(const std::string& root, std::uint64_t blockSize, const std::string& keptIn,
                                          const std::set<std::string>& redo)
{
    std::uint64_t total = 0;
    std::error_code ec;
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sizeError;
        if (!it->is_regular_file(sizeError) || it->is_symlink(sizeError))
            continue;
        // Kept as the copy does: a regular file of that path, not named
        // for another reading.
        if (!keptIn.empty()) {
            const std::string rel = it->path().lexically_relative(root).string();
            struct stat there;
            if (redo.count(rel) == 0 && ::lstat(posix::Join(keptIn, rel).c_str(), &there) == 0 &&
                S_ISREG(there.st_mode))
                continue;
        }
        const std::uint64_t size = it->file_size(sizeError);
        if (!sizeError)
            total += blockSize > 1 ? (size + blockSize - 1) / blockSize * blockSize : size;
    }
    return total;
}

Failure CFileOperations::MakeFolder(const std::string& path)
{
    // Another run (a second drive of the archive station, another copy)
    // may have made it since it was found missing: that is no failure.
    if (::mkdir(path.c_str(), 0777) != 0 && !(errno == EEXIST && IsFolder(path)))
        return posix::OnOutput(errno, path);
    return {};
}

Failure CFileOperations::HoldTempFolder(const std::string& folder)
{
    auto failed = [&](int error) { return posix::OnTemp(error, folder); };
    // Its missing folders are made only where a drive is: a $TMPDIR on a
    // stick that is not plugged in must not appear on the system disk.
    std::string existing = posix::ParentFolder(folder);
    while (existing != "/" && !IsFolder(existing))
        existing = posix::ParentFolder(existing);
    if (OnMissingDrive(existing) != MountSpot::OnDrive)
        return failed(ENOMEDIUM);
    if (const int error = posix::MakeFolders(posix::ParentFolder(folder)))
        return failed(error);
    const bool made = ::mkdir(folder.c_str(), 0700) == 0;
    if (!made && errno != EEXIST)
        return failed(errno);
    // A folder that something is mounted on is not ours to empty (EXDEV).
    CFd parent(RetryOnInterrupt(
        [&] { return ::open(posix::ParentFolder(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    const std::string leaf = folder.substr(folder.rfind('/') + 1);
    CFd dir(parent.Get() < 0 ? -1 : posix::OpenFolderOnSameMount(parent.Get(), leaf.c_str()));
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
    // book; what no run of this program made is not emptied.
    if (!made && !HasMark(dir.Get(), leaf) && !IsEmptyFolder(dir.Get()))
        return failed(EPERM);
    if (const int error = made ? 0 : copy::DeleteContent(dir.Get()))
        return failed(error);
    if (const int error = WriteMark(dir.Get(), leaf))
        return failed(error);
    Held(std::move(dir), folder);
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
        CFd work(posix::OpenFolderOnSameMount(dir.Get(), name.c_str()));
        struct stat st;
        // Somebody else's, one a running copy still holds, and one that this
        // program did not make stay.
        if (work.Get() < 0 || ::fstat(work.Get(), &st) != 0 || st.st_uid != ::geteuid() || !Lock(work.Get()) ||
            !HasMark(work.Get(), name))
            continue;
        if (copy::DeleteContent(work.Get()) == 0)
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
        if (const int error = WriteMark(dir.Get(), path.substr(path.rfind('/') + 1))) {
            ::unlinkat(dir.Get(), kMarkName, 0);
            ::rmdir(path.c_str());
            return posix::OnOutput(error, path);
        }
        Held(std::move(dir), path);
        work = path;
        return {};
    }
    return posix::OnOutput(EBUSY, folder);
}

copy::CopyOutcome CFileOperations::Copy(const std::string& sourceFolder, const std::string& destFolder,
                                           const std::string& scratchFolder, const std::string& shownDest,
                                           const std::string& title, bool askBeforeReplace,
                                           const copy::CopyScope& scope)
{
    copy::CopyOutcome outcome;
    m_runner(title, [&](copy::ICopyReporter& reporter) {
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
    return posix::OnOutput(copy::DeleteTree(folder), folder);
}

RemountResult CFileOperations::Remount(const std::string& folder, const std::string& title)
{
    RemountResult result;
    result.folder = folder;
    auto ended = [&](RemountState state, const Failure& failure) {
        result.state = state;
        result.failure = failure;
        return result;
    };
    if (!m_remounter)
        return ended(RemountState::Unchanged, posix::OnOutput(ENOTSUP, folder));
    const std::string real = Resolve(folder);
    std::string mountPoint, fsType;
    struct stat st;
    {
        CFd dir(OpenFolder(AT_FDCWD, real.c_str()));
        if (dir.Get() < 0 || ::fstat(dir.Get(), &st) != 0)
            return ended(RemountState::Unchanged, posix::OnOutput(errno, folder));
        if (!MountEntryOf(dir.Get(), mountPoint, fsType))
            return ended(RemountState::Unchanged, posix::OnOutput(ENOENT, folder));
    }
    if (!posix::Inside(real, mountPoint))
        return ended(RemountState::Unchanged, posix::OnOutput(EXDEV, folder));

    // A folder held open keeps the drive busy: let go of what this run
    // holds there, but for folders removed already, which stay gone.
    std::vector<std::string> released;
    for (auto hold = m_holds.begin(); hold != m_holds.end();) {
        struct stat held;
        if (::fstat(hold->fd.Get(), &held) != 0 || held.st_dev != st.st_dev) {
            ++hold;
            continue;
        }
        if (held.st_nlink > 0)
            released.push_back(hold->path);
        hold = m_holds.erase(hold);
    }
    // Work that never ran changed nothing.
    std::string mountedAt = mountPoint;
    Failure failure = posix::OnOutput(ENOTSUP, mountPoint);
    // Unmounting and mounting cannot be stopped half-way; a cancel asked
    // for meanwhile is passed on.
    m_runner(title, [&](copy::ICopyReporter& reporter) {
        failure = m_remounter(mountPoint, mountedAt);
        result.cancelled = reporter.Cancelled();
    });
    result.drive = mountedAt;
    if (mountedAt.empty())
        return ended(RemountState::Gone, failure ? failure : posix::OnOutput(ENODEV, mountPoint));
    // Taken again before anything else: another run cleaning up would
    // take an unheld work folder for one an ended run left.
    for (const std::string& path : released) {
        const std::string now = posix::MovedBelow(path, mountPoint, mountedAt);
        CFd dir(OpenFolder(AT_FDCWD, now.c_str()));
        const int error = dir.Get() < 0 ? errno : !Lock(dir.Get()) ? EBUSY : 0;
        if (error != 0)
            return ended(RemountState::Gone, posix::OnOutput(error, now));
        Held(std::move(dir), now);
    }
    if (failure)
        return ended(mountedAt == mountPoint ? RemountState::Unchanged : RemountState::Gone, failure);
    if (mountedAt != mountPoint)
        result.folder = posix::MovedBelow(real, mountPoint, mountedAt);
    return ended(RemountState::Remounted, {});
}

} // namespace copy
