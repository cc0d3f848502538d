// Finds the optical drive whose root holds a DAISY book: an ncc.html, a
// DAISY 3 package file (*.opf) or a distribution disc's discinfo.html.
//
// Linux has no drive letters: the drives are the optical block devices that
// udev knows (or SCSI CD-ROM devices when it knows nothing), followed by
// mounted disc images, each in natural device order (sr2 before sr10). A
// drive counts only while it is mounted; its root is the mount point. A
// data disc that nobody mounted is mounted first, as file managers do, and
// unmounted again when it holds no book.
#pragma once

#include "book/BookFile.h"
#include "posix/Failure.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace disc {

// SCSI CD-ROM drives (/dev/sr0, /dev/sr1, ...) have this major number,
// whatever udev knows of them.
inline constexpr unsigned kScsiCdromMajor = 11;

// One line of the mount table.
struct MountEntry
{
    std::string source;  // e.g. /dev/sr0
    std::string target;  // the mount point, unescaped
    std::string fsType;  // e.g. iso9660
    std::string fsRoot;  // the part of the file system mounted there; "/" for a whole one
    unsigned major = 0;  // device number of the mounted file system
    unsigned minor = 0;

    // Only a mount of the whole file system shows a disc's root (a bind
    // mount of a folder on it does not).
    bool IsWholeFileSystem() const { return fsRoot.empty() || fsRoot == "/"; }
};

// An optical drive as the device manager lists it.
struct OpticalDrive
{
    std::string devNode; // e.g. /dev/sr0
    unsigned major = 0;
    unsigned minor = 0;
};

// A data disc in an optical drive that has no mount yet.
struct UnmountedDisc
{
    std::string devNode; // e.g. /dev/sr0
    std::string label;   // what the desktop calls it; may be empty
};

// What disc location needs of the system; tests feed fixtures instead.
class IDiscPlatform
{
public:
    virtual ~IDiscPlatform() = default;
    virtual std::vector<OpticalDrive> OpticalDrives() const = 0;
    virtual std::vector<MountEntry> Mounts() const = 0;
    // Data discs that could be mounted but are not.
    virtual std::vector<UnmountedDisc> UnmountedDiscs() const { return {}; }
    // Mounts one, bounded in time; no failure when it is mounted now.
    virtual posix::Failure Mount(const UnmountedDisc& disc) const { return posix::OnDisc(ENOTSUP, disc.devNode); }
    // Unmounts one that Mount mounted, bounded in time.
    virtual posix::Failure Unmount(const UnmountedDisc& disc) const { return posix::OnDisc(ENOTSUP, disc.devNode); }
};

// Where GLib's main loop runs while the system platform waits for GIO.
enum class GioLoop
{
    Own,    // nowhere else: the waiting thread runs one of its own (tools, the archive station)
    Window, // on a window's thread, which never waits: GIO's part is handed to it, another thread waits
};

// The running system: libudev for drives, libmount on /proc/self/mountinfo,
// GIO's volume monitor (udisks2, no root needed) for mounting.
class CSystemDiscPlatform final : public IDiscPlatform
{
public:
    explicit CSystemDiscPlatform(GioLoop loop = GioLoop::Own) : m_loop(loop) {}

    std::vector<OpticalDrive> OpticalDrives() const override;
    std::vector<MountEntry> Mounts() const override;
    std::vector<UnmountedDisc> UnmountedDiscs() const override;
    posix::Failure Mount(const UnmountedDisc& disc) const override;
    posix::Failure Unmount(const UnmountedDisc& disc) const override;

private:
    GioLoop m_loop;
};

// Reads a mount table in the format of /proc/self/mountinfo through
// libmount. An unreadable table is an empty one.
std::vector<MountEntry> ReadMountTable(const std::string& mountInfoPath);

// The disc roots to probe, in probing order, each ending in '/'.
std::vector<std::string> CandidateRoots(const IDiscPlatform& platform);

// The roots named by a TALVORA_DRIVES value: folders separated by ':'.
std::vector<std::string> RootsFromDriveList(const std::string& list);

// The one place TALVORA_DRIVES is read: the folders that stand for drives,
// each holding a disc and no tray; nullopt when it is not set and the
// system's drives count.
std::optional<std::vector<std::string>> DriveFolders();

// The name of the file at root that makes it a book, whatever its letter
// case, or "" when there is none: ncc.html first, then a package file
// (*.opf), then discinfo.html. Among spellings of one kind the smallest byte
// order wins ("ncc.html" itself when it exists). Anything of such a name
// counts, a folder too; reading it will fail.
std::string FindBookFileName(const std::string& root);

// The drive found to hold a book, and the file that makes it one.
struct FoundDisc
{
    std::string root;      // ending in '/'; "" when no drive holds a book
    std::string bookFile;  // root + the book file's stored name
    BookFileKind kind = BookFileKind::Ncc;

    explicit operator bool() const { return !root.empty(); }
};

// Probes every root in order. The last one holding an ncc.html wins; only
// when none does, the last one holding a package file or discinfo.html: a
// DAISY 2.02 disc in one drive is never passed over for another kind of
// file in a later one.
FoundDisc FindDaisyDiscIn(const std::vector<std::string>& roots);

// Mounts every data disc that has no mount yet; a failure leaves that
// drive empty. Returns the discs mounted.
std::vector<UnmountedDisc> MountUnmountedDiscs(const IDiscPlatform& platform);

// Unmounts each of `mounted` (discs that this run mounted) whose root holds
// no book, so that only DAISY discs stay mounted.
void UnmountDiscsWithoutBook(const IDiscPlatform& platform, const std::vector<UnmountedDisc>& mounted);

// Natural order of device names: "sr2" < "sr10".
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace disc

// The drives of the running system, or the folders of TALVORA_DRIVES when
// that variable is set (demonstrations and end-to-end tests without a drive).
// Discs nobody mounted are mounted for the search; those without a book are
// unmounted again before it returns.
disc::FoundDisc FindDaisyDisc(disc::GioLoop loop = disc::GioLoop::Own);
disc::FoundDisc FindDaisyDisc(const disc::IDiscPlatform& platform);
