#include "station/ArchiveDisc.h"

#include "book/BookFile.h"
#include "book/DiscBooks.h"
#include "copy/CopyTexts.h"
#include "copy/FileOperations.h"
#include "copy/Publish.h"
#include "disc/DiscLocator.h"
#include "copy/DiscPlan.h"
#include "posix/Posix.h"
#include "station/Bag.h"
#include "station/HashingEngine.h"
#include "station/StationTexts.h"
#include "text/Utf8.h"

#include <chrono>
#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdio>
#include <map>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace station {

namespace {

// Runs each copy on the worker's own thread and answers for the staff who
// are not there: a file that cannot be read is skipped; a drive that
// cannot be written to (full) ends the copy, which is then no disc's fault.
class CUnattended final : public copy::ICopyReporter
{
public:
    CUnattended(const std::atomic<bool>& cancel, const CHashingEngine& engine) : m_cancel(cancel), m_engine(engine)
    {}
    void Progress(std::uint64_t, std::uint64_t) override {}
    copy::ReplaceAnswer AskReplace(const std::string&) override { return copy::ReplaceAnswer::No; }
    copy::ErrorAnswer AskError(const std::string&, const std::string&) override
    {
        return m_engine.OutputError() != 0 ? copy::ErrorAnswer::Cancel : copy::ErrorAnswer::Skip;
    }
    bool Cancelled() const override { return m_cancel.load(); }

private:
    const std::atomic<bool>& m_cancel;
    const CHashingEngine& m_engine;
};

// Free bytes on the drive holding folder, or on the first folder above it
// that exists; -1 when unknown.
std::int64_t FreeBytes(std::string folder)
{
    struct statvfs fs;
    while (::statvfs(folder.c_str(), &fs) != 0) {
        if (folder == "/" || folder.empty())
            return -1;
        folder = posix::ParentFolder(folder);
    }
    return static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
}

bool ListInto(int dirFd, const std::string& prefix, std::vector<ListedFile>& files)
{
    std::vector<std::string> names;
    if (posix::ListNames(dirFd, names) != 0)
        return false;
    for (const std::string& name : names) {
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        const std::string rel = prefix + name;
        if (S_ISDIR(st.st_mode)) {
            posix::CFd sub(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub.Get() < 0 || !ListInto(sub.Get(), rel + "/", files))
                return false;
        } else {
            files.push_back({rel, S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0,
                             S_ISREG(st.st_mode)   ? ListedFile::Kind::Regular
                             : S_ISLNK(st.st_mode) ? ListedFile::Kind::Link
                                                   : ListedFile::Kind::Other});
        }
    }
    return true;
}

std::string Leaf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

LogRow StartRow(const std::string& drive, const std::string& bookFile)
{
    LogRow row;
    row.time = NowText();
    row.drive = drive;
    row.daisyVersion = KindOfBookFile(bookFile) == BookFileKind::Package ? "3" : "2.02";
    return row;
}

void TakeMeta(const CBookInfo& info, LogRow& row)
{
    row.title = info.title;
    row.identifier = info.metaList.GetMeta("dc:identifier", true);
    if (row.identifier.empty())
        row.identifier = info.metaList.GetMeta("ncc:identifier", true);
    row.author = info.metaList.GetMeta("dc:creator", true);
    row.setInfo = info.metaList.GetMeta("ncc:setInfo", true);
}

Outcome OutcomeOf(const copy::CopyReport& report)
{
    switch (report.ending) {
    case copy::Ending::Whole:
        return Outcome::Copied;
    case copy::Ending::Refused:
        return Outcome::Refused;
    case copy::Ending::CopyLacks:
    case copy::Ending::DiscLacks:
        return Outcome::Incomplete;
    case copy::Ending::Cancelled:
        return Outcome::Stopped;
    case copy::Ending::Failed:
        break;
    }
    return Outcome::Failed;
}

// The output folder is made as the copy makes it: only where its parent
// is, never in place of a stick that is not plugged in. The log lies there
// too, also when the first disc was refused.
int MakeOutputFolder(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    copy::CFileOperations ops([](const std::string&, const std::function<void(copy::ICopyReporter&)>&) {});
    if (ops.IsFolder(folder))
        return 0;
    const std::string parent = posix::ParentFolder(folder);
    if (!ops.IsFolder(parent) || ops.OnMissingDrive(parent) != copy::MountSpot::OnDrive)
        return ENOENT;
    return ops.MakeFolder(folder).error;
}

// The log's message of a copy: what went wrong, or for a whole book that
// reading it back could not reach the drive's device.
const std::string& Told(const copy::CopyReport& report)
{
    return report.readBack.state == copy::ReadBackState::NotFromDevice ? report.readBackLine : report.message;
}

struct BagReport
{
    copy::CopyReport report;
    Outcome outcome = Outcome::Failed;
    std::string folder;
    std::string message;
};

// Whether every file of the disc arrived in folder as it was read: each
// regular file hashed whole at its size and there, each link taken in or
// left out. What the book check then finds is the disc's own defect.
bool Faithful(const std::vector<ListedFile>& disc, const std::string& folder,
              const std::map<std::string, FileHash>& hashes)
{
    std::vector<ListedFile> there;
    if (!ListFiles(folder, there))
        return false;
    std::map<std::string, std::uint64_t> sizes;
    for (const ListedFile& file : there)
        sizes[file.path] = file.size;
    for (const ListedFile& file : disc) {
        if (file.kind == ListedFile::Kind::Link)
            continue;
        const auto hash = hashes.find(file.path);
        const auto size = sizes.find(file.path);
        if (file.kind != ListedFile::Kind::Regular || hash == hashes.end() || hash->second.bytes != file.size ||
            size == sizes.end() || size->second != file.size)
            return false;
    }
    return true;
}

// The bag: one more layout of the published book, through the same
// staging and naming as a plain folder. The book goes under data/; before
// the bag gets its name its links are taken in, the copy's note is taken
// out and the tag files are written. A bag holding every file of the disc
// as it was read is whole, under the book's name, a defect of the disc
// itself noted in bag-info.txt; otherwise it is "<name> (onvolledig)"
// with talvora-ontbreekt.txt. What was read is never thrown away here.
template <class Copy>
BagReport CopyAsBag(const std::string& destPath, BagInfo info, copy::IFileOperations& ops,
                    const CHashingEngine& hashing, const std::vector<ListedFile>& disc, const Copy& copy)
{
    BagReport bag;
    const std::string outputDir = posix::ParentFolder(destPath);
    if (const int error = MakeOutputFolder(outputDir)) {
        bag.outcome = Outcome::Refused;
        bag.message = copy::text::CannotPrepare(outputDir, error);
        return bag;
    }
    bool faithful = false;
    int tagError = 0;
    TakenLinks links;
    std::vector<std::string> defects;
    copy::publish::Layout layout;
    layout.published = "/tas";
    layout.book = "/data";
    // A later copy cannot fill in a bag: its manifest would not match.
    layout.completes = false;
    layout.beforePublish = [&](const std::string& staged) {
        const std::string data = staged + "/data";
        ops.Remember(data, {});
        std::map<std::string, FileHash> hashes = hashing.Hashes();
        links = TakeInLinks(data, hashes);
        for (const std::string& link : links.leftOut)
            info.notes.push_back({"Talvora-Koppeling-Weggelaten", ShownText(link)});
        faithful = Faithful(disc, data, hashes);
        if (faithful) {
            // What the check finds in a faithful copy is the disc's own.
            for (const check::Finding& f : ops.CheckBook(data, check::Place::Copy).findings)
                if (f.grade == check::Grade::Fatal)
                    defects.push_back(check::DescribeFinding(f, check::Place::Disc));
            for (const std::string& defect : defects)
                info.notes.push_back({"Talvora-Gebrek-Op-CD", defect});
        } else {
            for (const ListedFile& file : disc)
                if (file.kind != ListedFile::Kind::Link && !hashes.count(file.path))
                    info.missing.push_back(file.path);
        }
        tagError = WriteBagTags(staged, hashes, info);
        // Without its tag files it is still what was read: it keeps a name
        // that says it is not whole.
        return posix::Failure{};
    };
    bag.report = copy(destPath, &layout);
    bag.folder = bag.report.folder;
    bag.outcome = OutcomeOf(bag.report);
    bag.message = Told(bag.report);
    if (bag.folder.empty())
        return bag;
    if (tagError != 0) {
        bag.outcome = Outcome::Incomplete;
        bag.message = station::text::BagNotWritten(Leaf(bag.folder), tagError);
    } else if (faithful && bag.report.ending == copy::Ending::DiscLacks) {
        // The bag holds the disc as it is, and says so inside.
        bag.outcome = Outcome::Copied;
        bag.message = station::text::BagDiscDefect(defects);
    } else if (!faithful) {
        bag.outcome = Outcome::Incomplete;
        bag.message = station::text::BagIncomplete(Leaf(bag.folder), info.missing);
    }
    if (!links.resolved.empty() || !links.leftOut.empty())
        bag.message += (bag.message.empty() ? "" : " ") + station::text::LinksTaken(links.resolved, links.leftOut);
    return bag;
}

// The disc's files as the archive holds them: a link to a regular file
// inside the book as that file (linkTargets says which), a link leading
// out not at all.
std::vector<ListedFile> AsArchived(const std::string& folder, const std::vector<ListedFile>& files,
                                   std::map<std::string, std::string>& linkTargets)
{
    std::map<std::string, const ListedFile*> byPath;
    for (const ListedFile& file : files)
        byPath[file.path] = &file;
    std::vector<ListedFile> archived;
    for (const ListedFile& file : files) {
        if (file.kind != ListedFile::Kind::Link) {
            archived.push_back(file);
            continue;
        }
        const auto target = byPath.find(LinkInside(folder, file.path));
        if (target != byPath.end() && target->second->kind == ListedFile::Kind::Regular) {
            archived.push_back({file.path, target->second->size, ListedFile::Kind::Regular});
            linkTargets[file.path] = target->first;
        }
    }
    return archived;
}

// What the bytes say of the folders with the disc's names and sizes.
struct Comparison
{
    std::string same;                    // holds this disc whole and unchanged
    ArchivedFolder damaged;              // holds this disc's edition, but no longer its bytes
    std::vector<std::string> damagedFiles;
    std::string otherEdition;            // the first that holds other bytes
    bool proven = false;                 // the disc was read whole
};

std::map<std::string, std::string> HashesOnly(const std::map<std::string, FileHash>& hashes)
{
    std::map<std::string, std::string> only;
    for (const auto& [path, hash] : hashes)
        only[path] = hash.sha256;
    return only;
}

// The files whose bytes now differ from the manifest, or are gone.
std::vector<std::string> Differing(const std::map<std::string, std::string>& manifest,
                                   const std::map<std::string, std::string>& now)
{
    std::vector<std::string> files;
    for (const auto& [path, hash] : manifest) {
        const auto it = now.find(path);
        if (it == now.end() || it->second != hash)
            files.push_back(path);
    }
    for (const auto& [path, hash] : now)
        if (!manifest.count(path))
            files.push_back(path);
    return files;
}

// Reads the disc whole, as its copy would, and each candidate's archived
// copy beside it on a thread of its own (another drive), and tells which
// of them, if any, is this disc.
Comparison Compare(const std::string& discFolder, const std::vector<ListedFile>& files,
                   const std::map<std::string, std::string>& linkTargets,
                   const std::vector<ArchivedFolder>& candidates, const DiscPace& pace,
                   const std::atomic<bool>& cancel)
{
    std::map<std::string, FileHash> disc;
    std::vector<std::string> paths, discPaths;
    for (const ListedFile& file : files) {
        paths.push_back(file.path);
        if (!linkTargets.count(file.path))
            discPaths.push_back(file.path);
    }
    struct Archived
    {
        bool listed = false;
        std::map<std::string, std::string> manifest;
        std::map<std::string, std::string> now;
    };
    std::vector<Archived> archived(candidates.size());
    std::thread reader([&] {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const ArchivedFolder& c = candidates[i];
            archived[i].listed = c.bag ? ReadManifest(c.folder + "/manifest-sha256.txt", "data/", archived[i].manifest)
                                       : ReadManifest(PlainManifestPath(c.folder), "", archived[i].manifest);
            const std::string root = c.bag ? c.folder + "/data/" : c.folder + "/";
            // A file of the archive that cannot be read is a damaged
            // file, not the end of the look.
            std::map<std::string, FileHash> now;
            HashFiles(root, paths, cancel, {}, now, true);
            archived[i].now = HashesOnly(now);
        }
    });
    const int error = HashFiles(discFolder, discPaths, cancel, pace, disc);
    reader.join();
    // A link inside the book is archived as the file it leads to.
    for (const auto& [link, target] : linkTargets)
        if (const auto it = disc.find(target); it != disc.end())
            disc[link] = it->second;
    Comparison result;
    result.proven = error == 0;
    if (!result.proven)
        return result;
    const std::map<std::string, std::string> read = HashesOnly(disc);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Archived& a = archived[i];
        if (a.listed && a.manifest == read) {
            result.damagedFiles = Differing(a.manifest, a.now);
            if (result.damagedFiles.empty())
                result.same = candidates[i].folder;
            else
                result.damaged = candidates[i];
            return result;
        }
        // Archived before manifests were kept: only the copy itself can
        // tell.
        if (!a.listed && a.now == read) {
            result.same = candidates[i].folder;
            return result;
        }
    }
    result.otherEdition = candidates.front().folder;
    return result;
}

// The fresh copy at fresh takes the damaged one's place in one step, so the
// book is never absent; the damaged one goes.
int ReplaceDamaged(const std::string& fresh, const ArchivedFolder& damaged, copy::IFileOperations& ops)
{
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, damaged.folder.c_str(), RENAME_EXCHANGE) != 0)
        return errno;
    if (!damaged.bag) {
        ::rename(PlainManifestPath(fresh).c_str(), PlainManifestPath(damaged.folder).c_str());
    }
    ops.Delete(fresh);
    return 0;
}

// The manifest of a plain copy, of the files this run read and those an
// earlier run read into the incomplete copy it completed.
int WritePlainManifest(const std::string& folder, std::map<std::string, FileHash> hashes,
                       const std::vector<ListedFile>& files, const std::string& earlierManifest)
{
    std::map<std::string, std::string> earlier;
    if (ReadManifest(earlierManifest, "", earlier)) {
        for (const ListedFile& file : files)
            if (!hashes.count(file.path) && earlier.count(file.path))
                hashes[file.path] = {earlier[file.path], file.size};
        // Its folder was completed and renamed: the list goes with it.
        struct stat st;
        if (::lstat(earlierManifest.substr(0, earlierManifest.size() - 7).c_str(), &st) != 0)
            ::unlink(earlierManifest.c_str());
    }
    return ReplaceFile(PlainManifestPath(folder), ManifestOf(folder, hashes, ""));
}

// One book, from its book file to its row.
LogRow ArchiveBook(const copy::PlannedBook& book, const std::string& drive, const StationSetup& setup,
                   CNameReservations& names, const std::atomic<bool>& cancel)
{
    LogRow row = StartRow(drive, book.bookFile);
    const auto start = std::chrono::steady_clock::now();
    auto finish = [&](Outcome outcome, std::string message) {
        row.outcome = outcome;
        row.message = std::move(message);
        row.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return row;
    };
    switch (book.refusal) {
    case copy::PlanRefusal::None:
        break;
    case copy::PlanRefusal::NotOnDisc:
        return finish(Outcome::Refused, station::text::BookNotOnDisc(book.name));
    case copy::PlanRefusal::Unreadable:
        return finish(Outcome::Refused, station::text::BookFileUnreadable(book.reason));
    case copy::PlanRefusal::NameTooLong:
        TakeMeta(book.info, row);
        return finish(Outcome::Refused, station::text::NameTooLong());
    case copy::PlanRefusal::NoName:
        TakeMeta(book.info, row);
        return finish(Outcome::Refused, station::text::NoName());
    case copy::PlanRefusal::SameFolder:
        TakeMeta(book.info, row);
        return finish(Outcome::Refused, station::text::SameFolder());
    }
    TakeMeta(book.info, row);
    const CSettings settings = StationSettings(setup.settings);

    std::vector<ListedFile> files;
    if (!ListFiles(book.folder, files))
        return finish(Outcome::Failed, station::text::CannotList());
    row.files = files.size();
    for (const ListedFile& file : files)
        row.bytes += file.size;

    // Held until the copy has its name on disk: a second drive with the
    // same book waits here, then finds this copy.
    CReservedName held(names, book.dest);
    const DiscPace pace = setup.makePace ? setup.makePace() : DiscPace();
    Comparison known;
    std::map<std::string, std::string> linkTargets;
    const std::vector<ListedFile> archivable = AsArchived(book.folder, files, linkTargets);
    if (const std::vector<ArchivedFolder> candidates = SameNamesAndSizes(book.dest, archivable);
        !candidates.empty()) {
        known = Compare(book.folder, archivable, linkTargets, candidates, pace, cancel);
        if (cancel.load())
            return finish(Outcome::Stopped, copy::text::Cancelled({}));
        if (!known.same.empty()) {
            row.folder = Leaf(known.same);
            return finish(Outcome::AlreadyThere, station::text::AlreadyThere(row.folder));
        }
    }

    // The copy refuses a drive without room for the book before it writes
    // anything, with the figures; what was free is kept for a drive that
    // fails midway.
    const std::int64_t free = FreeBytes(setup.outputDir);

    std::unique_ptr<CHashingEngine> engine =
        setup.makeEngine ? setup.makeEngine(book.folder, pace) : std::make_unique<CHashingEngine>(book.folder, pace);
    CHashingEngine& hashing = *engine;
    CUnattended reporter(cancel, hashing);
    copy::CFileOperations ops(
        [&reporter](const std::string&, const std::function<void(copy::ICopyReporter&)>& work) {
            work(reporter);
        },
        engine.get());
    auto copy = [&](const std::string& dest, const copy::publish::Layout* layout) {
        return setup.copier ? setup.copier(book.folder, dest, settings, ops, layout)
                            : ::CopyBook(book.folder, dest, settings, ops, nullptr, nullptr, layout);
    };
    // A bag's tag files are UTF-8: a disc with a name that is not is kept
    // as a plain copy, and the row says why.
    std::string notUtf8;
    for (const ListedFile& file : files)
        if (notUtf8.empty() && !IsValidUtf8(file.path))
            notUtf8 = file.path;
    std::string published;
    std::string message;
    Outcome outcome = Outcome::Failed;
    if (!setup.bagit || !notUtf8.empty()) {
        const copy::CopyReport report = copy(book.dest, nullptr);
        published = report.folder;
        message = Told(report);
        outcome = OutcomeOf(report);
        if (!published.empty()) {
            std::map<std::string, FileHash> hashes = hashing.Hashes();
            const TakenLinks links = TakeInLinks(published, hashes);
            if (!links.resolved.empty() || !links.leftOut.empty())
                message += (message.empty() ? "" : " ") + station::text::LinksTaken(links.resolved, links.leftOut);
            if (const int error = WritePlainManifest(published, hashes, archivable,
                                                     PlainManifestPath(copy::publish::IncompleteName(book.dest))))
                message += (message.empty() ? "" : " ") + station::text::ManifestNotWritten(Leaf(published), error);
            if (setup.bagit)
                message = station::text::BagNameNotUtf8(Leaf(published), notUtf8) + (message.empty() ? "" : " ") +
                          message;
        }
    } else {
        BagInfo info{row.identifier, row.title, NowText().substr(0, 10), {}, {}};
        const BagReport bag = CopyAsBag(book.dest, std::move(info), ops, hashing, files, copy);
        published = bag.folder;
        message = bag.message;
        outcome = bag.outcome;
    }
    row.folder = published.empty() ? std::string() : Leaf(published);
    if (const int error = hashing.OutputError(); error != 0 && !cancel.load())
        return finish(Outcome::Failed, station::text::DriveFailed(setup.outputDir, error, row.bytes,
                                                                static_cast<std::uint64_t>(std::max<std::int64_t>(free, 0)),
                                                                row.folder));
    if (!known.damaged.folder.empty()) {
        const std::string damaged = Leaf(known.damaged.folder);
        int error = outcome == Outcome::Copied ? 0 : -1;
        if (error == 0)
            error = ReplaceDamaged(published, known.damaged, ops);
        if (error == 0) {
            row.folder = damaged;
            return finish(Outcome::ArchiveDamaged, station::text::ArchiveReplaced(damaged, known.damagedFiles));
        }
        return finish(outcome == Outcome::Copied ? Outcome::Failed : outcome,
                      station::text::ArchiveNotReplaced(damaged, known.damagedFiles,
                                                      error > 0 ? copy::text::DescribeError(error) : message));
    }
    if (!known.otherEdition.empty() && !published.empty())
        message = station::text::OtherEdition(Leaf(known.otherEdition)) + (message.empty() ? "" : " ") + message;
    return finish(outcome, message);
}

} // namespace

CSettings StationSettings(const CSettings& settings)
{
    CSettings station = settings;
    station.ConfirmOverwrite = 0;
    station.CopyViaTemp = 0;
    return station;
}

bool ListFiles(const std::string& folder, std::vector<ListedFile>& files)
{
    files.clear();
    posix::CFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.Get() >= 0 && ListInto(dir.Get(), "", files);
}

std::string LinkInside(const std::string& folder, const std::string& rel)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(posix::Join(folder, rel).c_str(), target, sizeof target - 1);
    if (n <= 0 || target[0] == '/')
        return {};
    // Resolved by its words alone: a link on the way is not followed.
    std::vector<std::string> parts;
    std::string path = rel.substr(0, rel.rfind('/') == std::string::npos ? 0 : rel.rfind('/') + 1) +
                       std::string(target, static_cast<std::size_t>(n));
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (parts.empty())
                return {};
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string inside;
    for (const std::string& part : parts)
        inside += (inside.empty() ? "" : "/") + part;
    return inside;
}

TakenLinks TakeInLinks(const std::string& folder, std::map<std::string, FileHash>& hashes)
{
    TakenLinks taken;
    std::vector<ListedFile> files;
    if (!ListFiles(folder, files))
        return taken;
    for (const ListedFile& file : files) {
        if (file.kind != ListedFile::Kind::Link)
            continue;
        const std::string path = posix::Join(folder, file.path);
        const std::string target = LinkInside(folder, file.path);
        posix::CFd in(target.empty() ? -1
                                     : ::open(posix::Join(folder, target).c_str(),
                                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        bool copied = false;
        if (in.Get() >= 0 && ::fstat(in.Get(), &st) == 0 && S_ISREG(st.st_mode)) {
            // The target's bytes under the link's name, written beside it
            // and renamed over it.
            const std::string partial = posix::ParentFolder(path) + "/.talvora-koppeling.part";
            posix::CFd out(::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
            copied = out.Get() >= 0;
            char buffer[65536];
            for (ssize_t got; copied && (got = posix::RetryOnInterrupt(
                                             [&] { return ::read(in.Get(), buffer, sizeof buffer); })) != 0;)
                copied = got > 0 && posix::RetryOnInterrupt([&] {
                                        return ::write(out.Get(), buffer, static_cast<std::size_t>(got));
                                    }) == got;
            copied = copied && ::fsync(out.Get()) == 0 && ::rename(partial.c_str(), path.c_str()) == 0;
            if (!copied)
                ::unlink(partial.c_str());
        }
        if (copied) {
            taken.resolved.push_back(file.path);
            if (const auto it = hashes.find(target); it != hashes.end())
                hashes[file.path] = it->second;
        } else {
            ::unlink(path.c_str());
            taken.leftOut.push_back(file.path);
            hashes.erase(file.path);
        }
    }
    return taken;
}

std::vector<ArchivedFolder> SameNamesAndSizes(const std::string& destPath, const std::vector<ListedFile>& disc)
{
    // The copy picked the first free number; a copy of this book lies at
    // the name or at one of the numbers up to the first gap.
    std::vector<ArchivedFolder> found;
    for (int n = 0; n < copy::publish::kLastNumber; ++n) {
        const std::string candidate = copy::publish::NameWith(destPath, n);
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0)
            break;
        if (!S_ISDIR(st.st_mode))
            continue;
        std::vector<ListedFile> there;
        const bool bag = ::access((candidate + "/bagit.txt").c_str(), F_OK) == 0;
        if (ListFiles(bag ? candidate + "/data" : candidate, there) && there == disc)
            found.push_back({candidate, bag});
    }
    return found;
}

std::vector<LogRow> ArchiveDisc(const std::string& root, const std::string& drive, const StationSetup& setup,
                                CNameReservations& names, const std::atomic<bool>& cancel,
                                const std::function<void(const LogRow&)>& done)
{
    std::vector<LogRow> rows;
    auto log = [&](LogRow row) {
        int error = MakeOutputFolder(setup.outputDir);
        if (error == 0)
            error = AppendRow(posix::Join(setup.outputDir, kLogName), row);
        if (error != 0)
            row.message += (row.message.empty() ? "" : " ") + station::text::LogNotUpdated(error);
        if (done)
            done(row);
        rows.push_back(std::move(row));
    };
    const copy::DiscPlan plan =
        copy::PlanDisc(root, root + disc::FindBookFileName(root), setup.settings, setup.outputDir);
    if (plan.indexUnreadable) {
        LogRow row = StartRow(drive, root + "discinfo.html");
        row.outcome = Outcome::Refused;
        row.message = station::text::DiscInfoUnreadable();
        log(std::move(row));
    }
    for (const copy::PlannedBook& book : plan.books)
        log(ArchiveBook(book, drive, setup, names, cancel));
    return rows;
}

} // namespace station
