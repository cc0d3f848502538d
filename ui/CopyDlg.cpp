#include "ui/CopyDlg.h"

#include "book/DiscBooks.h"
#include "copy/DiscPlan.h"
#include "settings/Settings.h"
#include "ui/Accessibility.h"
#include "ui/CopyServices.h"
#include "ui/DialogServices.h"
#include "ui/Ids.h"
#include "ui/SunkenLine.h"
#include "ui/WindowTexts.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/app.h>
#include <wx/weakref.h>

#include <algorithm>

namespace {

wxString U(const char* utf8)
{
    return wxString::FromUTF8(utf8);
}

// The design's own texts, as the window shows them.
const char* const kSearching = "Bezig met zoeken naar Daisy-CD...";
const char* const kNoDisc = "Geen Daisy-CD gevonden. Plaats een CD en klik op OK.";
const char* const kUnreadableNcc =
    "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.";
const char* const kNoName = "Kan de naam voor de nieuwe map niet bepalen.";
const char* const kCopied = "Daisy-CD is gekopieerd.";

// How long the window waits for a quick check before it is ready anyway.
constexpr int kCheckAwaitedMs = 500;

// A caption with its sunken line below it.
CSunkenLine* AddLine(wxWindow* parent, wxSizer* sizer, int id, const wxString& text,
                     long ellipsize = wxST_ELLIPSIZE_MIDDLE)
{
    auto* caption = new CCaption(parent, text);
    sizer->Add(caption);
    auto* line = new CSunkenLine(parent, id, parent->ConvertDialogToPixels(wxSize(219, 10)).x, ellipsize);
    caption->SetLabelFor(line->Text());
    sizer->Add(line, wxSizerFlags().Expand().Border(wxTOP, parent->ConvertDialogToPixels(wxSize(0, 2)).y));
    return line;
}

} // namespace

CCopyDlg::CCopyDlg(wxWindow* parent) : CDialog(parent, wxID_ANY, kProgramName, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_titleLine = AddLine(this, column, ui::ids::kTitleLine, "Titel van Daisy-boek:");
    column->AddSpacer(GroupGap());
    m_destLine = AddLine(this, column, ui::ids::kDestLine, U("Map waar Daisy-boek naar toe zal worden gekopiëerd:"));
    column->AddSpacer(GroupGap());
    // The findings are shown whole: a missing chapter's name must not hide
    // behind an ellipsis.
    m_checkLine = AddLine(this, column, ui::ids::kCheckLine, U("Controle van de CD:"), 0);
    column->AddSpacer(GroupGap());
    m_btnStart = AtLeast(new wxButton(this, ui::ids::kStartCopy, U("&Start kopiëren")), 105, 15);
    m_btnStart->SetDefault();
    column->Add(m_btnStart, wxSizerFlags().CentreHorizontal());

    SetContent(column);
    CentreOnScreen();

    Bind(wxEVT_INIT_DIALOG, &CCopyDlg::OnInitDialog, this);
    m_readyTimer.SetOwner(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnReady(); });
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnStartCopy(); }, ui::ids::kStartCopy);
}

CCopyDlg::~CCopyDlg()
{
    // A check still running stops reading: on a slow disc it could take a
    // minute, and the program would linger that long after its window
    // closed. Its answer then finds no window.
    *m_alive = false;
    m_stopChecking = true;
    if (m_checker.joinable())
        m_checker.join();
}

bool CCopyDlg::TransferDataToWindow()
{
    m_titleLine->SetText(m_strTitleText);
    m_destLine->SetText(m_strDestText);
    if (m_checkLine->GetText() != m_strCheckText) {
        m_checkLine->SetText(m_strCheckText);
        // The window grows to show the findings whole.
        if (GetSizer() != nullptr) {
            GetSizer()->Layout();
            Fit();
        }
    }
    // A screen reader user on the start button hears what it will copy,
    // where to, and whether the book is whole, without leaving it. Which
    // book of a disc is on its way is said once: the first here, where the
    // focus is when the copy starts (a window opening right after the key
    // press may be taken for its echo), each later one by its progress
    // window as it opens.
    if (m_bBusy && m_listedBooks != 0) {
        if (m_headingOnButton)
            SetAccessibleDescription(m_btnStart, m_strTitleText);
    } else {
        wxString description =
            ui::text::StartDescription(m_strTitleText, m_strDestText, m_listedBooks != 0 ? m_copies.size() : 0);
        if (!description.empty() && !m_strCheckText.empty())
            description += U(". ") + m_strCheckText;
        SetAccessibleDescription(m_btnStart, description);
    }
    return true;
}

bool CCopyDlg::UpdateData(bool saveAndValidate)
{
    // The window only ever shows; nothing is read back from it.
    return saveAndValidate || TransferDataToWindow();
}

void CCopyDlg::OnInitDialog(wxInitDialogEvent&)
{
    UpdateData(false);
    m_btnStart->Disable();
}

void CCopyDlg::OnShownOnScreen()
{
    OnShowWindow();
}

void CCopyDlg::OnShowWindow()
{
    // Posted, so that the search starts with the window fully on screen;
    // the window is shown once, so one search is all there is.
    if (m_searchPosted)
        return;
    m_searchPosted = true;
    CallAfter(&CCopyDlg::OnSearchDisc);
}

void CCopyDlg::OnSearchDisc()
{
    // A window ended before its search came round has nothing to search for.
    if (IsEnding())
        return;
    m_strTitleText = U(kSearching);
    UpdateData(false);
    SearchDisc();
}

void CCopyDlg::SearchDisc()
{
    // The search mounts discs and reads drives away from this thread: the
    // window repaints, answers a screen reader and takes Escape meanwhile.
    // The answer may come after the window is gone.
    const wxWeakRef<CCopyDlg> self(this);
    CopyServices().FindDaisyDisc([self](const disc::FoundDisc& found) {
        if (self)
            self->OnDiscFound(found);
    });
}

void CCopyDlg::OnDiscFound(const disc::FoundDisc& found)
{
    // An Escape or the close box during the search wins over everything the
    // search found, AutoStart included.
    if (IsEnding())
        return;
    if (!found) {
        if (AfxMessageBox(U(kNoDisc), MB_OKCANCEL | MB_ICONASTERISK) == IDCANCEL)
            EndDialog(IDCANCEL);
        else
            SearchDisc();
        return;
    }

    m_strSourceRoot = found.root;
    if (!PlanBooks(found.bookFile)) {
        EndDialog(IDCANCEL);
        return;
    }
    // A copy that completes an earlier, incomplete one says so before it
    // starts, and how little it reads (a look at the output folder only).
    for (CPlannedCopy& copy : m_copies)
        copy.completion =
            CopyServices().FindCompletion(copy.source, copy.dest, m_pSettings->ConfirmOverwrite != 0);

    if (m_pSettings->AutoStart != 0) {
        // The copy starts as soon as title and path are shown; it checks
        // the disc itself, so the disc is never read twice at once.
        m_strCheckText = ui::text::CheckedDuringCopy() + CompletionNotes();
        UpdateData(false);
        OnStartCopy();
        return;
    }
    m_strCheckText = ui::text::Checking();
    UpdateData(false);
    StartCheck();
    // A quick check is awaited for a moment, so that a screen reader says
    // the start button once, with the findings; a slow one is not.
    m_readyTimer.StartOnce(kCheckAwaitedMs);
}

void CCopyDlg::OnReady()
{
    if (IsEnding() || m_bBusy || m_startWhenChecked || m_btnStart->IsEnabled())
        return;
    m_btnStart->Enable();
    // Enter now starts the copy, and a screen reader says what it will do.
    m_btnStart->SetFocus();
}

void CCopyDlg::StartCheck()
{
    // Checked as soon as found, so that the user hears before the copy
    // whether the book is whole; on a thread of its own, for a disc with
    // hundreds of files takes seconds to open them all, and the window
    // keeps answering meanwhile. The copy takes these findings over and
    // never reads the disc twice for them.
    std::vector<std::string> sources;
    for (const CPlannedCopy& copy : m_copies)
        sources.push_back(copy.source);
    m_checking = true;
    m_checker = std::thread([sources, alive = m_alive, self = this] {
        std::vector<check::CheckReport> checks;
        for (const std::string& source : sources)
            checks.push_back(CopyServices().CheckBook(source, self->m_stopChecking));
        // Back on the window's thread, where `alive` is read and written.
        if (wxTheApp != nullptr)
            wxTheApp->CallAfter([alive, self, checks = std::move(checks)] {
                if (*alive)
                    self->OnChecked(checks);
            });
    });
}

wxString CCopyDlg::CompletionNotes() const
{
    wxString notes;
    for (const CPlannedCopy& copy : m_copies)
        if (!copy.completion.folder.empty())
            notes += U(" ") + ui::text::Completes(copy.completion.folder, copy.completion.missing.size());
    return notes;
}

void CCopyDlg::OnChecked(const std::vector<check::CheckReport>& checks)
{
    m_checking = false;
    std::vector<std::string> titles;
    for (std::size_t i = 0; i < m_copies.size() && i < checks.size(); ++i) {
        m_copies[i].check = checks[i];
        m_copies[i].checked = true;
        titles.push_back(m_copies[i].title);
    }
    m_strCheckText = ui::text::CheckSummary(checks, titles) + CompletionNotes();
    UpdateData(false);
    m_readyTimer.Stop();
    if (m_startWhenChecked && !IsEnding())
        OnStartCopy();
    else
        OnReady();
}

bool CCopyDlg::PlanBooks(const std::string& bookFile)
{
    m_outcome = ExitStatus::Refused;
    const copy::DiscPlan plan = copy::PlanDisc(m_strSourceRoot, bookFile, *m_pSettings, m_pSettings->OutputDir);
    if (!plan.listed) {
        const copy::PlannedBook& book = plan.books.front();
        if (book.refusal == copy::PlanRefusal::Unreadable) {
            const bool package = KindOfBookFile(bookFile) == BookFileKind::Package;
            AfxMessageBox(U(package ? ui::text::kUnreadablePackage : kUnreadableNcc) + "\n" + U(book.reason.c_str()),
                          MB_OK | MB_ICONHAND);
            return false;
        }
        if (book.dest.empty()) {
            AfxMessageBox(U(book.refusal == copy::PlanRefusal::NameTooLong ? ui::text::kNameTooLong : kNoName),
                          MB_OK | MB_ICONHAND);
            return false;
        }
        m_outcome = ExitStatus::Cancelled;
        m_copies.push_back({m_strSourceRoot, book.dest, book.info.title, {}, false, {}});
        m_strTitleText = wxString::FromUTF8(book.info.title);
        m_strDestText = wxString::FromUTF8(book.dest);
        return true;
    }
    if (plan.indexUnreadable) {
        AfxMessageBox(U(ui::text::kUnreadableIndex), MB_OK | MB_ICONHAND);
        return false;
    }
    m_listedBooks = plan.books.size();
    for (const copy::PlannedBook& book : plan.books) {
        switch (book.refusal) {
        case copy::PlanRefusal::None:
            m_copies.push_back({book.folder, book.dest, book.info.title, {}, false, {}});
            break;
        case copy::PlanRefusal::NotOnDisc:
            m_refused.push_back({book.name, ui::text::kNotFound});
            break;
        case copy::PlanRefusal::SameFolder:
            m_refused.push_back({book.name, ui::text::kSameFolder});
            break;
        case copy::PlanRefusal::Unreadable:
        case copy::PlanRefusal::NoName:
        case copy::PlanRefusal::NameTooLong:
            m_refused.push_back({book.name, ui::text::kUnreadable});
            break;
        }
    }
    if (m_copies.empty()) {
        std::vector<std::string> names;
        for (const CRefusedBook& book : m_refused)
            names.push_back(book.name);
        AfxMessageBox(ui::text::RefusedBooks(names), MB_OK | MB_ICONHAND);
        return false;
    }
    m_outcome = ExitStatus::Cancelled;
    m_strTitleText = ui::text::BookCount(m_listedBooks);
    m_strDestText = wxString::FromUTF8(m_pSettings->OutputDir);
    return true;
}

void CCopyDlg::OnStartCopy()
{
    if (m_bBusy)
        return;
    // Pressed while the check still reads the disc: the copy starts with
    // its findings, as soon as they are there; Escape still ends the window.
    if (m_checking) {
        m_startWhenChecked = true;
        m_btnStart->Disable();
        return;
    }
    m_bBusy = true;
    m_btnStart->Disable();
    m_outcome = CopyPlannedBooks();
    if (m_outcome == ExitStatus::Done) {
        if (m_pSettings->EjectWhenDone != 0)
            CopyServices().EjectDisc(m_strSourceRoot);
        // The design's done text, then that an incomplete copy is whole
        // now and that the drive gave every file back. With "Melding
        // geven" off the user asked for no message, and a desktop
        // notification is one: the copy window just closes.
        if (m_pSettings->MessageWhenDone != 0) {
            wxString done = U(kCopied);
            for (const wxString& line : {m_nowWhole, wxString::FromUTF8(m_readBackLine)})
                if (!line.empty())
                    done += U("\n") + line;
            AfxMessageBox(done, MB_OK | MB_ICONASTERISK);
        }
    }
    CopyServices().CloseProgress();
    EndDialog(IDOK);
}

ExitStatus CCopyDlg::CopyPlannedBooks()
{
    // On a disc with several books each is copied on its own: one that is
    // refused, fails or stays incomplete does not stop the others. A
    // cancel means stop.
    wxString verdicts;
    bool allCopied = m_refused.empty(), cancelled = false, anyTried = false;
    for (std::size_t i = 0; i < m_copies.size(); ++i) {
        const CPlannedCopy& book = m_copies[i];
        const wxString position = ui::text::Position(i + 1, m_copies.size());
        if (cancelled) {
            verdicts += U("\n") + position + U(", ") + ui::text::BookName(book.title) + U(": ") +
                        ui::text::NotTried() + U(".");
            continue;
        }
        wxString heading;
        if (m_listedBooks != 0) {
            // The title line says which book is on its way, and a screen
            // reader hears it as that book's progress window opens.
            heading = position + U(": ") + wxString::FromUTF8(book.title);
            m_headingOnButton = i == 0;
            m_strTitleText = heading;
            m_strDestText = wxString::FromUTF8(book.dest);
            UpdateData(false);
            Update();
        }
        const copy::CopyReport report = CopyServices().CopyBook(
            this, book.source, book.dest, m_headingOnButton ? wxString() : heading, *m_pSettings,
            [this](const std::string& target) {
                m_strDestText = wxString::FromUTF8(target);
                UpdateData(false);
                Update();
            },
            book.checked ? &book.check : nullptr);
        m_readBackLine = report.readBackLine;
        // Copied means whole: checked and, where set, read back.
        if (report.result == copy::CopyResult::Copied && !book.completion.folder.empty() &&
            !report.folder.empty())
            m_nowWhole = ui::text::NowWhole(report.folder);
        if (!report.message.empty()) {
            const wxString prefix =
                m_listedBooks != 0 ? position + U(", ") + ui::text::BookName(book.title) + U(":\n") : wxString();
            AfxMessageBox(prefix + wxString::FromUTF8(report.message),
                          MB_OK | (report.result == copy::CopyResult::Cancelled ? MB_ICONASTERISK : MB_ICONHAND));
        }
        if (m_listedBooks == 0)
            return ExitStatusOf(report.result);
        verdicts += U("\n") + position + U(", ") + ui::text::BookName(book.title) + U(": ") +
                    ui::text::Verdict(report) + ui::text::CheckVerdict(report) + U(".");
        allCopied = allCopied && report.result == copy::CopyResult::Copied;
        cancelled = report.result == copy::CopyResult::Cancelled;
        anyTried = anyTried || report.result != copy::CopyResult::Refused;
    }
    if (allCopied)
        return ExitStatus::Done;
    for (const CRefusedBook& book : m_refused)
        verdicts += U("\n") + ui::text::BookName(book.name) + U(": ") + U(book.why) + U(".");
    AfxMessageBox(ui::text::NotAllCopied() + U("\n") + verdicts, MB_OK | MB_ICONHAND);
    if (cancelled)
        return ExitStatus::Cancelled;
    // Something of the disc was copied, or tried: a failure; only a disc of
    // which every book was refused before a copy is a refusal.
    return anyTried ? ExitStatus::Failed : ExitStatus::Refused;
}

void CCopyDlg::OnCancel()
{
    if (!m_bBusy)
        CDialog::OnCancel();
}

void CCopyDlg::OnOK()
{
    // Enter acts only through the start button.
}
