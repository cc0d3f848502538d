// Reading a copy back where the drive's file system runs through FUSE: a
// daemon's own cache answers there, so equal bytes prove nothing of the
// stick. The file-system types, the job on a drive that claims a type, and
// a real FUSE stick that keeps only its first bytes (tests/copy/lying_stick.py).
#include "support/CopyTestSupport.h"
#include "support/TableCases.h"

#include "copy/FileOperations.h"
#include "posix/Posix.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <linux/loop.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <thread>

using namespace copytest;
using copy::CopyResult;
using copy::DriveFileSystem;
using copy::ReadBackState;

namespace {

struct KindCase
{
    const char* name;
    unsigned long fType;
    std::string mountType;
    DriveFileSystem expected;
};
PRINT_CASE_AS(KindCase, name)

const std::vector<KindCase> kKinds = {
    {"Ext4", EXT4_SUPER_MAGIC, "ext4", DriveFileSystem::Kernel},
    {"Vfat", MSDOS_SUPER_MAGIC, "vfat", DriveFileSystem::Kernel},
    {"KernelExfat", 0x2011BAB0ul, "exfat", DriveFileSystem::Kernel},
    {"ExfatFuse", FUSE_SUPER_MAGIC, "fuseblk", DriveFileSystem::Fuse},
    {"Ntfs3gWithoutStatfs", 0, "fuseblk", DriveFileSystem::Fuse},
    {"NamedFuseType", 0, "fuse.fuse2fs", DriveFileSystem::Fuse},
    {"NamedFuseblkType", 0, "fuseblk.ntfs", DriveFileSystem::Fuse},
    {"BareFuse", 0, "fuse", DriveFileSystem::Fuse},
    {"FuseMagicOnly", FUSE_SUPER_MAGIC, "", DriveFileSystem::Fuse},
    {"FuseControlIsNoDrive", 0x65735543ul, "fusectl", DriveFileSystem::Kernel},
    {"NothingKnown", 0, "", DriveFileSystem::Kernel},
};

class FileSystemKinds : public testing::TestWithParam<KindCase>
{};

TEST_P(FileSystemKinds, FuseWhereStatfsOrTheMountTableSaysSo)
{
    EXPECT_EQ(copy::FileSystemKind(GetParam().fType, GetParam().mountType), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(ReadBack, FileSystemKinds, testing::ValuesIn(kKinds), CaseName());

// A drive that claims a file system, and may give one file back changed.
class CClaimedDrive : public copy::CCopyEngine
{
public:
    DriveFileSystem kind = DriveFileSystem::Kernel;
    std::string type;
    bool change = false;

protected:
    DriveFileSystem FileSystemOf(int, std::string& mountType) override
    {
        mountType = type;
        return kind;
    }
    int ReadBack(int fd, char* buffer, std::size_t max, std::size_t& got) override
    {
        const int error = CCopyEngine::ReadBack(fd, buffer, max, got);
        if (change && got > 0)
            buffer[0] ^= 0x01;
        return error;
    }
};

// An NCC the book check reads: a book of no chapters, whole.
const std::string kNcc = "<html><head><title>T</title><meta name=\"dc:title\" content=\"T\"/></head></html>";

CSettings Verifying(bool verify)
{
    CSettings settings;
    settings.ConfirmOverwrite = 0;
    settings.CopyViaTemp = 0;
    settings.VerifyCopy = verify ? 1 : 0;
    return settings;
}

// A disc of one book with one audio file, and an empty output folder.
void MakeOneFileDisc(const CScratch& s)
{
    Write(s / "disc/ncc.html", kNcc);
    Write(s / "disc/audio/01.mp3", Pattern(300000));
    fs::create_directories(s / "out");
}

// Every part of told is in text, and none of notTold.
void ExpectTold(const std::string& text, const std::vector<std::string>& told, const std::vector<std::string>& notTold)
{
    for (const std::string& part : told)
        EXPECT_NE(text.find(part), std::string::npos) << text;
    for (const std::string& part : notTold)
        EXPECT_EQ(text.find(part), std::string::npos) << text;
}

copy::CopyRunner OnAThread(CScriptedReporter& reporter)
{
    return [&reporter](const std::string&, const std::function<void(copy::ICopyReporter&)>& work) {
        std::thread worker([&] { work(reporter); });
        worker.join();
    };
}

struct ClaimCase
{
    const char* name;
    DriveFileSystem kind;
    const char* type;
    bool verify;
    bool change;
    CopyResult expected;
    ReadBackState state;
    std::vector<std::string> told; // in the read-back line, or the message when not copied
    std::vector<std::string> notTold;
};
PRINT_CASE_AS(ClaimCase, name)

const std::vector<ClaimCase> kClaims = {
    {"KernelDriveIsReadBackFromTheDevice", DriveFileSystem::Kernel, "ext4", true, false, CopyResult::Copied,
     ReadBackState::FromDevice, {"teruggelezen van ", " en gelijk aan die op de CD."}, {"FUSE"}},
    {"FuseDriveGetsNoClaim", DriveFileSystem::Fuse, "fuseblk", true, false, CopyResult::Copied,
     ReadBackState::NotFromDevice,
     {"De kopie kon niet van de stick zelf worden teruggelezen.", "(FUSE, fuseblk)", "niet gecontroleerd"},
     {"gelijk"}},
    {"FuseDriveStillCatchesADifference", DriveFileSystem::Fuse, "fuseblk", true, true, CopyResult::Failed,
     ReadBackState::Off, {"niet gelijk aan die op de CD"}, {"niet van de stick zelf"}},
    {"OffClaimsNothing", DriveFileSystem::Fuse, "fuseblk", false, false, CopyResult::Copied, ReadBackState::Off, {},
     {"teruggelezen"}},
};

class ClaimedDrives : public testing::TestWithParam<ClaimCase>
{};

TEST_P(ClaimedDrives, TheReadBackLineSaysOnlyWhatTheDeviceProved)
{
    const ClaimCase& c = GetParam();
    CScratch s;
    MakeOneFileDisc(s);
    CClaimedDrive engine;
    engine.kind = c.kind;
    engine.type = c.type;
    engine.change = c.change;
    CScriptedReporter reporter;
    copy::CFileOperations ops(OnAThread(reporter), &engine);
    const copy::CopyReport report = CopyBook(s / "disc/", s / "out/Boek", Verifying(c.verify), ops, nullptr);
    EXPECT_EQ(report.result, c.expected) << report.message;
    EXPECT_EQ(report.readBack.state, c.state);
    const std::string& told = c.expected == CopyResult::Copied ? report.readBackLine : report.message;
    ExpectTold(told, c.told, c.notTold);
    EXPECT_TRUE(c.told.empty() == told.empty()) << told;
}

INSTANTIATE_TEST_SUITE_P(Job, ClaimedDrives, testing::ValuesIn(kClaims), CaseName());

// What a stick does when it is mounted anew to read the copy back.
enum class Remounts { AndKeptAll, AndLostAFile, Busy, AndStaysAway, WhileTheUserCancels };

struct RemountCase
{
    const char* name;
    Remounts remounts;
    copy::Ending ending;
    ReadBackState state;
    std::vector<std::string> told; // in the read-back line, or the message when not whole
    std::vector<std::string> notTold;
    const char* folder;            // what the output folder holds afterwards
};
PRINT_CASE_AS(RemountCase, name)

const std::vector<RemountCase> kRemounts = {
    {"AStickThatKeptAllIsReadFromTheDevice", Remounts::AndKeptAll, copy::Ending::Whole, ReadBackState::FromDevice,
     {"teruggelezen van ", " en gelijk aan die op de CD."}, {"FUSE", "niet van de stick zelf"}, "Boek"},
    {"AStickThatLostAFileKeepsTheBookUnnamed", Remounts::AndLostAFile, copy::Ending::CopyLacks, ReadBackState::Off,
     {"audio/01.mp3", "niet gelijk aan die op de CD", "Controleer "}, {"Maak de CD schoon", "De kopie kon niet"},
     "Boek (onvolledig)"},
    {"ABusyStickIsSaidSoWithoutAClaim", Remounts::Busy, copy::Ending::Whole, ReadBackState::NotFromDevice,
     {"De kopie kon niet van de stick zelf worden teruggelezen.", "opnieuw worden aangekoppeld, en dat lukte niet",
      "bestanden op de stick geopend door een ander programma", "niet gecontroleerd"},
     {"gelijk"}, "Boek"},
    {"AStickThatStaysAwayGetsNoBook", Remounts::AndStaysAway, copy::Ending::Failed, ReadBackState::Off,
     {"niet opnieuw worden aangekoppeld", "nog geen naam gekregen"}, {"teruggelezen van "}, ""},
    {"ACancelMeanwhileLeavesNoBook", Remounts::WhileTheUserCancels, copy::Ending::Cancelled, ReadBackState::Off, {},
     {"teruggelezen"}, ""},
};

class RemountedDrives : public testing::TestWithParam<RemountCase>
{};

// The work folders below out: this run's one, while it runs.
std::vector<std::string> WorkFolders(const std::string& out)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(out))
        if (copy::IsWorkFolderName(entry.path().filename().c_str()))
            found.push_back(entry.path());
    return found;
}

TEST_P(RemountedDrives, OnlyTheStickMountedAnewIsReadFromTheDevice)
{
    const RemountCase& c = GetParam();
    CScratch s;
    MakeOneFileDisc(s);
    CClaimedDrive engine;
    engine.kind = DriveFileSystem::Fuse;
    engine.type = "fuseblk";
    CScriptedReporter reporter;
    int calls = 0;
    auto remount = [&](const std::string& mountPoint, std::string& mountedAt) -> posix::Failure {
        ++calls;
        // Nothing of this run may hold the drive while it is unmounted.
        for (const std::string& work : WorkFolders(s / "out")) {
            posix::CFd dir(::open(work.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            EXPECT_EQ(0, ::flock(dir.Get(), LOCK_EX | LOCK_NB)) << work << " is still held";
        }
        switch (c.remounts) {
        case Remounts::AndKeptAll:
            return {};
        case Remounts::AndLostAFile:
            for (const std::string& work : WorkFolders(s / "out"))
                Write(work + "/boek/audio/01.mp3", std::string(300000, '\0'));
            return {};
        case Remounts::Busy:
            return posix::OnOutput(EBUSY, mountPoint);
        case Remounts::AndStaysAway:
            mountedAt.clear();
            return posix::OnOutput(ENODEV, mountPoint);
        case Remounts::WhileTheUserCancels:
            reporter.cancel = true;
            return {};
        }
        return {};
    };
    copy::CFileOperations ops(OnAThread(reporter), &engine, remount);
    const copy::CopyReport report = CopyBook(s / "disc/", s / "out/Boek", Verifying(true), ops, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(report.ending, c.ending) << report.message;
    EXPECT_EQ(report.result, c.ending == copy::Ending::Whole       ? CopyResult::Copied
                             : c.ending == copy::Ending::Cancelled ? CopyResult::Cancelled
                                                                   : CopyResult::Failed);
    EXPECT_EQ(report.readBack.state, c.state);
    const std::string& told = c.ending == copy::Ending::Whole ? report.readBackLine : report.message;
    ExpectTold(told, c.told, c.notTold);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(s / "out"))
        if (!copy::IsWorkFolderName(entry.path().filename().c_str()))
            names.push_back(entry.path().filename());
    EXPECT_EQ(names, *c.folder ? std::vector<std::string>{c.folder} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Job, RemountedDrives, testing::ValuesIn(kRemounts), CaseName());

// The lying stick of lying_stick.py, mounted at mountPoint for as long as
// it lives; Mounted() is false where FUSE cannot be used here.
class CLyingStick
{
public:
    CLyingStick(const std::string& flash, const std::string& mountPoint, std::size_t keepBytes, bool cached = true)
        : m_mountPoint(mountPoint)
    {
        fs::create_directories(flash);
        fs::create_directories(mountPoint);
        const std::string keep = std::to_string(keepBytes);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(kPython, kPython, TALVORA_LYING_STICK, flash.c_str(), mountPoint.c_str(), keep.c_str(),
                    cached ? "cache" : "nocache", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m_pid > 0 && !Mounted() && std::chrono::steady_clock::now() < until) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~CLyingStick()
    {
        if (::umount2(m_mountPoint.c_str(), 0) != 0 && Mounted())
            Run({"fusermount", "-u", "-z", m_mountPoint});
        if (m_pid <= 0)
            return;
        for (int i = 0; i < 250 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (::kill(m_pid, SIGKILL) == 0)
            ::waitpid(m_pid, nullptr, 0);
    }
    CLyingStick(const CLyingStick&) = delete;
    CLyingStick& operator=(const CLyingStick&) = delete;

    bool Mounted() const { return Mountpoint(m_mountPoint); }

    static bool Mountpoint(const std::string& path)
    {
        struct statfs st;
        return ::statfs(path.c_str(), &st) == 0 && st.f_type == FUSE_SUPER_MAGIC;
    }

    // Why FUSE cannot be used here; "" when it can.
    static std::string Unavailable()
    {
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            return "/dev/fuse cannot be opened";
        if (Run({kPython, "-c", "import fuse"}) != 0)
            return std::string(kPython) + " has no fuse module (Debian: python3-fuse)";
        return {};
    }

    static int Run(const std::vector<std::string>& args)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static constexpr const char* kPython = "/usr/bin/python3";

    std::string m_mountPoint;
    pid_t m_pid = -1;
};

// An ext4 file system made in image and mounted at mountPoint through a
// loop device, for as long as it lives; why not in Failed() otherwise.
class CExt4OnLoop
{
public:
    CExt4OnLoop(const std::string& image, const std::string& mountPoint) : m_mountPoint(mountPoint)
    {
        fs::create_directories(mountPoint);
        if (CLyingStick::Run({"mkfs.ext4", "-q", "-F", "-E", "nodiscard,lazy_itable_init=0,lazy_journal_init=0",
                              image}) != 0) {
            m_failed = "mkfs.ext4 failed";
            return;
        }
        posix::CFd control(::open("/dev/loop-control", O_RDWR | O_CLOEXEC));
        const int number = control.Get() >= 0 ? ::ioctl(control.Get(), LOOP_CTL_GET_FREE) : -1;
        posix::CFd loop(number >= 0 ? ::open(("/dev/loop" + std::to_string(number)).c_str(), O_RDWR | O_CLOEXEC) : -1);
        posix::CFd file(::open(image.c_str(), O_RDWR | O_CLOEXEC));
        loop_config config = {};
        config.fd = static_cast<__u32>(file.Get());
        config.info.lo_flags = LO_FLAGS_AUTOCLEAR; // gone with the mount
        if (loop.Get() < 0 || file.Get() < 0 || ::ioctl(loop.Get(), LOOP_CONFIGURE, &config) != 0) {
            m_failed = "no loop device";
            return;
        }
        if (::mount(("/dev/loop" + std::to_string(number)).c_str(), mountPoint.c_str(), "ext4", 0, nullptr) != 0)
            m_failed = "ext4 could not be mounted";
    }
    ~CExt4OnLoop()
    {
        if (m_failed.empty())
            ::umount2(m_mountPoint.c_str(), 0);
    }
    CExt4OnLoop(const CExt4OnLoop&) = delete;
    CExt4OnLoop& operator=(const CExt4OnLoop&) = delete;

    const std::string& Failed() const { return m_failed; }

private:
    std::string m_mountPoint;
    std::string m_failed;
};

// The stick of the report: more than it keeps is written to it, it gives
// everything back while mounted, and after a new mount most of it is
// zeros. The copy on it must not be called read back.
TEST(LyingFuseStick, TheCopyIsNotCalledReadBackFromTheStick)
{
    if (const std::string why = CLyingStick::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    CScratch s;
    Write(s / "disc/ncc.html", kNcc);
    const std::string audio = Pattern(3 * copy::CCopyEngine::kChunkBytes + 7, 1);
    Write(s / "disc/audio/01.mp3", audio);
    const std::string stick = fs::weakly_canonical(s / "stick");
    copy::CopyReport report;
    {
        CLyingStick mounted(s / "flash", stick, 256 << 10);
        if (!mounted.Mounted())
            GTEST_SKIP() << "the FUSE stick could not be mounted here";
        CScriptedReporter reporter;
        copy::CFileOperations ops(OnAThread(reporter));
        report = CopyBook(s / "disc/", stick + "/Boek", Verifying(true), ops, nullptr);
        EXPECT_TRUE(Read(stick + "/Boek/audio/01.mp3") == audio) << "while mounted, the stick gives everything back";
    }
    EXPECT_EQ(report.result, CopyResult::Copied) << report.message;
    EXPECT_EQ(report.readBack.state, ReadBackState::NotFromDevice);
    EXPECT_EQ(report.readBack.why, copy::NotFromDeviceReason::FuseCache);
    EXPECT_EQ(report.readBack.fsType.rfind("fuse", 0), 0u) << report.readBack.fsType;
    EXPECT_NE(report.readBackLine.find("De kopie kon niet van de stick zelf worden teruggelezen."), std::string::npos)
        << report.readBackLine;
    EXPECT_NE(report.readBackLine.find("De stick " + stick + " "), std::string::npos) << report.readBackLine;
    EXPECT_EQ(report.readBackLine.find("gelijk"), std::string::npos) << report.readBackLine;

    CLyingStick again(s / "flash", stick, 0);
    ASSERT_TRUE(again.Mounted());
    const std::string kept = Read(stick + "/Boek/audio/01.mp3");
    EXPECT_EQ(kept.size(), audio.size());
    EXPECT_FALSE(kept == audio) << "the stick kept everything: this test would show nothing";
}

// The same lying stick under a file system the kernel runs itself (ext4
// on a loop device over a file on it, no cache in between): the read-back
// reaches the flash and finds the zeros.
TEST(LyingFuseStick, UnderExt4TheReadBackFindsTheZeros)
{
    if (const std::string why = CLyingStick::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    CScratch s;
    Write(s / "disc/ncc.html", kNcc);
    Write(s / "disc/audio/01.mp3", Pattern(8 * copy::CCopyEngine::kChunkBytes, 1));
    CLyingStick flash(s / "flash", s / "device", 4 << 20, false);
    if (!flash.Mounted())
        GTEST_SKIP() << "the FUSE stick could not be mounted here";
    const std::string image = s / "device/image";
    Write(image, "");
    ASSERT_EQ(0, ::truncate(image.c_str(), 16 << 20));
    CExt4OnLoop ext4(image, s / "stick");
    if (!ext4.Failed().empty())
        GTEST_SKIP() << ext4.Failed();
    CScriptedReporter reporter;
    copy::CFileOperations ops(OnAThread(reporter));
    const copy::CopyReport report = CopyBook(s / "disc/", s / "stick/Boek", Verifying(true), ops, nullptr);
    EXPECT_EQ(report.result, CopyResult::Failed);
    EXPECT_EQ(report.readBack.state, ReadBackState::Off);
    EXPECT_NE(report.message.find("audio/01.mp3"), std::string::npos) << report.message;
    EXPECT_NE(report.message.find("niet gelijk aan die op de CD"), std::string::npos) << report.message;
    EXPECT_TRUE(report.readBackLine.empty()) << report.readBackLine;
}

} // namespace

namespace {

struct AnewCase
{
    const char* name;
    std::size_t keepBytes; // of the flash, what the stick really keeps
    copy::Ending ending;
    ReadBackState state;
    const char* folder;    // where the book is, below the stick's new mount point
};
PRINT_CASE_AS(AnewCase, name)

const std::vector<AnewCase> kAnew = {
    {"ALyingStickIsFoundOut", 256 << 10, copy::Ending::CopyLacks, ReadBackState::Off, "/Boek (onvolledig)"},
    {"AStickThatKeptAllIsProven", 64 << 20, copy::Ending::Whole, ReadBackState::FromDevice, "/Boek"},
};

class StickMountedAnew : public testing::TestWithParam<AnewCase>
{};

// The lying stick of the report, mounted anew (by a new run of its program,
// at another mount point, as a desktop may do) before the read-back: the
// read-back then reaches the flash, and the book follows the stick.
TEST_P(StickMountedAnew, TheReadBackReachesTheFlash)
{
    if (const std::string why = CLyingStick::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    const AnewCase& c = GetParam();
    CScratch s;
    Write(s / "disc/ncc.html", kNcc);
    const std::string audio = Pattern(3 * copy::CCopyEngine::kChunkBytes + 7, 1);
    Write(s / "disc/audio/01.mp3", audio);
    const std::string stick = fs::weakly_canonical(s / "stick"), moved = fs::weakly_canonical(s / "stick2");
    auto mounted = std::make_unique<CLyingStick>(s / "flash", stick, c.keepBytes);
    if (!mounted->Mounted())
        GTEST_SKIP() << "the FUSE stick could not be mounted here";
    auto remount = [&](const std::string& mountPoint, std::string& mountedAt) -> posix::Failure {
        EXPECT_EQ(mountPoint, stick);
        mounted.reset();
        if (CLyingStick::Mountpoint(stick))
            return posix::OnOutput(EBUSY, mountPoint);
        mounted = std::make_unique<CLyingStick>(s / "flash", moved, 0);
        mountedAt = mounted->Mounted() ? moved : "";
        return mountedAt.empty() ? posix::OnOutput(ENODEV, mountPoint) : posix::Failure{};
    };
    CScriptedReporter reporter;
    copy::CopyReport report;
    {
        copy::CFileOperations ops(OnAThread(reporter), nullptr, remount);
        report = CopyBook(s / "disc/", stick + "/Boek", Verifying(true), ops, nullptr);
    }
    EXPECT_EQ(report.ending, c.ending) << report.message;
    EXPECT_EQ(report.readBack.state, c.state);
    EXPECT_EQ(report.folder, moved + c.folder);
    EXPECT_TRUE(fs::is_directory(moved + c.folder)) << report.message;
    if (c.ending == copy::Ending::Whole) {
        EXPECT_EQ(Read(moved + c.folder + "/audio/01.mp3"), audio);
        EXPECT_NE(report.readBackLine.find("teruggelezen van " + moved + " en gelijk"), std::string::npos)
            << report.readBackLine;
    } else {
        EXPECT_NE(std::find(report.different.begin(), report.different.end(), "audio/01.mp3"),
                  report.different.end())
            << report.message;
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(moved))
        left.push_back(entry.path().filename());
    EXPECT_EQ(left.size(), 1u) << "only the book is left on the stick";
}

INSTANTIATE_TEST_SUITE_P(LyingFuseStick, StickMountedAnew, testing::ValuesIn(kAnew), CaseName());

} // namespace
