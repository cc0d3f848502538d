#include "station/ArchiveDisc.h"

#include "book/BookFile.h"
#include "book/DiscBooks.h"
#include "copy/CopyTexts.h"
#include "copy/FileOperations.h"
#include "disc/DiscLocator.h"
#include "naming/FolderName.h"
#include "posix/Posix.h"

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
    copyjob::CFileOperations ops(
        [&reporter](const std::string&, const std::function<void(copyops::ICopyReporter&)>& work) {
            work(reporter);
        },
        engine.get());
    const copyjob::CopyReport report =
        setup.copier ? setup.copier(book.folder, fitted.path, settings, ops)
                     : ::CopyBook(book.folder, fitted.path, settings, ops, nullptr);
    row.folder = report.folder.empty() ? std::string() : Leaf(report.folder);
    return finish(OutcomeOf(report), report.message);
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

std::vector<LogRow> ArchiveDisc(const std::string& root, const std::string& drive, const StationSetup& setup,
                                CNameReservations& names, const std::atomic<bool>& cancel,
                                const std::function<void(const LogRow&)>& done)
{
    std::vector<LogRow> rows;
    auto log = [&](LogRow row) {
        if (const int error = AppendRow(posix::Join(setup.outputDir, kLogName), row))
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
