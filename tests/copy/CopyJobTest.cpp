// The copy job's decisions against a fake file system: which folder, which
// operations in which order, and what is refused.
#include "copy/CopyJob.h"
#include "copy/CopyTexts.h"
#include "settings/Settings.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

using copy::CopyResult;
using copy::Failure;
using copy::PathState;
using copy::RefusalReason;

namespace {

const std::string kDisc = "/media/anna/BOEK/";
const std::string kOut = "/home/anna/Boeken";
const std::string kDest = kOut + "/Jansen - Het boek";
const std::string kTemp = "/home/anna/.cache/";
const std::string kTempFolder = "/home/anna/.cache/_TalvoraTmp_";
const std::string kWork = kOut + "/.talvora-W";
const std::string kStaged = kWork + "/boek";

std::string Title(const std::string& dest)
{
    return "Bestanden worden gekopi\xC3\xAB" "erd naar " + dest;
}

const std::string kHash = "0123456789abcdef0123456789abcdef";
// What the fake's verifying copy notes of the one file it hashed.
const std::string kSeen = " /bestand:" + kHash + ":5:ncc.html /gelezen:";

class CFakeOps final : public copy::IFileOperations
{
public:
    std::map<std::string, PathState> existing;
    std::set<std::string> missingFolders;      // IsFolder is false for these
    std::map<std::string, std::string> real;   // what Resolve makes of a path
    std::vector<CopyResult> copyResults;       // per Copy call; Copied when not listed
    std::set<std::string> takenOnPublish;      // names something took during the copy
    int hold = 0; // errno of taking the temporary folder
    std::map<std::string, std::uint64_t> fileLimit; // by folder; none: no limit
    std::string bigFile;                            // the disc's file over any limit
    std::vector<std::string> log;
    std::vector<std::string> titles;
    // By folder: what the check finds there; nothing when not listed.
    std::map<std::string, check::CheckReport> checks;
    std::map<std::string, std::vector<std::string>> remembered;
    std::vector<std::string> different; // per Copy call: a file that reads back different
    std::set<std::string> changed;      // kept files that no longer hold what the disc gave
    // The checks, the notes and read-back are logged only where a test
    // looks at them.
    bool logChecks = false;

    PathState Inspect(const std::string& path) override
    {
        const auto it = existing.find(path);
        return it == existing.end() ? PathState::Missing : it->second;
    }
    bool IsFolder(const std::string& path) override { return !missingFolders.count(path); }
    std::string Resolve(const std::string& path) override { return real.count(path) ? real[path] : path; }
    std::uint64_t LargestFileAllowed(const std::string& folder) override
    {
        return fileLimit.count(folder) ? fileLimit[folder] : 0;
    }
    std::string FileLargerThan(const std::string&, std::uint64_t) override { return bigFile; }
    // By folder: the bytes free on its drive (blocks of 4096); not listed:
    // the system cannot say.
    std::map<std::string, std::uint64_t> freeBytes;
    std::uint64_t bookBytes = 0; // what the disc's files take, rounded up
    bool Room(const std::string& folder, std::uint64_t& block, std::uint64_t& free) override
    {
        block = 4096;
        free = freeBytes.count(folder) ? freeBytes[folder] : 0;
        return freeBytes.count(folder) != 0;
    }
    std::uint64_t SizeOnDrive(const std::string&, std::uint64_t block) override
    {
        return block == 4096 ? bookBytes : 0;
    }
    int mkdirError = 0;
    Failure MakeFolder(const std::string& path) override
    {
        Log("mkdir " + path);
        return posix::OnOutput(mkdirError, path);
    }
    Failure HoldTempFolder(const std::string& folder) override
    {
        Log("hold " + folder);
        return posix::OnTemp(hold, folder);
    }
    void RemoveLeftovers(const std::string& folder) override { Log("leftovers " + folder); }
    Failure MakeWorkFolder(const std::string& folder, std::string& work) override
    {
        work = folder + "/.talvora-W";
        return Log("work " + folder);
    }
    copy::CopyOutcome Copy(const std::string& from, const std::string& to, const std::string& scratch,
                              const std::string&, const std::string& title, bool ask,
                              const copy::CopyScope& scope) override
    {
        const std::size_t index = m_copies++;
        std::string redo;
        for (const std::string& file : scope.redo)
            redo += " " + file;
        Log("copy " + from + " -> " + to + (ask ? " ask" : " silent") + " in " + scratch +
            (scope.fillOnly ? " fill" + redo : "") + (scope.keptIn.empty() ? "" : " lacking in " + scope.keptIn + redo) +
            (scope.verify && logChecks ? " verify" : ""));
        titles.push_back(title);
        copy::CopyOutcome outcome;
        outcome.result = index < copyResults.size() ? copyResults[index] : CopyResult::Copied;
        if (logChecks)
            outcome.drive = "/media/stick";
        if (outcome.result == CopyResult::Failed)
            outcome.missing = {"audio/02.mp3"};
        if (index < different.size() && !different[index].empty()) {
            outcome.result = CopyResult::Failed;
            outcome.different = {different[index]};
        }
        if (outcome.result == CopyResult::Copied && scope.verify)
            outcome.readBack.state = copy::ReadBackState::FromDevice;
        if (scope.verify && logChecks)
            outcome.seen = {{"ncc.html", 5, kHash}};
        return outcome;
    }
    check::CheckReport CheckBook(const std::string& folder, check::Place place) override
    {
        if (logChecks)
            Log(std::string("check ") + (place == check::Place::Disc ? "disc " : "copy ") + folder);
        const auto it = checks.find(folder);
        return it == checks.end() ? check::CheckReport{} : it->second;
    }
    std::vector<std::string> Remembered(const std::string& folder) override
    {
        return remembered.count(folder) ? remembered[folder] : std::vector<std::string>{};
    }
    bool cancelProof = false; // the user stops the proof of the kept files
    copy::KeptProof ChangedSince(const std::string& folder, const std::vector<copy::CopyOutcome::Seen>& noted,
                                    const std::string& title) override
    {
        std::string line = "prove " + folder + ":";
        copy::KeptProof proof;
        for (const copy::CopyOutcome::Seen& seen : noted) {
            line += " " + seen.path;
            if (changed.count(seen.path) != 0)
                proof.changed.push_back(seen.path);
        }
        Log(line);
        titles.push_back(title);
        proof.cancelled = cancelProof;
        return proof;
    }
    // What the files the completion reads take; by default the whole disc.
    std::optional<std::uint64_t> fillBytes;
    std::uint64_t SizeToFill(const std::string& root, std::uint64_t block, const std::string&,
                             const std::set<std::string>&) override
    {
        return fillBytes ? *fillBytes : SizeOnDrive(root, block);
    }
    Failure Remember(const std::string& folder, const std::vector<std::string>& files) override
    {
        std::string line = "remember " + folder + ":";
        for (const std::string& file : files)
            line += " " + file;
        if (logChecks)
            Log(line);
        return posix::OnOutput(rememberError, folder);
    }
    Failure Publish(const std::string& from, const std::string& to) override
    {
        Log("publish " + from + " -> " + to);
        return posix::OnOutput(takenOnPublish.count(to) ? EEXIST : publishError, to);
    }
    Failure Delete(const std::string& folder) override
    {
        Log("delete " + folder);
        return posix::OnOutput(EIO, folder); // its result must not matter
    }
    // What the user is told, in the log as the job's last step.
    CopyResult Tell(const copy::CopyReport& report)
    {
        if (!report.message.empty())
            Log((report.result == CopyResult::Cancelled ? "info " : "error ") + report.message.substr(0, 24));
        return report.result;
    }
    int publishError = 0;  // for a name not taken
    int rememberError = 0; // writing or removing the note
    bool Wrote() const
    {
        return std::any_of(log.begin(), log.end(), [](const std::string& l) {
            return l.rfind("error ", 0) != 0 && l.rfind("info ", 0) != 0;
        });
    }

private:
    Failure Log(const std::string& line)
    {
        log.push_back(line);
        return {};
    }
    std::size_t m_copies = 0;
};

CSettings MakeSettings(int confirmOverwrite, int copyViaTemp)
{
    CSettings s;
    s.ConfirmOverwrite = confirmOverwrite;
    s.CopyViaTemp = copyViaTemp;
    s.TempPath = kTemp;
    return s;
}

struct RunResult
{
    CopyResult result;
    std::vector<std::string> lines; // destination-line updates
    copy::CopyReport report;
};

RunResult RunJob(CFakeOps& ops, const CSettings& settings, const std::string& dest = kDest)
{
    RunResult r;
    r.report = CopyBook(kDisc, dest, settings, ops, [&](const std::string& t) {
        // The line must show the target before anything is written.
        if (r.lines.empty()) {
            EXPECT_FALSE(ops.Wrote()) << "destination line first shown after a file operation";
        }
        r.lines.push_back(t);
    });
    r.result = ops.Tell(r.report);
    return r;
}

const std::string kIncomplete = "error Het Daisy-boek is niet v";
const std::string kCancelNew = "info Het kopi\xC3\xAB" "ren is geannul";

struct ComboCase
{
    const char* name;
    int confirmOverwrite;
    int copyViaTemp;
    std::vector<CopyResult> copyResults;
    bool destExists;
    CopyResult expected;
    std::vector<std::string> log;
    std::vector<std::string> lines;
};

PRINT_CASE_AS(ComboCase, name)

const std::string kLeft = "leftovers " + kOut;
const std::string kMakeWork = "work " + kOut;
const std::string kHold = "hold " + kTempFolder;
const std::string kToStaged = "copy " + kDisc + " -> " + kStaged;
const std::string kToDest = "copy " + kDisc + " -> " + kDest;
const std::string kToTemp = "copy " + kDisc + " -> " + kTempFolder + "/cd";
const std::string kTempToStaged = "copy " + kTempFolder + "/cd/ -> " + kStaged;
const std::string kInWork = " in " + kWork;
const std::string kInTemp = " in " + kTempFolder;
const std::string kPublish = "publish " + kStaged + " -> " + kDest;
const std::string kDelWork = "delete " + kWork, kDelTemp = "delete " + kTempFolder;
const CopyResult kOk = CopyResult::Copied, kFail = CopyResult::Failed, kStop = CopyResult::Cancelled;

const std::vector<ComboCase> kCombos = {
    {"NewBookIsStagedThenRenamed", 1, 0, {}, false, kOk,
     {kLeft, kMakeWork, kToStaged + " ask" + kInWork, kPublish, kDelWork}, {}},
    {"ExistingFolderIsWrittenIntoNeverRemoved", 1, 0, {}, true, kOk,
     {kLeft, kMakeWork, kToDest + " ask" + kInWork, kDelWork}, {}},
    {"SkippedFilesKeepTheRestUnderAnIncompleteName", 1, 0, {kFail}, false, kFail,
     {kLeft, kMakeWork, kToStaged + " ask" + kInWork, "publish " + kStaged + " -> " + kDest + " (onvolledig)",
      kDelWork, kIncomplete},
     {}},
    {"SkippedFilesInAnExistingFolderAreListed", 1, 0, {kFail}, true, kFail,
     {kLeft, kMakeWork, kToDest + " ask" + kInWork, kDelWork, kIncomplete}, {}},
    {"CancelLeavesNoBookFolder", 1, 0, {kStop}, false, kStop,
     {kLeft, kMakeWork, kToStaged + " ask" + kInWork, kDelWork, kCancelNew}, {}},
    {"ViaTemp", 1, 1, {}, false, kOk,
     {kHold, kLeft, kMakeWork, kToTemp + " ask" + kInTemp, kTempToStaged + " ask" + kInWork, kDelTemp, kPublish,
      kDelWork},
     {}},
    {"ViaTempFirstFails", 1, 1, {kFail}, false, kFail,
     {kHold, kLeft, kMakeWork, kToTemp + " ask" + kInTemp, kDelTemp, kDelWork, kIncomplete}, {}},
    {"ViaTempSecondCancelled", 1, 1, {kOk, kStop}, false, kStop,
     {kHold, kLeft, kMakeWork, kToTemp + " ask" + kInTemp, kTempToStaged + " ask" + kInWork, kDelTemp, kDelWork,
      kCancelNew},
     {}},
    {"Number", 0, 0, {}, false, kOk, {kLeft, kMakeWork, kToStaged + " silent" + kInWork, kPublish, kDelWork}, {kDest}},
    {"NumberTaken", 0, 0, {}, true, kOk,
     {kLeft, kMakeWork, kToStaged + " silent" + kInWork, "publish " + kStaged + " -> " + kDest + "_001", kDelWork},
     {kDest + "_001"}},
    {"NumberViaTemp", 0, 1, {}, true, kOk,
     {kHold, kLeft, kMakeWork, kToTemp + " silent" + kInTemp, kTempToStaged + " silent" + kInWork, kDelTemp,
      "publish " + kStaged + " -> " + kDest + "_001", kDelWork},
     {kDest + "_001"}},
};

class CopyBookCombinations : public testing::TestWithParam<ComboCase>
{
};

TEST_P(CopyBookCombinations, OperationsInOrder)
{
    const ComboCase& c = GetParam();
    CFakeOps ops;
    ops.copyResults = c.copyResults;
    if (c.destExists)
        ops.existing[kDest] = PathState::Folder;
    const RunResult r = RunJob(ops, MakeSettings(c.confirmOverwrite, c.copyViaTemp));
    EXPECT_EQ(r.result, c.expected);
    EXPECT_EQ(ops.log, c.log);
    EXPECT_EQ(r.lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(Settings, CopyBookCombinations, testing::ValuesIn(kCombos),
                         CaseName());

// The book check before and after, the read-back and the second chance.
struct WholeCase
{
    const char* name;
    bool discFault;        // the check finds chapter 12's SMIL missing on the disc
    bool copyFault;        // ... finds an audio file cut short in the copy
    std::string different; // a file that reads back different
    bool completing;       // "<name> (onvolledig)" of an earlier run is there
    bool ranCheck;         // the caller checked the disc already
    CopyResult expected;
    std::vector<std::string> log;
    const char* told;      // a piece of the message, or of the read-back line when copied
};

PRINT_CASE_AS(WholeCase, name)

const std::string kIncompleteDest = kDest + " (onvolledig)";
const std::string kCheckDisc = "check disc " + kDisc, kCheckStaged = "check copy " + kStaged;
const std::string kVerified = kToStaged + " silent" + kInWork + " verify";
const std::string kFill = "copy " + kDisc + " -> " + kIncompleteDest + " silent" + kInWork + " fill audio/02.mp3 verify";
const std::string kToIncomplete = "publish " + kStaged + " -> " + kIncompleteDest;

const std::vector<WholeCase> kWhole = {
    {"WholeBookIsReadBackAndNamed", false, false, "", false, false, kOk,
     {kCheckDisc, kLeft, kMakeWork, kVerified, kCheckStaged, kPublish, kDelWork}, "teruggelezen van"},
    {"CallersCheckIsNotRepeated", false, false, "", false, true, kOk,
     {kLeft, kMakeWork, kVerified, kCheckStaged, kPublish, kDelWork}, "gelijk aan die op de CD"},
    {"FaultOnTheDiscIsCopiedAsIncomplete", true, false, "", false, false, kFail,
     {kCheckDisc, kLeft, kMakeWork, kVerified, kCheckStaged, "remember " + kStaged + ":" + kSeen + " smil/12.smil", kToIncomplete,
      kDelWork},
     "Hoofdstuk 12 ontbreekt op de CD (smil/12.smil)."},
    {"FaultOnlyInTheCopyIsIncomplete", false, true, "", false, false, kFail,
     {kCheckDisc, kLeft, kMakeWork, kVerified, kCheckStaged, "remember " + kStaged + ":" + kSeen + " audio/12.mp3", kToIncomplete,
      kDelWork},
     "in de kopie"},
    {"ReadBackDifferenceNamesFileAndDrive", false, false, "audio/01.mp3", false, false, kFail,
     {kCheckDisc, kLeft, kMakeWork, kVerified, kCheckStaged, "remember " + kStaged + ":" + kSeen + " audio/01.mp3", kToIncomplete,
      kDelWork},
     "teruggelezen van /media/stick en waren niet gelijk"},
    {"SecondChanceFillsInAndNames", false, false, "", true, false, kOk,
     {kCheckDisc, kLeft, kMakeWork, kFill, "check copy " + kIncompleteDest, "remember " + kIncompleteDest + ":",
      "publish " + kIncompleteDest + " -> " + kDest, kDelWork},
     "die er van een eerdere keer al stonden, zijn niet opnieuw vergeleken"},
    {"SecondChanceStillIncompleteKeepsItsName", true, false, "", true, false, kFail,
     {kCheckDisc, kLeft, kMakeWork, kFill, "check copy " + kIncompleteDest,
      "remember " + kIncompleteDest + ": smil/12.smil", kDelWork},
     "opnieuw naar dezelfde map"},
};

class CopyBookWhole : public testing::TestWithParam<WholeCase>
{
};

TEST_P(CopyBookWhole, CheckedReadBackAndNamedForWhatItIs)
{
    const WholeCase& c = GetParam();
    CFakeOps ops;
    ops.logChecks = true;
    check::Finding missing;
    missing.grade = check::Grade::Fatal;
    missing.role = check::Role::Smil;
    missing.chapter = "Hoofdstuk 12";
    missing.file = "smil/12.smil";
    check::Finding cut = missing;
    cut.kind = check::Kind::Truncated;
    cut.role = check::Role::Audio;
    cut.file = "audio/12.mp3";
    if (c.discFault)
        ops.checks[kDisc].findings = {missing};
    if (c.copyFault)
        ops.checks[kStaged].findings = {cut};
    ops.different = {c.different};
    if (c.completing) {
        ops.existing[kIncompleteDest] = PathState::Folder;
        ops.remembered[kIncompleteDest] = {"audio/02.mp3"};
    }
    CSettings settings = MakeSettings(0, 0);
    settings.VerifyCopy = 1;
    // The window's check before the copy: one it ran already, or this one.
    const check::CheckReport before =
        c.ranCheck ? check::CheckReport() : ops.CheckBook(kDisc, check::Place::Disc);
    const copy::CopyReport report = CopyBook(kDisc, kDest, settings, ops, nullptr, &before);
    EXPECT_EQ(report.result, c.expected);
    EXPECT_EQ(ops.log, c.log);
    const std::string& told = c.expected == kOk ? report.readBackLine : report.message;
    EXPECT_NE(told.find(c.told), std::string::npos) << told;
    // Files kept from an earlier run were never compared with this disc.
    if (c.completing) {
        EXPECT_EQ(told.find("Alle bestanden"), std::string::npos) << told;
    }
    EXPECT_EQ(report.folder, c.expected == kOk ? kDest : kIncompleteDest);
}

INSTANTIATE_TEST_SUITE_P(Check, CopyBookWhole, testing::ValuesIn(kWhole), CaseName());

// Completing keeps an earlier run's files only once they are proven to
// hold what the disc gave; only then does the read-back cover every file.
struct KeptCase
{
    const char* name;
    std::vector<std::string> note;    // the earlier run's note
    std::set<std::string> changed;    // kept files that read back otherwise
    std::vector<std::string> proving; // the log's proof and copy; none when the note proves nothing
    const char* told;                 // a piece of the read-back line; "" when the book stays incomplete
    std::string noted = {};           // what the still incomplete copy notes
    bool viaTemp = false;             // copying via the hard disk
};

PRINT_CASE_AS(KeptCase, name)

const std::string kEntry01 = "/bestand:" + kHash + ":7:audio/01.mp3";
const std::string kEntryNcc = "/bestand:" + kHash + ":5:ncc.html";
const std::string kProve = "prove " + kIncompleteDest + ": audio/01.mp3 ncc.html";
const std::string kFillFrom = "copy " + kDisc + " -> " + kIncompleteDest + " silent" + kInWork + " fill";
const char* const kAll = "Alle bestanden zijn na het kopi\xC3\xAB" "ren teruggelezen";
const char* const kOnlyNew = "zijn niet opnieuw vergeleken";

const std::vector<KeptCase> kKept = {
    {"AllKeptEqualClaimsEveryFile", {"audio/02.mp3", "/gelezen:", kEntry01, kEntryNcc}, {},
     {kProve, kFillFrom + " audio/02.mp3 verify"}, kAll},
    {"KeptFileChangedIsCopiedAgain", {"audio/02.mp3", "/gelezen:", kEntry01, kEntryNcc}, {"audio/01.mp3"},
     {kProve, kFillFrom + " audio/01.mp3 audio/02.mp3 verify"}, kAll},
    {"KeptFileGoneIsCopiedAgain", {"audio/02.mp3", "/gelezen:", kEntry01, kEntryNcc}, {"ncc.html"},
     {kProve, kFillFrom + " audio/02.mp3 ncc.html verify"}, kAll},
    {"NoteWithoutHashesClaimsNothingKept", {"audio/02.mp3"}, {}, {kFillFrom + " audio/02.mp3 verify"}, kOnlyNew},
    {"HashesWithoutAllSeenClaimNothingKept", {"audio/02.mp3", kEntry01}, {},
     {kFillFrom + " audio/02.mp3 verify"}, kOnlyNew},
    {"PathOutOfTheBookClaimsNothingKept", {"audio/02.mp3", "/gelezen:", kEntry01, "/bestand:" + kHash + ":5:a/../../x"},
     {}, {kFillFrom + " audio/02.mp3 verify"}, kOnlyNew},
    {"MangledEntryClaimsNothingKept", {"audio/02.mp3", "/gelezen:", kEntry01, "/bestand:xyz:5:ncc.html"}, {},
     {kFillFrom + " audio/02.mp3 verify"}, kOnlyNew},
    // The kept files' entries outlive a run that leaves the book incomplete
    // still; what this run wrote is noted as it came now.
    {"StillIncompleteNotesKeptAndNew", {"audio/02.mp3", "/gelezen:", kEntry01, "/bestand:" + kHash + ":9:ncc.html"}, {},
     {kProve, kFillFrom + " audio/02.mp3 verify"}, "", " " + kEntryNcc + " " + kEntry01 + " /gelezen: smil/12.smil"},
    {"StillIncompleteFromAnOldNoteNotesNoHashes", {"audio/02.mp3"}, {}, {kFillFrom + " audio/02.mp3 verify"}, "",
     " smil/12.smil"},
    // Via the hard disk only what the completion reads passes through the
    // temporary folder, which is gone afterwards.
    {"ViaTempReadsOnlyWhatIsLacking", {"audio/02.mp3", "/gelezen:", kEntry01, kEntryNcc}, {"audio/01.mp3"},
     {kProve, kToTemp + " silent" + kInTemp + " lacking in " + kIncompleteDest + " audio/01.mp3 audio/02.mp3",
      "copy " + kTempFolder + "/cd/ -> " + kIncompleteDest + " silent" + kInWork + " fill audio/01.mp3 audio/02.mp3 verify"},
     kAll, "", true},
};

class CopyBookCompletes : public testing::TestWithParam<KeptCase>
{
};

TEST_P(CopyBookCompletes, KeptFilesProvenBeforeTheClaim)
{
    const KeptCase& c = GetParam();
    CFakeOps ops;
    ops.logChecks = true;
    ops.existing[kIncompleteDest] = PathState::Folder;
    ops.remembered[kIncompleteDest] = c.note;
    ops.changed = c.changed;
    const bool whole = *c.told != '\0';
    if (!whole) {
        check::Finding missing;
        missing.grade = check::Grade::Fatal;
        missing.file = "smil/12.smil";
        ops.checks[kDisc].findings = {missing};
    }
    CSettings settings = MakeSettings(0, c.viaTemp ? 1 : 0);
    settings.VerifyCopy = 1;
    const check::CheckReport before = ops.CheckBook(kDisc, check::Place::Disc);
    const copy::CopyReport report = CopyBook(kDisc, kDest, settings, ops, nullptr, &before);
    EXPECT_EQ(report.result, whole ? kOk : kFail);
    // The proof comes before anything is written; it decides what is read.
    std::vector<std::string> expected = {kCheckDisc};
    for (const std::string& line : c.proving)
        if (line.rfind("prove ", 0) == 0)
            expected.push_back(line);
    if (c.viaTemp)
        expected.push_back(kHold);
    expected.insert(expected.end(), {kLeft, kMakeWork});
    for (const std::string& line : c.proving)
        if (line.rfind("prove ", 0) != 0)
            expected.push_back(line);
    if (c.viaTemp)
        expected.push_back(kDelTemp);
    expected.push_back("check copy " + kIncompleteDest);
    expected.push_back("remember " + kIncompleteDest + ":" + c.noted);
    if (whole)
        expected.push_back("publish " + kIncompleteDest + " -> " + kDest);
    expected.push_back(kDelWork);
    EXPECT_EQ(ops.log, expected);
    if (whole) {
        EXPECT_NE(report.readBackLine.find(c.told), std::string::npos) << report.readBackLine;
    }
}

INSTANTIATE_TEST_SUITE_P(Note, CopyBookCompletes, testing::ValuesIn(kKept), CaseName());

// Stopped while the kept files are read back, the completion ends before
// anything is written: the incomplete copy and its note stay as they were.
TEST(CopyBookCompletesCancel, StoppedDuringTheProofWritesNothing)
{
    CFakeOps ops;
    ops.logChecks = true;
    ops.cancelProof = true;
    ops.existing[kIncompleteDest] = PathState::Folder;
    ops.remembered[kIncompleteDest] = {"audio/02.mp3", "/gelezen:", kEntry01, kEntryNcc};
    const copy::CopyReport report = CopyBook(kDisc, kDest, MakeSettings(0, 1), ops, nullptr);
    EXPECT_EQ(report.ending, copy::Ending::Cancelled);
    EXPECT_EQ(report.result, CopyResult::Cancelled);
    EXPECT_EQ(report.folder, kIncompleteDest);
    EXPECT_EQ(report.message, copy::text::Cancelled(kIncompleteDest));
    EXPECT_EQ(ops.log, std::vector<std::string>{kProve});
    EXPECT_EQ(ops.titles, std::vector<std::string>{copy::text::ProvingKept(kIncompleteDest)});
}

// What the disc itself lacks is no fault of the copy: the book gets its
// own name and the user is sent to the library; what the copy lacks keeps
// "(onvolledig)" and the second chance.
check::Finding Fault(check::Kind kind, check::Role role, const char* file)
{
    check::Finding f;
    f.grade = check::Grade::Fatal;
    f.kind = kind;
    f.role = role;
    f.chapter = "Hoofdstuk 12";
    f.file = file;
    return f;
}

const check::Finding kSmilGone = Fault(check::Kind::Missing, check::Role::Smil, "smil/12.smil");
const check::Finding kAudioGone = Fault(check::Kind::Missing, check::Role::Audio, "audio/12.mp3");
const check::Finding kAudioCut = Fault(check::Kind::Truncated, check::Role::Audio, "audio/12.mp3");
const check::Finding kUnreadable = Fault(check::Kind::Unreadable, check::Role::Audio, "audio/02.mp3");
const check::Finding kAudio02Gone = Fault(check::Kind::Missing, check::Role::Audio, "audio/02.mp3");
// Damage behind a valid header, seen only by the walk of the bytes the
// copy read from the disc.
const check::Finding kAudioCutOnDisc = [] {
    check::Finding f = Fault(check::Kind::Unplayable, check::Role::Audio, "audio/12.mp3");
    f.fromSource = true;
    return f;
}();

struct DefectCase
{
    const char* name;
    std::vector<check::Finding> disc, copy;
    bool skipped;          // a file could not be read from the disc
    std::string different; // a file that reads back different
    bool completing;       // "<name> (onvolledig)" of an earlier run is there
    copy::Ending ending;
    std::string folder;
    bool note;             // a note of what is still needed is kept
    const char* told;
    std::size_t faults;    // as the closing message counts them
};

PRINT_CASE_AS(DefectCase, name)

using E = copy::Ending;
const std::vector<DefectCase> kDefects = {
    {"DiscLacksAChaptersSmil", {kSmilGone}, {kSmilGone}, false, "", false, E::DiscLacks, kDest, false,
     "nieuwe CD", 1},
    {"DiscLacksAChaptersAudio", {kAudioGone}, {kAudioGone}, false, "", false, E::DiscLacks, kDest, false,
     "nieuwe CD", 1},
    {"DiscHoldsAudioCutShort", {kAudioCut}, {kAudioCut}, false, "", false, E::DiscLacks, kDest, false, "nieuwe CD",
     1},
    {"CompletingEndsWhenOnlyTheDiscLacks", {kAudioCut}, {kAudioCut}, false, "", true, E::DiscLacks, kDest, false,
     "nieuwe CD", 1},
    {"UnreadableFileIsTheCopys", {kUnreadable}, {kAudio02Gone}, true, "", false, E::CopyLacks, kIncompleteDest, true,
     "Maak de CD schoon", 1},
    {"ReadBackDifferentIsTheCopys", {}, {}, false, "audio/01.mp3", false, E::CopyLacks, kIncompleteDest, true,
     "Controleer ", 0},
    {"FaultOnlyInTheCopyIsTheCopys", {}, {kAudioCut}, false, "", false, E::CopyLacks, kIncompleteDest, true,
     "Maak de CD schoon", 1},
    {"DiscFaultTheCopyDoesNotShowIsUnproven", {kSmilGone}, {}, false, "", false, E::CopyLacks, kIncompleteDest, true,
     "Maak de CD schoon", 1},
    {"AudioDamageOnlyTheWalkOfTheDiscSees", {}, {kAudioCutOnDisc}, false, "", false, E::DiscLacks, kDest, false,
     "nieuwe CD", 1},
    {"DiscAndCopyFaultsTogetherAreTheCopys", {kSmilGone}, {kSmilGone, kAudioCut}, false, "", false, E::CopyLacks,
     kIncompleteDest, true, "Maak de CD schoon", 2},
};

class CopyBookDefects : public testing::TestWithParam<DefectCase>
{
};

TEST_P(CopyBookDefects, NamedAndToldForWhoseDefectItIs)
{
    const DefectCase& c = GetParam();
    CFakeOps ops;
    ops.logChecks = true;
    ops.checks[kDisc].findings = c.disc;
    ops.checks[c.completing ? kIncompleteDest : kStaged].findings = c.copy;
    if (c.skipped)
        ops.copyResults = {CopyResult::Failed};
    ops.different = {c.different};
    if (c.completing)
        ops.existing[kIncompleteDest] = PathState::Folder;
    const check::CheckReport before = ops.CheckBook(kDisc, check::Place::Disc);
    const copy::CopyReport report = CopyBook(kDisc, kDest, MakeSettings(0, 0), ops, nullptr, &before);
    EXPECT_EQ(report.ending, c.ending);
    EXPECT_EQ(report.result, CopyResult::Failed) << "the exit status says the book is not whole";
    EXPECT_EQ(report.folder, c.folder);
    const bool noted = std::any_of(ops.log.begin(), ops.log.end(), [](const std::string& line) {
        return line.rfind("remember ", 0) == 0 && line.back() != ':';
    });
    EXPECT_EQ(noted, c.note);
    EXPECT_EQ(report.secondChance, c.note);
    EXPECT_NE(report.message.find(c.told), std::string::npos) << report.message;
    if (c.ending == E::DiscLacks || c.told != std::string("Maak de CD schoon")) {
        EXPECT_EQ(report.message.find("Maak de CD schoon"), std::string::npos) << report.message;
    }
    EXPECT_EQ(copy::FaultCount(report), c.faults);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CopyBookDefects, testing::ValuesIn(kDefects), CaseName());

// Without a check before the copy (AutoStart, the station) the disc is read
// once, by the copy: a copy that skipped nothing holds the disc as it is,
// so what its check finds is the disc's; a file it skipped is the copy's.
struct SinglePassCase
{
    const char* name;
    std::vector<check::Finding> copy;
    bool skipped;
    copy::Ending ending;
    std::string folder;
};

PRINT_CASE_AS(SinglePassCase, name)

const std::vector<SinglePassCase> kSinglePass = {
    {"WholeBook", {}, false, E::Whole, kDest},
    {"FaultInAFaithfulCopyIsTheDiscs", {kAudioCut}, false, E::DiscLacks, kDest},
    {"SmilMissingOnTheDiscIsTheDiscs", {kSmilGone}, false, E::DiscLacks, kDest},
    {"SkippedFileIsTheCopys", {kAudio02Gone}, true, E::CopyLacks, kIncompleteDest},
};

class CopyBookSinglePass : public testing::TestWithParam<SinglePassCase>
{
};

TEST_P(CopyBookSinglePass, ReadsTheDiscOnceAndJudgesFromTheCopy)
{
    const SinglePassCase& c = GetParam();
    CFakeOps ops;
    ops.logChecks = true;
    ops.checks[kDisc].findings = {kSmilGone}; // never asked for
    ops.checks[kStaged].findings = c.copy;
    if (c.skipped)
        ops.copyResults = {CopyResult::Failed};
    const copy::CopyReport report = CopyBook(kDisc, kDest, MakeSettings(0, 0), ops, nullptr);
    EXPECT_EQ(report.ending, c.ending);
    EXPECT_EQ(report.folder, c.folder);
    EXPECT_TRUE(std::none_of(ops.log.begin(), ops.log.end(),
                             [](const std::string& line) { return line == kCheckDisc; }))
        << "the disc is read by the copy alone";
}

INSTANTIATE_TEST_SUITE_P(Kinds, CopyBookSinglePass, testing::ValuesIn(kSinglePass), CaseName());

// Room is not refused where it is there, nor for a second chance, which
// copies only what is missing.
TEST(CopyBookRoom, FitsOrCompletes)
{
    for (const bool completing : {false, true}) {
        CFakeOps ops;
        ops.freeBytes[kOut] = 5 << 20;
        ops.bookBytes = completing ? 6 << 20 : 5 << 20;
        if (completing)
            ops.existing[kIncompleteDest] = PathState::Folder;
        EXPECT_EQ(CopyBook(kDisc, kDest, MakeSettings(0, 0), ops, nullptr).ending, copy::Ending::Whole)
            << completing;
    }
}

// Completing via the hard disk needs room in the temporary folder for
// what it reads, not for the whole disc.
TEST(CopyBookRoom, CompletingViaTempNeedsRoomForWhatItReads)
{
    for (const std::uint64_t fill : {3u << 20, 6u << 20}) {
        CFakeOps ops;
        ops.existing[kIncompleteDest] = PathState::Folder;
        ops.freeBytes[kTemp] = 5 << 20;
        ops.bookBytes = 8 << 20;
        ops.fillBytes = fill;
        const copy::CopyReport report = CopyBook(kDisc, kDest, MakeSettings(0, 1), ops, nullptr);
        EXPECT_EQ(report.ending, fill < (5u << 20) ? copy::Ending::Whole : copy::Ending::Refused) << fill;
        if (report.ending == copy::Ending::Refused) {
            EXPECT_EQ(report.refusal.need, fill);
            EXPECT_EQ(report.refusal.path, kTemp);
        }
    }
}

// In replace mode the book folder that exists is replaced into, after the
// questions; an incomplete copy beside it once sent the book into "_001"
// without one.
TEST(CopyBookReplace, ExistingBookBesideAnIncompleteOneIsReplacedInto)
{
    CFakeOps ops;
    ops.existing[kDest] = PathState::Folder;
    ops.existing[kIncompleteDest] = PathState::Folder;
    const copy::CopyReport report = CopyBook(kDisc, kDest, MakeSettings(1, 0), ops, nullptr);
    EXPECT_EQ(report.folder, kDest);
    EXPECT_EQ(report.ending, copy::Ending::Whole);
    EXPECT_NE(std::find(ops.log.begin(), ops.log.end(), kToDest + " ask" + kInWork), ops.log.end());
}

TEST(CopyBookTitles, EachCopyNamesTheFolderTheUserKnows)
{
    CFakeOps ops;
    RunJob(ops, MakeSettings(1, 1));
    const std::vector<std::string> want = {Title(kTempFolder), Title(kDest)};
    EXPECT_EQ(ops.titles, want);
}

TEST(CopyBookPublish, NameTakenDuringTheCopyGetsTheNextNumber)
{
    for (const int confirm : {0, 1}) {
        CFakeOps ops;
        ops.takenOnPublish = {kDest, kDest + "_001"};
        std::vector<std::string> lines;
        EXPECT_EQ(CopyBook(kDisc, kDest, MakeSettings(confirm, 0), ops,
                           [&](const std::string& t) { lines.push_back(t); })
                      .result,
                  CopyResult::Copied);
        EXPECT_EQ(lines.back(), kDest + "_002") << "the line follows the book";
        EXPECT_EQ(ops.log.back(), kDelWork);
    }
}

// A stick pulled out, an output folder moved away, a full drive: the
// rename into place says what really happened, on the drive written to,
// and the book gets no folder.
TEST(CopyBookPublish, AFailedRenameSaysItsRealCause)
{
    for (const int error : {EIO, ENOENT, ENOSPC}) {
        CFakeOps ops;
        ops.publishError = error;
        const copy::CopyReport report = CopyBook(kDisc, kDest, MakeSettings(1, 0), ops, nullptr);
        EXPECT_EQ(report.result, CopyResult::Failed) << error;
        EXPECT_EQ(report.folder, "") << error;
        EXPECT_EQ(report.message, copy::text::NotPublished(kDest, copy::text::WriteError(error, kDest))) << error;
        EXPECT_EQ(ops.log.back(), kDelWork) << error;
    }
}

// A note that cannot be taken out of a completed copy keeps it from its
// name: the note would stay inside the book for good.
TEST(CopyBookPublish, ACompletedCopyWhoseNoteStaysIsNotNamed)
{
    CFakeOps ops;
    ops.existing[kIncompleteDest] = PathState::Folder;
    ops.rememberError = EIO;
    const copy::CopyReport report = CopyBook(kDisc, kDest, MakeSettings(0, 0), ops, nullptr);
    EXPECT_EQ(report.result, CopyResult::Failed);
    EXPECT_EQ(report.folder, kIncompleteDest);
    EXPECT_TRUE(std::none_of(ops.log.begin(), ops.log.end(),
                             [](const std::string& line) { return line.rfind("publish ", 0) == 0; }));
    EXPECT_NE(report.message.find(kDest), std::string::npos) << report.message;
}

// Each is refused with a message before anything is written.
struct RefusalCase
{
    const char* name;
    copy::RefusalReason reason;
    int confirmOverwrite;
    int copyViaTemp;
    void (*setUp)(CFakeOps&, CSettings&, std::string& dest);
};

PRINT_CASE_AS(RefusalCase, name)

const std::vector<RefusalCase> kRefusals = {
    {"RelativeOutputFolder", RefusalReason::NotAbsolute, 1, 0, [](CFakeOps&, CSettings&, std::string& d) { d = "boeken/Jansen"; }},
    {"TildeOutputFolder", RefusalReason::NotAbsolute, 1, 0, [](CFakeOps&, CSettings&, std::string& d) { d = "~/boeken/Jansen"; }},
    {"OutputFolderOnADriveNotPluggedIn", RefusalReason::OutputParentMissing, 1, 0,
     [](CFakeOps& o, CSettings&, std::string&) { o.missingFolders = {kOut, "/home/anna"}; }},
    {"OutputFolderIsAFile", RefusalReason::OutputNotFolder, 1, 0,
     [](CFakeOps& o, CSettings&, std::string&) {
         o.missingFolders = {kOut};
         o.existing[kOut] = PathState::Other;
     }},
    {"BookFolderIsALinkInReplaceMode", RefusalReason::TargetNotFolder, 1, 0,
     [](CFakeOps& o, CSettings&, std::string&) { o.existing[kDest] = PathState::Other; }},
    {"TempFolderIsALinkOrSomebodyElses", RefusalReason::TempRefused, 1, 1,
     [](CFakeOps& o, CSettings&, std::string&) { o.hold = ELOOP; }},
    {"TempFolderHeldByAnotherRun", RefusalReason::TempRefused, 0, 1, [](CFakeOps& o, CSettings&, std::string&) { o.hold = EBUSY; }},
    {"OutputFolderInsideTheTempFolder", RefusalReason::OutputInsideTemp, 0, 1,
     [](CFakeOps&, CSettings&, std::string& d) { d = kTempFolder + "/boeken/Jansen"; }},
    {"OutputFolderInsideTheTempFolderThroughALink", RefusalReason::OutputInsideTemp, 0, 1,
     [](CFakeOps& o, CSettings&, std::string&) { o.real[kOut] = kTempFolder + "/boeken"; }},
    {"TempFolderInsideTheBook", RefusalReason::TempInsideTarget, 1, 1,
     [](CFakeOps&, CSettings& s, std::string&) { s.TempPath = kDest + "/tmp/"; }},
    {"FileTooLargeForAFat32Stick", RefusalReason::FileTooLarge, 0, 0,
     [](CFakeOps& o, CSettings&, std::string&) {
         o.fileLimit[kOut] = 0xFFFFFFFF;
         o.bigFile = "video/boek.mp4";
     }},
    {"FileTooLargeForAFat32TempDisk", RefusalReason::FileTooLarge, 0, 1,
     [](CFakeOps& o, CSettings&, std::string&) {
         o.fileLimit[kTemp] = 0xFFFFFFFF;
         o.bigFile = "video/boek.mp4";
     }},
    {"NoTempPath", RefusalReason::TempNotSet, 1, 1, [](CFakeOps&, CSettings& s, std::string&) { s.TempPath = ""; }},
    {"RelativeTempPath", RefusalReason::TempNotSet, 1, 1, [](CFakeOps&, CSettings& s, std::string&) { s.TempPath = "relative/"; }},
    {"ComponentTooLong", RefusalReason::PathTooLong, 1, 0, [](CFakeOps&, CSettings&, std::string& d) { d = kOut + "/" + std::string(256, 'x'); }},
    {"NumberMakesNameTooLong", RefusalReason::PathTooLong, 0, 0,
     [](CFakeOps& o, CSettings&, std::string& d) {
         d = kOut + "/" + std::string(253, 'z');
         o.existing[d] = PathState::Folder;
     }},
    {"BookDoesNotFitOnTheDrive", RefusalReason::NoRoom, 0, 0,
     [](CFakeOps& o, CSettings&, std::string&) {
         o.freeBytes[kOut] = 5 << 20;
         o.bookBytes = (5 << 20) + 1;
     }},
    {"BookDoesNotFitInTheTempFolder", RefusalReason::NoRoom, 0, 1,
     [](CFakeOps& o, CSettings&, std::string&) {
         o.freeBytes[kOut] = 6 << 20;
         o.freeBytes[kTemp] = 4 << 20;
         o.bookBytes = 5 << 20;
     }},
    {"OutputFolderCannotBeMade", RefusalReason::CannotPrepare, 1, 0,
     [](CFakeOps& o, CSettings&, std::string&) {
         o.missingFolders = {kOut};
         o.mkdirError = EACCES;
     }},
};

class CopyBookRefusals : public testing::TestWithParam<RefusalCase>
{
};

TEST_P(CopyBookRefusals, NothingWrittenAndTheUserIsTold)
{
    const RefusalCase& c = GetParam();
    CFakeOps ops;
    CSettings settings = MakeSettings(c.confirmOverwrite, c.copyViaTemp);
    std::string dest = kDest;
    c.setUp(ops, settings, dest);
    const RunResult r = RunJob(ops, settings, dest);
    EXPECT_EQ(r.result, CopyResult::Refused);
    EXPECT_EQ(r.report.ending, copy::Ending::Refused);
    EXPECT_EQ(r.report.refusal.reason, c.reason);
    EXPECT_EQ(r.report.message, copy::text::Refused(r.report.refusal));
    // The system's refusal keeps its side and the path it concerned.
    if (c.reason == RefusalReason::NoRoom) {
        EXPECT_NE(r.report.message.find(" MB in, en er is nog "), std::string::npos) << r.report.message;
    }
    const Failure& failure = r.report.refusal.failure;
    if (ops.hold != 0) {
        EXPECT_TRUE(failure.error == ops.hold && failure.side == posix::Side::Temp && failure.path == kTempFolder);
    }
    if (ops.mkdirError != 0) {
        EXPECT_TRUE(failure.error == EACCES && failure.side == posix::Side::Output && failure.path == kOut);
    }
    ASSERT_FALSE(ops.log.empty());
    EXPECT_EQ(ops.log.back().rfind("error ", 0), 0u);
    // Taking the temporary folder comes after every check that needs no
    // writing; what it refuses, it refuses before a copy.
    for (const std::string& line : ops.log)
        EXPECT_TRUE(line.rfind("copy ", 0) != 0 && line.rfind("delete ", 0) != 0) << line;
    if (ops.hold == 0 && ops.mkdirError == 0) {
        EXPECT_EQ(ops.log.size(), 1u) << "refused before anything was written";
    }
}

INSTANTIATE_TEST_SUITE_P(Checks, CopyBookRefusals, testing::ValuesIn(kRefusals),
                         CaseName());

TEST(CopyBookOutputFolder, MissingOneIsMadeWhenItsParentIsThere)
{
    CFakeOps ops;
    ops.missingFolders = {kOut};
    EXPECT_EQ(RunJob(ops, MakeSettings(1, 0)).result, CopyResult::Copied);
    EXPECT_EQ(ops.log.front(), "mkdir " + kOut);
}

struct NumberCase
{
    const char* name;
    std::vector<std::string> taken; // suffixes; "" is the unnumbered path
    PathState how;
    std::string expected;           // suffix of the target
};

PRINT_CASE_AS(NumberCase, name)

const std::vector<NumberCase> kNumbers = {
    {"FreeNameNotNumbered", {}, PathState::Folder, ""},
    {"SecondCopyGets001", {""}, PathState::Folder, "_001"},
    {"ThirdCopyGets002", {"", "_001"}, PathState::Folder, "_002"},
    {"GapIsFilledFirst", {"", "_002"}, PathState::Folder, "_001"},
    {"FileCountsAsTaken", {""}, PathState::Other, "_001"},
    {"NumberedNameNotTakenWhenBaseFree", {"_001"}, PathState::Folder, ""},
};

class CopyBookNumbering : public testing::TestWithParam<NumberCase>
{
};

TEST_P(CopyBookNumbering, PicksFirstFreeName)
{
    const NumberCase& c = GetParam();
    CFakeOps ops;
    for (const std::string& s : c.taken)
        ops.existing[kDest + s] = c.how;
    const RunResult r = RunJob(ops, MakeSettings(0, 0));
    EXPECT_EQ(r.result, CopyResult::Copied);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], kDest + c.expected);
    EXPECT_EQ(ops.log.at(3), "publish " + kStaged + " -> " + kDest + c.expected);
}

INSTANTIATE_TEST_SUITE_P(Names, CopyBookNumbering, testing::ValuesIn(kNumbers),
                         CaseName());

void TakeUpTo(CFakeOps& ops, int last)
{
    ops.existing[kDest] = PathState::Folder;
    for (int n = 1; n <= last; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%03d", n);
        ops.existing[kDest + suffix] = PathState::Folder;
    }
}

TEST(CopyBookNumberingLimit, LastFreeNumberIs998)
{
    CFakeOps ops;
    TakeUpTo(ops, 997);
    const RunResult r = RunJob(ops, MakeSettings(0, 1));
    EXPECT_EQ(r.result, CopyResult::Copied);
    EXPECT_EQ(r.lines, std::vector<std::string>{kDest + "_998"});
}

TEST(CopyBookNumberingLimit, AllNamesTakenGivesUpWithoutTouchingAnything)
{
    for (const int last : {998, 999}) { // _999 free or not: never used
        CFakeOps ops;
        TakeUpTo(ops, last);
        const RunResult r = RunJob(ops, MakeSettings(0, 1));
        EXPECT_EQ(r.result, CopyResult::Refused) << last;
        ASSERT_EQ(1u, ops.log.size()) << last;
        EXPECT_EQ(0u, ops.log[0].rfind("error ", 0)) << "told, and no file operation";
        EXPECT_TRUE(r.lines.empty()) << "destination line must keep the unnumbered path";
    }
}

const std::string kLongName(255, 'x');

TEST(PathFits, Limits)
{
    EXPECT_TRUE(copy::PathFits("/out/" + kLongName));
    EXPECT_FALSE(copy::PathFits("/out/" + kLongName + "x"));
    EXPECT_FALSE(copy::PathFits(""));
    std::string deep;
    while (deep.size() < 4200)
        deep += "/" + std::string(199, 'a');
    EXPECT_TRUE(copy::PathFits(deep.substr(0, 4095)));
    EXPECT_FALSE(copy::PathFits(deep.substr(0, 4096)));
}

} // namespace
