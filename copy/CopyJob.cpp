#include "copy/CopyJob.h"

#include "copy/CopyTexts.h"
#include "posix/Posix.h"
#include "text/Utf8.h"
#include "settings/Settings.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

using copyjob::CopyReport;
using copyjob::CopyResult;
using copyjob::Failure;
using copyjob::IFileOperations;
using copyjob::PathState;

namespace {

const char* const kTempName = "_TalvoraTmp_";
// The disc's files inside the temporary folder; its partial files lie
// beside, where no name of the disc can be.
const char* const kTempContent = "/cd";
// The book inside a work folder, beside the partial files.
const char* const kStagedBook = "/boek";
const char* const kIncomplete = " (onvolledig)";
const char* const kProgressTitle = "Bestanden worden gekopi\xC3\xAB" "erd naar %s";
constexpr int kLastNumber = 999; // tried, never used: 998 numbered names

// What one run settles before it writes anything.
struct Plan
{
    std::string discRoot;
    std::string outputDir;
    std::string target;      // the book's folder: destPath or a free numbered variant
    std::string tempFolder;  // "_TalvoraTmp_" when copying via the hard disk, else ""
    bool makeOutput = false; // the output folder is missing and its parent is there
    bool existing = false;   // replace mode, into a book folder that exists
    bool ask = false;        // ask before replacing a file
    bool verify = false;     // read every copied file back from the drive
    std::string completing;  // "<name> (onvolledig)" of an earlier run, being completed; else ""
};

std::string Format(const char* format, const std::string& text)
{
    const int n = std::snprintf(nullptr, 0, format, text.c_str());
    std::string out(static_cast<std::size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, format, text.c_str());
    return out;
}

std::string Numbered(const std::string& path, int n)
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%03d", n);
    return path + suffix;
}

bool Inside(const std::string& path, const std::string& folder)
{
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              (folder.back() == '/' || path[folder.size()] == '/'));
}

// The first of path, path_001 ... path_998 that nothing carries; "" when
// all are taken. A link counts as taken: the book never goes through one.
std::string FreeName(const std::string& path, IFileOperations& ops)
{
    if (ops.Inspect(path) == PathState::Missing)
        return path;
    for (int n = 1; n < kLastNumber; ++n)
        if (ops.Inspect(Numbered(path, n)) == PathState::Missing)
            return Numbered(path, n);
    return {};
}

// "<name> (onvolledig)" beside target. A name near the limit is cut at a
// character boundary to make room for the addition and a number: a name
// too long to make would throw the copied part of a damaged disc away.
std::string IncompleteName(const std::string& target)
{
    const std::size_t leafStart = target.rfind('/') + 1;
    const std::size_t room = NAME_MAX - std::strlen(kIncomplete) - std::strlen("_NNN");
    return target.substr(0, leafStart) + std::string(CutAtCharacter(std::string_view(target).substr(leafStart), room)) +
           kIncomplete;
}

// Renames the finished work into place at name, or at its first free
// numbered variant should something have taken the name meanwhile; the
// name used goes to published.
Failure PublishAs(const std::string& from, const std::string& name, IFileOperations& ops, std::string& published)
{
    Failure failure;
    for (int n = 0; n < kLastNumber; ++n) {
        const std::string to = n == 0 ? name : Numbered(name, n);
        failure = ops.Publish(from, to);
        if (!failure)
            published = to;
        if (failure.error != EEXIST)
            return failure;
    }
    return failure;
}

// One copy of everything inside sourceFolder into destFolder, titled with
// the folder the user knows.
copyops::CopyOutcome CopyFolder(const std::string& sourceFolder, const std::string& destFolder,
                                const std::string& scratch, const std::string& shown, bool ask, IFileOperations& ops,
                                const copyops::CopyScope& scope)
{
    return ops.Copy(sourceFolder, destFolder, scratch, shown, Format(kProgressTitle, shown), ask, scope);
}

void DeleteFolder(const std::string& folder, IFileOperations& ops)
{
    // What cannot be removed now is a work folder the next run removes, or
    // the temporary folder, which the next run empties before use.
    if (!folder.empty())
        ops.Delete(folder);
}

CopyReport Refused(std::string message)
{
    CopyReport report;
    report.result = CopyResult::Refused;
    report.message = std::move(message);
    return report;
}

// The temporary folder's own checks; the refusal's text, or "".
std::string CheckTemp(std::string tempPath, IFileOperations& ops, Plan& plan)
{
    if (tempPath.empty() || tempPath.front() != '/')
        return copytext::TempNotSet();
    if (tempPath.back() != '/')
        tempPath += '/';
    plan.tempFolder = tempPath + kTempName;
    if (!copyjob::PathFits(plan.tempFolder + kTempContent + "/"))
        return copytext::PathTooLong(plan.tempFolder);
    // The temporary folder is emptied first and removed at the end:
    // nothing of the book may lie inside it, nor it inside the book.
    const std::string temp = ops.Resolve(plan.tempFolder);
    if (Inside(ops.Resolve(plan.outputDir), temp))
        return copytext::OutputInsideTemp(plan.outputDir, plan.tempFolder);
    if (Inside(temp, ops.Resolve(plan.target)))
        return copytext::TempInsideTarget(plan.tempFolder, plan.target);
    return {};
}

// Every check that needs no writing; the refusal's text, or "" to go on.
std::string Check(const std::string& destPath, const CSettings& settings, IFileOperations& ops, Plan& plan)
{
    plan.outputDir = posix::ParentFolder(destPath);
    // A relative folder ("boeken", "~/boeken") would land wherever the
    // program happens to start.
    if (destPath.empty() || destPath.front() != '/')
        return copytext::NotAbsolute(plan.outputDir);
    if (!copyjob::PathFits(plan.discRoot))
        return copytext::PathTooLong(plan.discRoot);
    if (!copyjob::PathFits(destPath))
        return copytext::PathTooLong(destPath);

    // The output folder is made only where its parent is: a missing stick
    // must not turn into a folder on the system disk.
    plan.makeOutput = !ops.IsFolder(plan.outputDir);
    if (plan.makeOutput) {
        if (ops.Inspect(plan.outputDir) != PathState::Missing)
            return copytext::OutputNotFolder(plan.outputDir);
        const std::string parent = posix::ParentFolder(plan.outputDir);
        if (!ops.IsFolder(parent))
            return copytext::OutputParentMissing(plan.outputDir);
        // Where drives are mounted, a folder on the disk above is made by
        // nobody: it would stand in for the drive.
        if (const copyjob::MountSpot spot = ops.OnMissingDrive(parent); spot == copyjob::MountSpot::LeftBehind)
            return copytext::OutputMissingOnEmptyMountPoint(plan.outputDir, parent);
        else if (spot != copyjob::MountSpot::OnDrive)
            return copytext::OutputMissingOffDrive(plan.outputDir);
    } else if (ops.OnMissingDrive(plan.outputDir) == copyjob::MountSpot::LeftBehind) {
        // An existing folder that holds something is the user's own, also
        // on the system disk; an empty one is where a stick was.
        return copytext::OutputOnEmptyMountPoint(plan.outputDir);
    }

    plan.target = destPath;
    // An earlier copy of this book that stayed incomplete is completed, not
    // copied anew beside it.
    if (const copyjob::Completion completion = copyjob::FindCompletion(destPath, ops); !completion.folder.empty()) {
        plan.completing = completion.folder;
    } else if (!plan.ask) {
        plan.target = FreeName(destPath, ops);
        // Closing the window without a word would look like success to
        // someone who cannot see that no folder appeared.
        if (plan.target.empty())
            return copytext::AllNumbersTaken(destPath);
        if (!copyjob::PathFits(plan.target))
            return copytext::PathTooLong(plan.target);
    } else {
        const PathState state = ops.Inspect(plan.target);
        // Copying through a link would write the disc wherever it points.
        if (state == PathState::Other)
            return copytext::TargetNotFolder(plan.target);
        plan.existing = state == PathState::Folder;
    }

    // A file FAT32 cannot hold would fail only after it was written.
    const std::string outputDrive = plan.makeOutput ? posix::ParentFolder(plan.outputDir) : plan.outputDir;
    for (const std::string& folder : {outputDrive, settings.CopyViaTemp != 0 ? settings.TempPath : std::string()}) {
        if (folder.empty())
            continue;
        if (const std::uint64_t limit = ops.LargestFileAllowed(folder)) {
            const std::string big = ops.FileLargerThan(plan.discRoot, limit);
            if (!big.empty())
                return copytext::FileTooLargeForDrive(plan.discRoot + big, folder);
        }
    }
    return settings.CopyViaTemp != 0 ? CheckTemp(settings.TempPath, ops, plan) : std::string();
}

// Makes what the copy writes into: the output folder when missing, the
// temporary folder, this run's work folder. The refusal's text, or "".
std::string Prepare(IFileOperations& ops, const Plan& plan, std::string& work)
{
    if (plan.makeOutput) {
        if (const Failure failure = ops.MakeFolder(plan.outputDir))
            return copytext::CannotPrepare(plan.outputDir, failure.error);
    }
    ops.RemoveLeftovers(plan.outputDir);
    if (!plan.tempFolder.empty()) {
        if (const Failure failure = ops.HoldTempFolder(plan.tempFolder))
            return copytext::TempRefused(failure);
    }
    if (const Failure failure = ops.MakeWorkFolder(plan.outputDir, work)) {
        DeleteFolder(plan.tempFolder, ops);
        return copytext::CannotPrepare(plan.outputDir, failure.error);
    }
    return {};
}

// The disc into the book's folder (or into the temporary folder first,
// then from there); the temporary folder is gone afterwards. intoBook
// tells whether anything went into the book's folder. Completing an
// earlier copy goes straight from the disc: through the temporary folder
// the whole disc would be read again.
copyops::CopyOutcome CopyDisc(const Plan& plan, const std::string& into, const std::string& work,
                              IFileOperations& ops, bool& intoBook)
{
    copyops::CopyOutcome outcome;
    std::string source = plan.discRoot;
    const bool viaTemp = !plan.tempFolder.empty() && plan.completing.empty();
    if (viaTemp) {
        // Only the copy on the drive the book goes to is read back.
        const std::string content = plan.tempFolder + kTempContent;
        outcome = CopyFolder(plan.discRoot, content, plan.tempFolder, plan.tempFolder, plan.ask, ops, {});
        source = content + "/";
    }
    intoBook = !viaTemp || outcome.result == CopyResult::Copied;
    copyops::CopyScope scope;
    scope.verify = plan.verify;
    if (!plan.completing.empty()) {
        scope.fillOnly = true;
        const std::vector<std::string> needed = ops.Remembered(plan.completing);
        scope.redo.insert(needed.begin(), needed.end());
    }
    if (intoBook)
        outcome = CopyFolder(source, into, work, plan.completing.empty() ? plan.target : plan.completing,
                             plan.ask && plan.completing.empty(), ops, scope);
    DeleteFolder(plan.tempFolder, ops);
    return outcome;
}

// What a copy that is not the whole book still needs from a disc: what was
// skipped, what read back different, and every file the check found
// missing or damaged on the disc or in the copy.
std::vector<std::string> Needed(const copyops::CopyOutcome& outcome, const CopyReport& report)
{
    std::vector<std::string> needed = outcome.missing;
    needed.insert(needed.end(), outcome.different.begin(), outcome.different.end());
    for (const bookcheck::CheckReport* check : {&report.discCheck, &report.copyCheck})
        for (const bookcheck::Finding& f : check->findings)
            if (f.grade == bookcheck::Grade::Fatal && f.kind != bookcheck::Kind::OutsideBook)
                needed.push_back(f.file);
    std::sort(needed.begin(), needed.end());
    needed.erase(std::unique(needed.begin(), needed.end()), needed.end());
    return needed;
}

// The check's fatal findings as sentences for the user: the disc's, then
// those only the copy shows.
std::vector<std::string> Faults(const CopyReport& report)
{
    std::vector<std::string> lines, discFiles;
    for (const bookcheck::Finding& f : report.discCheck.findings)
        if (f.grade == bookcheck::Grade::Fatal) {
            lines.push_back(bookcheck::DescribeFinding(f, bookcheck::Place::Disc));
            discFiles.push_back(f.file);
        }
    for (const bookcheck::Finding& f : report.copyCheck.findings)
        if (f.grade == bookcheck::Grade::Fatal && std::find(discFiles.begin(), discFiles.end(), f.file) == discFiles.end())
            lines.push_back(bookcheck::DescribeFinding(f, bookcheck::Place::Copy));
    return lines;
}

// Gives what the copy wrote its name: the whole book its own (or the next
// free number, should the name have been taken meanwhile), what is not the
// whole book a name that says so, with a note of what it still needs. Then
// says how it ended.
CopyReport PublishAndTell(const Plan& plan, const copyops::CopyOutcome& outcome, bool intoBook,
                          const std::string& into, const std::string& work, IFileOperations& ops,
                          const copyjob::DestinationLine& showDestination, CopyReport report)
{
    report.result = outcome.result;
    report.folder = plan.existing ? plan.target : plan.completing;
    const bool staged = !plan.existing && intoBook;
    const bool checked = intoBook && !outcome.unflushed && outcome.result != CopyResult::Cancelled;
    if (checked)
        report.copyCheck = ops.CheckBook(into, bookcheck::Place::Copy);
    const bool whole = outcome.result == CopyResult::Copied && !report.discCheck.HasFatal() && !report.copyCheck.HasFatal();
    if (outcome.result == CopyResult::Copied && !whole)
        report.result = CopyResult::Failed;
    const bool lacking = !outcome.missing.empty() || !outcome.different.empty();
    const bool partial = checked && !whole && (outcome.result == CopyResult::Copied || lacking);
    if (outcome.unflushed) {
        // The files may not be on the device: nothing under the book's name
        // may pass for the book.
        report.message = copytext::NotFlushed(outcome.drive, report.folder);
    } else if (staged && whole) {
        // The note of an earlier run goes before the book gets its name.
        if (!plan.completing.empty())
            ops.Remember(into, {});
        const Failure failure = PublishAs(into, plan.target, ops, report.folder);
        if (failure) {
            report.result = CopyResult::Failed;
            report.message = copytext::NotPublished(plan.target, copytext::Reason(failure, outcome.drive));
            if (!plan.completing.empty())
                report.folder = plan.completing;
        } else if (report.folder != plan.target && showDestination) {
            showDestination(report.folder);
        }
    } else if (staged && partial) {
        ops.Remember(into, Needed(outcome, report));
        // What cannot be named so is lost with the work folder; the list of
        // missing files says that nothing was kept.
        if (plan.completing.empty())
            PublishAs(into, IncompleteName(plan.target), ops, report.folder);
    }
    DeleteFolder(work, ops);

    if (outcome.result == CopyResult::Cancelled)
        report.message = copytext::Cancelled(report.folder);
    else if (report.result == CopyResult::Failed && (partial || lacking) && !outcome.unflushed)
        report.message = copytext::NotWhole(Faults(report), outcome.missing, outcome.different, outcome.drive,
                                            report.folder, !plan.existing);
    if (report.result == CopyResult::Copied && outcome.readBack)
        report.readBackLine = copytext::ReadBackEqual(outcome.drive);
    return report;
}

} // namespace

namespace copyjob {

bool PathFits(const std::string& path)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return false;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end - start > NAME_MAX)
            return false;
        start = end + 1;
    }
    return true;
}

Completion FindCompletion(const std::string& destPath, IFileOperations& ops)
{
    const std::string incomplete = IncompleteName(destPath);
    if (ops.Inspect(incomplete) != PathState::Folder)
        return {};
    return {incomplete, ops.Remembered(incomplete)};
}

} // namespace copyjob

CopyReport CopyBook(const std::string& discRoot, const std::string& destPath, const CSettings& settings,
                    IFileOperations& ops, const copyjob::DestinationLine& showDestination,
                    const bookcheck::CheckReport* discCheck)
{
    Plan plan;
    plan.discRoot = discRoot;
    plan.ask = settings.ConfirmOverwrite != 0;
    plan.verify = settings.VerifyCopy != 0;
    if (std::string refusal = Check(destPath, settings, ops, plan); !refusal.empty())
        return Refused(std::move(refusal));
    if (showDestination && !plan.completing.empty())
        showDestination(plan.completing);
    else if (!plan.ask && showDestination)
        showDestination(plan.target);
    CopyReport report;
    report.discCheck = discCheck != nullptr ? *discCheck : ops.CheckBook(discRoot, bookcheck::Place::Disc);

    // Nothing was written up to here.
    std::string work;
    if (std::string refusal = Prepare(ops, plan, work); !refusal.empty())
        return Refused(std::move(refusal));
    const std::string into = !plan.completing.empty() ? plan.completing : plan.existing ? plan.target : work + kStagedBook;
    bool intoBook = false;
    const copyops::CopyOutcome outcome = CopyDisc(plan, into, work, ops, intoBook);
    return PublishAndTell(plan, outcome, intoBook, into, work, ops, showDestination, std::move(report));
}
