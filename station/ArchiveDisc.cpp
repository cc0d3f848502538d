#include "station/ArchiveDisc.h"

#include "book/BookFile.h"
#include "book/DiscBooks.h"
#include "copy/CopyTexts.h"
#include "copy/FileOperations.h"
#include "copy/Publish.h"
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

std::string Leaf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
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
    switch (report.ending) {
    case copyjob::Ending::Whole:
        return Outcome::Copied;
    case copyjob::Ending::Refused:
        return Outcome::Refused;
    case copyjob::Ending::CopyLacks:
    case copyjob::Ending::DiscLacks:
        return Outcome::Incomplete;
    case copyjob::Ending::Cancelled:
        return Outcome::Stopped;
    case copyjob::Ending::Failed:
        break;
    }
    return Outcome::Failed;
}

// The bag: one more layout of the published book. The book goes under
// data/, the tag files beside it once the copy ended, and the whole bag is
// named only then.
template <class Copy>
copyjob::CopyReport CopyAsBag(const std::string& destPath, const BagInfo& info, const CHashingEngine& hashing,
                              const Copy& copy)
{
    int tagError = 0;
    publish::Layout layout;
    layout.published = "/tas";
    layout.book = "/data";
    // A later copy cannot fill in a bag: its manifest would not match.
    layout.completes = false;
    layout.beforePublish = [&](const std::string& bag) {
        tagError = WriteBagTags(bag, hashing.Hashes(), info);
        return posix::OnOutput(tagError, bag);
    };
    copyjob::CopyReport report = copy(destPath, &layout);
    if (tagError == EIO) {
        report.result = copyops::CopyResult::Failed;
        report.ending = copyjob::Ending::Failed;
        report.folder.clear();
        report.message = "Niet elk bestand werd in zijn geheel van de CD gelezen; er is geen tas gemaakt.";
    }
    return report;
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
    auto copy = [&](const std::string& dest, const publish::Layout* layout) {
        return setup.copier ? setup.copier(book.folder, dest, settings, ops, layout)
                            : ::CopyBook(book.folder, dest, settings, ops, nullptr, nullptr, layout);
    };
    if (!setup.bagit) {
        const copyjob::CopyReport report = copy(fitted.path, nullptr);
        row.folder = report.folder.empty() ? std::string() : Leaf(report.folder);
        return finish(OutcomeOf(report), report.message);
    }
    if (!hashing)
        return finish(Outcome::Failed, "Een tas vraagt de kopie die de controlegetallen berekent.");
    const copyjob::CopyReport bag =
        CopyAsBag(fitted.path, {row.identifier, row.title, NowText().substr(0, 10)}, *hashing, copy);
    row.folder = bag.folder.empty() ? std::string() : Leaf(bag.folder);
    return finish(OutcomeOf(bag), bag.message);
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
    for (int n = 0; n < publish::kLastNumber; ++n) {
        const std::string candidate = n == 0 ? destPath : publish::Numbered(destPath, n);
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
