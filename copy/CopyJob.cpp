#include "copy/CopyJob.h"

#include "copy/CopyTexts.h"
#include "copy/Publish.h"
#include "posix/Posix.h"
#include "text/Utf8.h"
#include "settings/Settings.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>

using copy::CopyReport;
using copy::CopyResult;
using copy::Failure;
using copy::IFileOperations;
using copy::PathState;

namespace {

const char* const kTempName = "_TalvoraTmp_";
// The disc's files inside the temporary folder; its partial files lie
// beside, where no name of the disc can be.
const char* const kTempContent = "/cd";
// The note's entry naming the disc it came from; a path of the book never
// starts with a slash.
const char kDiscEntry[] = "/schijf:";
// The note's entry saying that every file the copy holds has an entry of
// its own below: without it (an older note, a copy not read back) what is
// kept cannot be proven.
const char kAllSeenEntry[] = "/gelezen:";
// One file as it came from the disc: "/bestand:<hash>:<size>:<path>".
const char kFileEntry[] = "/bestand:";
const char* const kProgressTitle = "Bestanden worden gekopi\xC3\xAB" "erd naar %s";

// What one run settles before it writes anything.
struct Plan
{
    std::string discRoot;
    std::string outputDir;
    std::string base;        // destPath: the name the book's numbers and incomplete name come from
    std::string target;      // the book's folder: destPath or a free numbered variant
    int number = 0;          // target's number after base, 0 for none
    std::string tempFolder;  // "_TalvoraTmp_" when copying via the hard disk, else ""
    bool makeOutput = false; // the output folder is missing and its parent is there
    bool existing = false;   // replace mode, into a book folder that exists
    bool ask = false;        // ask before replacing a file
    bool verify = false;     // read every copied file back from the drive
    std::string completing;  // "<name> (onvolledig)" of an earlier run, being completed; else ""
    bool completes = true;   // the layout lets an incomplete copy be completed in place
    std::string disc;        // the disc's identity, noted in an incomplete copy
    bool keptProven = false; // completing: every file kept was read back and equals the note
    bool checkedBefore = false; // the caller checked the disc before the copy
    std::set<std::string> redo;                  // completing: what is read from the disc again
    std::vector<copy::CopyOutcome::Seen> kept; // completing: the files kept, proven, as noted
};

std::string Format(const char* format, const std::string& text)
{
    const int n = std::snprintf(nullptr, 0, format, text.c_str());
    std::string out(static_cast<std::size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, format, text.c_str());
    return out;
}

// The disc an incomplete copy's note names; "" when none.
std::string NotedDisc(const std::vector<std::string>& note)
{
    for (const std::string& entry : note)
        if (entry.rfind(kDiscEntry, 0) == 0)
            return entry.substr(sizeof kDiscEntry - 1);
    return {};
}

using Seen = copy::CopyOutcome::Seen;

std::string FileEntry(const Seen& seen)
{
    return kFileEntry + seen.hash + ":" + std::to_string(seen.size) + ":" + seen.path;
}

// A file entry of the note; false when entry is not one as written above.
bool ParseFileEntry(const std::string& entry, Seen& seen)
{
    constexpr std::size_t kHashDigits = 32;
    const std::size_t start = sizeof kFileEntry - 1;
    if (entry.size() < start + kHashDigits + 2 || entry[start + kHashDigits] != ':')
        return false;
    seen.hash = entry.substr(start, kHashDigits);
    if (seen.hash.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    const std::size_t sizeStart = start + kHashDigits + 1;
    const std::size_t colon = entry.find(':', sizeStart);
    if (colon == std::string::npos || colon == sizeStart ||
        entry.find_first_not_of("0123456789", sizeStart) != colon || colon - sizeStart > 19)
        return false;
    seen.size = std::strtoull(entry.c_str() + sizeStart, nullptr, 10);
    seen.path = entry.substr(colon + 1);
    // A path out of the book would prove a file elsewhere.
    const std::string padded = "/" + seen.path + "/";
    return !seen.path.empty() && seen.path.front() != '/' && padded.find("/../") == std::string::npos &&
           padded.find("/./") == std::string::npos && padded.find("//") == std::string::npos;
}

// Completing keeps what an earlier run wrote only where it still holds
// what the disc gave then: a file the user replaced, or a stick damaged
// since, would otherwise pass for the book. Each kept file is read back
// from the drive and compared with the note; what differs or is gone is
// read from the disc again. A note without the files' hashes leaves the
// kept files unproven. False when the user stopped it.
bool ProveKept(Plan& plan, IFileOperations& ops)
{
    bool allSeen = false, readable = true;
    std::vector<Seen> noted;
    for (const std::string& entry : ops.Remembered(plan.completing)) {
        if (entry == kAllSeenEntry) {
            allSeen = true;
        } else if (entry.rfind(kFileEntry, 0) == 0) {
            Seen seen;
            readable = ParseFileEntry(entry, seen) && readable;
            noted.push_back(std::move(seen));
        } else if (entry.front() != '/') {
            plan.redo.insert(entry);
        }
    }
    if (!allSeen || !readable)
        return true;
    std::vector<Seen> toProve;
    for (const Seen& seen : noted)
        if (plan.redo.count(seen.path) == 0)
            toProve.push_back(seen);
    // Nothing to read shows no progress window.
    const copy::KeptProof proof = toProve.empty() ? copy::KeptProof()
                                                     : ops.ChangedSince(plan.completing, toProve,
                                                                        copy::text::ProvingKept(plan.completing));
    if (proof.cancelled)
        return false;
    plan.redo.insert(proof.changed.begin(), proof.changed.end());
    for (const Seen& seen : toProve)
        if (plan.redo.count(seen.path) == 0)
            plan.kept.push_back(seen);
    plan.keptProven = true;
    return true;
}

// One copy of everything inside sourceFolder into destFolder, titled with
// the folder the user knows.
copy::CopyOutcome CopyFolder(const std::string& sourceFolder, const std::string& destFolder,
                                const std::string& scratch, const std::string& shown, bool ask, IFileOperations& ops,
                                const copy::CopyScope& scope)
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

using copy::Refusal;
using copy::RefusalReason;
using MaybeRefusal = std::optional<Refusal>;

Refusal Refuse(RefusalReason reason, std::string path = {}, std::string other = {})
{
    Refusal refusal;
    refusal.reason = reason;
    refusal.path = std::move(path);
    refusal.other = std::move(other);
    return refusal;
}

Refusal Refuse(RefusalReason reason, std::string path, const Failure& failure)
{
    Refusal refusal = Refuse(reason, std::move(path));
    refusal.failure = failure;
    return refusal;
}

CopyReport Refused(Refusal refusal)
{
    CopyReport report;
    report.result = CopyResult::Refused;
    report.ending = copy::Ending::Refused;
    report.refusal = std::move(refusal);
    report.message = copy::text::Told(report);
    return report;
}

// The temporary folder's own checks; the refusal, or none.
MaybeRefusal CheckTemp(std::string tempPath, IFileOperations& ops, Plan& plan)
{
    if (tempPath.empty() || tempPath.front() != '/')
        return Refuse(RefusalReason::TempNotSet);
    if (tempPath.back() != '/')
        tempPath += '/';
    plan.tempFolder = tempPath + kTempName;
    if (!copy::PathFits(plan.tempFolder + kTempContent + "/"))
        return Refuse(RefusalReason::PathTooLong, plan.tempFolder);
    // The temporary folder is emptied first and removed at the end:
    // nothing of the book may lie inside it, nor it inside the book.
    const std::string temp = ops.Resolve(plan.tempFolder);
    if (posix::Inside(ops.Resolve(plan.outputDir), temp))
        return Refuse(RefusalReason::OutputInsideTemp, plan.outputDir, plan.tempFolder);
    if (posix::Inside(temp, ops.Resolve(plan.target)))
        return Refuse(RefusalReason::TempInsideTarget, plan.tempFolder, plan.target);
    return {};
}

// Every check that needs no writing; the refusal, or none to go on.
MaybeRefusal Check(const std::string& destPath, const CSettings& settings, IFileOperations& ops, Plan& plan)
{
    plan.outputDir = posix::ParentFolder(destPath);
    // A relative folder ("boeken", "~/boeken") would land wherever the
    // program happens to start.
    if (destPath.empty() || destPath.front() != '/')
        return Refuse(RefusalReason::NotAbsolute, plan.outputDir);
    if (!copy::PathFits(plan.discRoot))
        return Refuse(RefusalReason::PathTooLong, plan.discRoot);
    if (!copy::PathFits(destPath))
        return Refuse(RefusalReason::PathTooLong, destPath);

    // The output folder is made only where its parent is: a missing stick
    // must not turn into a folder on the system disk.
    plan.makeOutput = !ops.IsFolder(plan.outputDir);
    if (plan.makeOutput) {
        if (ops.Inspect(plan.outputDir) != PathState::Missing)
            return Refuse(RefusalReason::OutputNotFolder, plan.outputDir);
        const std::string parent = posix::ParentFolder(plan.outputDir);
        if (!ops.IsFolder(parent))
            return Refuse(RefusalReason::OutputParentMissing, plan.outputDir);
        // Where drives are mounted, a folder on the disk above is made by
        // nobody: it would stand in for the drive.
        if (const copy::MountSpot spot = ops.OnMissingDrive(parent); spot == copy::MountSpot::LeftBehind)
            return Refuse(RefusalReason::OutputMissingOnEmptyMountPoint, plan.outputDir, parent);
        else if (spot != copy::MountSpot::OnDrive)
            return Refuse(RefusalReason::OutputMissingOffDrive, plan.outputDir);
    } else if (ops.OnMissingDrive(plan.outputDir) == copy::MountSpot::LeftBehind) {
        // An existing folder that holds something is the user's own, also
        // on the system disk; an empty one is where a stick was.
        return Refuse(RefusalReason::OutputOnEmptyMountPoint, plan.outputDir);
    }

    plan.target = plan.base = destPath;
    // An earlier copy of this book that stayed incomplete is completed, not
    // copied anew beside it; another disc never completes it, and in
    // replace mode a book folder that exists is the one replaced into.
    if (plan.completes)
        plan.disc = ops.DiscIdentity(plan.discRoot);
    if (const copy::Completion completion = copy::FindCompletion(plan.discRoot, destPath, plan.ask, ops);
        plan.completes && !completion.folder.empty()) {
        plan.completing = completion.folder;
    } else if (!plan.ask) {
        plan.number = copy::publish::FreeNumber(destPath, ops);
        // Closing the window without a word would look like success to
        // someone who cannot see that no folder appeared.
        if (plan.number < 0)
            return Refuse(RefusalReason::AllNumbersTaken, destPath);
        plan.target = copy::publish::NameWith(destPath, plan.number);
        if (!copy::PathFits(plan.target))
            return Refuse(RefusalReason::PathTooLong, plan.target);
    } else {
        const PathState state = ops.Inspect(plan.target);
        // Copying through a link would write the disc wherever it points.
        if (state == PathState::Other)
            return Refuse(RefusalReason::TargetNotFolder, plan.target);
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
                return Refuse(RefusalReason::FileTooLarge, plan.discRoot + big, folder);
        }
    }
    if (settings.CopyViaTemp != 0) {
        if (MaybeRefusal refusal = CheckTemp(settings.TempPath, ops, plan))
            return refusal;
    }
    return std::nullopt;
}

// A book that cannot fit is refused before anything is read, on the drive
// it goes to and on the temporary folder's. Completing needs only what is
// missing, which passes through the temporary folder alone; replacing
// frees the old files as it goes. The refusal, or none.
MaybeRefusal CheckRoom(const CSettings& settings, IFileOperations& ops, const Plan& plan)
{
    const std::string outputDrive = plan.makeOutput ? posix::ParentFolder(plan.outputDir) : plan.outputDir;
    const std::string viaTemp = settings.CopyViaTemp != 0 ? settings.TempPath : std::string();
    const std::string bookDrive = plan.existing || !plan.completing.empty() ? std::string() : outputDrive;
    for (const std::string& folder : {bookDrive, viaTemp}) {
        std::uint64_t block = 0, room = 0;
        if (folder.empty() || !ops.Room(folder, block, room))
            continue;
        const std::uint64_t need = plan.completing.empty()
                                       ? ops.SizeOnDrive(plan.discRoot, block)
                                       : ops.SizeToFill(plan.discRoot, block, plan.completing, plan.redo);
        if (need > room) {
            Refusal refusal = Refuse(RefusalReason::NoRoom, folder);
            refusal.need = need;
            refusal.room = room;
            return refusal;
        }
    }
    return std::nullopt;
}

// Makes what the copy writes into: the output folder when missing, the
// temporary folder, this run's work folder. The refusal, or none.
MaybeRefusal Prepare(IFileOperations& ops, const Plan& plan, copy::publish::CStage& stage)
{
    if (plan.makeOutput) {
        if (const Failure failure = ops.MakeFolder(plan.outputDir))
            return Refuse(RefusalReason::CannotPrepare, plan.outputDir, failure);
    }
    if (!plan.tempFolder.empty()) {
        if (const Failure failure = ops.HoldTempFolder(plan.tempFolder))
            return Refuse(RefusalReason::TempRefused, failure.path, failure);
    }
    if (const Failure failure = stage.Open(plan.outputDir)) {
        DeleteFolder(plan.tempFolder, ops);
        return Refuse(RefusalReason::CannotPrepare, plan.outputDir, failure);
    }
    return {};
}

// The disc into the book's folder (or into the temporary folder first,
// then from there); the temporary folder is gone afterwards. intoBook
// tells whether anything went into the book's folder. Completing an
// earlier copy takes through the temporary folder only what the
// completion reads: the rest of the disc is not read at all.
copy::CopyOutcome CopyDisc(const Plan& plan, const std::string& into, const std::string& work,
                              IFileOperations& ops, bool& intoBook)
{
    copy::CopyOutcome outcome;
    std::string source = plan.discRoot;
    const bool viaTemp = !plan.tempFolder.empty();
    if (viaTemp) {
        // Only the copy on the drive the book goes to is read back.
        const std::string content = plan.tempFolder + kTempContent;
        copy::CopyScope toTemp;
        if (!plan.completing.empty()) {
            toTemp.keptIn = plan.completing;
            toTemp.redo = plan.redo;
        }
        outcome = CopyFolder(plan.discRoot, content, plan.tempFolder, plan.tempFolder, plan.ask, ops, toTemp);
        source = content + "/";
    }
    // A completion keeps what did arrive, and the files the disc would not
    // give stay on its note; a temporary drive that filled up is said of
    // that drive, before the copy gets anything.
    std::vector<std::string> unread;
    if (viaTemp && !plan.completing.empty() && outcome.result == CopyResult::Failed && !outcome.unflushed &&
        outcome.noRoom.empty())
        unread = outcome.missing;
    intoBook = !viaTemp || outcome.result == CopyResult::Copied || !unread.empty();
    copy::CopyScope scope;
    scope.verify = plan.verify;
    if (!plan.completing.empty()) {
        scope.fillOnly = true;
        scope.redo = plan.redo;
    }
    if (intoBook)
        outcome = CopyFolder(source, into, work, plan.completing.empty() ? plan.target : plan.completing,
                             plan.ask && plan.completing.empty(), ops, scope);
    if (!unread.empty() && (outcome.result == CopyResult::Copied ||
                            (outcome.result == CopyResult::Failed && !outcome.unflushed))) {
        outcome.result = CopyResult::Failed;
        outcome.readBack = {};
        outcome.missing.insert(outcome.missing.begin(), unread.begin(), unread.end());
    }
    DeleteFolder(plan.tempFolder, ops);
    return outcome;
}

// Equal bytes from a FUSE program's cache prove nothing of the stick.
// Mounting the stick anew starts that program with nothing cached; every
// file of the book (those kept from an earlier run too) is then read back
// once more and compared with what the disc gave. The copy is still
// unnamed, so a difference found here keeps the book's name from it.
// Where the stick cannot be mounted anew, it stays as it was and the
// outcome says why; where it went away unmounted, so did the copy:
// false, with gone saying why.
bool ReadBackFromDevice(Plan& plan, std::string& into, copy::publish::CStage& stage, copy::CopyOutcome& outcome,
                        IFileOperations& ops, Failure& gone)
{
    const copy::RemountResult remount = ops.Remount(plan.outputDir, copy::text::Remounting(outcome.drive));
    if (remount.state == copy::RemountState::Gone) {
        gone = remount.failure;
        stage.MovedTo({});
        return false;
    }
    if (remount.state == copy::RemountState::Remounted) {
        const std::string from = plan.outputDir, to = remount.folder;
        for (std::string* path : {&plan.outputDir, &plan.base, &plan.target, &plan.completing, &into})
            *path = posix::MovedBelow(*path, from, to);
        if (!stage.Work().empty())
            stage.MovedTo(posix::MovedBelow(stage.Work(), from, to));
        if (!remount.drive.empty())
            outcome.drive = remount.drive;
    }
    if (remount.cancelled) {
        outcome.result = CopyResult::Cancelled;
        outcome.readBack = {};
        return true;
    }
    if (remount.state == copy::RemountState::Unchanged) {
        outcome.readBack.why = copy::NotFromDeviceReason::RemountFailed;
        outcome.readBack.remount = remount.failure;
        return true;
    }
    std::vector<Seen> every = outcome.seen;
    every.insert(every.end(), plan.kept.begin(), plan.kept.end());
    const copy::KeptProof proof = ops.ChangedSince(into, every, copy::text::ReadingBack(outcome.drive));
    if (proof.cancelled) {
        outcome.result = CopyResult::Cancelled;
        outcome.readBack = {};
    } else if (!proof.changed.empty()) {
        outcome.result = CopyResult::Failed;
        outcome.different = proof.changed;
        outcome.readBack = {};
    } else {
        outcome.readBack.state = copy::ReadBackState::FromDevice;
        outcome.readBack.why = copy::NotFromDeviceReason::None;
    }
    return true;
}

// What a copy that is not the whole book still needs from a disc: what was
// skipped, what read back different, and every file the check found
// missing or damaged on the disc or in the copy.
std::vector<std::string> Needed(const copy::CopyOutcome& outcome, const CopyReport& report, const Plan& plan)
{
    std::vector<std::string> needed = outcome.missing;
    if (!plan.disc.empty())
        needed.push_back(kDiscEntry + plan.disc);
    // What each file held as it came from the disc, so that completing can
    // prove what it keeps: only where every file the copy holds is noted.
    if (plan.verify && (plan.completing.empty() || plan.keptProven)) {
        needed.push_back(kAllSeenEntry);
        std::set<std::string> now;
        for (const Seen& seen : outcome.seen) {
            now.insert(seen.path);
            needed.push_back(FileEntry(seen));
        }
        for (const Seen& seen : plan.kept)
            if (now.count(seen.path) == 0)
                needed.push_back(FileEntry(seen));
    }
    needed.insert(needed.end(), outcome.different.begin(), outcome.different.end());
    for (const check::CheckReport* check : {&report.discCheck, &report.copyCheck})
        for (const check::Finding& f : check->findings)
            if (f.grade == check::Grade::Fatal && f.kind != check::Kind::OutsideBook)
                needed.push_back(f.file);
    std::sort(needed.begin(), needed.end());
    needed.erase(std::unique(needed.begin(), needed.end()), needed.end());
    return needed;
}

// Whether every fault is the disc's own: nothing was skipped or read back
// different, and the check finds the same files at fault in the copy as on
// the disc. Such a copy holds the book as the disc holds it, and another
// copy of this disc cannot do better.
bool OnlyTheDiscLacks(const copy::CopyOutcome& outcome, const CopyReport& report)
{
    if (!outcome.missing.empty() || !outcome.different.empty())
        return false;
    // Audio damaged behind a valid header shows only in the walk of the
    // bytes the copy read from the disc: that is the disc's fault too.
    std::set<std::string> onDisc = copy::FaultyFiles(report.discCheck);
    for (const check::Finding& f : report.copyCheck.findings)
        if (f.grade == check::Grade::Fatal && f.fromSource)
            onDisc.insert(f.file);
    const std::set<std::string> inCopy = copy::FaultyFiles(report.copyCheck);
    return !onDisc.empty() && onDisc == inCopy;
}

// Gives what the copy wrote its name: the whole book its own (or the next
// free number, should the name have been taken meanwhile), and so a book
// copied as faithfully as its disc allows; what the copy lacks a name that
// says so, with a note of what it still needs. Then says how it ended.
CopyReport PublishAndTell(const Plan& plan, const copy::CopyOutcome& outcome, bool intoBook,
                          const std::string& into, copy::publish::CStage& stage, IFileOperations& ops,
                          const copy::DestinationLine& showDestination, CopyReport report)
{
    using copy::Ending;
    report.result = outcome.result;
    report.folder = plan.existing ? plan.target : plan.completing;
    report.target = plan.target;
    report.existed = plan.existing;
    report.missing = outcome.missing;
    report.noRoom = outcome.noRoom;
    if (!outcome.noRoom.empty()) {
        // The figures for the drive that was full: what the book takes
        // there, and what it has free now.
        std::uint64_t block = 0;
        const std::string full = outcome.drive.empty() ? plan.outputDir : outcome.drive;
        if (ops.Room(full, block, report.room))
            report.need = ops.SizeOnDrive(plan.discRoot, block);
    }
    report.different = outcome.different;
    report.drive = outcome.drive;
    report.unflushed = outcome.unflushed;
    const bool staged = !plan.existing && intoBook;
    const bool checked = intoBook && !outcome.unflushed && outcome.result != CopyResult::Cancelled;
    if (checked)
        report.copyCheck = ops.CheckBook(into, check::Place::Copy);
    // Without a check before the copy, a copy that skipped nothing and read
    // back nothing different holds the disc as it is: what its check finds
    // is the disc's own.
    if (checked && !plan.checkedBefore && outcome.missing.empty() && outcome.different.empty())
        for (check::Finding& f : report.copyCheck.findings)
            f.fromSource = true;
    const bool copied = outcome.result == CopyResult::Copied;
    const bool whole = copied && !report.discCheck.HasFatal() && !report.copyCheck.HasFatal();
    const bool discLacks = copied && checked && !whole && OnlyTheDiscLacks(outcome, report);
    if (copied && !whole)
        report.result = CopyResult::Failed;
    const bool lacking = !outcome.missing.empty() || !outcome.different.empty();
    const bool partial = checked && !whole && !discLacks && (copied || lacking);
    report.ending = Ending::Failed;
    if (outcome.unflushed) {
        // The files may not be on the device: nothing under the book's name
        // may pass for the book.
        report.failure = posix::OnOutput(EIO, outcome.drive);
    } else if (staged && (whole || discLacks)) {
        Failure failure;
        if (!plan.completing.empty()) {
            // The note of an earlier run goes before the book gets its name:
            // a note left inside would stay in the book for good.
            failure = ops.Remember(into, {});
            if (!failure)
                failure = copy::publish::PublishAs(into, plan.target, ops, report.folder);
        } else {
            failure = stage.PublishWhole(plan.base, plan.number, report.folder);
        }
        if (failure) {
            report.result = CopyResult::Failed;
            report.failure = failure;
            if (!plan.completing.empty())
                report.folder = plan.completing;
        } else {
            report.ending = whole ? Ending::Whole : Ending::DiscLacks;
            if (report.folder != plan.target && showDestination)
                showDestination(report.folder);
        }
    } else if (staged && partial) {
        // What cannot be named so is lost with the work folder; the list of
        // missing files says that nothing was kept.
        bool noted = true;
        if (plan.completing.empty())
            stage.PublishIncomplete(plan.base, Needed(outcome, report, plan), report.folder);
        else
            noted = !ops.Remember(into, Needed(outcome, report, plan));
        if (!report.folder.empty()) {
            report.ending = Ending::CopyLacks;
            // Without its note a later copy would not know what to read:
            // the message then offers no second chance.
            report.secondChance = noted;
        }
    } else if (plan.existing && !outcome.unflushed && outcome.result != CopyResult::Cancelled) {
        report.ending = whole ? Ending::Whole : discLacks ? Ending::DiscLacks : Ending::Failed;
    }
    stage.Discard();
    if (outcome.result == CopyResult::Cancelled)
        report.ending = Ending::Cancelled;
    // Equal bytes from a cache are no proof of the stick: the outcome says
    // where they came from. What an earlier run left and this one only kept
    // was read back by neither: the claim covers every file only where the
    // kept ones were proven too.
    if (report.ending == Ending::Whole) {
        report.readBack = outcome.readBack;
        report.keptUnproven = outcome.readBack.state != copy::ReadBackState::Off && !plan.completing.empty() &&
                              !plan.keptProven;
    }
    report.message = copy::text::Told(report);
    report.readBackLine = copy::text::ReadBackLine(report);
    return report;
}

} // namespace

namespace copy {

std::set<std::string> FaultyFiles(const check::CheckReport& check)
{
    std::set<std::string> files;
    for (const check::Finding& f : check.findings)
        if (f.grade == check::Grade::Fatal)
            files.insert(f.file);
    return files;
}

std::size_t FaultCount(const CopyReport& report)
{
    std::set<std::string> files = FaultyFiles(report.discCheck);
    const std::set<std::string> copy = FaultyFiles(report.copyCheck);
    files.insert(copy.begin(), copy.end());
    return files.size();
}

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

Completion FindCompletion(const std::string& discRoot, const std::string& destPath, bool replaceMode,
                          IFileOperations& ops)
{
    const std::string incomplete = copy::publish::IncompleteName(destPath);
    // In replace mode a book folder that exists is the one replaced into:
    // completing beside it would end as a numbered folder the user never
    // chose.
    if (replaceMode && ops.Inspect(destPath) != PathState::Missing)
        return {};
    if (ops.Inspect(incomplete) != PathState::Folder)
        return {};
    std::vector<std::string> note = ops.Remembered(incomplete);
    // Another disc never completes it: what it holds is another book.
    if (NotedDisc(note) != ops.DiscIdentity(discRoot))
        return {};
    std::erase_if(note, [](const std::string& entry) { return entry.rfind(kDiscEntry, 0) == 0; });
    return {incomplete, std::move(note)};
}

} // namespace copy

CopyReport CopyBook(const std::string& discRoot, const std::string& destPath, const CSettings& settings,
                    IFileOperations& ops, const copy::DestinationLine& showDestination,
                    const check::CheckReport* discCheck, const copy::publish::Layout* layout)
{
    Plan plan;
    plan.completes = layout == nullptr || layout->completes;
    plan.discRoot = discRoot;
    plan.ask = settings.ConfirmOverwrite != 0;
    plan.verify = settings.VerifyCopy != 0;
    if (MaybeRefusal refusal = Check(destPath, settings, ops, plan))
        return Refused(std::move(*refusal));
    if (showDestination && !plan.completing.empty())
        showDestination(plan.completing);
    else if (!plan.ask && showDestination)
        showDestination(plan.target);
    // What completing reads from the disc, and so the room it needs, is
    // known once the kept files are proven; stopped there, nothing was
    // written.
    if (!plan.completing.empty() && !ProveKept(plan, ops)) {
        CopyReport cancelled;
        cancelled.result = CopyResult::Cancelled;
        cancelled.ending = copy::Ending::Cancelled;
        cancelled.folder = plan.completing;
        cancelled.target = plan.target;
        cancelled.message = copy::text::Told(cancelled);
        return cancelled;
    }
    if (MaybeRefusal refusal = CheckRoom(settings, ops, plan))
        return Refused(std::move(*refusal));
    CopyReport report;
    // A disc is read once: without a check from the caller the copy's own
    // reading is the check's (the audio walked as it passes, the rest
    // checked in the copy). Checking the disc first would have a drive
    // seek to every file twice.
    if (discCheck != nullptr) {
        report.discCheck = *discCheck;
        plan.checkedBefore = true;
    }

    // Nothing was written up to here.
    copy::publish::CStage stage(ops, layout != nullptr ? *layout : copy::publish::Layout());
    if (MaybeRefusal refusal = Prepare(ops, plan, stage))
        return Refused(std::move(*refusal));
    std::string into = !plan.completing.empty() ? plan.completing : plan.existing ? plan.target : stage.Book();
    bool intoBook = false;
    copy::CopyOutcome outcome = CopyDisc(plan, into, stage.Work(), ops, intoBook);
    if (outcome.result == CopyResult::Copied && outcome.readBack.state == copy::ReadBackState::NotFromDevice &&
        ops.CanRemount()) {
        Failure gone;
        const std::string before = plan.target;
        const bool back = ReadBackFromDevice(plan, into, stage, outcome, ops, gone);
        // The stick came back at another mount point: so did the book.
        if (back && plan.target != before && showDestination)
            showDestination(plan.completing.empty() ? plan.target : plan.completing);
        if (!back) {
            report.result = CopyResult::Failed;
            report.ending = copy::Ending::Failed;
            report.target = plan.target;
            report.folder = plan.existing ? plan.target : plan.completing;
            report.existed = plan.existing;
            report.drive = outcome.drive;
            report.failure = gone;
            report.driveGone = true;
            report.message = copy::text::Told(report);
            return report;
        }
    }
    return PublishAndTell(plan, outcome, intoBook, into, stage, ops, showDestination, std::move(report));
}
