// Reading a copy back from the drive, skipping every unreadable file with
// one answer, and completing an incomplete copy, on real files; the drive
// that gives back other bytes is a test double.
#include "support/CopyTestSupport.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <unistd.h>

using namespace copytest;
using copy::CCopyEngine;
using copy::CopyOutcome;
using copy::CopyResult;
using copy::ErrorAnswer;

namespace {

// A drive that gives back other bytes, or none, for one file; and a disc
// on which some files cannot be opened.
class CFaultyDrive : public CCopyEngine
{
public:
    std::string changeName;    // read back with one byte changed
    std::string unreadableName; // read back fails
    std::set<std::string> unopenable; // on the disc
    int readBacks = 0;

protected:
    int OpenSource(int dirFd, const char* name, int& fd) override
    {
        return unopenable.count(name) ? EIO : CCopyEngine::OpenSource(dirFd, name, fd);
    }
    int ReadBack(int fd, char* buffer, std::size_t max, std::size_t& got) override
    {
        ++readBacks;
        const std::string name = NameOf(fd);
        if (!unreadableName.empty() && name == unreadableName)
            return EIO;
        const int error = CCopyEngine::ReadBack(fd, buffer, max, got);
        if (error == 0 && got > 0 && name == changeName && ::lseek(fd, 0, SEEK_CUR) == static_cast<off_t>(got))
            buffer[got / 2] ^= 0x01;
        return error;
    }

private:
    static std::string NameOf(int fd)
    {
        char path[PATH_MAX];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
        const std::string full(path, n > 0 ? static_cast<std::size_t>(n) : 0);
        return full.substr(full.rfind('/') + 1);
    }
};

void MakeDisc(const CScratch& s)
{
    Write(s / "disc/ncc.html", "ncc");
    Write(s / "disc/audio/01.mp3", Pattern(3 * CCopyEngine::kChunkBytes + 7, 1));
    Write(s / "disc/audio/02.mp3", Pattern(70000, 2));
}

struct ReadBackCase
{
    const char* name;
    bool verify;
    const char* change;
    const char* unreadable;
    CopyResult expected;
    std::vector<std::string> different;
};

PRINT_CASE_AS(ReadBackCase, name)

const std::vector<ReadBackCase> kReadBacks = {
    {"EqualCopyIsCopiedAndSaysSo", true, "", "", CopyResult::Copied, {}},
    {"ChangedByteNamesTheFile", true, "01.mp3", "", CopyResult::Failed, {"audio/01.mp3"}},
    {"UnreadableOnTheDriveNamesTheFile", true, "", "02.mp3", CopyResult::Failed, {"audio/02.mp3"}},
    {"OffReadsNothingBack", false, "01.mp3", "", CopyResult::Copied, {}},
};

class ReadBack : public testing::TestWithParam<ReadBackCase>
{
};

TEST_P(ReadBack, TheDrivesBytesDecide)
{
    const ReadBackCase& c = GetParam();
    CScratch s;
    MakeDisc(s);
    CFaultyDrive engine;
    engine.changeName = c.change;
    engine.unreadableName = c.unreadable;
    CScriptedReporter rep;
    copy::CopyScope scope;
    scope.verify = c.verify;
    const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", false, rep, {}, scope);
    EXPECT_EQ(outcome.result, c.expected);
    EXPECT_EQ(outcome.different, c.different);
    EXPECT_EQ(outcome.readBack.state, c.verify && c.expected == CopyResult::Copied ? copy::ReadBackState::FromDevice
                                                                                    : copy::ReadBackState::Off);
    EXPECT_EQ(engine.readBacks > 0, c.verify);
    EXPECT_TRUE(rep.errorPaths.empty()) << "a difference is told at the end, not asked about";
    // Written and read back: the bar ends full, not at half.
    EXPECT_EQ(rep.lastTotal, 3 * CCopyEngine::kChunkBytes + 7 + 70000 + 3) << "the book's bytes, counted once";
    if (c.expected == CopyResult::Copied) {
        EXPECT_EQ(rep.lastDone, rep.lastTotal);
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, ReadBack, testing::ValuesIn(kReadBacks), CaseName());

TEST(SkipAll, AsksOnceForEveryUnreadableFileAndStillAsksAboutTheDrive)
{
    CScratch s;
    MakeDisc(s);
    Write(s / "disc/audio/03.mp3", "3");
    CFaultyDrive engine;
    engine.unopenable = {"01.mp3", "02.mp3", "03.mp3"};
    CScriptedReporter rep;
    rep.errorAnswers = {ErrorAnswer::SkipAll};
    const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", false, rep);
    EXPECT_EQ(outcome.result, CopyResult::Failed);
    EXPECT_EQ(rep.errorPaths, std::vector<std::string>{s / "out/audio/01.mp3"});
    EXPECT_EQ(outcome.missing, (std::vector<std::string>{"audio/01.mp3", "audio/02.mp3", "audio/03.mp3"}));
    EXPECT_EQ(Read(s / "out/ncc.html"), "ncc");

    // A failure on the drive written to is no unreadable file: it is asked.
    fs::remove_all(s / "out");
    Write(s / "disc/a.mp3", "a");
    Write(s / "out/audio", "a file where the disc has a folder");
    CFaultyDrive second;
    second.unopenable = {"a.mp3"};
    CScriptedReporter again;
    again.errorAnswers = {ErrorAnswer::SkipAll, ErrorAnswer::Skip};
    second.CopyContent(s / "disc/", s / "out", false, again);
    EXPECT_EQ(again.errorPaths, (std::vector<std::string>{s / "out/a.mp3", s / "out/audio"}));
}

TEST(FillOnly, ReadsOnlyWhatIsMissingOrNamedAndKeepsTheRest)
{
    CScratch s;
    MakeDisc(s);
    Write(s / "disc/audio/03.mp3", "new 3");
    Write(s / "out/ncc.html", "kept");
    Write(s / "out/audio/01.mp3", "bad copy");
    Write(s / "out/audio/03.mp3", "kept 3");
    CFaultyDrive engine;
    engine.unopenable = {"ncc.html", "03.mp3"}; // never opened: they stay
    CScriptedReporter rep;
    copy::CopyScope scope;
    scope.fillOnly = true;
    scope.redo = {"audio/01.mp3"};
    scope.verify = true;
    const CopyOutcome outcome = engine.CopyContent(s / "disc/", s / "out", true, rep, {}, scope);
    EXPECT_EQ(outcome.result, CopyResult::Copied);
    EXPECT_TRUE(rep.replaceQuestions.empty());
    EXPECT_EQ(Read(s / "out/ncc.html"), "kept");
    EXPECT_EQ(Read(s / "out/audio/03.mp3"), "kept 3");
    EXPECT_TRUE(Read(s / "out/audio/01.mp3") == Pattern(3 * CCopyEngine::kChunkBytes + 7, 1));
    EXPECT_TRUE(Read(s / "out/audio/02.mp3") == Pattern(70000, 2));
    EXPECT_EQ(rep.errorPaths, std::vector<std::string>{});
    EXPECT_EQ(rep.errorReasons, std::vector<std::string>{});
    EXPECT_EQ(rep.lastDone, rep.lastTotal);
}

} // namespace
