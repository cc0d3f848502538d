// The copy engine on real files, with faults from the machine where it
// allows (full disk, links, fifos, killed process) and injected where it
// does not (unreadable file as root, read errors).
#include "support/CopyTestSupport.h"

#include "copy/CopyTexts.h"
#include "text/Utf8.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace copytest;
using copy::CCopyEngine;
using copy::CopyOutcome;
using copy::CopyResult;
using copy::ErrorAnswer;
using copy::ReplaceAnswer;

namespace {

const std::size_t kBig = 3 * CCopyEngine::kChunkBytes + 12345;

// A disc-like source: read-only files and folders, several chunks, links.
void MakeDisc(const CScratch& s)
{
    Write(s / "disc/ncc.html", "<html><head><title>Boek</title></head></html>");
    Write(s / "disc/big.mp3", Pattern(kBig));
    Write(s / "disc/empty.smil", "");
    Write(s / "disc/audio/deel 1/track01.mp3", Pattern(70000, 1));
    Write(s / "disc/audio/track02.mp3", Pattern(5000, 2));
    fs::create_directories(s / "disc/empty folder");
    fs::create_symlink("ncc.html", s / "disc/relative-link");
    fs::create_symlink("/etc/passwd", s / "disc/outside-link");
    fs::create_symlink("loop-b", s / "disc/loop-a");
    fs::create_symlink("loop-a", s / "disc/loop-b");
    fs::create_symlink("audio", s / "disc/folder-link");
    fs::create_symlink("/", s / "disc/root-link");
    struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
    ::utimensat(AT_FDCWD, (s / "disc/big.mp3").c_str(), times, 0);
    ::utimensat(AT_FDCWD, (s / "disc/audio").c_str(), times, 0);
    for (const char* f : {"disc/ncc.html", "disc/big.mp3", "disc/audio/track02.mp3"})
        ::chmod((s / f).c_str(), 0444);
    ::chmod((s / "disc/audio").c_str(), 0555);
}

class CopyBothPaths : public testing::TestWithParam<bool>
{
};

TEST_P(CopyBothPaths, CopiesTheWholeTreeFaithfully)
{
    CScratch s;
    MakeDisc(s);
    CCopyEngine engine;
    engine.SetUseCopyFileRange(GetParam());
    CScriptedReporter rep;
    ASSERT_TRUE(engine.CopyContent(s / "disc/", s / "out/new/book", true, rep));

    EXPECT_EQ(Listing(s / "disc"), Listing(s / "out/new/book")) << "no extra folder level, nothing missing";
    EXPECT_EQ(Read(s / "out/new/book/big.mp3"), Pattern(kBig));
    EXPECT_EQ(Read(s / "out/new/book/audio/deel 1/track01.mp3"), Pattern(70000, 1));
    EXPECT_EQ(fs::file_size(s / "out/new/book/empty.smil"), 0u);
    for (const char* link : {"relative-link", "outside-link", "loop-a", "loop-b", "folder-link", "root-link"}) {
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(s / ("out/new/book/" + std::string(link))))) << link;
        EXPECT_EQ(fs::read_symlink(s / ("out/new/book/" + std::string(link))),
                  fs::read_symlink(s / ("disc/" + std::string(link))));
    }
    struct stat st;
    ASSERT_EQ(::stat((s / "out/new/book/big.mp3").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500);
    EXPECT_TRUE(st.st_mode & S_IWUSR) << "copies stay writable";
    ASSERT_EQ(::stat((s / "out/new/book/audio").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890) << "folder time set after its content";
    EXPECT_EQ(st.st_mode & S_IRWXU, S_IRWXU);
    EXPECT_EQ(rep.lastDone, rep.lastTotal);
    EXPECT_EQ(rep.lastTotal, kBig + 70000 + 5000 + Read(s / "disc/ncc.html").size());
    EXPECT_TRUE(rep.replaceQuestions.empty());
    EXPECT_TRUE(rep.errorPaths.empty());
    EXPECT_FALSE(HasPartialFiles(s / "out"));
}

INSTANTIATE_TEST_SUITE_P(Engine, CopyBothPaths, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "CopyFileRange" : "ReadWrite"; });

struct ReplaceCase
{
    const char* name;
    bool ask;
    std::vector<ReplaceAnswer> answers;
    bool expected;
    std::size_t questions;
    const char* a; // content of a.txt afterwards
    const char* b;
};

PRINT_CASE_AS(ReplaceCase, name)

const std::vector<ReplaceCase> kReplace = {
    {"SilentReplacesWithoutAsking", false, {}, true, 0, "new a", "new b"},
    {"YesReplacesEach", true, {ReplaceAnswer::Yes, ReplaceAnswer::Yes}, true, 2, "new a", "new b"},
    {"NoKeepsOldAndGoesOn", true, {ReplaceAnswer::No, ReplaceAnswer::Yes}, true, 2, "old a", "new b"},
    {"YesToAllAsksOnce", true, {ReplaceAnswer::YesToAll}, true, 1, "new a", "new b"},
    {"CancelStopsAndKeepsOld", true, {ReplaceAnswer::Cancel}, false, 1, "old a", "old b"},
};

class ReplaceQuestion : public testing::TestWithParam<ReplaceCase>
{
};

TEST_P(ReplaceQuestion, AnswersAreObeyed)
{
    const ReplaceCase& c = GetParam();
    CScratch s;
    Write(s / "disc/a.txt", "new a");
    Write(s / "disc/b.txt", "new b");
    Write(s / "disc/c.txt", "new c");
    Write(s / "out/a.txt", "old a");
    Write(s / "out/b.txt", "old b");
    Write(s / "out/mine.txt", "mine");
    CScriptedReporter rep;
    rep.replaceAnswers.assign(c.answers.begin(), c.answers.end());
    CCopyEngine engine;
    const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", c.ask, rep);
    EXPECT_EQ(bool(outcome), c.expected);
    EXPECT_EQ(rep.replaceQuestions.size(), c.questions);
    if (!rep.replaceQuestions.empty()) {
        EXPECT_EQ(rep.replaceQuestions[0], s / "out/a.txt");
    }
    EXPECT_EQ(Read(s / "out/a.txt"), c.a);
    EXPECT_EQ(Read(s / "out/b.txt"), c.b);
    EXPECT_EQ(Read(s / "out/mine.txt"), "mine") << "files the disc does not hold stay";
    EXPECT_FALSE(HasPartialFiles(s / "out"));
    EXPECT_TRUE(outcome.missing.empty()) << "a kept or cancelled file is no hole";
}

INSTANTIATE_TEST_SUITE_P(Engine, ReplaceQuestion, testing::ValuesIn(kReplace),
                         CaseName());

// Faults injected where the data is touched.
class CFaultyEngine : public CCopyEngine
{
public:
    // Reads go the plain way, where a fault is the disc's.
    CFaultyEngine() { SetUseCopyFileRange(false); }
    std::string failOpenName;
    int failOpenErrno = 0;
    int failOpenTimes = 0;
    std::string failReadName;
    int failReadAfterChunks = 0;
    int failReadTimes = 0;

protected:
    int OpenSource(int dirFd, const char* name, int& fd) override
    {
        m_current = name;
        m_chunks = 0;
        if (failOpenTimes > 0 && failOpenName == name) {
            --failOpenTimes;
            return failOpenErrno;
        }
        return CCopyEngine::OpenSource(dirFd, name, fd);
    }
    int ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got) override
    {
        if (failReadTimes > 0 && m_current == failReadName && m_chunks++ == failReadAfterChunks) {
            --failReadTimes;
            return EIO;
        }
        return CCopyEngine::ReadChunk(in, buffer, max, got);
    }

private:
    std::string m_current;
    int m_chunks = 0;
};

struct FaultCase
{
    const char* name;
    bool readError; // else open error
    int times;
    std::vector<ErrorAnswer> answers;
    bool expected;
    std::vector<std::string> missing;
    bool bookArrives; // big.mp3 has the new content
};

PRINT_CASE_AS(FaultCase, name)

const std::vector<FaultCase> kFaults = {
    {"UnreadableRetrySucceeds", false, 1, {ErrorAnswer::Retry}, true, {}, true},
    {"UnreadableSkippedIsFailureWithList", false, 5, {ErrorAnswer::Skip}, false, {"big.mp3"}, false},
    {"UnreadableCancel", false, 5, {ErrorAnswer::Cancel}, false, {}, false},
    {"ReadErrorMidFileRetrySucceeds", true, 1, {ErrorAnswer::Retry}, true, {}, true},
    {"ReadErrorTwiceThenSkip", true, 2, {ErrorAnswer::Retry, ErrorAnswer::Skip}, false, {"big.mp3"}, false},
    {"ReadErrorCancel", true, 1, {ErrorAnswer::Cancel}, false, {}, false},
};

class InjectedFaults : public testing::TestWithParam<FaultCase>
{
};

TEST_P(InjectedFaults, NothingOldDamagedAndFailureNeverSuccess)
{
    const FaultCase& c = GetParam();
    CScratch s;
    Write(s / "disc/big.mp3", Pattern(kBig));
    Write(s / "disc/z.txt", "after");
    Write(s / "out/big.mp3", "old content");
    CFaultyEngine engine;
    if (c.readError) {
        engine.failReadName = "big.mp3";
        engine.failReadAfterChunks = 1;
        engine.failReadTimes = c.times;
    } else {
        engine.failOpenName = "big.mp3";
        engine.failOpenErrno = EACCES;
        engine.failOpenTimes = c.times;
    }
    CScriptedReporter rep;
    rep.errorAnswers.assign(c.answers.begin(), c.answers.end());
    const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", false, rep);
    EXPECT_EQ(bool(outcome), c.expected);
    ASSERT_FALSE(rep.errorPaths.empty());
    EXPECT_EQ(rep.errorPaths[0], s / "out/big.mp3");
    EXPECT_EQ(rep.errorReasons[0], copy::text::ReadError(c.readError ? EIO : EACCES));
    EXPECT_EQ(outcome.missing, c.missing);
    EXPECT_EQ(Read(s / "out/big.mp3"), c.bookArrives ? Pattern(kBig) : "old content");
    // Skip goes on with the rest; Cancel stops.
    const bool cancelled = !c.answers.empty() && c.answers.back() == ErrorAnswer::Cancel;
    EXPECT_EQ(fs::exists(s / "out/z.txt"), !cancelled);
    EXPECT_FALSE(HasPartialFiles(s / "out"));
}

INSTANTIATE_TEST_SUITE_P(Engine, InjectedFaults, testing::ValuesIn(kFaults),
                         CaseName());

// Root reads every file, so as root the copy runs in a child that has
// given up its rights.
TEST(RealFaults, UnreadableFileIsAskedAboutAndMissing)
{
    CScratch s;
    Write(s / "disc/secret.mp3", "x");
    Write(s / "disc/open.mp3", "y");
    ::chmod((s / "disc/secret.mp3").c_str(), 0);
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    if (root) {
        for (const auto& e : fs::recursive_directory_iterator(s.path()))
            ASSERT_EQ(::lchown(e.path().c_str(), nobody, nobody), 0);
        ASSERT_EQ(::chown(s.path().c_str(), nobody, nobody), 0);
    }

    auto copy = [&] {
        CScriptedReporter rep;
        rep.errorAnswers = {ErrorAnswer::Skip};
        CCopyEngine engine;
        const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", false, rep);
        return !outcome && outcome.missing == std::vector<std::string>{"secret.mp3"} &&
               rep.errorReasons == std::vector<std::string>{copy::text::ReadError(EACCES)};
    };
    if (!root) {
        EXPECT_TRUE(copy());
    } else {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                ::setresuid(nobody, nobody, nobody) != 0)
                ::_exit(2);
            ::_exit(copy() ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2)
            GTEST_SKIP() << "cannot give up root rights here";
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(Read(s / "out/open.mp3"), "y");
    EXPECT_FALSE(fs::exists(s / "out/secret.mp3"));
}

TEST(RealFaults, FifoOnTheDiscIsNotOpenedAndCountsAsMissing)
{
    CScratch s;
    Write(s / "disc/a.txt", "a");
    ASSERT_EQ(::mkfifo((s / "disc/pipe").c_str(), 0644), 0);
    CScriptedReporter rep;
    rep.errorAnswers = {ErrorAnswer::Skip};
    CCopyEngine engine;
    const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", false, rep);
    EXPECT_FALSE(outcome);
    EXPECT_EQ(outcome.missing, std::vector<std::string>{"pipe"});
    EXPECT_EQ(Read(s / "out/a.txt"), "a");
}

TEST(RealFaults, MissingSourceFolderFails)
{
    CScratch s;
    CScriptedReporter rep;
    rep.errorAnswers = {ErrorAnswer::Skip};
    CCopyEngine engine;
    const CopyOutcome outcome = engine.CopyContent(s / "nodisc/", s / "out", false, rep);
    EXPECT_FALSE(outcome);
    EXPECT_EQ(outcome.missing, std::vector<std::string>{s / "nodisc/"});
    EXPECT_FALSE(fs::exists(s / "out")) << "nothing touched when the disc cannot be read";
}

TEST(RealFaults, DestinationBelowAFileCannotBeMade)
{
    CScratch s;
    Write(s / "disc/a.txt", "a");
    Write(s / "out", "a file where the output folder should be");
    CScriptedReporter rep;
    rep.errorAnswers = {ErrorAnswer::Retry, ErrorAnswer::Skip};
    CCopyEngine engine;
    const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out/book", false, rep);
    EXPECT_FALSE(outcome);
    EXPECT_EQ(rep.errorPaths, (std::vector<std::string>{s / "out/book", s / "out/book"}));
    EXPECT_EQ(outcome.missing, std::vector<std::string>{s / "out/book"});
    EXPECT_EQ(Read(s / "out"), "a file where the output folder should be");
}

TEST(RealFaults, LinkInTheOutputIsNeverWrittenThrough)
{
    CScratch s;
    Write(s / "disc/sub/file.mp3", "disc");
    Write(s / "elsewhere/keep.txt", "keep");
    fs::create_directories(s / "out");
    fs::create_directory_symlink(s / "elsewhere", s / "out/sub");
    CScriptedReporter rep;
    rep.errorAnswers = {ErrorAnswer::Skip};
    CCopyEngine engine;
    const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", false, rep);
    EXPECT_FALSE(outcome);
    EXPECT_EQ(outcome.missing, std::vector<std::string>{"sub"});
    EXPECT_EQ(Listing(s / "elsewhere"), std::vector<std::string>{"keep.txt"});
}

TEST(RealFaults, FolderWhereTheDiscHasAFileIsNotReplaced)
{
    CScratch s;
    Write(s / "disc/name", "file");
    Write(s / "out/name/inside.txt", "mine");
    CScriptedReporter rep;
    rep.errorAnswers = {ErrorAnswer::Skip};
    rep.replaceAnswers = {ReplaceAnswer::YesToAll};
    CCopyEngine engine;
    EXPECT_FALSE(engine.CopyContent(s / "disc/", s / "out", true, rep));
    EXPECT_EQ(Read(s / "out/name/inside.txt"), "mine");
    EXPECT_EQ(rep.errorReasons.at(0).rfind("Fout bij het schrijven naar ", 0), 0u);
    EXPECT_NE(rep.errorReasons.at(0).find(copy::text::DescribeError(EISDIR)), std::string::npos);
}

TEST(RealFaults, DestinationInsideSourceDoesNotRecurse)
{
    CScratch s;
    Write(s / "disc/a.txt", "a");
    CScriptedReporter rep;
    CCopyEngine engine;
    EXPECT_TRUE(engine.CopyContent(s / "disc/", s / "disc/copy", false, rep));
    EXPECT_EQ(Listing(s / "disc/copy"), std::vector<std::string>{"a.txt"});
}

TEST(RealFaults, DiscFilesNamedLikePartialFilesAreCopiedToo)
{
    CScratch s;
    Write(s / "disc/book.mp3", "whole");
    Write(s / "disc/.talvora-0badf00d0001.part", "the disc's own");
    Write(s / "disc/.talvora-notes.part", "notes");
    fs::create_directories(s / "work");
    CScriptedReporter rep;
    CCopyEngine engine;
    EXPECT_TRUE(engine.CopyContent(s / "disc/", s / "out", false, rep, {s / "work", ""}));
    EXPECT_EQ(Listing(s / "out"), Listing(s / "disc"));
    EXPECT_TRUE(Listing(s / "work").empty());
}

// Errors blame the side they happened on. The kernel's own copy does both
// sides in one call, so its EIO is pinned on the side the plain way fails.
class CFailingSide : public CCopyEngine
{
public:
    enum class Where { Open, Read, Write, Flush, RangeThenRead, RangeThenWrite } where = Where::Open;

protected:
    int OpenSource(int dirFd, const char* name, int& fd) override
    {
        return where == Where::Open ? EIO : CCopyEngine::OpenSource(dirFd, name, fd);
    }
    int CopyRange(int in, int out, std::size_t max, std::size_t& moved) override
    {
        if (where == Where::RangeThenRead || where == Where::RangeThenWrite)
            return EIO;
        // As across file systems, from a disc: the plain way.
        if (where == Where::Read || where == Where::Write)
            return EXDEV;
        return CCopyEngine::CopyRange(in, out, max, moved);
    }
    int ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got) override
    {
        if (where == Where::Read || where == Where::RangeThenRead)
            return EIO;
        return CCopyEngine::ReadChunk(in, buffer, max, got);
    }
    int WriteChunk(int out, const char* data, std::size_t size) override
    {
        if (where == Where::Write || where == Where::RangeThenWrite)
            return EIO;
        return CCopyEngine::WriteChunk(out, data, size);
    }
    int Flush(int dirFd) override { return where == Where::Flush ? EIO : CCopyEngine::Flush(dirFd); }
};

TEST(RealFaults, ErrorsBlameTheDiscOrTheDriveWrittenTo)
{
    using Where = CFailingSide::Where;
    for (const Where where :
         {Where::Open, Where::Read, Where::Write, Where::Flush, Where::RangeThenRead, Where::RangeThenWrite}) {
        CScratch s;
        Write(s / "disc/a.mp3", "audio");
        CScriptedReporter rep;
        rep.errorAnswers = {ErrorAnswer::Skip};
        CFailingSide engine;
        engine.where = where;
        const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", false, rep);
        ASSERT_EQ(rep.errorReasons.size(), 1u);
        const bool disc = where == Where::Open || where == Where::Read || where == Where::RangeThenRead;
        EXPECT_EQ(rep.errorReasons[0], disc ? copy::text::ReadError(EIO) : copy::text::WriteError(EIO, outcome.drive))
            << int(where);
        EXPECT_FALSE(outcome.drive.empty());
        // A failed flush loses no file: they were all written.
        EXPECT_EQ(outcome.missing.empty(), where == Where::Flush) << int(where);
        EXPECT_EQ(outcome.unflushed, where == Where::Flush) << int(where);
    }
}

TEST(CopyTexts, EveryErrorHasDutchWordsAndItsNumber)
{
    for (int error = 1; error < 134; ++error) {
        const std::string text = copy::text::DescribeError(error);
        EXPECT_NE(text.find("(foutnummer " + std::to_string(error) + ")"), std::string::npos) << text;
        EXPECT_EQ(text.find(std::strerror(error)), std::string::npos) << "no English: " << text;
    }
}

TEST(CopyTexts, PathsThatAreNoUtf8AreShownEscaped)
{
    const std::string odd = "/media/anna/BOEK/caf\xE9.mp3";
    for (const std::string& text :
         {copy::text::NotWhole({}, {"caf\xE9.mp3"}, {}, "", "", false), copy::text::TempNotOwnFolder(odd), copy::text::PathTooLong(odd),
          copy::text::WriteError(EIO, "/media/anna/ST\xCD" "CK")}) {
        EXPECT_TRUE(IsValidUtf8(text)) << text;
        EXPECT_NE(text.find("\\x"), std::string::npos) << text;
    }
}

TEST(CopyTexts, TheReadBackLineNamesTheDriveAUserKnows)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/run/media/anna/STICK", "teruggelezen van /run/media/anna/STICK en"},
        {"/", "teruggelezen van de systeemschijf en"}};
    for (const auto& [drive, said] : cases)
        EXPECT_NE(copy::text::ReadBackEqual(drive).find(said), std::string::npos) << copy::text::ReadBackEqual(drive);
}

// A stick formatted with exFAT or FAT finds "a.mp3" under "A.mp3". Through
// FUSE (and on vfat once its inode cache is evicted) the entry found has
// another inode number under each spelling.
class CCaseBlindEngine : public CCopyEngine
{
public:
    explicit CCaseBlindEngine(bool inodePerSpelling) : m_inodePerSpelling(inodePerSpelling) {}

protected:
    int LookUp(int dirFd, const char* name, struct stat& st) override
    {
        for (const auto& e : fs::directory_iterator("/proc/self/fd/" + std::to_string(dirFd)))
            if (::strcasecmp(e.path().filename().c_str(), name) == 0) {
                const int error = CCopyEngine::LookUp(dirFd, e.path().filename().c_str(), st);
                if (m_inodePerSpelling && e.path().filename() != name)
                    st.st_ino ^= 0x5A5A5A5A;
                return error;
            }
        return ENOENT;
    }

private:
    bool m_inodePerSpelling;
};

TEST(RealFaults, NamesThatDifferOnlyInLetterCaseAreAskedAboutNotMerged)
{
    for (const bool fuse : {false, true})
        for (const bool ask : {false, true}) {
            CScratch s;
            Write(s / "disc/audio/A.mp3", "upper");
            Write(s / "disc/audio/a.mp3", "lower");
            Write(s / "disc/Beeld/x.jpg", "x");
            Write(s / "disc/beeld/y.jpg", "y");
            CScriptedReporter rep;
            rep.errorAnswers = {ErrorAnswer::Skip, ErrorAnswer::Skip};
            CCaseBlindEngine engine(fuse);
            const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", ask, rep);
            EXPECT_EQ(outcome.missing, (std::vector<std::string>{"audio/a.mp3", "beeld"})) << fuse << ask;
            EXPECT_TRUE(rep.replaceQuestions.empty()) << "never asked to replace the run's own file";
            EXPECT_EQ(rep.errorPaths, (std::vector<std::string>{s / "out/audio/a.mp3", s / "out/beeld"}));
            EXPECT_EQ(rep.errorReasons, (std::vector<std::string>{copy::text::NameClash(s / "out/audio/A.mp3"),
                                                                   copy::text::NameClash(s / "out/Beeld")}));
            EXPECT_EQ(Read(s / "out/audio/A.mp3"), "upper");
        }
}

// Into a folder that held files before, on a file system that tells
// letter case apart, an older "a.mp3" is the disc's "a.mp3", not a clash.
TEST(RealFaults, OlderFileOfTheOtherSpellingIsReplacedWhereCaseCounts)
{
    CScratch s;
    Write(s / "disc/A.mp3", "upper");
    Write(s / "disc/a.mp3", "lower");
    Write(s / "out/a.mp3", "older");
    CScriptedReporter rep;
    CCopyEngine engine;
    EXPECT_TRUE(engine.CopyContent(s / "disc/", s / "out", false, rep));
    EXPECT_EQ(Read(s / "out/A.mp3"), "upper");
    EXPECT_EQ(Read(s / "out/a.mp3"), "lower");
}

TEST(Cancel, MidFileLeavesNothingUnderARealName)
{
    for (const bool fast : {true, false}) {
        CScratch s;
        Write(s / "disc/a-first.txt", "first");
        Write(s / "disc/big.mp3", Pattern(8 * CCopyEngine::kChunkBytes));
        Write(s / "out/big.mp3", "older copy");
        CScriptedReporter rep;
        rep.cancelAfterBytes = 2 * CCopyEngine::kChunkBytes;
        CCopyEngine engine;
        engine.SetUseCopyFileRange(fast);
        const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", false, rep);
        EXPECT_EQ(Read(s / "out/big.mp3"), "older copy") << fast;
        EXPECT_EQ(Read(s / "out/a-first.txt"), "first");
        EXPECT_FALSE(HasPartialFiles(s / "out")) << fast;
        EXPECT_EQ(outcome.result, CopyResult::Cancelled);
        EXPECT_TRUE(outcome.missing.empty()) << "a cancel is no list of holes";
        EXPECT_LT(rep.lastDone, 8 * CCopyEngine::kChunkBytes);
    }
}

TEST(Cancel, FromAnotherThreadWhileCopying)
{
    CScratch s;
    for (int i = 0; i < 40; ++i)
        Write(s / ("disc/f" + std::to_string(i)), Pattern(CCopyEngine::kChunkBytes, static_cast<unsigned>(i)));
    CScriptedReporter rep;
    rep.cancel = true; // already set when the copy begins
    CCopyEngine engine;
    EXPECT_FALSE(engine.CopyContent(s / "disc/", s / "out", false, rep));
    EXPECT_TRUE(Listing(s / "out").empty());
}

// A small tmpfs is a full disk. Mounted in a private mount namespace of
// this test process, so nothing is left behind even if the test dies.
class FullDisk : public testing::Test
{
protected:
    void SetUp() override
    {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            GTEST_SKIP() << "cannot make a private mount namespace: " << std::strerror(errno);
        fs::create_directories(m_s / "small");
        if (::mount("tmpfs", (m_s / "small").c_str(), "tmpfs", 0, "size=2m") != 0)
            GTEST_SKIP() << "cannot mount tmpfs: " << std::strerror(errno);
        m_mounted = true;
    }
    void TearDown() override
    {
        if (m_mounted)
            ::umount2((m_s / "small").c_str(), MNT_DETACH);
    }
    CScratch m_s;
    bool m_mounted = false;
};

TEST_F(FullDisk, FailsKeepsWhatWasThereAndLeavesNoHalfFile)
{
    Write(m_s / "disc/a.mp3", Pattern(500000, 1));
    Write(m_s / "disc/b.mp3", Pattern(3000000, 2)); // does not fit
    Write(m_s / "disc/c.mp3", Pattern(100000, 3));
    Write(m_s / "small/book/b.mp3", "earlier copy");
    Write(m_s / "small/book/own.txt", "mine");
    CScriptedReporter rep;
    rep.errorAnswers = {ErrorAnswer::Retry, ErrorAnswer::Skip};
    CCopyEngine engine;
    const CopyOutcome outcome = engine.CopyContent(m_s / "disc/", m_s / "small/book", false, rep);
    EXPECT_FALSE(outcome);
    ASSERT_EQ(rep.errorReasons.size(), 2u);
    EXPECT_EQ(rep.errorReasons[0], copy::text::WriteError(ENOSPC, m_s / "small")) << "names the stick, not the disc";
    EXPECT_EQ(outcome.missing, std::vector<std::string>{"b.mp3"});
    EXPECT_EQ(Read(m_s / "small/book/b.mp3"), "earlier copy");
    EXPECT_EQ(Read(m_s / "small/book/own.txt"), "mine");
    EXPECT_EQ(Read(m_s / "small/book/a.mp3"), Pattern(500000, 1));
    EXPECT_EQ(Read(m_s / "small/book/c.mp3"), Pattern(100000, 3));
    EXPECT_FALSE(HasPartialFiles(m_s / "small"));
}

TEST_F(FullDisk, CancelOnTheFullDiskMessage)
{
    Write(m_s / "disc/b.mp3", Pattern(3000000, 2));
    CScriptedReporter rep;
    rep.errorAnswers = {ErrorAnswer::Cancel};
    CCopyEngine engine;
    EXPECT_FALSE(engine.CopyContent(m_s / "disc/", m_s / "small/book", false, rep));
    EXPECT_TRUE(Listing(m_s / "small/book").empty());
}

// A copy killed in the middle of a file leaves only a partial file, in the
// run's scratch folder.
TEST(Killed, NoTruncatedFileUnderARealName)
{
    CScratch s;
    Write(s / "disc/big.mp3", Pattern(6 * CCopyEngine::kChunkBytes));
    Write(s / "out/big.mp3", "previous");
    fs::create_directories(s / "work");
    ASSERT_TRUE(CopyAndKillMidFile(2, [&](CStallingEngine& engine) {
        CScriptedReporter rep;
        engine.CopyContent(s / "disc/", s / "out", false, rep, {s / "work", ""});
    }));

    EXPECT_EQ(Read(s / "out/big.mp3"), "previous");
    EXPECT_EQ(Listing(s / "out"), std::vector<std::string>{"big.mp3"}) << "the half file is not in the book";
    EXPECT_TRUE(HasPartialFiles(s / "work")) << "the killed copy was mid-file";
}

struct DeleteCase
{
    const char* name;
    void (*make)(const CScratch&);
    const char* target;
    bool expected;
    std::vector<std::string> survivors; // relative to the scratch folder, must still exist
};

PRINT_CASE_AS(DeleteCase, name)

const std::vector<DeleteCase> kDeletes = {
    {"TreeWithReadOnlyFolders",
     [](const CScratch& s) {
         Write(s / "t/a/b/c.txt", "x");
         ::chmod((s / "t/a/b").c_str(), 0555);
         ::chmod((s / "t/a").c_str(), 0555);
     },
     "t", true, {}},
    {"LinksInsideAreRemovedNotFollowed",
     [](const CScratch& s) {
         Write(s / "keep/precious.txt", "x");
         Write(s / "t/f", "y");
         fs::create_directory_symlink(s / "keep", s / "t/link");
         fs::create_symlink(s / "keep/precious.txt", s / "t/filelink");
     },
     "t", true, {"keep/precious.txt"}},
    {"FolderThatIsALinkLosesOnlyTheLink",
     [](const CScratch& s) {
         Write(s / "keep/precious.txt", "x");
         fs::create_directory_symlink(s / "keep", s / "t");
     },
     "t", true, {"keep/precious.txt"}},
    {"NothingThereIsGone", [](const CScratch&) {}, "t", true, {}},
    {"DeeperThanAnyLimitOfItsOwn",
     [](const CScratch& s) {
         // Built a level at a time: the whole path would pass the path limit.
         int fd = ::open(s.path().c_str(), O_RDONLY | O_DIRECTORY);
         for (int i = 0; i < 700 && fd >= 0; ++i) {
             ::mkdirat(fd, i == 0 ? "t" : "d", 0700);
             const int next = ::openat(fd, i == 0 ? "t" : "d", O_RDONLY | O_DIRECTORY);
             ::close(fd);
             fd = next;
         }
         ::close(fd);
     },
     "t", true, {}},
};

class DeleteTree : public testing::TestWithParam<DeleteCase>
{
};

TEST_P(DeleteTree, RemovesOnlyWhatIsInside)
{
    const DeleteCase& c = GetParam();
    CScratch s;
    c.make(s);
    EXPECT_EQ(copy::DeleteTree(s / c.target) == 0, c.expected);
    EXPECT_FALSE(fs::exists(fs::symlink_status(s / c.target)));
    for (const std::string& keep : c.survivors)
        EXPECT_TRUE(fs::exists(s / keep)) << keep;
}

INSTANTIATE_TEST_SUITE_P(Engine, DeleteTree, testing::ValuesIn(kDeletes),
                         CaseName());

// A folder of the user's bind-mounted inside what is deleted lies on the
// same file system, with the same device number, and stays whole.
TEST(DeleteTreeMounts, BindMountInsideOrOnTheFolderStaysWhole)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "cannot make a private mount namespace: " << std::strerror(errno);
    for (const char* at : {"t/cd/x", "t"}) {
        CScratch s;
        Write(s / "p/sub/keep", "mine");
        Write(s / "t/cd/x/.placeholder", "");
        Write(s / "t/cd/own.mp3", "copied");
        if (::mount((s / "p").c_str(), (s / at).c_str(), nullptr, MS_BIND, nullptr) != 0)
            GTEST_SKIP() << "cannot bind-mount: " << std::strerror(errno);
        EXPECT_NE(0, copy::DeleteTree(s / "t")) << at;
        ::umount2((s / at).c_str(), MNT_DETACH);
        EXPECT_EQ(Read(s / "p/sub/keep"), "mine") << at;
    }
}

} // namespace
