#include "station/ArchiveDisc.h"

#include "book/BookFile.h"
#include "book/DiscBooks.h"
#include "copy/CopyTexts.h"
#include "copy/FileOperations.h"
#include "disc/DiscLocator.h"
#include "naming/FolderName.h"
#include "posix/Posix.h"
#include "station/Bag.h"
#include "station/HashingEngine.h"

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace station {

namespace {

const char kIncompleteEnd[] = " (onvolledig)";

// A book of the disc, and where it goes.
struct PlannedBook
{
    std::string folder;    // on the disc, ending in '/'
    std::string bookFile;
    std::string name;      // how a refusal names it
    bool found = true;
};

// Runs each copy on the worker's own thread and answers for the staff who
// are not there: a file that cannot be read is skipped.
class CUnattended final : public copyops::ICopyReporter
{
public:
    explicit CUnattended(const std::atomic<bool>& cancel) : m_cancel(cancel) {}
    void Progress(std::uint64_t, std::uint64_t) override {}
    copyops::ReplaceAnswer AskReplace(const std::string&) override { return copyops::ReplaceAnswer::No; }
    copyops::ErrorAnswer AskError(const std::string&, const std::string&) override
    {
        return copyops::ErrorAnswer::Skip;
    }
    bool Cancelled() const override { return m_cancel.load(); }

private:
    const std::atomic<bool>& m_cancel;
};

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
            files.push_back({rel, S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0});
        }
    }
    return true;
}

std::string Numbered(const std::string& path, int n)
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%03d", n);
    return path + suffix;
}

std::string Leaf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

bool EndsWith(const std::string& text, const char* end)
{
    const std::string tail(end);
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<PlannedBook> PlanBooks(const std::string& root, std::string& refusal)
{
    const std::string bookFile = disc::FindBookFileName(root);
    if (KindOfBookFile(bookFile) != BookFileKind::DiscInfo)
        return {{root, root + bookFile, Leaf(posix::ParentFolder(root + "x")), true}};
    std::vector<CDiscBook> listed;
    if (!ListDiscBooks(root, root + bookFile, listed)) {
        refusal = "De inhoudsopgave (discinfo.html) kon niet worden gelezen of noemt geen Daisy-boeken.";
        return {};
    }
    std::vector<PlannedBook> books;
    for (const CDiscBook& book : listed)
        books.push_back({book.folder, book.bookFile, book.name, book.found});
    return books;
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

Outcome OutcomeOf(const copyjob::CopyReport& report)
{
    switch (report.result) {
    case copyops::CopyResult::Copied:
        return Outcome::Copied;
    case copyops::CopyResult::Refused:
        return Outcome::Refused;
    case copyops::CopyResult::Failed:
        return EndsWith(report.folder, kIncompleteEnd) ? Outcome::Incomplete : Outcome::Failed;
    case copyops::CopyResult::Cancelled:
        break;
    }
    return Outcome::Failed;
}

struct BagReport
{
    copyjob::CopyReport report;
    std::string folder;
};

// A report of the bag's own making, which left nothing under a name.
copyjob::CopyReport Ended(copyops::CopyResult result, std::string message)
{
    copyjob::CopyReport report;
    report.result = result;
    report.message = std::move(message);
    return report;
}

// The book copied into data/ of a hidden work folder, the tag files
// written beside it, and the whole bag named only then: under the book's
// name when whole, "<name> (onvolledig)" when files were skipped.
template <class Copy>
BagReport CopyAsBag(const std::string& destPath, const BagInfo& info, copyjob::IFileOperations& ops,
                    const CHashingEngine& hashing, const Copy& copy)
{
    BagReport bag;
    const std::string outputDir = posix::ParentFolder(destPath);
    ops.RemoveLeftovers(outputDir);
    std::string work;
    if (const posix::Failure failure = ops.MakeWorkFolder(outputDir, work)) {
        bag.report = Ended(copyops::CopyResult::Refused, copytext::CannotPrepare(outputDir, failure.error));
        return bag;
    }
    const std::string data = work + "/data";
    bag.report = copy(data);
    const bool incomplete = OutcomeOf(bag.report) == Outcome::Incomplete;
    if (bag.report.result != copyops::CopyResult::Copied && !incomplete) {
        ops.Delete(work);
        return bag;
    }
    if (incomplete && ::rename(bag.report.folder.c_str(), data.c_str()) != 0) {
        bag.report = Ended(copyops::CopyResult::Failed, copytext::WriteError(errno, outputDir));
        ops.Delete(work);
        return bag;
    }
    if (const int error = WriteBagTags(work, hashing.Hashes(), info)) {
        bag.report = Ended(copyops::CopyResult::Failed,
                           error == EIO ? "Niet elk bestand werd in zijn geheel van de CD gelezen; er is geen tas gemaakt."
                                        : copytext::WriteError(error, outputDir));
        ops.Delete(work);
        return bag;
    }
    const std::string name = incomplete ? destPath + kIncompleteEnd : destPath;
    posix::Failure failure;
    for (int n = 0; n < 999; ++n) {
        const std::string to = n == 0 ? name : Numbered(name, n);
        failure = ops.Publish(work, to);
        if (!failure) {
            bag.folder = to;
            break;
        }
        if (failure.error != EEXIST)
            break;
    }
    if (failure) {
        bag.report = Ended(copyops::CopyResult::Failed, copytext::NotPublished(name, copytext::Reason(failure, outputDir)));
        ops.Delete(work);
        return bag;
    }
    // The copy's message names the hidden folder it knew; the staff know
    // the bag.
    const std::string hidden = bag.report.folder;
    for (std::size_t at; !hidden.empty() && (at = bag.report.message.find(hidden)) != std::string::npos;)
        bag.report.message.replace(at, hidden.size(), bag.folder);
    bag.report.folder = bag.folder;
    return bag;
}

// One book, from its book file to its row.
LogRow ArchiveBook(const PlannedBook& book, const std::string& drive, const StationSetup& setup,
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
    if (!book.found)
        return finish(Outcome::Refused, "Het boek " + book.name + " staat niet op de CD.");
    CBookInfo info;
    std::string reason;
    if (!ReadBookFile(book.bookFile, info, &reason))
        return finish(Outcome::Refused, "Het boekbestand kon niet worden gelezen. " + reason);
    TakeMeta(info, row);

    const CSettings settings = StationSettings(setup.settings);
    const FittedFolderName fitted = FitFolderName(
        ComposeFolderNameParts(settings.UseIdentifier, settings.UseTitle, settings.UseCreator, info.metaList),
        setup.outputDir);
    if (fitted.path.empty())
        return finish(Outcome::Refused, fitted.fit == FolderNameFit::TooLong
                                            ? "De mapnaam voor dit boek wordt te lang."
                                            : "Uit de gegevens van dit boek kan geen mapnaam worden gemaakt.");

    std::vector<ListedFile> files;
    if (!ListFiles(book.folder, files))
        return finish(Outcome::Failed, "De bestanden op de CD konden niet worden opgesomd.");
    row.files = files.size();
    for (const ListedFile& file : files)
        row.bytes += file.size;

    // Held until the copy has its name on disk: a second drive with the
    // same book waits here, then finds this copy.
    CReservedName held(names, fitted.path);
    row.folder = ArchivedCopy(fitted.path, files);
    if (!row.folder.empty())
        return finish(Outcome::AlreadyThere, "Dit boek staat al in de uitvoermap.");

    CUnattended reporter(cancel);
    std::unique_ptr<copyops::CCopyEngine> engine = setup.makeEngine ? setup.makeEngine() : nullptr;
    CHashingEngine* hashing = nullptr;
    if (setup.bagit && !engine) {
        engine = std::make_unique<CHashingEngine>(book.folder);
        hashing = static_cast<CHashingEngine*>(engine.get());
    }
    copyjob::CFileOperations ops(
        [&reporter](const std::string&, const std::function<void(copyops::ICopyReporter&)>& work) {
            work(reporter);
        },
        engine.get());
    auto copy = [&](const std::string& dest) {
        return setup.copier ? setup.copier(book.folder, dest, settings, ops)
                            : ::CopyBook(book.folder, dest, settings, ops, nullptr);
    };
    if (!setup.bagit) {
        const copyjob::CopyReport report = copy(fitted.path);
        row.folder = report.folder.empty() ? std::string() : Leaf(report.folder);
        return finish(OutcomeOf(report), report.message);
    }
    if (!hashing)
        return finish(Outcome::Failed, "Een tas vraagt de kopie die de controlegetallen berekent.");
    const BagReport bag = CopyAsBag(fitted.path, {row.identifier, row.title, NowText().substr(0, 10)}, ops,
                                    *hashing, copy);
    row.folder = bag.folder.empty() ? std::string() : Leaf(bag.folder);
    return finish(OutcomeOf(bag.report), bag.report.message);
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

std::string ArchivedCopy(const std::string& destPath, const std::vector<ListedFile>& disc)
{
    // The copy picked the first free number; a copy of this book lies at
    // the name or at one of the numbers up to the first gap.
    for (int n = 0; n < 999; ++n) {
        const std::string candidate = n == 0 ? destPath : Numbered(destPath, n);
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0)
            return {};
        if (!S_ISDIR(st.st_mode))
            continue;
        std::vector<ListedFile> there;
        const bool bag = ::access((candidate + "/bagit.txt").c_str(), F_OK) == 0;
        if (ListFiles(bag ? candidate + "/data" : candidate, there) && there == disc)
            return Leaf(candidate);
    }
    return {};
}

// The log lies in the output folder, which a first disc that was refused
// has not made yet; it is made as the copy makes it: only where its
// parent is, never in place of a stick that is not plugged in.
int MakeOutputFolder(const std::string& folder)
{
    copyjob::CFileOperations ops([](const std::string&, const std::function<void(copyops::ICopyReporter&)>&) {});
    if (ops.IsFolder(folder))
        return 0;
    const std::string parent = posix::ParentFolder(folder);
    if (!ops.IsFolder(parent) || ops.OnMissingDrive(parent) != copyjob::MountSpot::OnDrive)
        return ENOENT;
    return ops.MakeFolder(folder).error;
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
            row.message += (row.message.empty() ? "" : " ") + std::string("Het logboek kon niet worden bijgewerkt: ") +
                           copytext::DescribeError(error);
        if (done)
            done(row);
        rows.push_back(std::move(row));
    };
    std::string refusal;
    const std::vector<PlannedBook> books = PlanBooks(root, refusal);
    if (books.empty()) {
        LogRow row = StartRow(drive, root + "discinfo.html");
        row.outcome = Outcome::Refused;
        row.message = refusal;
        log(std::move(row));
    }
    for (const PlannedBook& book : books)
        log(ArchiveBook(book, drive, setup, names, cancel));
    return rows;
}

} // namespace station
