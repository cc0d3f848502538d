#include "archief/ArchiveDlg.h"

#include "archief/ArchiveTexts.h"
#include "ui/Accessibility.h"
#include "ui/DialogServices.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dataview.h>
#include <wx/display.h>
#include <wx/filefn.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

wxString U(const std::string& utf8)
{
    return wxString::FromUTF8(utf8);
}

// A screen reader's usual rate, about fifteen characters a second.
constexpr std::chrono::milliseconds kSpeechPace{70};
// Longer texts are cut off rather than holding the window much longer.
constexpr std::chrono::milliseconds kLongestSaying{8000};

} // namespace

using namespace archief::text;

// Touched on the window's thread only: a posted event finds the window
// gone instead of a dangling pointer.
struct CArchiveDlg::Sink
{
    CArchiveDlg* window = nullptr;
};

class CArchiveDlg::CEvents final : public station::IStationEvents
{
public:
    explicit CEvents(std::shared_ptr<Sink> sink) : m_sink(std::move(sink)) {}

    void DriveChanged(const station::Drive& drive, station::DriveState state) override
    {
        wxTheApp->CallAfter([sink = m_sink, drive, state] {
            if (sink->window != nullptr)
                sink->window->ShowDrive(drive, state);
        });
    }
    void BookDone(const station::LogRow& row) override
    {
        wxTheApp->CallAfter([sink = m_sink, row] {
            if (sink->window != nullptr)
                sink->window->ShowBook(row);
        });
    }

private:
    const std::shared_ptr<Sink> m_sink;
};

CArchiveDlg::CArchiveDlg(IStationRunner& runner, const std::string& outputDir)
    : CDialog(nullptr, wxID_ANY, kTitle, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER | wxMINIMIZE_BOX),
      m_runner(runner), m_outputDir(outputDir), m_sink(std::make_shared<Sink>()),
      m_events(std::make_unique<CEvents>(m_sink))
{
    m_sink->window = this;
    m_speechPace = kSpeechPace;
    m_pause.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        if (auto then = std::exchange(m_afterPause, nullptr))
            then();
    });

    auto* outputLabel = new wxStaticText(this, wxID_ANY, kOutputLabel);
    m_outputLine = AtLeast(new wxTextCtrl(this, wxID_ANY, U(outputDir), wxDefaultPosition, wxDefaultSize,
                                          wxTE_READONLY),
                           220, 12);
    m_change = AtLeast(new wxButton(this, wxID_ANY, kChangeButton), 60, 14);
    // The picker runs its own loop: started inside the press, a press
    // through the accessibility action would wait on it (see OnCancel).
    m_change->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { CallAfter([this] { OnChangeFolder(); }); });

    auto* drivesLabel = new CCaption(this, kDrivesLabel);
    m_drives = AtLeast(new wxListBox(this, wxID_ANY), 330, 36);
    drivesLabel->SetLabelFor(m_drives);

    auto* booksLabel = new CCaption(this, kBooksLabel);
    m_books = new wxDataViewListCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                     wxDV_SINGLE | wxDV_ROW_LINES | wxDV_VERT_RULES);
    // A column is as wide as the longest text it must hold at the table's
    // font, so that large text is not cut off; titles and reasons have no
    // longest text and get room in dialog units.
    int columnsWidth = 0;
    const auto column = [this, &columnsWidth](const wxString& header, std::vector<wxString> texts, int dluWidth) {
        texts.push_back(header);
        int width = Dlu(dluWidth, 0).x;
        for (const wxString& text : texts)
            width = std::max(width, m_books->GetTextExtent(text).x + Dlu(12, 0).x);
        m_books->AppendTextColumn(header, wxDATAVIEW_CELL_INERT, width);
        columnsWidth += width;
    };
    std::vector<wxString> outcomes;
    for (const auto outcome : {station::Outcome::Copied, station::Outcome::AlreadyThere, station::Outcome::Incomplete,
                               station::Outcome::Refused, station::Outcome::Failed, station::Outcome::Stopped})
        outcomes.push_back(U(station::OutcomeWord(outcome)));
    column(kDriveColumn, {U(kWidestDrive)}, 40);
    column(kTitleColumn, {}, 140);
    column(kOutcomeColumn, outcomes, 30);
    // Why a book is not whole stays in its row, and on the line below.
    column(kReasonColumn, {}, 140);
    column(kTimeColumn, {U(kWidestTime)}, 40);
    // Every column in view where the screen is wide enough for them; at
    // large text the table scrolls sideways instead of the window running
    // off the screen.
    wxSize tableSize = Dlu(330, 110);
    tableSize.IncTo(wxSize(columnsWidth + Dlu(8, 0).x, 0));
    tableSize.x = std::min(tableSize.x, wxDisplay().GetClientArea().width - Dlu(40, 0).x);
    m_books->SetMinSize(tableSize);
    booksLabel->SetLabelFor(m_books);
    m_books->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED, [this](wxDataViewEvent&) { ShowChosenBook(); });

    // The table's cells are not reached with Tab, and a long reason does
    // not fit its column: the chosen book's outcome, whole, on a line that
    // Tab reaches.
    auto* chosenLabel = new CCaption(this, kChosenLabel);
    m_chosen = AtLeast(new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxTE_READONLY),
                       330, 12);
    chosenLabel->SetLabelFor(m_chosen);
    ReadWholeText(m_chosen);

    auto* lastLabel = new CCaption(this, kLastLabel);
    m_announcement = new wxStaticText(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                                      wxST_NO_AUTORESIZE);
    MakeAnnouncer(m_announcement);
    m_announcement->SetLabelText(U(m_outputDir.empty() ? std::string(kNoFolder) : Archiving(m_outputDir)));
    m_lastSaid = m_announcement->GetLabelText();

    m_stop = AtLeast(new wxButton(this, IDCANCEL, kStopButton), 50, 14);

    auto* output = new wxBoxSizer(wxHORIZONTAL);
    output->Add(m_outputLine, wxSizerFlags(1).CenterVertical());
    output->AddSpacer(Gap());
    output->Add(m_change, wxSizerFlags().CenterVertical());

    auto* content = new wxBoxSizer(wxVERTICAL);
    content->Add(outputLabel);
    content->AddSpacer(Dlu(0, 2).y);
    content->Add(output, wxSizerFlags().Expand());
    content->AddSpacer(GroupGap());
    content->Add(drivesLabel);
    content->AddSpacer(Dlu(0, 2).y);
    content->Add(m_drives, wxSizerFlags().Expand());
    content->AddSpacer(GroupGap());
    content->Add(booksLabel);
    content->AddSpacer(Dlu(0, 2).y);
    content->Add(m_books, wxSizerFlags(1).Expand());
    content->AddSpacer(Gap());
    content->Add(chosenLabel);
    content->AddSpacer(Dlu(0, 2).y);
    content->Add(m_chosen, wxSizerFlags().Expand());
    content->AddSpacer(GroupGap());
    content->Add(lastLabel);
    content->AddSpacer(Dlu(0, 2).y);
    content->Add(m_announcement, wxSizerFlags().Expand());
    content->AddSpacer(GroupGap());
    content->Add(m_stop, wxSizerFlags().Right());
    SetContent(content);
    m_outputLine->SetFocus();
}

CArchiveDlg::~CArchiveDlg()
{
    m_sink->window = nullptr;
    if (m_stopper.joinable())
        m_stopper.join();
    else if (m_running)
        m_runner.Stop(true);
}

station::IStationEvents& CArchiveDlg::Events()
{
    return *m_events;
}

int CArchiveDlg::ExitStatus() const
{
    return station::ExitStatusOf(m_outcomes, m_cancelled);
}

void CArchiveDlg::OnShownOnScreen()
{
    StartStation();
}

void CArchiveDlg::StartStation()
{
    if (m_running || m_outputDir.empty() || IsEnding())
        return;
    m_runner.Start(m_outputDir, *m_events);
    m_running = true;
    SetStatus(U(Archiving(m_outputDir)));
}

void CArchiveDlg::StopThen(bool cancelRunning)
{
    m_stopping = true;
    m_stopper = std::thread([sink = m_sink, &runner = m_runner, cancelRunning] {
        runner.Stop(cancelRunning);
        wxTheApp->CallAfter([sink] {
            if (sink->window != nullptr)
                sink->window->Stopped();
        });
    });
}

void CArchiveDlg::Stopped()
{
    m_stopper.join();
    m_running = false;
    if (!m_endWhenStopped) {
        m_stopping = false;
        StartStation();
        return;
    }
    // The window stays, still stopping, until what was said last (the
    // last book, as a rule) and then that the station stopped have been
    // spoken: a window that closes takes its words with it, and a new
    // text on the line before the screen reader read the old one replaces
    // it unheard.
    AfterSaying([this] {
        Say(U(kStationStopped));
        AfterSaying([this] { EndDialog(IDOK); });
    });
}

std::chrono::milliseconds CArchiveDlg::SayingTime(const wxString& text) const
{
    return std::min(kLongestSaying, m_speechPace * static_cast<long>(text.length() + 6));
}

void CArchiveDlg::Say(const wxString& text)
{
    Announce(m_announcement, text);
    m_said.push_back(text.utf8_string());
    m_lastSaid = text;
    m_lastSaidAt = std::chrono::steady_clock::now();
}

void CArchiveDlg::AfterSaying(std::function<void()> then)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_lastSaidAt + SayingTime(m_lastSaid) - std::chrono::steady_clock::now());
    m_afterPause = std::move(then);
    m_pause.StartOnce(static_cast<int>(std::max<long>(left.count(), 1)));
}

std::size_t CArchiveDlg::BusyDrives() const
{
    return std::count_if(m_driveStates.begin(), m_driveStates.end(),
                         [](const auto& drive) { return drive.second == station::DriveState::Busy; });
}

void CArchiveDlg::SetStatus(const wxString& text)
{
    Say(text);
}

void CArchiveDlg::OnChangeFolder()
{
    if (m_stopping || IsEnding())
        return;
    const wxString start = !m_outputDir.empty() && wxDirExists(U(m_outputDir)) ? U(m_outputDir) : wxGetHomeDir();
    const FolderChoice choice = DialogServices().PickFolder(this, U(kPickTitle), start);
    if (!choice.chosen)
        return;
    std::string folder = choice.path.utf8_string();
    if (!choice.hasPath || folder.empty() || folder.front() != '/') {
        AfxMessageBox(U(kNotAFolder), MB_OK | MB_ICONHAND);
        return;
    }
    if (folder.back() != '/')
        folder += '/';
    if (folder == m_outputDir)
        return;
    m_outputDir = folder;
    m_outputLine->ChangeValue(U(folder));
    if (!m_running) {
        StartStation();
        return;
    }
    // A copy in progress finishes where it began; the station then starts
    // again on the new folder.
    if (BusyDrives() > 0)
        SetStatus(U(kLater));
    StopThen(false);
}

void CArchiveDlg::OnCancel()
{
    if (IsEnding())
        return;
    if (m_stopping) {
        // The station is being stopped for a new folder, letting copies
        // finish: end then instead of starting it again.
        if (!m_endWhenStopped)
            SetStatus(U(kFinishing));
        m_endWhenStopped = true;
        return;
    }
    if (!m_running) {
        EndDialog(IDOK);
        return;
    }
    // The question runs its own loop. Asked inside the handler, it would
    // run inside whatever called it: a screen reader's press of the button
    // (an accessibility action) then waits on the question's end, and the
    // question and the whole window stay mute to it. Asked once the press
    // has returned, it is the same question however Stoppen was reached.
    if (m_asking)
        return;
    m_asking = true;
    CallAfter([this] {
        AskAndStop();
        m_asking = false;
    });
}

void CArchiveDlg::AskAndStop()
{
    if (IsEnding() || m_stopping || !m_running)
        return;
    bool cancelRunning = false;
    const bool busy = BusyDrives() > 0;
    if (busy) {
        const std::size_t answer = DialogServices().Ask(
            this, U(kQuestion), {U(kFinishButton), U(kCancelButton), U(kKeepButton)}, MB_ICONQUESTION);
        if (answer == 2)
            return;
        cancelRunning = answer == 1;
    }
    m_cancelled = cancelRunning;
    // With no copy running the window is gone before anything is read.
    if (busy)
        SetStatus(U(cancelRunning ? kCancelling : kFinishing));
    m_endWhenStopped = true;
    StopThen(cancelRunning);
}

void CArchiveDlg::ShowDrive(const station::Drive& drive, station::DriveState state)
{
    const auto at = std::find(m_driveRoots.begin(), m_driveRoots.end(), drive.root);
    const int index = static_cast<int>(at - m_driveRoots.begin());
    if (state == station::DriveState::Gone) {
        if (at != m_driveRoots.end()) {
            m_drives->Delete(index);
            m_driveRoots.erase(at);
        }
        m_driveStates.erase(drive.root);
        return;
    }
    m_driveStates[drive.root] = state;
    if (at == m_driveRoots.end()) {
        m_drives->Append(U(DriveText(drive, state)));
        m_driveRoots.push_back(drive.root);
    } else if (m_drives->GetString(index) != U(DriveText(drive, state))) {
        m_drives->SetString(index, U(DriveText(drive, state)));
    }
}

void CArchiveDlg::ShowBook(const station::LogRow& row)
{
    m_outcomes.push_back(row.outcome);
    m_bookTexts.push_back(BookAnnouncement(row));
    wxVector<wxVariant> cells;
    cells.push_back(wxVariant(U(row.drive)));
    cells.push_back(wxVariant(U(BookTitle(row))));
    cells.push_back(wxVariant(U(station::OutcomeWord(row.outcome))));
    cells.push_back(wxVariant(U(BookReason(row))));
    cells.push_back(wxVariant(U(row.time)));
    m_books->AppendItem(cells);
    m_books->EnsureVisible(m_books->RowToItem(m_books->GetItemCount() - 1));
    ShowChosenBook();
    Say(U(BookAnnouncement(row)));
}

void CArchiveDlg::ShowChosenBook()
{
    // With no row chosen, the line follows the last book.
    const int row = m_books->GetSelectedRow();
    const std::size_t index = row != wxNOT_FOUND ? static_cast<std::size_t>(row) : m_bookTexts.size() - 1;
    if (index < m_bookTexts.size())
        m_chosen->ChangeValue(U(m_bookTexts[index]));
}
