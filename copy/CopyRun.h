// The walk of one copy: what CCopyEngine::CopyContent runs. Private to the
// copy engine's sources.
#pragma once

#include "copy/CopyEngine.h"
#include "copy/CopyTexts.h"
#include "posix/Posix.h"

#include <xxhash.h>

#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace copy {

using posix::CFd;
using posix::Failure;
using posix::OnDisc;
using posix::OnOutput;
using posix::Join;
using posix::ListNames;
using posix::MakeFolders;
using posix::ParentFolder;
using posix::RetryOnInterrupt;

using Identity = std::pair<dev_t, ino_t>;

inline Identity IdentityOf(const struct stat& st)
{
    return {st.st_dev, st.st_ino};
}

// Where the file system holding fd is mounted (target) and the mount
// table's type of it; false when the table does not list it.
bool MountEntryOf(int fd, std::string& target, std::string& fsType);

// One copy: the walk over the source and what it has done so far.
class CCopyEngine::CRun
{
public:
    CRun(CCopyEngine& engine, ICopyReporter& reporter, const std::string& destRoot, bool ask, const Scope& scope)
        : m_engine(engine), m_reporter(reporter), m_destRoot(destRoot), m_ask(ask), m_scope(scope)
    {
    }

    CopyOutcome Copy(const std::string& sourceFolder, const std::string& destFolder, const std::string& scratch);

private:
    enum class Step { Done, Skipped, Cancelled };

    // Runs op until it succeeds, asking the user what to do after each
    // failure. op returns a posix::Failure (none on success); ECANCELED
    // stops the copy without a question. Retry runs op again; Skip records relPath as
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
    Failure Existing(int dstFd, const std::string& name, const std::string& rel, struct stat& st, bool& exists);
    bool MayReplace(int dstFd, const std::string& name, const std::string& rel, bool& skip);
    Failure WriteFile(int srcFd, int dstFd, const std::string& name, const struct stat& st, const std::string& rel);
    Failure MakePartial(int dstFd, std::string& partial, int& partialDir, CFd& out);
    void Advance(std::uint64_t bytes);
    // Reads every file this run wrote back from the drive (below the
    // destination folder open as dstFd) and compares it with what the disc
    // gave; what differs goes to m_different.
    void ReadBackAll(int dstFd);
    bool SameOnDrive(CFd fd, const XXH128_hash_t& expected);
    // How far reading back below dstFd reaches: to the device, or (through
    // FUSE) only to a cache before it.
    ReadBackResult Reach(int dstFd);
    // How often a file's bytes count towards the progress: written, and
    // read back when verifying.
    std::uint64_t Passes() const { return m_scope.verify ? 2 : 1; }

    CCopyEngine& m_engine;
    ICopyReporter& m_reporter;
    std::string m_destRoot;
    bool m_ask;
    const Scope& m_scope;
    bool m_replaceAll = false;
    bool m_skipUnreadable = false;
    bool m_cancelled = false;
    std::uint64_t m_done = 0;
    std::uint64_t m_total = 0;
    Identity m_destIdentity{};
    int m_scratchFd = -1;
    // The folder open as CopyScope::keptIn; -1 when none.
    int m_keptFd = -1;
    // Whether keptIn holds the entry at rel: a regular file (file), or
    // anything (a link's place).
    bool Kept(const std::string& rel, bool file) const;
    // Every destination entry this run made or entered, by identity, with
    // the name it was written under: on a file system that ignores letter
    // case a second name can lead to the same entry.
    std::map<Identity, std::string> m_written;
    // The same by name, per destination folder (relative path), for file
    // systems whose entries change identity with the letter case asked for
    // (exFAT through FUSE, vfat once its inode cache is evicted).
    std::map<std::string, std::set<std::string>> m_names;
    // Destination folders this run made: whatever is found in one of them
    // under a name it did not write came from another name.
    std::set<std::string> m_fresh;
    void Wrote(const std::string& rel, const std::string& name, const Identity& id);
    std::string ClashByName(int dstFd, const std::string& name, const std::string& rel);
    std::vector<std::string> m_missing;
    std::vector<std::string> m_noRoom;
    std::string m_drive;
    // What each file written held when it came from the disc, by its path
    // below the destination, in the order written.
    std::vector<std::pair<std::string, XXH128_hash_t>> m_hashes;
    std::vector<CopyOutcome::Seen> m_seen;
    std::vector<std::string> m_different;
};

template <class Op> CCopyEngine::CRun::Step CCopyEngine::CRun::Attempt(const std::string& relPath, Op op)
{
    for (;;) {
        if (Stopped())
            return Step::Cancelled;
        Failure failure = op();
        if (!failure)
            return Step::Done;
        if (failure.error == ECANCELED) {
            m_cancelled = true;
            return Step::Cancelled;
        }
        if (failure.error == posix::kNameClash)
            failure.path = Shown(failure.path);
        const ErrorAnswer answer = m_skipUnreadable && failure.side == posix::Side::Disc
                                       ? ErrorAnswer::Skip
                                       : m_reporter.AskError(Shown(relPath), copy::text::Reason(failure, m_drive));
        switch (answer) {
        case ErrorAnswer::Retry:
            continue;
        case ErrorAnswer::SkipAll:
            m_skipUnreadable = true;
            [[fallthrough]];
        case ErrorAnswer::Skip:
            m_missing.push_back(relPath.empty() ? std::string(".") : relPath);
            if (failure.side != posix::Side::Disc && (failure.error == ENOSPC || failure.error == EDQUOT))
                m_noRoom.push_back(m_missing.back());
            return Step::Skipped;
        case ErrorAnswer::Cancel:
            m_cancelled = true;
            return Step::Cancelled;
        }
    }
}

} // namespace copy
