#include "copy/CopyJob.h"

#include "copy/CopyTexts.h"
#include "posix/Posix.h"
#include "text/Utf8.h"
#include "settings/Settings.h"

#include <climits>
#include <cstdio>
#include <cstring>

using copyjob::CopyResult;
using copyjob::HoldState;
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

// Renames the finished work into place at name, or at its first free
// numbered variant should something have taken the name meanwhile; the
// name used, or "" when none would do.
std::string PublishAs(const std::string& from, const std::string& name, IFileOperations& ops)
{
    for (int n = 0; n < kLastNumber; ++n) {
        const std::string to = n == 0 ? name : Numbered(name, n);
        const int error = ops.Publish(from, to);
        if (error == 0)
            return to;
        if (error != EEXIST)
            return {};
    }
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

// One copy of everything inside sourceFolder into destFolder, titled with
// the folder the user knows.
copyops::CopyOutcome CopyFolder(const std::string& sourceFolder, const std::string& destFolder,
                                const std::string& scratch, const std::string& shown, const CSettings& settings,
                                IFileOperations& ops)
{
    return ops.Copy(sourceFolder, destFolder, scratch, shown, Format(kProgressTitle, shown),
                    settings.ConfirmOverwrite != 0);
}

bool DeleteFolder(const std::string& folder, IFileOperations& ops)
{
    return folder.empty() || ops.Delete(folder);
}

CopyResult Refuse(IFileOperations& ops, const std::string& message)
{
    ops.ShowError(message);
    return CopyResult::Refused;
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

} // namespace copyjob

CopyResult CopyBook(const std::string& discRoot, const std::string& destPath, const CSettings& settings,
                    IFileOperations& ops, const copyjob::DestinationLine& showDestination)
{
    const std::string outputDir = posix::ParentFolder(destPath);
    // A relative folder ("boeken", "~/boeken") would land wherever the
    // program happens to start.
    if (destPath.empty() || destPath.front() != '/')
        return Refuse(ops, copytext::NotAbsolute(outputDir));
    if (!copyjob::PathFits(discRoot))
        return Refuse(ops, copytext::PathTooLong(discRoot));
    if (!copyjob::PathFits(destPath))
        return Refuse(ops, copytext::PathTooLong(destPath));

    // The output folder is made only where its parent is: a missing stick
    // must not turn into a folder on the system disk.
    const bool makeOutput = !ops.IsFolder(outputDir);
    if (makeOutput) {
        if (ops.Inspect(outputDir) != PathState::Missing)
            return Refuse(ops, copytext::OutputNotFolder(outputDir));
        if (!ops.IsFolder(posix::ParentFolder(outputDir)) || ops.OnMissingDrive(posix::ParentFolder(outputDir)))
            return Refuse(ops, copytext::OutputParentMissing(outputDir));
    } else if (ops.OnMissingDrive(outputDir)) {
        return Refuse(ops, copytext::OutputParentMissing(outputDir));
    }

    std::string target = destPath;
    bool existing = false;
    if (settings.ConfirmOverwrite == 0) {
        target = FreeName(destPath, ops);
        // Closing the window without a word would look like success to
        // someone who cannot see that no folder appeared.
        if (target.empty())
            return Refuse(ops, copytext::AllNumbersTaken(destPath));
        if (!copyjob::PathFits(target))
            return Refuse(ops, copytext::PathTooLong(target));
        if (showDestination)
            showDestination(target);
    } else {
        switch (ops.Inspect(target)) {
        case PathState::Missing:
            break;
        case PathState::OwnFolder:
            existing = true;
            break;
        case PathState::Other:
            // Copying through a link would write the disc wherever it points.
            return Refuse(ops, copytext::TargetNotFolder(target));
        }
    }

    // A file FAT32 cannot hold would fail only after it was written.
    const std::string outputDrive = makeOutput ? posix::ParentFolder(outputDir) : outputDir;
    for (const std::string& folder : {outputDrive, settings.CopyViaTemp != 0 ? settings.TempPath : std::string()}) {
        if (folder.empty())
            continue;
        if (const std::uint64_t limit = ops.LargestFileAllowed(folder)) {
            const std::string big = ops.FileLargerThan(discRoot, limit);
            if (!big.empty())
                return Refuse(ops, copytext::FileTooLargeForDrive(discRoot + big, folder));
        }
    }

    std::string tempFolder;
    if (settings.CopyViaTemp != 0) {
        std::string tempPath = settings.TempPath;
        if (tempPath.empty() || tempPath.front() != '/')
            return Refuse(ops, copytext::TempNotSet());
        if (tempPath.back() != '/')
            tempPath += '/';
        tempFolder = tempPath + kTempName;
        if (!copyjob::PathFits(tempFolder + kTempContent + "/"))
            return Refuse(ops, copytext::PathTooLong(tempFolder));
        // The temporary folder is emptied first and removed at the end:
        // nothing of the book may lie inside it, nor it inside the book.
        const std::string temp = ops.Resolve(tempFolder);
        if (Inside(ops.Resolve(outputDir), temp))
            return Refuse(ops, copytext::OutputInsideTemp(outputDir, tempFolder));
        if (Inside(temp, ops.Resolve(target)))
            return Refuse(ops, copytext::TempInsideTarget(tempFolder, target));
    }

    // Nothing was written up to here.
    int error = 0;
    if (makeOutput && (error = ops.MakeFolder(outputDir)) != 0)
        return Refuse(ops, copytext::CannotPrepare(outputDir, error));
    ops.RemoveLeftovers(outputDir);
    if (!tempFolder.empty()) {
        switch (ops.HoldTempFolder(tempFolder, error)) {
        case HoldState::Held:
            break;
        case HoldState::Busy:
            return Refuse(ops, copytext::TempBusy(tempFolder));
        case HoldState::NotOwnFolder:
            // Deleting it afterwards would destroy what it is or points to.
            return Refuse(ops, copytext::TempNotOwnFolder(tempFolder));
        case HoldState::Failed:
            return Refuse(ops, copytext::CannotPrepare(tempFolder, error));
        }
    }
    const std::string work = ops.MakeWorkFolder(outputDir, error);
    if (work.empty()) {
        DeleteFolder(tempFolder, ops);
        return Refuse(ops, copytext::CannotPrepare(outputDir, error));
    }
    const std::string into = existing ? target : work + kStagedBook;

    copyops::CopyOutcome outcome;
    std::string source = discRoot;
    if (!tempFolder.empty()) {
        const std::string content = tempFolder + kTempContent;
        outcome = CopyFolder(discRoot, content, tempFolder, tempFolder, settings, ops);
        source = content + "/";
    }
    const bool intoBook = tempFolder.empty() || outcome.result == CopyResult::Copied;
    if (intoBook)
        outcome = CopyFolder(source, into, work, target, settings, ops);
    DeleteFolder(tempFolder, ops);

    // What stays under a name the user sees: the whole book under its own,
    // what a copy with skipped files got under a name that says so.
    std::string keptIn = existing ? target : std::string();
    if (outcome.unflushed) {
        // The files may not be on the device: nothing under the book's name
        // may pass for the book.
        ops.ShowError(copytext::NotFlushed(outcome.drive, keptIn));
    } else if (!existing && outcome.result == CopyResult::Copied) {
        const std::string published = PublishAs(into, target, ops);
        if (published.empty()) {
            outcome.result = CopyResult::Failed;
            ops.ShowError(copytext::CannotPrepare(outputDir, EEXIST));
        } else if (published != target && showDestination) {
            showDestination(published);
        }
    } else if (!existing && intoBook && outcome.result == CopyResult::Failed && !outcome.missing.empty()) {
        keptIn = PublishAs(into, IncompleteName(target), ops);
    }
    DeleteFolder(work, ops);

    if (outcome.result == CopyResult::Cancelled)
        ops.ShowInfo(copytext::Cancelled(keptIn));
    else if (outcome.result == CopyResult::Failed && !outcome.missing.empty())
        ops.ShowError(copytext::Missing(outcome.missing, keptIn));
    return outcome.result;
}
