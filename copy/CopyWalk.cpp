// The walk: folders, entries, and the bookkeeping of one copy.
#include "copy/CopyRun.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace copy {

namespace {

// The part of rel before its last name, "" at the top.
std::string ParentOfRel(const std::string& rel, const std::string& name)
{
    return rel.size() > name.size() ? rel.substr(0, rel.size() - name.size() - 1) : std::string();
}

bool AsciiCaseEqual(const std::string& a, const std::string& b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(x) == lower(y);
           });
}

std::uint64_t TotalBytes(int dirFd, int depth)
{
    std::vector<std::string> names;
    if (depth > 256 || ListNames(dirFd, names) != 0)
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

// Where the file system holding path is mounted: the highest folder above
// it on the same device. That is the name a user knows a stick by.
std::string DriveOf(const std::string& path)
{
    std::string at = path;
    struct stat st;
    while (!at.empty() && ::stat(at.c_str(), &st) != 0) {
        at = ParentFolder(at);
        if (at == "/")
            break;
    }
    if (::stat(at.c_str(), &st) != 0)
        return path;
    while (at != "/") {
        const std::string up = ParentFolder(at);
        struct stat upSt;
        if (::stat(up.c_str(), &upSt) != 0 || upSt.st_dev != st.st_dev)
            break;
        at = up;
    }
    return at;
}

} // namespace

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
    // The user is told of the book's bytes, counted once: a read-back
    // doubles the work, not the book.
    m_reporter.Progress(m_done / Passes(), std::max(m_total, m_done) / Passes());
}

CopyOutcome CCopyEngine::CRun::Copy(const std::string& sourceFolder, const std::string& destFolder,
                                    const std::string& scratch)
{
    CFd src, dst, scratchDir, kept;
    // A kept folder that cannot be opened keeps nothing: every file is read.
    if (!m_scope.keptIn.empty()) {
        kept.Reset(::open(m_scope.keptIn.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        m_keptFd = kept.Get();
    }
    Step step = Attempt(sourceFolder, [&] {
        src.Reset(::open(sourceFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        return src.Get() < 0 ? OnDisc(errno) : Failure{};
    });
    if (step == Step::Done) {
        m_drive = DriveOf(destFolder);
        struct stat before;
        if (::lstat(destFolder.c_str(), &before) != 0 && errno == ENOENT)
            m_fresh.insert("");
        step = Attempt(m_destRoot, [&] {
            if (const int error = MakeFolders(destFolder))
                return OnOutput(error);
            dst.Reset(::open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (dst.Get() < 0)
                return OnOutput(errno);
            if (scratch.empty())
                return Failure{};
            scratchDir.Reset(::open(scratch.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            return scratchDir.Get() < 0 ? OnOutput(errno) : Failure{};
        });
    }
    if (step == Step::Done) {
        // The mount table names the stick even where a folder above it
        // cannot be looked at.
        std::string mountPoint, fsType;
        if (MountEntryOf(dst.Get(), mountPoint, fsType))
            m_drive = mountPoint;
        struct stat st;
        if (::fstat(dst.Get(), &st) == 0)
            m_destIdentity = IdentityOf(st);
        m_scratchFd = scratchDir.Get();
        m_total = TotalBytes(src.Get(), 0) * Passes();
        m_reporter.Progress(0, m_total / Passes());
        CopyDir(src.Get(), dst.Get(), "");
    }

    m_keptFd = -1;
    CopyOutcome outcome;
    outcome.drive = m_drive;
    outcome.seen = m_seen;
    if (m_cancelled) {
        outcome.result = CopyResult::Cancelled;
        return outcome;
    }
    if (m_missing.empty()) {
        // Nothing is reported as copied before it is on the device: the
        // output may be a stick that is pulled out right after the done
        // message. A flush that fails loses no file from the list: they
        // were all written, only perhaps not to the device.
        const auto start = std::chrono::steady_clock::now();
        step = Attempt(m_destRoot, [&] { return OnOutput(m_engine.Flush(dst.Get())); });
        m_engine.m_flushSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (step == Step::Done && m_scope.verify)
            ReadBackAll(dst.Get());
        if (step == Step::Done && !m_cancelled && m_different.empty()) {
            outcome.result = CopyResult::Copied;
            // A file that read back different is a fault wherever its bytes
            // came from; equal bytes prove the device only where the read
            // reached it.
            if (m_scope.verify)
                outcome.readBack = Reach(dst.Get());
            return outcome;
        }
        if (step == Step::Cancelled || m_cancelled) {
            outcome.result = CopyResult::Cancelled;
            return outcome;
        }
        if (step == Step::Done) {
            outcome.result = CopyResult::Failed;
            outcome.different = std::move(m_different);
            return outcome;
        }
        m_missing.clear();
        m_noRoom.clear();
        outcome.unflushed = true;
    }
    outcome.result = CopyResult::Failed;
    outcome.missing = std::move(m_missing);
    outcome.noRoom = std::move(m_noRoom);
    return outcome;
}

void CCopyEngine::CRun::CopyDir(int srcFd, int dstFd, const std::string& rel)
{
    std::vector<std::string> names;
    if (Attempt(rel, [&] { return OnDisc(ListNames(srcFd, names)); }) != Step::Done)
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
    if (Attempt(rel, [&] { return OnDisc(::fstatat(srcFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ? errno : 0); }) !=
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
        Attempt(rel, [] { return OnDisc(ENOTSUP); });
    }
}

Failure CCopyEngine::CRun::Existing(int dstFd, const std::string& name, const std::string& rel, struct stat& st,
                                    bool& exists)
{
    exists = false;
    if (const int error = m_engine.LookUp(dstFd, name.c_str(), st))
        return error == ENOENT ? Failure{} : OnOutput(error);
    exists = true;
    const auto it = m_written.find(IdentityOf(st));
    if (it != m_written.end() && it->second != rel)
        return OnOutput(posix::kNameClash, it->second);
    const std::string other = ClashByName(dstFd, name, rel);
    return other.empty() ? Failure{} : OnOutput(posix::kNameClash, other);
}

void CCopyEngine::CRun::Wrote(const std::string& rel, const std::string& name, const Identity& id)
{
    m_written.emplace(id, rel);
    m_names[ParentOfRel(rel, name)].insert(name);
}

// name was found in the destination folder (at rel): the name this run
// wrote that entry under, when it is one of this run's under another name;
// "" otherwise.
std::string CCopyEngine::CRun::ClashByName(int dstFd, const std::string& name, const std::string& rel)
{
    const std::string folder = ParentOfRel(rel, name);
    const auto written = m_names.find(folder);
    if (written != m_names.end() && written->second.count(name) != 0)
        return {}; // this very name, written by this run
    std::string other;
    if (written != m_names.end())
        for (const std::string& n : written->second)
            if (AsciiCaseEqual(n, name))
                other = n;
    // Nothing was here before this run.
    if (m_fresh.count(folder) != 0)
        return Join(folder, other.empty() ? name : other);
    if (other.empty())
        return {};
    // A folder that held files before: on a file system that tells letter
    // case apart, name may be an older file of its own.
    std::vector<std::string> names;
    if (ListNames(dstFd, names) == 0 && std::binary_search(names.begin(), names.end(), name))
        return {};
    return Join(folder, other);
}

void CCopyEngine::CRun::CopySubdir(int srcFd, int dstFd, const std::string& name, const struct stat& st,
                                   const std::string& rel)
{
    CFd childSrc, childDst;
    bool created = false;
    const Step step = Attempt(rel, [&] {
        childSrc.Reset(::openat(srcFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (childSrc.Get() < 0)
            return OnDisc(errno);
        struct stat existing;
        bool exists = false;
        if (Failure failure = Existing(dstFd, name, rel, existing, exists))
            return failure;
        if (!exists) {
            // Copies must stay writable; a disc's folders are not.
            if (::mkdirat(dstFd, name.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0)
                return OnOutput(errno);
            created = true;
            // Found again should this attempt be retried.
            m_names[ParentOfRel(rel, name)].insert(name);
        } else if (!S_ISDIR(existing.st_mode)) {
            // Never write through a link into a folder elsewhere.
            return OnOutput(S_ISLNK(existing.st_mode) ? ELOOP : ENOTDIR);
        }
        childDst.Reset(::openat(dstFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (childDst.Get() < 0)
            return OnOutput(errno);
        struct stat opened;
        if (::fstat(childDst.Get(), &opened) != 0)
            return OnOutput(errno);
        Wrote(rel, name, IdentityOf(opened));
        if (created)
            m_fresh.insert(rel);
        return Failure{};
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

} // namespace copy
