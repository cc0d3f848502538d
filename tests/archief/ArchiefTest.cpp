// talvora-archief's command line, and its headless run over simulated
// drives as a script would start it.
#include "archief/ArchiveOptions.h"
#include "archief/Headless.h"

#include "support/TableCases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace {

struct OptionCase
{
    const char* name;
    std::vector<std::string> arguments;
    bool headless, once, bagit;
    std::string outputDir;
    bool refused;
};
PRINT_CASE_AS(OptionCase, name)

class Options : public testing::TestWithParam<OptionCase>
{};

TEST_P(Options, AreReadOrRefused)
{
    const OptionCase& c = GetParam();
    const ArchiveOptions o = ParseArchiveOptions(c.arguments);
    EXPECT_EQ(c.refused, !o.error.empty()) << o.error;
    if (c.refused)
        return;
    EXPECT_EQ(c.headless, o.headless);
    EXPECT_EQ(c.once, o.once);
    EXPECT_EQ(c.bagit, o.bagit);
    EXPECT_EQ(c.outputDir, o.outputDir);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, Options,
    testing::Values(OptionCase{"none", {}, false, false, false, "", false},
                    OptionCase{"all", {"--zonder-venster", "--eenmalig", "--bagit", "--map", "/uit"}, true, true, true,
                               "/uit/", false},
                    OptionCase{"map_with_equals", {"--map=/uit/"}, false, false, false, "/uit/", false},
                    OptionCase{"map_without_folder", {"--map"}, false, false, false, "", true},
                    OptionCase{"relative_map", {"--map", "uit"}, false, false, false, "", true},
                    OptionCase{"unknown", {"--snel"}, false, false, false, "", true},
                    OptionCase{"once_with_the_window", {"--eenmalig"}, false, true, false, "", true}),
    CaseName());

TEST(Headless, ArchivesTheDiscsPresentOncePrintingALineEachAndEndsWithTheWorstOutcome)
{
    CTempDir dir;
    for (const char* cd : {"cd1", "cd2"}) {
        const std::string make = "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py " + (dir / cd) +
                                 (std::string(cd) == "cd2" ? " --id b2 --title Tweede" : "") + " >/dev/null";
        ASSERT_EQ(0, std::system(make.c_str()));
    }
    dir.Write("cd3/ncc.html", "geen boek");
    const std::string command = "XDG_CONFIG_HOME=" + (dir / "config") + " XDG_RUNTIME_DIR=" + (dir / "run") +
                                " TALVORA_DRIVES=" + (dir / "cd1") + ":" +
                                (dir / "cd2") + ":" + (dir / "cd3") + " " TALVORA_ARCHIEF
                                " --zonder-venster --eenmalig --map " + (dir / "uit");
    FILE* run = ::popen(command.c_str(), "r");
    ASSERT_NE(nullptr, run);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, run))
        output += buffer;
    const int status = ::pclose(run);
    EXPECT_EQ(3, WEXITSTATUS(status)) << output;
    EXPECT_NE(std::string::npos, output.find(": Tweede: gekopieerd (map: b2 - Tweede - ")) << output;
    EXPECT_NE(std::string::npos, output.find("cd3/: (geen titel): geweigerd. Het boekbestand")) << output;
}

// Two stations on the same drives would both archive every disc: a
// second one ends at once, as a second Talvora does.
TEST(Headless, ASecondStationForTheSameUserEndsAtOnce)
{
    CTempDir dir;
    ASSERT_EQ(0, ::mkdir((dir / "run").c_str(), 0700));
    const int held = ::open((dir / "run/TalvoraArchiefMutex").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(0, ::flock(held, LOCK_EX));
    const std::string command = "XDG_CONFIG_HOME=" + (dir / "config") + " XDG_RUNTIME_DIR=" + (dir / "run") +
                                " TALVORA_DRIVES=" + (dir / "cd") + " " TALVORA_ARCHIEF " --zonder-venster --eenmalig --map " +
                                (dir / "uit") + " 2>&1";
    FILE* run = ::popen(command.c_str(), "r");
    ASSERT_NE(nullptr, run);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, run))
        output += buffer;
    EXPECT_EQ(4, WEXITSTATUS(::pclose(run))) << output;
    EXPECT_EQ("Er draait al een archiefstation voor deze gebruiker.\n", output);
    ::close(held);
}

// Ctrl+C or SIGTERM in the middle of a copy ends the run, --eenmalig as
// while watching: the copy is abandoned, nothing stays under the book's
// name, its row says "gestopt" and the exit status is 2.
struct SignalCase
{
    const char* name;
    bool once;
    int signal;
};
PRINT_CASE_AS(SignalCase, name)

class Stopping : public testing::TestWithParam<SignalCase>
{};

TEST_P(Stopping, EndsTheRunWithNothingHalfLeft)
{
    CTempDir dir;
    const std::string make = "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py " + (dir / "cd") +
                             " --extra-mb 300 >/dev/null";
    ASSERT_EQ(0, std::system(make.c_str()));
    int out[2];
    ASSERT_EQ(0, ::pipe(out));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
        ::setenv("TALVORA_DRIVES", (dir / "cd").c_str(), 1);
        const std::string map = dir / "uit";
        if (GetParam().once)
            ::execl(TALVORA_ARCHIEF, TALVORA_ARCHIEF, "--zonder-venster", "--eenmalig", "--map", map.c_str(), nullptr);
        else
            ::execl(TALVORA_ARCHIEF, TALVORA_ARCHIEF, "--zonder-venster", "--map", map.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* lines = ::fdopen(out[0], "r");
    std::string output;
    char buffer[512];
    bool signalled = false;
    while (std::fgets(buffer, sizeof buffer, lines)) {
        output += buffer;
        if (!signalled && std::string(buffer).find("bezig") != std::string::npos) {
            ::kill(child, GetParam().signal);
            signalled = true;
        }
    }
    std::fclose(lines);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(signalled) << output;
    EXPECT_EQ(2, WEXITSTATUS(status)) << output;
    EXPECT_NE(std::string::npos, output.find(": gestopt.")) << output;
    EXPECT_NE(std::string::npos, output.find("Gestopt.")) << output;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "uit"))
        if (entry.path().filename() != "talvora-archief.csv")
            left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.front();
}

INSTANTIATE_TEST_SUITE_P(Signals, Stopping,
                         testing::Values(SignalCase{"once_ctrl_c", true, SIGINT},
                                         SignalCase{"once_sigterm", true, SIGTERM},
                                         SignalCase{"watching_sigterm", false, SIGTERM}),
                         CaseName());

} // namespace
