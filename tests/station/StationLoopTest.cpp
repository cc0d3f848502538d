// The station's loop through CStation over scripted drives (folders the
// test adds and takes away): watching, stopping with and without letting
// copies finish, a drive that goes away in the middle of a copy, two
// drives with the same book, and the exit status each run ends with.
#include "station/Station.h"

#include "copy/CopyEngine.h"
#include "support/TableCases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <unistd.h>

using namespace station;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

void MakeBook(const std::string& folder, const std::string& options = "")
{
    const std::string command =
        "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py " + folder + " " + options + " >/dev/null";
    ASSERT_EQ(0, std::system(command.c_str()));
}

// Drives the test changes while the station watches them.
class CScriptedDrives final : public IDriveList
{
public:
    std::vector<Drive> Drives() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_drives;
    }
    void Eject(const Drive& drive) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ejected.push_back(drive.name);
    }
    void Set(std::vector<Drive> drives)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_drives = std::move(drives);
    }
    std::size_t Ejected()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return ejected.size();
    }

private:
    std::mutex m_mutex;
    std::vector<Drive> m_drives;
    std::vector<std::string> ejected;
};

// Every event, and a way to wait for one.
class CEventLog final : public IStationEvents
{
public:
    void DriveChanged(const Drive& drive, DriveState state) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        states.push_back({drive.name, state});
        m_changed.notify_all();
    }
    void BookDone(const LogRow& row) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        rows.push_back(row);
        m_changed.notify_all();
    }
    // Waits until `seen` holds of the events so far; false after a minute.
    bool WaitFor(const std::function<bool()>& seen)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 60s, seen);
    }
    bool Saw(const std::string& drive, DriveState state) const
    {
        for (const auto& [name, s] : states)
            if (name == drive && s == state)
                return true;
        return false;
    }
    std::multiset<std::string> Outcomes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::multiset<std::string> words;
        for (const LogRow& row : rows)
            words.insert(OutcomeWord(row.outcome));
        return words;
    }

    std::vector<std::pair<std::string, DriveState>> states;
    std::vector<LogRow> rows;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// An engine slow enough that a test acts in the middle of a copy.
bool CopyUnderway(const std::string& outputDir)
{
    for (const auto& entry : fs::directory_iterator(outputDir))
        if (entry.path().filename().string().starts_with(".talvora-"))
            return true;
    return false;
}

// What the test does once the first drive is busy with its book.
enum class Act
{
    Nothing,        // let it finish, then stop
    StopFinishing,  // Stop(false)
    StopCancelling, // Stop(true)
    TakeDiscAway,   // the drive and its files go away mid-copy
};

struct LoopCase
{
    const char* name;
    Act act;
    bool slow;
    std::set<std::string> outcome; // of the one row: any of these
    int exitStatus;
    bool gone;                     // the drive was reported gone
};
PRINT_CASE_AS(LoopCase, name)

class StationLoop : public testing::TestWithParam<LoopCase>
{};

TEST_P(StationLoop, EndsAsTheStaffDid)
{
    const LoopCase& c = GetParam();
    CTempDir dir;
    MakeBook(dir / "cd1", c.slow ? "--extra-mb 6" : "");
    StationSetup setup;
    setup.outputDir = dir / "uit/";
    fs::create_directories(setup.outputDir);
    // The disc is taken away before the copy reads on: its first read
    // waits for that (at most 10 s), so the copy never wins the race.
    auto taken = std::make_shared<std::atomic<bool>>(c.act != Act::TakeDiscAway);
    if (c.slow)
        // About 4 MB/s: the copy is still under way when the staff act,
        // also on a machine busy with other work.
        setup.makePace = [taken] {
            return [taken](std::size_t bytes) {
                for (int i = 0; i < 1000 && !taken->load(); ++i)
                    ::usleep(10000);
                ::usleep(static_cast<useconds_t>(20000 + bytes / 4));
            };
        };
    CScriptedDrives drives;
    drives.Set({{dir / "cd1/", "cd1"}});
    CEventLog events;
    CStation station(setup, drives, events, 10ms);
    station.Start();
    ASSERT_TRUE(events.WaitFor([&] { return events.Saw("cd1", DriveState::Busy); }));
    switch (c.act) {
    case Act::Nothing:
        ASSERT_TRUE(events.WaitFor([&] { return !events.rows.empty(); }));
        // The disc stays in: watching on, it is not done again.
        ::usleep(100000);
        station.Stop(false);
        break;
    case Act::StopFinishing:
        station.Stop(false);
        break;
    case Act::StopCancelling:
        station.Stop(true);
        break;
    case Act::TakeDiscAway:
        // Once the copy has its work folder: the book was read and listed.
        for (int i = 0; i < 6000 && !CopyUnderway(setup.outputDir); ++i)
            ::usleep(10000);
        fs::remove_all(dir / "cd1");
        taken->store(true);
        drives.Set({});
        ASSERT_TRUE(events.WaitFor([&] { return events.Saw("cd1", DriveState::Gone); }));
        station.Stop(false);
        break;
    }
    ASSERT_EQ(1u, events.rows.size());
    const std::string outcome = OutcomeWord(events.rows[0].outcome);
    EXPECT_TRUE(c.outcome.count(outcome)) << outcome << ": " << events.rows[0].message;
    EXPECT_EQ(c.exitStatus, station.ExitStatus());
    EXPECT_EQ(c.gone, events.Saw("cd1", DriveState::Gone));
    EXPECT_EQ(1u, drives.Ejected()) << "every disc handled is ejected, whatever became of it";
    // Nothing that is not whole under a book's name (an incomplete copy
    // says so in its name); no work folder left.
    std::set<std::string> left;
    // The manifest of an archived book lies beside its folder.
    for (const auto& entry : fs::directory_iterator(setup.outputDir))
        if (entry.path().filename() != kLogName && entry.path().extension() != ".sha256")
            left.insert(entry.path().filename().string());
    const bool folderLeft = outcome == "gekopieerd" || outcome == "onvolledig";
    ASSERT_EQ(folderLeft ? 1u : 0u, left.size()) << (left.empty() ? "" : *left.begin());
    if (folderLeft) {
        EXPECT_EQ(events.rows[0].folder, *left.begin());
        EXPECT_EQ(outcome == "onvolledig", left.begin()->ends_with(" (onvolledig)"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StationLoop,
    testing::Values(LoopCase{"watch_copies_once", Act::Nothing, false, {"gekopieerd"}, 0, false},
                    LoopCase{"stop_letting_the_copy_finish", Act::StopFinishing, true, {"gekopieerd"}, 0, false},
                    LoopCase{"stop_cancelling_the_copy", Act::StopCancelling, true, {"gestopt"}, 2, false},
                    // Which file the copy was at when the files went
                    // decides between the two.
                    LoopCase{"drive_goes_away_mid_copy", Act::TakeDiscAway, true, {"onvolledig", "mislukt"}, 1, true}),
    CaseName());

// Two drives with the same book: one copy, the other finds it there; the
// reservation keeps them from racing for one folder.
TEST(StationOnce, TwoDrivesWithTheSameBookMakeOneFolder)
{
    CTempDir dir;
    // The same bytes: the extra file is random, so the second disc is a
    // copy of the first, not a second pressing of the sample.
    MakeBook(dir / "cd1", "--extra-mb 2");
    fs::copy(dir / "cd1", dir / "cd2", fs::copy_options::recursive);
    StationSetup setup;
    setup.outputDir = dir / "uit/";
    fs::create_directories(setup.outputDir);
    CScriptedDrives drives;
    drives.Set({{dir / "cd1/", "cd1"}, {dir / "cd2/", "cd2"}});
    CEventLog events;
    CStation station(setup, drives, events);
    station.RunOnce();
    EXPECT_EQ((std::multiset<std::string>{"al aanwezig", "gekopieerd"}), events.Outcomes());
    EXPECT_EQ(0, station.ExitStatus());
    EXPECT_EQ(3u, std::distance(fs::directory_iterator(setup.outputDir), fs::directory_iterator()))
        << "the book's folder, its manifest and the log";
}

struct StatusCase
{
    const char* name;
    std::vector<Outcome> outcomes;
    bool cancelled;
    int status;
};
PRINT_CASE_AS(StatusCase, name)

class ExitStatuses : public testing::TestWithParam<StatusCase>
{};

TEST_P(ExitStatuses, AreTheWorstOutcomes)
{
    EXPECT_EQ(GetParam().status, ExitStatusOf(GetParam().outcomes, GetParam().cancelled));
}

INSTANTIATE_TEST_SUITE_P(
    Station, ExitStatuses,
    testing::Values(StatusCase{"nothing", {}, false, 0},
                    StatusCase{"copied_and_there", {Outcome::Copied, Outcome::AlreadyThere}, false, 0},
                    StatusCase{"only_refused", {Outcome::Refused, Outcome::Refused}, false, 3},
                    StatusCase{"refused_and_copied", {Outcome::Refused, Outcome::Copied}, false, 3},
                    StatusCase{"a_stopped_copy", {Outcome::Copied, Outcome::Stopped}, false, 2},
                    StatusCase{"cancelled_with_nothing_running", {Outcome::Copied}, true, 2},
                    StatusCase{"stopped_over_refused", {Outcome::Refused, Outcome::Stopped}, false, 2},
                    StatusCase{"failed_over_stopped", {Outcome::Failed, Outcome::Stopped}, true, 1},
                    StatusCase{"incomplete", {Outcome::Incomplete, Outcome::Copied}, false, 1}),
    CaseName());

} // namespace
