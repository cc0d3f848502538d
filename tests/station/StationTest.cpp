// The station: its log's rows, and batches through simulated drives (the
// sample book in folders): a good book, an incomplete one, a refused one, a
// duplicate, and a run killed halfway and started again.
#include "station/Station.h"

#include "copy/CopyEngine.h"
#include "station/Bag.h"
#include "support/TableCases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace station;
namespace fs = std::filesystem;

namespace {

struct FieldCase
{
    const char* name;
    std::string text;
    std::string field;
};
PRINT_CASE_AS(FieldCase, name)

class CsvFields : public testing::TestWithParam<FieldCase>
{};

TEST_P(CsvFields, AreQuotedOnlyWhereRfc4180AsksIt)
{
    EXPECT_EQ(GetParam().field, CsvField(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Log, CsvFields,
                         testing::Values(FieldCase{"plain", "Zo\xC3\xAB", "Zo\xC3\xAB"},
                                         FieldCase{"comma", "Tol, Jan", "\"Tol, Jan\""},
                                         FieldCase{"quote", "Het \"boek\"", "\"Het \"\"boek\"\"\""},
                                         FieldCase{"line_break", "a\nb", "\"a\nb\""},
                                         FieldCase{"empty", "", ""}),
                         CaseName());

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

TEST(Log, StartsWithMarkAndHeaderOnceAndCutsAHalfRowLeftByAPowerLoss)
{
    CTempDir dir;
    const std::string path = dir / kLogName;
    LogRow row;
    row.title = "Het boek";
    row.message = "eerste regel\ntweede regel";
    ASSERT_EQ(0, AppendRow(path, row));
    {
        std::ofstream(path, std::ios::app | std::ios::binary) << "2024-01-01,/cd,half";
    }
    ASSERT_EQ(0, AppendRow(path, row));
    const std::string text = ReadAll(path);
    EXPECT_EQ(0u, text.rfind("\xEF\xBB\xBF" + CsvHeader(), 0));
    EXPECT_EQ(3u, Lines(text).size());
    EXPECT_EQ(text.size(), text.rfind("\r\n") + 2);
    EXPECT_EQ(std::string::npos, text.find("half"));
    EXPECT_NE(std::string::npos, text.find("eerste regel tweede regel"));
}

void MakeBook(const std::string& folder, const std::string& options = "")
{
    const std::string command =
        "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py " + folder + " " + options + " >/dev/null";
    ASSERT_EQ(0, std::system(command.c_str()));
}

class CFolderDrives final : public IDriveList
{
public:
    std::vector<Drive> drives;
    std::vector<std::string> ejected;
    std::mutex mutex;
    std::vector<Drive> Drives() override { return drives; }
    void Eject(const Drive& drive) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ejected.push_back(drive.name);
    }
};

class CRows final : public IStationEvents
{
public:
    std::mutex mutex;
    std::vector<LogRow> rows;
    void DriveChanged(const Drive&, DriveState) override {}
    void BookDone(const LogRow& row) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        rows.push_back(row);
    }
};

StationSetup OutputSetup(const CTempDir& dir)
{
    StationSetup setup;
    setup.outputDir = dir / "uit/";
    fs::create_directories(setup.outputDir);
    return setup;
}

std::multiset<std::string> Outcomes(const std::vector<LogRow>& rows)
{
    std::multiset<std::string> words;
    for (const LogRow& row : rows)
        words.insert(OutcomeWord(row.outcome));
    return words;
}

TEST(Batch, GoodIncompleteRefusedAndDuplicateEachGetTheirRowAndAreEjected)
{
    CTempDir dir;
    MakeBook(dir / "cd1");
    MakeBook(dir / "cd2", "--id other-2 --title Onvolledig --creator Tol");
    // A file the engine refuses to read, as a damaged sector would be.
    ASSERT_EQ(0, ::mkfifo((dir / "cd2/kapot.mp3").c_str(), 0644));
    dir.Write("cd3/ncc.html", "<html><body>geen boek</body>");
    MakeBook(dir / "cd4");
    CFolderDrives drives;
    for (const char* name : {"cd1", "cd2", "cd3", "cd4"})
        drives.drives.push_back({dir / (std::string(name) + "/"), name});
    CRows events;
    CStation station(OutputSetup(dir), drives, events);
    station.RunOnce();

    EXPECT_EQ((std::multiset<std::string>{"al aanwezig", "geweigerd", "gekopieerd", "onvolledig"}),
              Outcomes(events.rows));
    EXPECT_EQ(4u, drives.ejected.size());
    EXPECT_EQ(1, station.ExitStatus());
    const std::vector<std::string> lines = Lines(ReadAll(dir / "uit/talvora-archief.csv"));
    EXPECT_EQ(5u, lines.size());
    for (const LogRow& row : events.rows) {
        if (row.outcome == Outcome::Incomplete) {
            EXPECT_EQ("other-2 - Onvolledig - Tol (onvolledig)", row.folder);
            EXPECT_TRUE(fs::is_directory(dir / ("uit/" + row.folder)));
        }
    }
}

TEST(Batch, AKilledRunLeavesNoHalfBookAndTheRestartCopiesIt)
{
    CTempDir dir;
    MakeBook(dir / "cd1", "--extra-mb 4");
    const StationSetup setup = OutputSetup(dir);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Slow enough to be killed in the middle of the book.
        struct CSlow final : copyops::CCopyEngine
        {
            int ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got) override
            {
                ::usleep(20000);
                return CCopyEngine::ReadChunk(in, buffer, max, got);
            }
        };
        StationSetup slow = setup;
        slow.makeEngine = [] { return std::make_unique<CSlow>(); };
        CNameReservations names;
        std::atomic<bool> cancel{false};
        ArchiveDisc(dir / "cd1/", "cd1", slow, names, cancel, nullptr);
        ::_exit(0);
    }
    bool working = false;
    for (int i = 0; i < 500 && !working; ++i, ::usleep(10000))
        for (const auto& entry : fs::directory_iterator(setup.outputDir))
            working = working || entry.path().filename().string().rfind(".talvora-", 0) == 0;
    ::usleep(100000);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(working);

    CFolderDrives drives;
    drives.drives.push_back({dir / "cd1/", "cd1"});
    CRows events;
    CStation station(setup, drives, events);
    station.RunOnce();
    ASSERT_EQ(1u, events.rows.size());
    EXPECT_EQ(Outcome::Copied, events.rows[0].outcome) << events.rows[0].message;
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(setup.outputDir))
        left.insert(entry.path().filename().string());
    EXPECT_EQ((std::set<std::string>{events.rows[0].folder, kLogName}), left);
}

// A validator of the bag as RFC 8493 has it: what it finds wrong, "" when
// nothing is.
std::string ValidateBag(const fs::path& bag)
{
    if (ReadAll(bag / "bagit.txt") != "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n")
        return "bagit.txt";
    std::map<std::string, std::string> listed;
    std::istringstream manifest(ReadAll(bag / "manifest-sha256.txt"));
    for (std::string line; std::getline(manifest, line);)
        listed[line.substr(66)] = line.substr(0, 64);
    std::uint64_t bytes = 0, files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(bag / "data")) {
        if (!entry.is_regular_file())
            continue;
        const std::string rel = fs::relative(entry.path(), bag).string();
        if (listed[rel] != Sha256Hex(ReadAll(entry.path())))
            return "manifest: " + rel;
        bytes += entry.file_size();
        ++files;
    }
    if (listed.size() != files)
        return "manifest lists files that are not there";
    const std::string info = ReadAll(bag / "bag-info.txt");
    if (info.find("Payload-Oxum: " + std::to_string(bytes) + "." + std::to_string(files) + "\n") == std::string::npos)
        return "Payload-Oxum";
    std::istringstream tags(ReadAll(bag / "tagmanifest-sha256.txt"));
    for (std::string line; std::getline(tags, line);)
        if (Sha256Hex(ReadAll(bag / line.substr(66))) != line.substr(0, 64))
            return "tagmanifest: " + line.substr(66);
    return {};
}

TEST(Bag, IsWholeByAValidatorAndTheSameDiscAgainIsAlreadyThere)
{
    CTempDir dir;
    MakeBook(dir / "cd1", "--extra-mb 1");
    StationSetup setup = OutputSetup(dir);
    setup.bagit = true;
    CNameReservations names;
    std::atomic<bool> cancel{false};
    const std::vector<LogRow> first = ArchiveDisc(dir / "cd1/", "cd1", setup, names, cancel, nullptr);
    ASSERT_EQ(1u, first.size());
    ASSERT_EQ(Outcome::Copied, first[0].outcome) << first[0].message;
    const fs::path bag = fs::path(setup.outputDir) / first[0].folder;
    EXPECT_EQ("", ValidateBag(bag));
    EXPECT_NE(std::string::npos, ReadAll(bag / "bag-info.txt").find("External-Identifier: " + first[0].identifier));

    const std::vector<LogRow> again = ArchiveDisc(dir / "cd1/", "cd1", setup, names, cancel, nullptr);
    EXPECT_EQ(Outcome::AlreadyThere, again.at(0).outcome);
    EXPECT_EQ(first[0].folder, again.at(0).folder);
}

// A drive that claims a file system for the read-back.
class CClaimedDrive final : public copyops::CCopyEngine
{
public:
    explicit CClaimedDrive(copyops::DriveFileSystem kind) : m_kind(kind) {}

protected:
    copyops::DriveFileSystem FileSystemOf(int, std::string& mountType) override
    {
        mountType = m_kind == copyops::DriveFileSystem::Fuse ? "fuseblk" : "ext4";
        return m_kind;
    }

private:
    copyops::DriveFileSystem m_kind;
};

struct ReadBackLogCase
{
    const char* name;
    copyops::DriveFileSystem kind;
    std::string message;
};
PRINT_CASE_AS(ReadBackLogCase, name)

class ReadBackLog : public testing::TestWithParam<ReadBackLogCase>
{};

TEST_P(ReadBackLog, SaysWhereTheCopyCouldNotBeReadBackFromTheDrive)
{
    CTempDir dir;
    MakeBook(dir / "cd1");
    StationSetup setup = OutputSetup(dir);
    setup.settings.VerifyCopy = 1;
    const copyops::DriveFileSystem kind = GetParam().kind;
    setup.makeEngine = [kind] { return std::make_unique<CClaimedDrive>(kind); };
    CNameReservations names;
    std::atomic<bool> cancel{false};
    const std::vector<LogRow> rows = ArchiveDisc(dir / "cd1/", "cd1", setup, names, cancel, nullptr);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(Outcome::Copied, rows[0].outcome);
    EXPECT_EQ(rows[0].message.rfind(GetParam().message, 0), 0u) << rows[0].message;
    EXPECT_EQ(rows[0].message.empty(), GetParam().message.empty()) << rows[0].message;
}

INSTANTIATE_TEST_SUITE_P(
    Station, ReadBackLog,
    testing::Values(ReadBackLogCase{"KernelDrive", copyops::DriveFileSystem::Kernel, ""},
                    ReadBackLogCase{"FuseDrive", copyops::DriveFileSystem::Fuse,
                                    "De kopie kon niet van de stick zelf worden teruggelezen."}),
    CaseName());

} // namespace
