// Copies a folder's content into another folder and deletes folder trees,
// in place of a desktop shell's file operation.
//
// Every file is written under a temporary name in a scratch folder of the
// run's own and renamed into place only when complete, so a cancelled,
// failed or killed copy never leaves a truncated file under a real name, an
// existing file is only ever replaced by a complete new one, and no name of
// the engine's own can meet a name on the disc. Links are copied as links,
// never followed. Nothing of the engine needs a user interface: it talks to
// one through ICopyReporter, which a progress window implements and tests
// script.
#pragma once

#include "check/AudioWalk.h"
#include "posix/Failure.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct XXH3_state_s;

namespace copy {

enum class ReplaceAnswer { Yes, YesToAll, No, Cancel };
// SkipAll skips this file and, without asking again, every later one that
// cannot be read from the disc: a scratched disc asks once, not 200 times.
enum class ErrorAnswer { Retry, Skip, SkipAll, Cancel };
enum class CopyResult { Copied, Failed, Cancelled, Refused };

// The drive's file system as a read-back sees it. Kernel: the kernel's
// own (ext4, vfat, the kernel's exfat and ntfs3), whose cached pages of a
// file its reader can drop, so that reading the file again reads the
// device. Fuse: served by a program through FUSE (exfat-fuse, ntfs-3g,
// fuse2fs); that program reads the device through a cache of its own,
// which dropping a file's pages does not reach.
enum class DriveFileSystem { Kernel, Fuse };

// Fuse when statfs's type is FUSE's (fType) or the mount table names a
// FUSE type (mountType "fuse", "fuseblk" or "fuse.<name>"); else Kernel.
DriveFileSystem FileSystemKind(unsigned long fType, const std::string& mountType);

// Where the bytes of a read-back came from. FromDevice: every file was
// read back from the drive's device itself and found equal to what the
// disc gave. NotFromDevice: every file read back was equal, but the
// bytes may have come from a cache in between, so they prove nothing of
// the device; why says which. Off: nothing was read back.
enum class ReadBackState { Off, FromDevice, NotFromDevice };
// FuseCache: nothing was tried to get past the program's cache (the drive
// cannot be mounted anew from here, as in the archive station, whose
// copies share the drive). RemountFailed: mounting the drive anew, which
// empties that cache, was tried and failed; the copy stays where it was.
enum class NotFromDeviceReason { None, FuseCache, RemountFailed };

struct ReadBackResult
{
    ReadBackState state = ReadBackState::Off;
    NotFromDeviceReason why = NotFromDeviceReason::None;
    // The mount table's type of the drive's file system ("fuseblk"), as
    // support knows it; "" where it was not found.
    std::string fsType;
    // RemountFailed: what the attempt met.
    posix::Failure remount;
};

struct CopyOutcome
{
    CopyResult result = CopyResult::Failed;
    // Files the user chose to skip, relative to the destination folder
    // ("." for the folder itself); only with Failed.
    std::vector<std::string> missing;
    // Of missing: the files skipped because the drive written to was full.
    std::vector<std::string> noRoom;
    // Everything was written, but flushing it to the drive failed and the
    // user chose to go on; only with Failed.
    bool unflushed = false;
    // Files that were read back from the drive and differed from what the
    // disc gave, or could not be read back, relative to the destination
    // folder; only with Failed.
    std::vector<std::string> different;
    // Every file this copy wrote was read back and found equal to what
    // the disc gave, and whether the bytes came from the drive's device;
    // only with Copied (Off otherwise).
    ReadBackResult readBack;
    // The drive the copy wrote to, as the user knows it (its mount point).
    std::string drive;
    // With CopyScope::verify: what each file this copy wrote held as it came
    // from the disc, in the order written, whether or not it was read back.
    // A later run that keeps these files proves them against it.
    struct Seen
    {
        std::string path;   // below the destination folder
        std::uint64_t size = 0;
        std::string hash;   // XXH3-128, 32 hex digits
    };
    std::vector<Seen> seen;

    explicit operator bool() const { return result == CopyResult::Copied; }
};

// Everything is called on the thread that runs the copy.
class ICopyReporter
{
public:
    virtual ~ICopyReporter() = default;

    // Bytes of regular files done so far of the total found when the copy
    // began. Called often; cheap implementations only.
    virtual void Progress(std::uint64_t done, std::uint64_t total) = 0;

    // The file at path exists already and asking mode is on.
    virtual ReplaceAnswer AskReplace(const std::string& path) = 0;

    // path could not be copied; reason is a Dutch sentence for the user.
    virtual ErrorAnswer AskError(const std::string& path, const std::string& reason) = 0;

    // True once the user asked to stop; polled between chunks of at most
    // kChunkBytes, so a cancel takes effect as soon as the current read
    // returns.
    virtual bool Cancelled() const = 0;
};

// What a copy takes from the disc and what it does with it afterwards.
struct CopyScope
{
    // Hash every file's bytes as they come from the disc and, once all
    // is flushed, read each copy back from the drive and compare.
    bool verify = false;
    // Completing an earlier copy: only files the destination lacks, and
    // those named in redo (relative to the destination), are read from
    // the disc; the rest stay as they are, unasked.
    bool fillOnly = false;
    std::set<std::string> redo;
    // Reading for such a completion into another folder first (the
    // temporary one): only the files the folder keptIn lacks, and those
    // named in redo, are read; what keptIn holds is passed over. "": every
    // file is read.
    std::string keptIn;
};

class CCopyEngine
{
public:
    static constexpr std::size_t kChunkBytes = std::size_t(1) << 20;
    // Where the kernel cannot copy by itself (across file systems, as from
    // a disc): small enough to stay in the processor's cache.
    static constexpr std::size_t kBufferBytes = std::size_t(128) << 10;

    CCopyEngine();
    virtual ~CCopyEngine();

    // Where a copy writes its partial files, and how it names its
    // destination to the user.
    struct Places
    {
        // A folder of this run on the destination's file system; "": beside
        // each file's final name.
        std::string scratch;
        // The destination as the user knows it, when destFolder is a hidden
        // stand-in for it; "": destFolder itself.
        std::string shownDest;
    };

    using Scope = CopyScope;

    // Copies everything inside sourceFolder into destFolder, creating
    // destFolder and its missing parents. Files are written in the scratch
    // folder and renamed into place. When
    // askBeforeReplace is set the reporter is asked before an existing file
    // is replaced; otherwise it is replaced silently. Copied only when every
    // file arrived and was flushed to the device.
    CopyOutcome CopyContent(const std::string& sourceFolder, const std::string& destFolder, bool askBeforeReplace,
                            ICopyReporter& reporter, const Places& places = {}, const Scope& scope = {});

    // Set false to copy through read/write even where copy_file_range works.
    void SetUseCopyFileRange(bool use) { m_useCopyFileRange = use; }

    // Seconds spent flushing the last copy's data to its device.
    double LastFlushSeconds() const { return m_flushSeconds; }

    // The audio walk of every audio file the last copy wrote, made from its
    // bytes as they came from the source (audio files are read by the
    // engine itself, never by copy_file_range, which shows no bytes), by
    // path below the folder it copied into (WalkedInto). The book check on
    // the copy takes these instead of reading the audio again.
    const check::WalkedAudio& Walked() const { return m_walked; }
    const std::string& WalkedInto() const { return m_walkedInto; }

protected:
    // The points where the data and the destination's names are touched,
    // overridable to inject faults; each returns 0 or a positive errno, and
    // the side is the hook's own: the disc for OpenSource and ReadChunk,
    // the drive written to for WriteChunk, LookUp and Flush.
    // OpenSource opens a file of the source for reading into fd. CopyRange
    // lets the kernel move at most max bytes (copy_file_range); an error
    // there may be either side's. ReadChunk and WriteChunk are the plain
    // way. LookUp stats an entry of a destination folder without following
    // links, as the destination's file system finds it. Flush puts
    // everything written on the file system of dirFd on its device.
    virtual int OpenSource(int dirFd, const char* name, int& fd);
    virtual int CopyRange(int in, int out, std::size_t max, std::size_t& moved);
    virtual int ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got);
    virtual int WriteChunk(int out, const char* data, std::size_t size);
    virtual int LookUp(int dirFd, const char* name, struct stat& st);
    virtual int Flush(int dirFd);
    // ReadBack reads a copy back for the comparison, its cached pages
    // dropped first so that the bytes come from the device; the side is the
    // drive written to.
    virtual int ReadBack(int fd, char* buffer, std::size_t max, std::size_t& got);
    // FileSystemOf tells what file system holds the folder open as dirFd,
    // and its mount table's type into mountType: whether reading back can
    // reach the device at all.
    virtual DriveFileSystem FileSystemOf(int dirFd, std::string& mountType);

private:
    class CRun;
    friend class CRun;

    // Moves at most max bytes from in to out into moved (0 at the end of
    // the file), by CopyRange while fastPath holds, else by reading and
    // writing; fastPath is cleared where the kernel cannot copy by itself.
    // The failure names the side it happened on. hash and walker, when
    // given, take the bytes read (only on the plain way, which passes them
    // by).
    posix::Failure Transfer(int in, int out, std::size_t max, bool& fastPath, std::size_t& moved,
                            XXH3_state_s* hash = nullptr, check::CAudioWalker* walker = nullptr);

    bool m_useCopyFileRange = true;
    double m_flushSeconds = 0;
    check::WalkedAudio m_walked;
    std::string m_walkedInto;
    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<char[]> m_readBackBuffer;
};

// Removes path and everything below it without following links and without
// leaving its file system. 0 when nothing of it is left, else the first
// errno met.
int DeleteTree(const std::string& path);

// Removes everything inside the folder open as dirFd, in the same way; 0
// when all of it is gone, else the first errno met.
int DeleteContent(int dirFd);

} // namespace copy
