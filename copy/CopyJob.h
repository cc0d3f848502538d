// The copy job: settles the folder the book goes into (the composed one, or
// a free numbered variant) and copies the disc there, straight or through
// the temporary folder "_TalvoraTmp_", which it removes again.
//
// A new book is built in a hidden work folder inside the output folder and
// renamed to its name only once every file is copied and flushed, so a
// folder under a book's name is always the whole book: a cancel leaves
// nothing, a copy with skipped files is kept as "<name> (onvolledig)", and
// a killed run leaves only the hidden work folder, which the next run into
// the same output folder removes. Into a book folder that already exists
// (replace mode) files are replaced one by one; that folder is never
// removed.
//
// "Whole" means more than every listed file arrived: the book check runs on
// the disc before the copy and on the copy afterwards, and (setting
// VerifyCopy) every file is read back from the drive and compared with what
// the disc gave; on a drive served through FUSE, whose program answers
// from a cache of its own, the drive is mounted anew first where that can
// be done. A book the disc holds only in part is still copied, kept as
// "<name> (onvolledig)" with a note inside of what it still needs and of
// what each file held as it came from the disc; copying the same book into
// the same output folder again reads every kept file back from the drive,
// reads from the disc only what the note lists and what no longer holds
// what the disc gave, and gives the folder its name once the book is whole.
#pragma once

#include "check/BookCheck.h"
#include "copy/CopyEngine.h"

#include <cerrno>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

class CSettings;

namespace copy::publish {
struct Layout;
}

namespace copy {

using copy::CopyResult;
using posix::Failure;

enum class PathState { Missing, Folder, Other };

// An existing folder's place among the folders where drives are mounted.
enum class MountSpot {
    OnDrive,     // on a drive of its own, or outside those folders
    LeftBehind,  // empty, under /media or /run/media on the disk above: the
                 // mount point of a stick that is not plugged in
    MediaFolder, // under /media or /run/media on the disk above, holding something
    MntFolder,   // under /mnt on the disk above
};

// What reading back the files an incomplete copy keeps found.
struct KeptProof
{
    std::vector<std::string> changed; // no longer as noted
    bool cancelled = false;           // the user stopped it: changed means nothing
};

// Where a drive stands after IFileOperations::Remount.
enum class RemountState
{
    Remounted, // mounted anew; the folder may now be at another path
    Unchanged, // as it was, still mounted where it was (failure: why)
    Gone,      // unmounted and not mounted again, or this run's folders on
               // it could not be taken again (failure: why)
};

struct RemountResult
{
    RemountState state = RemountState::Unchanged;
    Failure failure;
    std::string folder; // Remounted: where the folder asked for is now
    std::string drive;  // Remounted: the drive's mount point now
    bool cancelled = false; // the user asked to stop meanwhile
};

// What the job needs of the file system; CFileOperations is the real one,
// tests use a fake. Failures name their side and path.
class IFileOperations
{
public:
    virtual ~IFileOperations() = default;

    // Missing when nothing of that name exists; Folder for a real folder
    // (not a link), whoever owns it; Other for anything else.
    virtual PathState Inspect(const std::string& path) = 0;

    // True for a folder, also one reached through a link.
    virtual bool IsFolder(const std::string& path) = 0;

    // Where an existing folder stands among the folders drives are mounted
    // in (/media, /run/media, /mnt) when it lies on the disk above them.
    virtual MountSpot OnMissingDrive(const std::string&) { return MountSpot::OnDrive; }

    // The path with every link in its existing part resolved, for telling
    // whether one folder lies inside another.
    virtual std::string Resolve(const std::string& path) = 0;

    // The largest file the file system holding folder can take; 0 when it
    // sets no limit of its own (FAT32 takes less than 4 GiB).
    virtual std::uint64_t LargestFileAllowed(const std::string& folder) = 0;

    // A file below root (its path relative to root) larger than limit
    // bytes, or "" when there is none.
    virtual std::string FileLargerThan(const std::string& root, std::uint64_t limit) = 0;

    // The drive holding folder (or its nearest existing parent): its block
    // size (what each file's size is rounded up to there) and the bytes
    // free for this user. False when the system cannot say.
    virtual bool Room(const std::string&, std::uint64_t&, std::uint64_t&) { return false; }

    // What the files below root take on a drive with blockSize: each
    // file's size rounded up to it.
    virtual std::uint64_t SizeOnDrive(const std::string&, std::uint64_t) { return 0; }

    // The same for only the files below root that the folder keptIn lacks
    // (no regular file of that path there) or that redo names (paths
    // relative to root): what completing keptIn reads from root.
    virtual std::uint64_t SizeToFill(const std::string& root, std::uint64_t blockSize, const std::string&,
                                     const std::set<std::string>&)
    {
        return SizeOnDrive(root, blockSize);
    }

    // Makes one folder whose parent exists; a folder there already is
    // fine.
    virtual Failure MakeFolder(const std::string& path) = 0;

    // Takes the temporary folder for this run alone until the operations
    // end, making it when missing and emptying it of an earlier run's
    // files. EBUSY: another run holds it; ENOTDIR, ELOOP or EPERM: it is no
    // folder of this user's own (a file, a link, somebody else's).
    virtual Failure HoldTempFolder(const std::string& folder) = 0;

    // Removes the hidden work folders that earlier runs, since ended, left
    // in folder.
    virtual void RemoveLeftovers(const std::string& folder) = 0;

    // Makes a hidden work folder of this run's own in folder, held until
    // the operations end, and names it in work.
    virtual Failure MakeWorkFolder(const std::string& folder, std::string& work) = 0;

    // Copies everything inside sourceFolder (ending in '/') into destFolder
    // with progress under title, writing partial files in scratchFolder and
    // naming the destination shownDest to the user. askBeforeReplace: ask
    // before an existing file is replaced; otherwise replace silently.
    // scope: whether to read back, and whether only to fill in.
    virtual copy::CopyOutcome Copy(const std::string& sourceFolder, const std::string& destFolder,
                                      const std::string& scratchFolder, const std::string& shownDest,
                                      const std::string& title, bool askBeforeReplace,
                                      const copy::CopyScope& scope) = 0;

    // The book check of the book whose ncc.html, package file or
    // discinfo.html lies in folder itself; no findings when it holds none.
    virtual check::CheckReport CheckBook(const std::string& folder, check::Place place) = 0;

    // What tells the disc at discRoot from another: a hash of its book
    // file; "" when it cannot be read.
    virtual std::string DiscIdentity(const std::string&) { return {}; }

    // What an incomplete copy in folder still needs from the disc (paths
    // relative to folder), as the run that left it noted; empty when none.
    virtual std::vector<std::string> Remembered(const std::string& folder) = 0;

    // The files of noted (paths relative to folder) that folder no longer
    // holds as noted: each read back from the drive, its cached pages
    // dropped first, and compared in size and hash with what the disc gave.
    // A file that is gone or cannot be read counts as changed. Runs under a
    // progress window titled title, which counts the noted bytes and can
    // stop it.
    virtual KeptProof ChangedSince(const std::string& folder, const std::vector<copy::CopyOutcome::Seen>& noted,
                                   const std::string& title) = 0;

    // Notes in folder what it still needs; an empty list removes the note.
    virtual Failure Remember(const std::string& folder, const std::vector<std::string>& files) = 0;

    // Renames from to to, never replacing anything there (EEXIST then), and
    // flushes the rename to the device.
    virtual Failure Publish(const std::string& from, const std::string& to) = 0;

    // Removes folder and everything in it, silently, never following links.
    virtual Failure Delete(const std::string& folder) = 0;

    // Whether Remount can be tried here at all.
    virtual bool CanRemount() const { return false; }

    // Has the drive holding folder unmounted and mounted again, as a file
    // manager does, under a progress window titled title: the program that
    // serves a FUSE drive then starts again with nothing in its cache.
    // What this run holds on the drive is let go first and taken again
    // afterwards.
    virtual RemountResult Remount(const std::string& folder, const std::string&)
    {
        return {RemountState::Unchanged, posix::OnOutput(ENOTSUP, folder), {}, {}};
    }
};

// What became of the book; decided where it was proved, never read back
// from a folder's name or a message.
enum class Ending
{
    Whole,     // the whole book is in folder
    CopyLacks, // the copy lacks files the disc gave or holds (unreadable,
               // read back different, no room): folder is "<name>
               // (onvolledig)", and copying the disc again completes it
    DiscLacks, // the disc itself lacks files or holds them cut short; the
               // copy is as faithful as the disc allows
    Refused,   // nothing was touched
    Cancelled, // the user stopped it
    Failed,    // a failure ended it (or files lack in a folder that existed)
};

// Why a copy was refused before anything was written.
enum class RefusalReason
{
    NotAbsolute,         // path: the output folder
    PathTooLong,         // path
    OutputNotFolder,     // path: the output folder
    OutputParentMissing, // path: the output folder
    OutputOnEmptyMountPoint,        // path: the output folder, empty where a stick is mounted
    OutputMissingOnEmptyMountPoint, // path: the output folder; other: its parent, such a folder
    OutputMissingOffDrive,          // path: the output folder, missing where drives are mounted
    AllNumbersTaken,     // path: the book's folder
    TargetNotFolder,     // path: the book's folder
    FileTooLarge,        // path: the disc's file; other: the folder on the drive that cannot hold it
    TempNotSet,
    OutputInsideTemp,    // path: the output folder; other: the temporary folder
    TempInsideTarget,    // path: the temporary folder; other: the book's folder
    TempRefused,         // failure: taking the temporary folder
    CannotPrepare,       // path: the folder; failure: what making it or in it gave
    NoRoom,              // path: the drive's folder; need, room: bytes
};

struct Refusal
{
    RefusalReason reason = RefusalReason::CannotPrepare;
    std::string path;
    std::string other;
    Failure failure;          // the system's answer, where one refused
    std::uint64_t need = 0;   // NoRoom: what the book takes there
    std::uint64_t room = 0;   // NoRoom: what the drive has free
};

// How one book's copy ended, and what the user must be told of it.
struct CopyReport
{
    CopyResult result = CopyResult::Failed;
    Ending ending = Ending::Failed;
    // Where the book, or what was copied of it, now is under a name the
    // user sees; "" when nowhere.
    std::string folder;
    // Refused: why.
    Refusal refusal;
    // Failed: the failure that ended it (the name could not be given, the
    // data could not be flushed); no error when files lack instead.
    Failure failure;
    // The book's name, the folder the whole book would have had.
    std::string target;
    // Files the copy lacks: skipped, and read back different from drive
    // (where the drive written to is mounted).
    std::vector<std::string> missing;
    std::vector<std::string> different;
    // Of missing: files the drive written to had no room for, and then
    // what the book takes there and what it had free (bytes).
    std::vector<std::string> noRoom;
    std::uint64_t need = 0;
    std::uint64_t room = 0;
    std::string drive;
    // Completing an earlier copy: the files copied now were read back and
    // found equal, but those kept from the earlier run were not compared
    // with this disc, so no claim is made for them.
    bool keptUnproven = false;
    bool unflushed = false;    // the data may not be on the device
    bool secondChance = false; // copying the disc again completes folder
    bool existed = false;      // folder existed before and was written into
    // Mounted anew to read the copy back past a FUSE program's cache, the
    // drive did not come back (failure: why): what was copied is on it
    // unread, and a new book got no name.
    bool driveGone = false;
    // Dutch, made last from the value above (copy::text::Told): for a message
    // box, why it was refused, what failed or is missing, what a cancel
    // left; "" when the book was copied.
    std::string message;
    // Dutch, one line to follow the done message of a whole book: that
    // every file (or, keptUnproven, every file copied now) was read back
    // from the drive and found equal, or, where the bytes could not come
    // from the drive's device itself, that and why; "" when the copy was
    // not read back.
    std::string readBackLine;
    // Whether every file of a whole book was read back and found equal,
    // and whether from the drive's device itself; Off when the copy was
    // not read back or is not whole.
    copy::ReadBackResult readBack;
    // The book check's findings on the disc and on the copy (empty where
    // it did not run).
    check::CheckReport discCheck;
    check::CheckReport copyCheck;
};

// An earlier copy of a book that stayed incomplete, which copying the book
// into the same output folder completes: its folder ("" when there is
// none) and the files it still needs from the disc, as that run noted.
struct Completion
{
    std::string folder;
    std::vector<std::string> missing;
};
// The incomplete copy "<name> (onvolledig)" that copying the book at
// discRoot to destPath would complete: only one the same disc made, and
// in replace mode only when no book folder is there to replace into.
Completion FindCompletion(const std::string& discRoot, const std::string& destPath, bool replaceMode,
                          IFileOperations& ops);

// Called with the folder actually used, before the copy starts, when
// numbering is on, and again should the book end up under another name.
using DestinationLine = std::function<void(const std::string& target)>;

// The files the check found a fatal fault in, once each.
std::set<std::string> FaultyFiles(const check::CheckReport& check);

// How many files the checks of the disc and of the copy found a fatal
// fault in, a file both found counted once.
std::size_t FaultCount(const CopyReport& report);

// Whether the platform takes path as a path: at most PATH_MAX - 1 bytes in
// all and NAME_MAX bytes in each name between slashes.
bool PathFits(const std::string& path);

} // namespace copy

// Copies the disc at discRoot (ending in '/') into destPath or a numbered
// variant of it. Copied when the whole book arrived; Refused when nothing
// was touched; Cancelled and Failed with what is left where. discCheck:
// the book check of discRoot when the caller ran it already (the copy
// window does, to say the findings before the copy); nullptr to check
// nothing before the copy and judge from the copy's own reading, so that
// the disc is read once. layout: how a new book is
// staged and published (copy::publish::Layout); nullptr for a plain folder.
copy::CopyReport CopyBook(const std::string& discRoot, const std::string& destPath, const CSettings& settings,
                             copy::IFileOperations& ops, const copy::DestinationLine& showDestination,
                             const check::CheckReport* discCheck = nullptr,
                             const copy::publish::Layout* layout = nullptr);
