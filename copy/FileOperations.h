// The copy job's file operations on the real file system; the copies run
// under whatever progress window the caller hands in.
#pragma once

#include "copy/CopyEngine.h"
#include "copy/CopyJob.h"
#include "posix/Posix.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace copy {

// Runs work on a worker thread while a progress window titled title is
// shown, work reporting through the reporter it is given, and returns once
// the worker has ended. The copy window's progress window is one
// (ui/CopyProgress.h).
using CopyRunner =
    std::function<void(const std::string& title, const std::function<void(copy::ICopyReporter&)>& work)>;

// Hidden work folders are named like this in the output folder; a book's
// folder never starts with a full stop, so no book can carry such a name.
bool IsWorkFolderName(const char* name);

// Where an existing folder at real (a resolved path), on the mount at
// mountPoint, stands: in a folder where removable drives are mounted
// (/media, /run/media, /mnt) but on a file system mounted above that
// folder, so writing there would write on the system disk; empty: whether
// it holds nothing. A file system mounted at such a folder or below it is a
// drive.
MountSpot SpotOf(const std::string& real, const std::string& mountPoint, bool empty);

// The largest file a file system of the mount table's type fsType takes,
// 0 for no limit of its own. A FUSE mount names the file system it serves
// after a dot ("fuseblk.vfat"); a bare "fuseblk" has deviceFsType, what
// udev found on its device, instead.
std::uint64_t LargestFileOn(const std::string& fsType, const std::string& deviceFsType);

// The book check of the book whose ncc.html, package file or discinfo.html
// lies in folder itself; no findings when it holds none.
check::CheckReport CheckBookFolder(const std::string& folder, const check::CheckOptions& options = {});

// The hidden note inside an incomplete book's folder of what it still needs.
inline constexpr const char* kNeededNote = ".talvora-onvolledig";

// Unmounts the drive mounted at mountPoint and mounts it again, as a file
// manager does; called on the thread the copy runs on. mountedAt: where the
// drive is mounted now, mountPoint itself when it was never unmounted (the
// failure says why), "" when it is not mounted any more.
using Remounter = std::function<Failure(const std::string& mountPoint, std::string& mountedAt)>;

class CFileOperations final : public IFileOperations
{
public:
    // engine: nullptr for the real one; tests pass one with faults.
    // remounter: how a drive is mounted anew; none where that must not be
    // tried (other copies may be writing to the same drive).
    explicit CFileOperations(CopyRunner runner, copy::CCopyEngine* engine = nullptr, Remounter remounter = nullptr);

    PathState Inspect(const std::string& path) override;
    bool IsFolder(const std::string& path) override;
    MountSpot OnMissingDrive(const std::string& folder) override;
    std::string Resolve(const std::string& path) override;
    std::uint64_t LargestFileAllowed(const std::string& folder) override;
    std::string FileLargerThan(const std::string& root, std::uint64_t limit) override;
    bool Room(const std::string& folder, std::uint64_t& blockSize, std::uint64_t& free) override;
    std::uint64_t SizeOnDrive(const std::string& root, std::uint64_t blockSize) override;
    std::uint64_t SizeToFill(const std::string& root, std::uint64_t blockSize, const std::string& keptIn,
                             const std::set<std::string>& redo) override;
    Failure MakeFolder(const std::string& path) override;
    Failure HoldTempFolder(const std::string& folder) override;
    void RemoveLeftovers(const std::string& folder) override;
    Failure MakeWorkFolder(const std::string& folder, std::string& work) override;
    copy::CopyOutcome Copy(const std::string& sourceFolder, const std::string& destFolder,
                              const std::string& scratchFolder, const std::string& shownDest,
                              const std::string& title, bool askBeforeReplace,
                              const copy::CopyScope& scope) override;
    // In CopyChecks.cpp.
    check::CheckReport CheckBook(const std::string& folder, check::Place place) override;
    std::string DiscIdentity(const std::string& discRoot) override;
    std::vector<std::string> Remembered(const std::string& folder) override;
    KeptProof ChangedSince(const std::string& folder, const std::vector<copy::CopyOutcome::Seen>& noted,
                           const std::string& title) override;
    Failure Remember(const std::string& folder, const std::vector<std::string>& files) override;
    Failure Publish(const std::string& from, const std::string& to) override;
    Failure Delete(const std::string& folder) override;
    bool CanRemount() const override { return static_cast<bool>(m_remounter); }
    RemountResult Remount(const std::string& folder, const std::string& title) override;

private:
    CopyRunner m_runner;
    copy::CCopyEngine m_ownEngine;
    copy::CCopyEngine& m_engine;
    Remounter m_remounter;
    // Folders this run holds locked, by their resolved paths; released when
    // the operations end.
    struct Hold
    {
        std::string path;
        posix::CFd fd;
    };
    std::vector<Hold> m_holds;
    void Held(posix::CFd dir, const std::string& path);
};

} // namespace copy
