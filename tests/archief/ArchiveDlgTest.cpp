// The station's window with a scripted station: what each event shows and
// says, what Stoppen asks and how it stops, and a new output folder.
#include "archief/ArchiveDlg.h"
#include "support/ModalDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/TableCases.h"
#include "ui/DialogServices.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/dataview.h>
#include <wx/listbox.h>
#include <wx/textctrl.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using station::DriveState;
using station::Outcome;

class CScriptedStation final : public IStationRunner
{
public:
    void Start(const std::string& outputDir, station::IStationEvents& sink) override
    {
        started.push_back(outputDir);
        events = &sink;
    }
    void Stop(bool cancelRunning) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stops.push_back(cancelRunning);
        }
        // As the station's own: a copy let finish reports before Stop returns.
        if (finishesOnStop && !cancelRunning)
            events->BookDone(*finishesOnStop);
    }
    std::vector<bool> Stops()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stops;
    }

    std::vector<std::string> started;
    station::IStationEvents* events = nullptr;
    std::optional<station::LogRow> finishesOnStop;
    std::mutex mutex;
    std::vector<bool> stops;
};

const station::Drive kDrive1{"/media/cd1/", "/dev/sr0"};
const station::Drive kDrive2{"/media/cd2/", "/dev/sr1"};

station::LogRow Row(const station::Drive& drive, const std::string& title, Outcome outcome,
                    const std::string& message = {})
{
    station::LogRow row;
    row.time = "2024-05-01 14:03:12";
    row.drive = drive.name;
    row.title = title;
    row.outcome = outcome;
    row.message = message;
    return row;
}

void YieldUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        wxYield();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Runs the window until it ends; `step` runs once the station started.
struct WindowRun
{
    CScriptedDialogs dialogs;
    CScriptedStation station;
    std::vector<std::string> saidAtEnd;
    const std::vector<std::string>* said = nullptr;

    int Run(const std::function<void(CArchiveDlg&)>& step, const std::string& outputDir = "/srv/boeken/")
    {
        CArchiveDlg dlg(station, outputDir);
        dlg.SetSpeechPace(std::chrono::milliseconds(0));
        said = &dlg.Said();
        WhenModalRuns([&] {
            YieldUntil([&] { return !station.started.empty(); });
            step(dlg);
        });
        dlg.ShowModal();
        saidAtEnd = dlg.Said();
        return dlg.ExitStatus();
    }
};

std::vector<std::string> Items(wxListBox* list)
{
    std::vector<std::string> items;
    for (unsigned i = 0; i < list->GetCount(); ++i)
        items.push_back(list->GetString(i).utf8_string());
    return items;
}

std::vector<std::string> TableRow(wxDataViewListCtrl* table, int row)
{
    std::vector<std::string> cells;
    for (unsigned column = 0; column < table->GetColumnCount(); ++column)
        cells.push_back(table->GetTextValue(row, column).utf8_string());
    return cells;
}

TEST(ArchiveWindow, EventsFromWorkerThreadsShowInOrderAndEachBookIsAnnounced)
{
    WindowRun run;
    std::vector<std::string> drives, announced, chosen;
    bool tabStops = false;
    std::vector<std::vector<std::string>> rows;
    bool focusOnFolder = false;
    const int status = run.Run([&](CArchiveDlg& dlg) {
        focusOnFolder = wxWindow::FindFocus() == dlg.OutputLine();
        std::thread worker([&] {
            station::IStationEvents& events = *run.station.events;
            events.DriveChanged(kDrive1, DriveState::Waiting);
            events.DriveChanged(kDrive2, DriveState::Waiting);
            events.DriveChanged(kDrive1, DriveState::Busy);
            events.BookDone(Row(kDrive1, "Het raadsel", Outcome::Copied));
            events.DriveChanged(kDrive1, DriveState::Waiting);
            events.DriveChanged(kDrive2, DriveState::Busy);
            events.BookDone(Row(kDrive2, "", Outcome::Failed, "De CD kon niet\nworden gelezen."));
        });
        worker.join();
        YieldUntil([&] { return dlg.BookTable()->GetItemCount() == 2; });
        drives = Items(dlg.DriveList());
        for (int row = 0; row < dlg.BookTable()->GetItemCount(); ++row)
            rows.push_back(TableRow(dlg.BookTable(), row));
        announced.push_back(dlg.AnnouncementLine()->GetLabelText().utf8_string());
        // The line Tab reaches holds the last book, or the one chosen.
        chosen.push_back(dlg.ChosenBookLine()->GetValue().utf8_string());
        tabStops = dlg.ChosenBookLine()->IsFocusable() && dlg.ChosenBookLine()->IsEditable() == false;
        dlg.BookTable()->SelectRow(0);
        wxDataViewEvent picked(wxEVT_DATAVIEW_SELECTION_CHANGED, dlg.BookTable(), dlg.BookTable()->RowToItem(0));
        dlg.BookTable()->ProcessWindowEvent(picked);
        chosen.push_back(dlg.ChosenBookLine()->GetValue().utf8_string());
        dlg.ShowDrive(kDrive2, DriveState::Gone);
        announced.push_back(Items(dlg.DriveList()).at(0));
        EXPECT_EQ(1u, dlg.DriveList()->GetCount());
        dlg.ShowDrive(kDrive2, DriveState::Waiting);
        dlg.EndDialog(IDOK);
    });
    EXPECT_TRUE(focusOnFolder);
    EXPECT_EQ(std::vector<std::string>{"/srv/boeken/"}, run.station.started);
    EXPECT_EQ((std::vector<std::string>{"/dev/sr0: wacht op een schijf", "/dev/sr1: bezig met archiveren"}), drives);
    const std::vector<std::vector<std::string>> expectedRows = {
        {"/dev/sr0", "Het raadsel", "gekopieerd", "", "2024-05-01 14:03:12"},
        {"/dev/sr1", "(geen titel)", "mislukt", "De CD kon niet worden gelezen.", "2024-05-01 14:03:12"}};
    EXPECT_EQ(expectedRows, rows);
    EXPECT_EQ("(geen titel): mislukt. De CD kon niet worden gelezen.", announced.at(0));
    EXPECT_EQ("/dev/sr0: wacht op een schijf", announced.at(1));
    EXPECT_EQ((std::vector<std::string>{"(geen titel): mislukt. De CD kon niet worden gelezen.",
                                        "Het raadsel: gekopieerd."}),
              chosen);
    EXPECT_TRUE(tabStops) << "a read-only line that Tab reaches";
    EXPECT_EQ(1, status) << "the worst outcome, as talvora's exit status";
}

TEST(ArchiveWindow, AnEventPostedAsTheWindowGoesIsDropped)
{
    CScriptedStation station;
    {
        CArchiveDlg dlg(station, "/srv/boeken/");
        dlg.Events().BookDone(Row(kDrive1, "Laat", Outcome::Copied));
    }
    wxTheApp->ProcessPendingEvents();
    EXPECT_TRUE(station.Stops().empty()) << "a station never started is not stopped";
}

const std::string kStopped = "Het archiefstation is gestopt.";
const std::string kFinishing = "Bezig met stoppen: de lopende kopie\xC3\xABn worden afgemaakt...";
const std::string kCancelling = "Bezig met stoppen: de lopende kopie\xC3\xABn worden afgebroken...";

enum class Press { Button, Escape, CloseBox };

struct StopCase
{
    const char* name;
    Press press;
    bool busy;
    std::size_t answer;          // to the question, when asked
    bool asked;
    std::vector<bool> stops;     // cancelRunning of each Stop
    bool endsAtOnce;
    int status;
    std::vector<std::string> said;  // from the press on, the book that finishes during the stop included
};
PRINT_CASE_AS(StopCase, name)

const StopCase kStopCases[] = {
    {"idle_stops_without_a_question", Press::Button, false, 0, false, {false}, true, 0, {kStopped}},
    {"busy_finish_lets_copies_finish", Press::Button, true, 0, true, {false}, true, 0,
     {kFinishing, "Het raadsel: gekopieerd.", kStopped}},
    {"busy_cancel_cancels_them", Press::Button, true, 1, true, {true}, true, 2, {kCancelling, kStopped}},
    {"busy_keep_going_stops_nothing", Press::Button, true, 2, true, {false}, false, 0, {kStopped}},
    {"busy_escape_asks_too", Press::Escape, true, 1, true, {true}, true, 2, {kCancelling, kStopped}},
    {"busy_close_box_asks_too", Press::CloseBox, true, 2, true, {false}, false, 0, {kStopped}},
};

class ArchiveWindowStop : public testing::TestWithParam<StopCase>
{
};

TEST_P(ArchiveWindowStop, Stoppen)
{
    const StopCase& c = GetParam();
    WindowRun run;
    run.dialogs.AnswerQuestion(c.answer);
    if (c.busy && c.answer == 0)
        run.station.finishesOnStop = Row(kDrive1, "Het raadsel", Outcome::Copied);
    std::size_t saidBefore = 0;
    bool endingAfterFirst = false;
    bool pressReturnedFirst = false;
    const int status = run.Run([&](CArchiveDlg& dlg) {
        dlg.ShowDrive(kDrive1, c.busy ? DriveState::Busy : DriveState::Waiting);
        saidBefore = dlg.Said().size();
        if (c.press == Press::Button) {
            wxCommandEvent click(wxEVT_BUTTON, IDCANCEL);
            dlg.StopButton()->GetEventHandler()->ProcessEvent(click);
        } else if (c.press == Press::Escape) {
            wxKeyEvent escape(wxEVT_CHAR_HOOK);
            escape.m_keyCode = WXK_ESCAPE;
            dlg.ProcessWindowEvent(escape);
        } else {
            wxCloseEvent close(wxEVT_CLOSE_WINDOW, dlg.GetId());
            close.SetCanVeto(true);
            close.SetEventObject(&dlg);
            dlg.ProcessWindowEvent(close);
        }
        // The question comes once the press has returned, never inside it.
        pressReturnedFirst = run.dialogs.shown.empty() && dlg.IsAsking();
        YieldUntil([&] { return !dlg.IsAsking(); });
        endingAfterFirst = dlg.IsStopping();
        if (!endingAfterFirst) {
            // The copy ends; Stoppen then stops without asking.
            dlg.ShowDrive(kDrive1, DriveState::Waiting);
            dlg.OnCancel();
        }
    });
    EXPECT_TRUE(pressReturnedFirst);
    EXPECT_EQ(c.endsAtOnce, endingAfterFirst);
    EXPECT_EQ(c.stops, run.station.Stops());
    EXPECT_EQ(c.status, status);
    // The book finished while stopping is heard, and then that the station
    // stopped, before the window ends.
    EXPECT_EQ(c.said, std::vector<std::string>(run.saidAtEnd.begin() + saidBefore, run.saidAtEnd.end()));
    ASSERT_EQ(c.asked ? 1u : 0u, run.dialogs.shown.size());
    if (c.asked) {
        // Ask gives them their access keys; a "&" of ours would show.
        EXPECT_EQ((std::vector<std::string>{"Afmaken", "Afbreken", "Niet stoppen"}), run.dialogs.shown[0].buttons);
        std::vector<wxString> plain;
        for (const std::string& label : run.dialogs.shown[0].buttons)
            plain.push_back(wxString::FromUTF8(label));
        EXPECT_EQ((std::vector<wxString>{"_Afmaken", "A_fbreken", "_Niet stoppen"}), WithAccessKeys(plain));
        EXPECT_EQ(MB_ICONQUESTION, run.dialogs.shown[0].type);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ArchiveWindowStop, testing::ValuesIn(kStopCases), CaseName());

TEST(ArchiveWindow, ANewOutputFolderRestartsTheStationThere)
{
    WindowRun run;
    run.dialogs.AnswerPicker({true, true, "/srv/nieuw"});
    std::string shown;
    run.Run([&](CArchiveDlg& dlg) {
        dlg.OnChangeFolder();
        YieldUntil([&] { return run.station.started.size() == 2; });
        shown = dlg.OutputLine()->GetValue().utf8_string();
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ((std::vector<std::string>{"/srv/boeken/", "/srv/nieuw/"}), run.station.started);
    EXPECT_EQ("/srv/nieuw/", shown);
    EXPECT_EQ(std::vector<std::string>{"Kies de map waarin de boeken komen"}, run.dialogs.pickerTitles);
    EXPECT_EQ((std::vector<bool>{false, true}), run.station.Stops())
        << "copies running at the change finish; a window that ends without Stoppen cancels";
}

} // namespace
