// The tray step must never crash, hang or touch something that is not an
// optical drive, whatever the desktop's services look like.
#include "support/CopyTestSupport.h"
#include "support/TableCases.h"

#include "disc/DriveRemount.h"
#include "disc/EjectDisc.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <sched.h>
#include <sys/mount.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <thread>
#include <unistd.h>

using namespace copytest;
using namespace std::chrono_literals;

namespace {

class CScopedEnv
{
public:
    CScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~CScopedEnv()
    {
        if (m_had)
            ::setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_old;
    bool m_had = false;
};

// Roots that are no mounted optical drive; "@" stands for a scratch folder.
struct LeftAloneCase
{
    const char* name;
    const char* root;
    bool standsForADrive; // named by TALVORA_DRIVES
};
PRINT_CASE_AS(LeftAloneCase, name)

class EjectDiscLeavesAlone : public testing::TestWithParam<LeftAloneCase>
{};

TEST_P(EjectDiscLeavesAlone, RunsNoEjectProgram)
{
    CScratch s;
    fs::create_directories(s / "folder");
    fs::create_directories(s / "bin");
    // GIO ejects a plain mount by running `eject`; this one leaves a mark.
    Write(s / "bin/eject", "#!/bin/sh\n/usr/bin/touch '" + (s / "ran") + "'\n");
    ::chmod((s / "bin/eject").c_str(), 0755);
    CScopedEnv path("PATH", s / "bin");
    std::string root = GetParam().root;
    if (const auto at = root.find('@'); at != std::string::npos)
        root.replace(at, 1, s / "folder");
    std::optional<CScopedEnv> drives;
    if (GetParam().standsForADrive)
        drives.emplace("TALVORA_DRIVES", root);
    EjectDisc(root);
    for (int i = 0; i < 50; ++i)
        g_main_context_iteration(nullptr, FALSE);
    EXPECT_FALSE(fs::exists(s / "ran")) << root;
}

INSTANTIATE_TEST_SUITE_P(Roots, EjectDiscLeavesAlone,
                         testing::Values(LeftAloneCase{"empty", "", false},
                                         LeftAloneCase{"file_system_root", "/", false},
                                         LeftAloneCase{"missing", "/nonexistent/", false},
                                         LeftAloneCase{"plain_folder", "@/", false},
                                         LeftAloneCase{"proc", "/proc/", false},
                                         LeftAloneCase{"relative", "relative/", false},
                                         LeftAloneCase{"drive_folder", "@/", true},
                                         LeftAloneCase{"drive_folder_that_is_a_mount", "/", true}),
                         CaseName());

TEST(EjectThroughIoctl, NoDeviceIsNoSuccess)
{
    CScratch s;
    Write(s / "plain", "x");
    EXPECT_FALSE(disc::tray::EjectThroughIoctl("/nonexistent/sr9", 2s));
    EXPECT_FALSE(disc::tray::EjectThroughIoctl(s / "plain", 2s));
    EXPECT_FALSE(disc::tray::EjectThroughIoctl("/dev/null", 2s));
}

TEST(EjectThroughGio, UnknownRootHasNoMount)
{
    CScratch s;
    EXPECT_EQ(disc::tray::EjectThroughGio(s / "x/", 2s), disc::tray::GioOutcome::NoMount);
    EXPECT_EQ(disc::tray::EjectThroughGio("", 2s), disc::tray::GioOutcome::NoMount);
}

// A file system mounted below /media, where GIO shows mounts to the user,
// in a private mount namespace so that nothing outlives the test. Without
// gvfs GIO sees it as a plain Unix mount, the case that GLib 2.74 handles
// badly; a fake eject program stands in for the real one.
class UnixMount : public testing::Test
{
protected:
    void SetUp() override
    {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            GTEST_SKIP() << "no private mount namespace: " << std::strerror(errno);
        // A private tmpfs over /media keeps even the mount point off the
        // real disk, should the test die half-way.
        if (!fs::is_directory("/media") || ::mount("tmpfs", "/media", "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "cannot cover /media: " << std::strerror(errno);
        m_mounted = true;
        m_point = "/media/cdrom-talvora";
        fs::create_directories(m_point);
        if (::mount("/dev/cdrom-talvora", m_point.c_str(), "ramfs", 0, nullptr) != 0)
            GTEST_SKIP() << "cannot mount: " << std::strerror(errno);
        fs::create_directories(m_s / "bin");
    }
    void TearDown() override
    {
        if (m_mounted) {
            ::umount2(m_point.c_str(), MNT_DETACH);
            ::umount2("/media", MNT_DETACH);
        }
    }
    void FakeEject(const std::string& body)
    {
        Write(m_s / "bin/eject", "#!/bin/sh\n" + body + "\n");
        ::chmod((m_s / "bin/eject").c_str(), 0755);
    }
    disc::tray::GioOutcome Eject(std::chrono::milliseconds timeout)
    {
        CScopedEnv path("PATH", m_s / "bin");
        const auto outcome = disc::tray::EjectThroughGio(m_point + "/", timeout);
        if (outcome == disc::tray::GioOutcome::NoMount)
            m_noMount = true;
        return outcome;
    }
    void Drain(std::chrono::milliseconds time)
    {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end)
            if (!g_main_context_iteration(nullptr, FALSE))
                std::this_thread::sleep_for(10ms);
    }

    CScratch m_s;
    std::string m_point;
    bool m_mounted = false;
    bool m_noMount = false;
};

// What the eject program GIO runs does, and what that makes of the tray.
struct EjectCase
{
    const char* name;
    const char* program; // nullptr: none installed
    disc::tray::GioOutcome expected;
};

PRINT_CASE_AS(EjectCase, name)

class UnixMountEject : public UnixMount, public testing::WithParamInterface<EjectCase>
{
};

TEST_P(UnixMountEject, OutcomeFollowsTheEjectProgram)
{
    if (GetParam().program != nullptr)
        FakeEject(GetParam().program);
    const auto outcome = Eject(10s);
    if (m_noMount)
        GTEST_SKIP() << "GIO lists no mount below /media here";
    EXPECT_EQ(outcome, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Programs, UnixMountEject,
                         testing::Values(EjectCase{"NoneIsRefusedNotAborted", nullptr, disc::tray::GioOutcome::Refused},
                                         EjectCase{"Succeeds", "exit 0", disc::tray::GioOutcome::Ejected},
                                         EjectCase{"Fails", "exit 1", disc::tray::GioOutcome::Failed}),
                         CaseName());

TEST_F(UnixMount, HangingEjectIsAbandonedAndItsLateAnswerIsHarmless)
{
    FakeEject("exec /bin/sleep 2");
    const auto start = std::chrono::steady_clock::now();
    const auto outcome = Eject(800ms);
    if (m_noMount)
        GTEST_SKIP() << "GIO lists no mount below /media here";
    EXPECT_EQ(outcome, disc::tray::GioOutcome::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "bounded";
    Drain(3s); // the abandoned operation finishes here
}

TEST_F(UnixMount, EjectDiscLeavesAnythingButAnOpticalDriveAlone)
{
    FakeEject("/usr/bin/touch '" + (m_s / "ran") + "'");
    CScopedEnv path("PATH", m_s / "bin");
    EjectDisc(m_point + "/");
    Drain(1500ms);
    EXPECT_FALSE(fs::exists(m_s / "ran")) << "a mount that is not a drive got ejected";
}

// Mounting a drive anew unmounts it only where it can be mounted again:
// a plain Unix mount has no volume to mount, and stays as it is.
TEST_F(UnixMount, RemountLeavesAMountWithoutAVolumeMounted)
{
    FakeEject("exit 0");
    CScopedEnv path("PATH", m_s / "bin");
    std::string mountedAt;
    const posix::Failure failure = disc::RemountDrive(disc::GioLoop::Own, m_point, mountedAt);
    EXPECT_EQ(failure.error, ENODEV);
    EXPECT_EQ(mountedAt, m_point);
    struct statfs st;
    EXPECT_EQ(::statfs(m_point.c_str(), &st), 0);
    EXPECT_EQ(st.f_type, static_cast<decltype(st.f_type)>(RAMFS_MAGIC)) << "the mount was taken away";
}

TEST(RemountDrive, AFolderNobodyMountedIsLeftAlone)
{
    CScratch s;
    std::string mountedAt;
    EXPECT_EQ(disc::RemountDrive(disc::GioLoop::Own, s / "x", mountedAt).error, ENODEV);
    EXPECT_EQ(mountedAt, s / "x");
}

} // namespace
