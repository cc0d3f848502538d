// The whole job on real files through the real file operations, with a
// scripted user interface that runs each copy on a worker thread.
#include "support/CopyTestSupport.h"
#include "support/TableCases.h"

#include "copy/CopyTexts.h"
#include "copy/FileOperations.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <set>
#include <thread>
#include <unistd.h>

using namespace copytest;
using copy::CopyResult;

namespace {

// An NCC the book check reads: a book of no chapters, whole.
const std::string kNcc = "<html><head><title>T</title><meta name=\"dc:title\" content=\"T\"/></head></html>";

// Runs each copy on a worker thread, as the progress window does, and
// keeps what the user would be told.
struct CScriptedUi
{
    CScriptedReporter reporter;
    std::vector<std::string> titles;
    std::vector<std::string> errors;
    std::vector<std::string> infos;

    copy::CopyRunner Runner()
    {
        return [this](const std::string& title, const std::function<void(copy::ICopyReporter&)>& work) {
            titles.push_back(title);
            std::thread worker([&] { work(reporter); });
            worker.join();
        };
    }
    CopyResult Tell(const copy::CopyReport& report)
    {
        if (!report.message.empty())
            (report.result == CopyResult::Cancelled ? infos : errors).push_back(report.message);
        return report.result;
    }
};

class CopyBookFiles : public testing::Test
{
protected:
    CopyBookFiles()
    {
        Write(s / "disc/ncc.html", kNcc);
        Write(s / "disc/audio/01.mp3", Pattern(300000));
        fs::create_directories(s / "cache");
        settings.TempPath = s / "cache/";
        settings.ConfirmOverwrite = 0;
        settings.CopyViaTemp = 1;
    }
    CopyResult Copy(const std::string& dest, copy::CCopyEngine* engine = nullptr)
    {
        copy::CFileOperations ops(ui.Runner(), engine);
        return ui.Tell(CopyBook(s / "disc/", dest, settings, ops, [this](const std::string& t) { lines.push_back(t); }));
    }
    std::string Temp() const { return s / "cache/_TalvoraTmp_"; }
    // What a user sees in the output folder, and what is hidden there.
    std::vector<std::string> Shown() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(s / "out"))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    CScratch s;
    CSettings settings;
    CScriptedUi ui;
    std::vector<std::string> lines;
};

TEST_F(CopyBookFiles, ViaTempArrivesAndTempIsRemoved)
{
    EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
    EXPECT_EQ(Listing(s / "out/Boek"), Listing(s / "disc"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
    EXPECT_EQ(ui.titles.size(), 2u);
}

TEST_F(CopyBookFiles, SecondCopyIsNumbered)
{
    ASSERT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
    ASSERT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
    Write(s / "out/Boek_002", "a file takes the name");
    ASSERT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
    const std::vector<std::string> want = {s / "out/Boek", s / "out/Boek_001", s / "out/Boek_003"};
    EXPECT_EQ(lines, want);
    EXPECT_EQ(Read(s / "out/Boek_003/ncc.html"), kNcc);
    EXPECT_EQ(Read(s / "out/Boek_002"), "a file takes the name");
}

TEST_F(CopyBookFiles, LeftoverTempFolderOfAKilledRunNeverReachesTheBook)
{
    Write(s / "disc/audio/01.mp3", Pattern(4 * copy::CCopyEngine::kChunkBytes));
    for (const int confirm : {0, 1}) {
        settings.ConfirmOverwrite = confirm;
        ASSERT_TRUE(CopyAndKillMidFile(1, [&](CStallingEngine& engine) {
            copy::CFileOperations ops(ui.Runner(), &engine);
            CopyBook(s / "disc/", s / "out/Boek", settings, ops, nullptr);
        }));
        Write(Temp() + "/cd/ncc.html", "the previous disc's ncc");
        Write(Temp() + "/cd/audio/99.mp3", "from an interrupted run");
        ui.reporter.replaceAnswers = {copy::ReplaceAnswer::No};
        EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
        EXPECT_EQ(Listing(s / "out/Boek"), Listing(s / "disc")) << confirm;
        EXPECT_EQ(Read(s / "out/Boek/ncc.html"), kNcc);
        EXPECT_TRUE(ui.reporter.replaceQuestions.empty());
        EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
        fs::remove_all(s / "out/Boek");
    }
}

// Names prove nothing: only what carries this program's mark is removed.
TEST_F(CopyBookFiles, UserFoldersNamedLikeOursAreNeverEmptied)
{
    const std::vector<std::string> mine = {"out/.talvora-backup/my-notes.txt", "out/.talvora-Photos/a.jpg",
                                           "out/.talvora-abc123/.talvora-werkmap", "cache/_TalvoraTmp_/my-notes.txt"};
    for (const std::string& file : mine)
        Write(s / file, "mine");
    EXPECT_EQ(CopyResult::Refused, Copy(s / "out/Boek")) << "the temporary folder is not ours to empty";
    EXPECT_EQ(ui.errors, std::vector<std::string>{copy::text::TempNotOwnFolder(Temp())});
    settings.CopyViaTemp = 0;
    EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
    for (const std::string& file : mine)
        EXPECT_EQ(Read(s / file), "mine") << file;
}

TEST_F(CopyBookFiles, TempFolderHeldByAnotherRunIsRefusedUntouched)
{
    Write(Temp() + "/cd/ncc.html", "the other run's disc");
    const int held = ::open(Temp().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(CopyResult::Refused, Copy(s / "out/Boek"));
    ::close(held);
    EXPECT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(Read(Temp() + "/cd/ncc.html"), "the other run's disc");
    EXPECT_FALSE(fs::exists(s / "out/Boek"));
}

TEST_F(CopyBookFiles, OutputFolderInsideTheTempFolderIsRefused)
{
    EXPECT_EQ(CopyResult::Refused, Copy(Temp() + "/boeken/Boek"));
    EXPECT_TRUE(ui.titles.empty());
}

TEST_F(CopyBookFiles, CancelLeavesNoBookAndTheNextRunTakesTheCleanName)
{
    for (const int viaTemp : {0, 1}) {
        settings.CopyViaTemp = viaTemp;
        ui.reporter.cancelAfterBytes = 1;
        EXPECT_EQ(CopyResult::Cancelled, Copy(s / "out/Boek"));
        EXPECT_TRUE(Shown().empty()) << "not even hidden work: " << viaTemp;
        ASSERT_EQ(ui.infos.size(), 1u);
        EXPECT_EQ(ui.infos[0], copy::text::Cancelled(""));
        ui.infos.clear();
        ui.reporter.cancelAfterBytes = 0;
        ui.reporter.cancel = false;
        lines.clear();
        EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
        EXPECT_EQ(lines, std::vector<std::string>{s / "out/Boek"});
        fs::remove_all(s / "out/Boek");
    }
}

class CUnreadableTrack : public copy::CCopyEngine
{
protected:
    int OpenSource(int dirFd, const char* name, int& fd) override
    {
        return std::string(name) == "01.mp3" ? EIO : CCopyEngine::OpenSource(dirFd, name, fd);
    }
};

TEST_F(CopyBookFiles, SkippedFileKeepsTheRestUnderAnIncompleteName)
{
    // A name at the limit gives up its end, never half a character.
    const std::string a237(237, 'a');
    const struct
    {
        std::string book, kept;
    } rows[] = {{"Boek", "Boek (onvolledig)"}, {a237 + "\xC3\xA9" + std::string(15, 'b'), a237 + " (onvolledig)"}};
    settings.CopyViaTemp = 0;
    CUnreadableTrack engine;
    for (const auto& row : rows) {
        ui.reporter.errorAnswers = {copy::ErrorAnswer::Skip};
        ui.errors.clear();
        EXPECT_EQ(CopyResult::Failed, Copy(s / ("out/" + row.book), &engine));
        EXPECT_EQ(Read(s / ("out/" + row.kept + "/ncc.html")), kNcc);
        EXPECT_EQ(ui.errors, std::vector<std::string>{copy::text::NotWhole({}, {"audio/01.mp3"}, {}, "",
                                                                         s / ("out/" + row.kept), true)});
    }
    EXPECT_EQ(Shown().size(), std::size(rows));
}

// A stick that fills up during the copy (it lied about its room, or
// something else wrote there): the drive is blamed with its figures, never
// the disc.
class CFullDrive : public copy::CCopyEngine
{
protected:
    int WriteChunk(int out, const char* data, std::size_t size) override
    {
        return size > 100000 ? ENOSPC : CCopyEngine::WriteChunk(out, data, size);
    }
    int CopyRange(int, int, std::size_t, std::size_t&) override { return ENOSYS; }
};

TEST_F(CopyBookFiles, FullDriveIsBlamedNotTheDisc)
{
    settings.CopyViaTemp = 0;
    CFullDrive engine;
    ui.reporter.errorAnswers = {copy::ErrorAnswer::Skip};
    EXPECT_EQ(CopyResult::Failed, Copy(s / "out/Boek", &engine));
    ASSERT_EQ(1u, ui.errors.size());
    const std::string& told = ui.errors[0];
    EXPECT_NE(told.find("pasten niet meer op"), std::string::npos) << told;
    EXPECT_NE(told.find(" MB in, en er is nog "), std::string::npos) << told;
    EXPECT_NE(told.find("Maak ruimte op"), std::string::npos) << told;
    EXPECT_EQ(told.find("van de CD worden gelezen"), std::string::npos) << told;
    EXPECT_EQ(told.find("Maak de CD schoon"), std::string::npos) << told;
}

TEST(SizeOnDrive, EachFileRoundedUpToTheBlock)
{
    CScratch s;
    Write(s / "book/a", "x");
    Write(s / "book/sub/b", std::string(4097, 'y'));
    fs::create_symlink("a", s / "book/link");
    copy::CFileOperations ops([](const std::string&, const std::function<void(copy::ICopyReporter&)>&) {});
    EXPECT_EQ(ops.SizeOnDrive(s / "book", 4096), 4096u + 8192u);
    std::uint64_t block = 0, room = 0;
    EXPECT_TRUE(ops.Room(s / "book/not/yet/made", block, room));
    EXPECT_GT(block, 0u);
}

// The incomplete copy notes which disc it came from: the same disc
// completes it, another is another book beside it.
TEST_F(CopyBookFiles, OnlyTheSameDiscCompletesAnIncompleteCopy)
{
    settings.CopyViaTemp = 0;
    for (const bool sameDisc : {true, false}) {
        fs::remove_all(s / "out");
        Write(s / "disc/ncc.html", kNcc);
        CUnreadableTrack unreadable;
        ui.reporter.errorAnswers = {copy::ErrorAnswer::Skip};
        ASSERT_EQ(CopyResult::Failed, Copy(s / "out/Boek", &unreadable));
        if (!sameDisc)
            Write(s / "disc/ncc.html", kNcc + "\n");
        EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
        const std::vector<std::string> want =
            sameDisc ? std::vector<std::string>{"Boek"} : std::vector<std::string>{"Boek", "Boek (onvolledig)"};
        EXPECT_EQ(Shown(), want);
        EXPECT_EQ(Read(s / "out/Boek/audio/01.mp3"), Pattern(300000)) << sameDisc;
    }
}

// Every file a copy opens to read, by its full path.
class CReadLog : public copy::CCopyEngine
{
public:
    std::vector<std::string> opened;

protected:
    int OpenSource(int dirFd, const char* name, int& fd) override
    {
        char folder[PATH_MAX] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(dirFd);
        if (::readlink(link.c_str(), folder, sizeof folder - 1) > 0)
            opened.push_back(std::string(folder) + "/" + name);
        return CCopyEngine::OpenSource(dirFd, name, fd);
    }
};

// Completing via the hard disk takes only what the copy lacks through the
// temporary folder; the rest of the disc is not read.
TEST_F(CopyBookFiles, CompletingViaTempReadsOnlyWhatIsLacking)
{
    Write(s / "disc/audio/02.mp3", Pattern(200000, 2));
    settings.CopyViaTemp = 0;
    CUnreadableTrack unreadable;
    ui.reporter.errorAnswers = {copy::ErrorAnswer::Skip};
    ASSERT_EQ(CopyResult::Failed, Copy(s / "out/Boek", &unreadable));
    settings.CopyViaTemp = 1;
    CReadLog reads;
    EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek", &reads));
    const std::vector<std::string> want = {s / "disc/audio/01.mp3", Temp() + "/cd/audio/01.mp3"};
    EXPECT_EQ(reads.opened, want);
    EXPECT_EQ(Shown(), std::vector<std::string>{"Boek"});
    EXPECT_EQ(Listing(s / "out/Boek"), Listing(s / "disc"));
    EXPECT_EQ(Read(s / "out/Boek/audio/01.mp3"), Pattern(300000));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
}

// Files of a disc that cannot be read, by name.
class CUnreadableFiles : public copy::CCopyEngine
{
public:
    explicit CUnreadableFiles(std::set<std::string> names) : m_names(std::move(names)) {}

protected:
    int OpenSource(int dirFd, const char* name, int& fd) override
    {
        return m_names.count(name) != 0 ? EIO : CCopyEngine::OpenSource(dirFd, name, fd);
    }

private:
    std::set<std::string> m_names;
};

// A completion via the hard disk that again cannot read everything keeps
// what it did read, and notes the rest for the next time.
TEST_F(CopyBookFiles, CompletingViaTempKeepsWhatArrived)
{
    Write(s / "disc/audio/02.mp3", Pattern(200000, 2));
    settings.CopyViaTemp = 0;
    CUnreadableFiles both({"01.mp3", "02.mp3"});
    ui.reporter.errorAnswers = {copy::ErrorAnswer::SkipAll};
    ASSERT_EQ(CopyResult::Failed, Copy(s / "out/Boek", &both));
    settings.CopyViaTemp = 1;
    CUnreadableFiles second({"02.mp3"});
    ui.reporter.errorAnswers = {copy::ErrorAnswer::Skip};
    ui.errors.clear();
    EXPECT_EQ(CopyResult::Failed, Copy(s / "out/Boek", &second));
    const std::string kept = s / "out/Boek (onvolledig)";
    EXPECT_EQ(Read(kept + "/audio/01.mp3"), Pattern(300000));
    EXPECT_FALSE(fs::exists(kept + "/audio/02.mp3"));
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find("audio/02.mp3"), std::string::npos) << ui.errors[0];
    EXPECT_NE(ui.errors[0].find("kopieer de CD opnieuw naar dezelfde map"), std::string::npos) << ui.errors[0];
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
    CReadLog reads;
    EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek", &reads));
    const std::vector<std::string> want = {s / "disc/audio/02.mp3", Temp() + "/cd/audio/02.mp3"};
    EXPECT_EQ(reads.opened, want);
    EXPECT_EQ(Shown(), std::vector<std::string>{"Boek"});
}

// Stopped while the kept files are read back, a completion leaves the
// incomplete copy and its note as they were, and makes nothing.
TEST_F(CopyBookFiles, StoppedWhileProvingKeptFilesChangesNothing)
{
    settings.CopyViaTemp = 0;
    CUnreadableTrack unreadable;
    ui.reporter.errorAnswers = {copy::ErrorAnswer::Skip};
    ASSERT_EQ(CopyResult::Failed, Copy(s / "out/Boek", &unreadable));
    const std::string kept = s / "out/Boek (onvolledig)";
    const std::vector<std::string> before = Listing(kept);
    const std::string note = Read(kept + "/" + copy::kNeededNote);
    ASSERT_FALSE(note.empty());
    settings.CopyViaTemp = 1;
    ui.titles.clear();
    ui.reporter.cancelAfterBytes = 1;
    EXPECT_EQ(CopyResult::Cancelled, Copy(s / "out/Boek"));
    EXPECT_EQ(ui.titles, std::vector<std::string>{copy::text::ProvingKept(kept)});
    EXPECT_EQ(ui.infos, std::vector<std::string>{copy::text::Cancelled(kept)});
    EXPECT_EQ(Listing(kept), before);
    EXPECT_EQ(Read(kept + "/" + copy::kNeededNote), note);
    EXPECT_EQ(Shown(), std::vector<std::string>{"Boek (onvolledig)"});
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
}

TEST_F(CopyBookFiles, BookFolderThatIsALinkIsNeverWrittenThrough)
{
    settings.CopyViaTemp = 0;
    Write(s / "elsewhere/keep.txt", "keep");
    fs::create_directories(s / "out");
    fs::create_directory_symlink(s / "elsewhere", s / "out/Boek");
    settings.ConfirmOverwrite = 1;
    EXPECT_EQ(CopyResult::Refused, Copy(s / "out/Boek"));
    settings.ConfirmOverwrite = 0;
    EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
    EXPECT_EQ(lines, std::vector<std::string>{s / "out/Boek_001"});
    EXPECT_EQ(Listing(s / "elsewhere"), std::vector<std::string>{"keep.txt"});
}

TEST_F(CopyBookFiles, MissingOutputFolderIsMadeOnlyWhereItsParentIs)
{
    EXPECT_EQ(CopyResult::Refused, Copy(s / "stick/boeken/Boek"));
    EXPECT_FALSE(fs::exists(s / "stick"));
    EXPECT_EQ(CopyResult::Copied, Copy(s / "boeken/Boek"));
    EXPECT_EQ(Read(s / "boeken/Boek/ncc.html"), kNcc);
}

// A stick that is not plugged in, where the desktop mounts sticks: in a
// private mount namespace, /run is a fresh tmpfs holding /run/media/anna.
struct MissingStickCase
{
    const char* name;
    const char* output; // the output folder; "" for one in the scratch folder
    const char* temp;   // the temporary folder; "" for none
    bool stickMounted;
    // The refusal; "" when the book is copied.
    std::string told;
};

PRINT_CASE_AS(MissingStickCase, name)

const MissingStickCase kMissingSticks[] = {
    {"StickRootAsOutputFolder", "/run/media/anna/STICK", "", false,
     copy::text::OutputMissingOffDrive("/run/media/anna/STICK")},
    {"FolderOnTheStick", "/run/media/anna/STICK/boeken", "", false,
     copy::text::OutputParentMissing("/run/media/anna/STICK/boeken")},
    {"InsideAMountPointLeftBehind", "/run/media/anna/OUD/boeken", "", false,
     copy::text::OutputMissingOnEmptyMountPoint("/run/media/anna/OUD/boeken", "/run/media/anna/OUD")},
    {"MountPointLeftBehindAsOutputFolder", "/run/media/anna/OUD", "", false,
     copy::text::OutputOnEmptyMountPoint("/run/media/anna/OUD")},
    {"ExistingFolderThatHoldsBooks", "/run/media/anna/boeken", "", false, ""},
    {"TempFolderOnTheStick", "", "/run/media/anna/STICK/tmp", false,
     copy::text::CannotPrepare("/run/media/anna/STICK/tmp/_TalvoraTmp_", ENOMEDIUM)},
    {"StickPluggedIn", "/run/media/anna/STICK/boeken", "/run/media/anna/STICK/tmp", true, ""},
};

class MissingStick : public testing::TestWithParam<MissingStickCase>
{
};

TEST_P(MissingStick, NothingIsMadeOnTheSystemDiskAndTheRefusalSaysWhy)
{
    const MissingStickCase& c = GetParam();
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/run", "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "cannot mount in a private mount namespace: " << std::strerror(errno);
    fs::create_directories("/run/media/anna/OUD");
    // A folder of the user's own on the system disk, with books in it.
    Write("/run/media/anna/boeken/Ouder boek/ncc.html", kNcc);
    if (c.stickMounted) {
        fs::create_directories("/run/media/anna/STICK");
        ASSERT_EQ(::mount("tmpfs", "/run/media/anna/STICK", "tmpfs", 0, "size=2m"), 0);
    }
    CScratch s;
    Write(s / "disc/ncc.html", kNcc);
    CSettings settings;
    settings.ConfirmOverwrite = 0;
    settings.CopyViaTemp = *c.temp != '\0';
    settings.TempPath = c.temp;
    const std::string output = *c.output != '\0' ? std::string(c.output) : s / "out";
    CScriptedUi ui;
    copy::CFileOperations ops(ui.Runner());
    const CopyResult result = ui.Tell(CopyBook(s / "disc/", output + "/Boek", settings, ops, nullptr));
    EXPECT_EQ(result == CopyResult::Copied, c.told.empty());
    if (!c.told.empty()) {
        EXPECT_EQ(result, CopyResult::Refused);
        EXPECT_EQ(ui.errors, std::vector<std::string>{c.told});
        EXPECT_FALSE(fs::exists("/run/media/anna/STICK"));
        EXPECT_EQ(Listing("/run/media/anna/OUD"), std::vector<std::string>{});
    }
}

struct SpotCase
{
    const char* name;
    const char* real;
    const char* mountPoint;
    bool empty;
    copy::MountSpot spot;
};

PRINT_CASE_AS(SpotCase, name)

class DriveSpot : public testing::TestWithParam<SpotCase>
{
};

TEST_P(DriveSpot, OnlyAnEmptyMediaFolderOffItsDriveIsAMountPointLeftBehind)
{
    const SpotCase& c = GetParam();
    EXPECT_EQ(copy::SpotOf(c.real, c.mountPoint, c.empty), c.spot);
}

using copy::MountSpot;
INSTANTIATE_TEST_SUITE_P(
    Folders, DriveSpot,
    testing::Values(SpotCase{"EmptyMediaFolderOnRoot", "/media/usb", "/", true, MountSpot::LeftBehind},
                    SpotCase{"EmptyRunMediaFolderOnRun", "/run/media/anna/OUD", "/run", true, MountSpot::LeftBehind},
                    SpotCase{"MediaFolderHoldingBooks", "/run/media/anna/boeken", "/run", false, MountSpot::MediaFolder},
                    SpotCase{"StickMountedThere", "/run/media/anna/STICK", "/run/media/anna/STICK", true,
                             MountSpot::OnDrive},
                    SpotCase{"FolderOnAStick", "/media/usb/boeken", "/media/usb", true, MountSpot::OnDrive},
                    SpotCase{"EmptyMntFolderOnRoot", "/mnt/usb", "/", true, MountSpot::MntFolder},
                    SpotCase{"MntFolderOnADrive", "/mnt/data/boeken", "/mnt/data", true, MountSpot::OnDrive},
                    SpotCase{"HomeFolder", "/home/anna/Boeken", "/", true, MountSpot::OnDrive},
                    SpotCase{"NameThatOnlyStartsAlike", "/mediathek", "/", true, MountSpot::OnDrive}), CaseName());

INSTANTIATE_TEST_SUITE_P(Job, MissingStick, testing::ValuesIn(kMissingSticks), CaseName());

TEST_F(CopyBookFiles, KilledRunLeavesOnlyHiddenWorkThatTheNextRunRemoves)
{
    settings.CopyViaTemp = 0;
    Write(s / "disc/audio/01.mp3", Pattern(4 * copy::CCopyEngine::kChunkBytes));
    ASSERT_TRUE(CopyAndKillMidFile(1, [&](CStallingEngine& engine) {
        copy::CFileOperations ops(ui.Runner(), &engine);
        CopyBook(s / "disc/", s / "out/Boek", settings, ops, nullptr);
    }));

    const std::vector<std::string> left = Shown();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(copy::IsWorkFolderName(left[0].c_str())) << left[0];
    // Another run's work that is still held stays.
    fs::create_directories(s / "out/.talvora-Busy01");
    const int held = ::open((s / "out/.talvora-Busy01").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
    EXPECT_EQ(Shown(), (std::vector<std::string>{".talvora-Busy01", "Boek"}));
    EXPECT_EQ(Listing(s / "out/Boek"), Listing(s / "disc"));
    ::close(held);
}

TEST_F(CopyBookFiles, TempNameThatIsALinkIsRefusedAndKept)
{
    Write(s / "precious/data.txt", "do not lose");
    fs::create_directory_symlink(s / "precious", Temp());
    EXPECT_NE(CopyResult::Copied, Copy(s / "out/Boek"));
    EXPECT_EQ(ui.errors.size(), 1u);
    EXPECT_TRUE(ui.titles.empty());
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Temp())));
    EXPECT_EQ(Listing(s / "precious"), std::vector<std::string>{"data.txt"});
    EXPECT_FALSE(fs::exists(s / "out/Boek"));
}

TEST_F(CopyBookFiles, TempNameThatIsAFileIsRefusedAndKept)
{
    Write(Temp(), "a file of the user");
    EXPECT_NE(CopyResult::Copied, Copy(s / "out/Boek"));
    EXPECT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(Read(Temp()), "a file of the user");
}

TEST_F(CopyBookFiles, UnreadableDiscViaTempLeavesNothing)
{
    fs::remove_all(s / "disc");
    ui.reporter.errorAnswers = {copy::ErrorAnswer::Skip};
    EXPECT_NE(CopyResult::Copied, Copy(s / "out/Boek"));
    EXPECT_FALSE(fs::exists(s / "out/Boek"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
}

TEST_F(CopyBookFiles, OverwriteModeAsksAndKeepsOtherFiles)
{
    settings.ConfirmOverwrite = 1;
    settings.CopyViaTemp = 0;
    const std::string oldNcc = kNcc.substr(0, kNcc.size() - 7) + "<!-- oud --></html>";
    Write(s / "out/Boek/ncc.html", oldNcc);
    Write(s / "out/Boek/notes.txt", "mine");
    ui.reporter.replaceAnswers = {copy::ReplaceAnswer::No};
    EXPECT_EQ(CopyResult::Copied, Copy(s / "out/Boek"));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(ui.reporter.replaceQuestions, std::vector<std::string>{s / "out/Boek/ncc.html"});
    EXPECT_EQ(Read(s / "out/Boek/ncc.html"), oldNcc);
    EXPECT_EQ(Read(s / "out/Boek/notes.txt"), "mine");
    EXPECT_EQ(Read(s / "out/Boek/audio/01.mp3"), Pattern(300000));
}

TEST(FileOperationsInspect, KindsOfPath)
{
    CScratch s;
    Write(s / "file", "x");
    fs::create_directories(s / "dir");
    fs::create_directory_symlink(s / "dir", s / "link");
    CScriptedUi ui;
    copy::CFileOperations ops(ui.Runner());
    EXPECT_EQ(ops.Inspect(s / "dir"), copy::PathState::Folder);
    EXPECT_EQ(ops.Inspect(s / "file"), copy::PathState::Other);
    EXPECT_EQ(ops.Inspect(s / "link"), copy::PathState::Other);
    EXPECT_EQ(ops.Inspect(s / "none"), copy::PathState::Missing);
    // Made meanwhile by another run: there, so no failure.
    EXPECT_FALSE(ops.MakeFolder(s / "dir"));
    EXPECT_EQ(ops.MakeFolder(s / "file").error, EEXIST);
    // A colleague's book folder in a shared output folder, or a volume that
    // shows every file as root's, is a folder to replace files in.
    fs::create_directories(s / "colleague");
    if (::chown((s / "colleague").c_str(), ::geteuid() + 4321, ::getegid()) == 0) {
        EXPECT_EQ(ops.Inspect(s / "colleague"), copy::PathState::Folder);
    }
    Write(s / "disc/video/film.mp4", "0123456789");
    EXPECT_EQ(ops.FileLargerThan(s / "disc", 9), "video/film.mp4");
    EXPECT_EQ(ops.FileLargerThan(s / "disc", 10), "");
    EXPECT_EQ(ops.LargestFileAllowed(s / "disc"), 0u) << "the test folder is on no FAT file system";
}

struct FileSystemCase
{
    const char* name;
    const char* fsType;       // as the mount table gives it
    const char* deviceFsType; // as udev knows the device
    std::uint64_t largest;
};

PRINT_CASE_AS(FileSystemCase, name)

const FileSystemCase kFileSystems[] = {
    {"KernelVfat", "vfat", "", 0xFFFFFFFFull},
    {"FatThroughFuse", "fuse.fusefat", "", 0xFFFFFFFFull},
    {"FuseblkNamingVfat", "fuseblk.vfat", "", 0xFFFFFFFFull},
    {"BareFuseblkOnAFatDevice", "fuseblk", "vfat", 0xFFFFFFFFull},
    {"BareFuseblkOnNtfs", "fuseblk", "ntfs", 0},
    {"ExfatThroughFuse", "fuseblk", "exfat", 0},
    {"Sshfs", "fuse.sshfs", "", 0},
    {"Ext4", "ext4", "", 0},
};

class LargestFile : public testing::TestWithParam<FileSystemCase>
{
};

TEST_P(LargestFile, FatIsFoundThroughFuseToo)
{
    EXPECT_EQ(copy::LargestFileOn(GetParam().fsType, GetParam().deviceFsType), GetParam().largest);
}

INSTANTIATE_TEST_SUITE_P(Drive, LargestFile, testing::ValuesIn(kFileSystems), CaseName());

} // namespace
