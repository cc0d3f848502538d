#include "ui/CopyDlg.h"

#include "text/BookText.h"
#include "book/DiscBooks.h"
#include "naming/FolderName.h"
#include "settings/Settings.h"
#include "ui/Accessibility.h"
#include "ui/CopyServices.h"
#include "ui/DialogServices.h"
#include "ui/Ids.h"
#include "ui/SunkenLine.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/weakref.h>

#include <algorithm>

namespace {

wxString U(const char* utf8)
{
    return wxString::FromUTF8(utf8);
}

const char* const kSearching = "Bezig met zoeken naar Daisy-CD...";
const char* const kNoDisc = "Geen Daisy-CD gevonden. Plaats een CD en klik op OK.";
const char* const kUnreadableNcc =
    "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.";
const char* const kUnreadablePackage =
    "Pakketbestand (.opf) op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.";
const char* const kUnreadableIndex =
    "Inhoudsopgave (discinfo.html) op Daisy-CD kon niet worden gelezen of noemt geen Daisy-boeken.";
const char* const kNoName = "Kan de naam voor de nieuwe map niet bepalen.";
const char* const kNameTooLong =
    "De naam voor de nieuwe map wordt te lang, ook zonder de titel.\n"
    "Kies in Talvora Instellingen een map met een korter pad om naartoe te kopiëren, of zet Identifier of Auteur uit.";
const char* const kCopied = "Daisy-CD is gekopieerd.";

wxString BookCount(std::size_t count)
{
    return count == 1 ? U("Deze Daisy-CD bevat 1 Daisy-boek.")
                      : U(("Deze Daisy-CD bevat " + std::to_string(count) + " Daisy-boeken.").c_str());
}

// Why a listed book is not copied, and how a book's copy ended, as the
// run's closing message says it.
const char* const kNotFound = "staat niet op de CD";
const char* const kUnreadable = "kon niet worden gelezen of krijgt geen eigen mapnaam";
const char* const kSameFolder = "zou in dezelfde map komen als een ander boek van deze CD";

// A name from a disc index in an 8-bit encoding is no UTF-8.
wxString BookName(const std::string& name)
{
    return U("\"") + wxString::FromUTF8(DecodeBookText(name)) + U("\"");
}

wxString RefusedBooks(const std::vector<CCopyDlg::CRefusedBook>& books)
{
    wxString text = U("Deze Daisy-boeken zijn niet gekopieerd, omdat ze niet gelezen konden worden of geen "
                      "eigen mapnaam krijgen:");
    for (const CCopyDlg::CRefusedBook& book : books)
        text += U("\n") + BookName(book.name);
    return text;
}

wxString Verdict(const copyjob::CopyReport& report)
{
    switch (report.result) {
    case copyops::CopyResult::Copied:
        return U("gekopieerd");
    case copyops::CopyResult::Cancelled:
        return U("geannuleerd");
    case copyops::CopyResult::Refused:
        return U("niet gekopieerd");
    case copyops::CopyResult::Failed:
        break;
    }
    if (report.folder.empty())
        return U("niet gekopieerd");
    return U("niet volledig gekopieerd; wat wel is gekopieerd, staat in ") + wxString::FromUTF8(report.folder);
}

// The check's part of a book's verdict.
wxString CheckVerdict(const copyjob::CopyReport& report)
{
    std::size_t faults = 0;
    for (const bookcheck::CheckReport* check : {&report.discCheck, &report.copyCheck})
        faults += std::count_if(check->findings.begin(), check->findings.end(),
                                [](const bookcheck::Finding& f) { return f.grade == bookcheck::Grade::Fatal; });
    if (faults > 0)
        return U((" (de controle vond " + std::to_string(faults) + (faults == 1 ? " fout)" : " fouten)")).c_str());
    return report.readBackLine.empty() ? wxString() : U(" en teruggelezen");
}

// A caption with its sunken line below it.
CSunkenLine* AddLine(wxWindow* parent, wxSizer* sizer, int id, const wxString& text)
{
    auto* caption = new CCaption(parent, text);
    sizer->Add(caption);
    auto* line = new CSunkenLine(parent, id, parent->ConvertDialogToPixels(wxSize(219, 10)).x);
    caption->SetLabelFor(line->Text());
    sizer->Add(line, wxSizerFlags().Expand().Border(wxTOP, parent->ConvertDialogToPixels(wxSize(0, 2)).y));
    return line;
}

} // namespace

CCopyDlg::CCopyDlg(wxWindow* parent) : CDialog(parent, wxID_ANY, kProgramName, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_titleLine = AddLine(this, column, ids::kTitleLine, "Titel van Daisy-boek:");
    column->AddSpacer(GroupGap());
    m_destLine = AddLine(this, column, ids::kDestLine, U("Map waar Daisy-boek naar toe zal worden gekopiëerd:"));
    column->AddSpacer(GroupGap());
    m_checkLine = AddLine(this, column, ids::kCheckLine, U("Controle van de CD:"));
    column->AddSpacer(GroupGap());
    m_btnStart = AtLeast(new wxButton(this, ids::kStartCopy, U("&Start kopiëren")), 105, 15);
    m_btnStart->SetDefault();
    column->Add(m_btnStart, wxSizerFlags().CentreHorizontal());

    SetContent(column);
    CentreOnScreen();

    Bind(wxEVT_INIT_DIALOG, &CCopyDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnStartCopy(); }, ids::kStartCopy);
}

CCopyDlg::~CCopyDlg() = default;

wxString StartDescription(const wxString& title, const wxString& destination, std::size_t books)
{
    if (destination.empty())
        return {};
    // The line then says how many books there are; that is no title.
    if (books > 0)
        return U(("Kopieert " + std::to_string(books) + (books == 1 ? " Daisy-boek" : " Daisy-boeken") + " naar ")
                     .c_str()) +
               destination;
    if (title.empty())
        return "Kopieert naar " + destination;
    return wxString::FromUTF8("Kopieert \xE2\x80\x98") + title + wxString::FromUTF8("\xE2\x80\x99 naar ") +
           destination;
}

wxString CheckSummary(const std::vector<bookcheck::CheckReport>& checks)
{
    constexpr std::size_t kSaid = 3;
    std::vector<std::string> faults;
    std::size_t incomplete = 0;
    for (const bookcheck::CheckReport& check : checks) {
        incomplete += check.HasFatal() ? 1 : 0;
        for (const bookcheck::Finding& f : check.findings)
            if (f.grade == bookcheck::Grade::Fatal)
                faults.push_back(bookcheck::DescribeFinding(f, bookcheck::Place::Disc));
    }
    if (faults.empty())
        return checks.size() > 1 ? U("Alle boeken op de CD zijn volledig.") : U("Het boek op de CD is volledig.");
    wxString text = checks.size() > 1 ? U(("Van de boeken op de CD zijn er " + std::to_string(incomplete) +
                                           " niet volledig; wat er is, wordt gekopieerd naar een map met "
                                           "\"(onvolledig)\" achter de naam.")
                                              .c_str())
                                      : U("Het boek op de CD is niet volledig; wat er is, wordt gekopieerd naar een "
                                          "map met \"(onvolledig)\" achter de naam.");
    for (std::size_t i = 0; i < faults.size() && i < kSaid; ++i)
        text += U(" ") + U(faults[i].c_str());
    if (faults.size() > kSaid)
        text += U((" En nog " + std::to_string(faults.size() - kSaid) + " andere fouten.").c_str());
    return text;
}

bool CCopyDlg::TransferDataToWindow()
{
    m_titleLine->SetText(m_strTitleText);
    m_destLine->SetText(m_strDestText);
    m_checkLine->SetText(m_strCheckText);
    // A screen reader user on the start button hears what it will copy,
    // where to, and whether the book is whole, without leaving it. While
    // the books of a disc are copied, the button that keeps the focus in
    // this window says which book is on its way.
    if (m_bBusy && m_listedBooks != 0) {
        SetAccessibleDescription(m_btnStart, m_strTitleText);
    } else {
        wxString description =
            StartDescription(m_strTitleText, m_strDestText, m_listedBooks != 0 ? m_copies.size() : 0);
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
    const bool planned = found.kind == BookFileKind::DiscInfo ? PlanListedBooks(found.bookFile)
                                                              : PlanSingleBook(found.bookFile);
    if (!planned) {
        EndDialog(IDCANCEL);
        return;
    }
    // Checked as soon as found, so that the user hears before the copy
    // whether the book is whole; the copy takes these findings over and
    // never reads the disc twice for them.
    std::vector<bookcheck::CheckReport> checks;
    for (CPlannedCopy& copy : m_copies) {
        copy.check = CopyServices().CheckBook(copy.source);
        checks.push_back(copy.check);
    }
    m_strCheckText = CheckSummary(checks);
    UpdateData(false);

    if (m_pSettings->AutoStart != 0) {
        OnStartCopy();
        return;
    }
    m_btnStart->Enable();
    // Enter now starts the copy, and a screen reader says what it will do.
    m_btnStart->SetFocus();
}

FittedFolderName CCopyDlg::DestinationFor(const CMetaList& metaList) const
{
    return FitFolderName(ComposeFolderNameParts(m_pSettings->UseIdentifier, m_pSettings->UseTitle,
                                                m_pSettings->UseCreator, metaList),
                         m_pSettings->OutputDir);
}

bool CCopyDlg::PlanSingleBook(const std::string& bookPath)
{
    m_outcome = ExitStatus::Refused;
    CBookInfo book;
    std::string reason;
    if (!ReadBookFile(bookPath, book, &reason)) {
        const bool package = KindOfBookFile(bookPath) == BookFileKind::Package;
        AfxMessageBox(U(package ? kUnreadablePackage : kUnreadableNcc) + "\n" + U(reason.c_str()),
                      MB_OK | MB_ICONHAND);
        return false;
    }
    const FittedFolderName fitted = DestinationFor(book.metaList);
    if (fitted.path.empty()) {
        AfxMessageBox(U(fitted.fit == FolderNameFit::TooLong ? kNameTooLong : kNoName), MB_OK | MB_ICONHAND);
        return false;
    }
    m_outcome = ExitStatus::Cancelled;
    m_copies.push_back({m_strSourceRoot, fitted.path, book.title, {}});
    m_strTitleText = wxString::FromUTF8(book.title);
    m_strDestText = wxString::FromUTF8(fitted.path);
    return true;
}

bool CCopyDlg::PlanListedBooks(const std::string& discInfoPath)
{
    m_outcome = ExitStatus::Refused;
    std::vector<CDiscBook> listed;
    if (!ListDiscBooks(m_strSourceRoot, discInfoPath, listed)) {
        AfxMessageBox(U(kUnreadableIndex), MB_OK | MB_ICONHAND);
        return false;
    }
    m_listedBooks = listed.size();
    for (const CDiscBook& book : listed) {
        CBookInfo info;
        std::string dest;
        if (book.found && ReadBookFile(book.bookFile, info))
            dest = DestinationFor(info.metaList).path;
        // Two books named alike would land in one folder, the second
        // replacing or mixing into the first.
        // On a stick that ignores letter case, "Het Boek" is "het boek".
        const wxString folded = wxString::FromUTF8(dest).Lower();
        const bool taken = std::any_of(m_copies.begin(), m_copies.end(), [&](const CPlannedCopy& c) {
            return wxString::FromUTF8(c.dest).Lower() == folded;
        });
        if (!book.found)
            m_refused.push_back({book.name, kNotFound});
        else if (dest.empty())
            m_refused.push_back({book.name, kUnreadable});
        else if (taken)
            m_refused.push_back({book.name, kSameFolder});
        else
            m_copies.push_back({book.folder, dest, info.title, {}});
    }
    if (m_copies.empty()) {
        AfxMessageBox(RefusedBooks(m_refused), MB_OK | MB_ICONHAND);
        return false;
    }
    m_outcome = ExitStatus::Cancelled;
    m_strTitleText = BookCount(m_listedBooks);
    m_strDestText = wxString::FromUTF8(m_pSettings->OutputDir);
    return true;
}

void CCopyDlg::OnStartCopy()
{
    if (m_bBusy)
        return;
    m_bBusy = true;
    m_btnStart->Disable();
    m_outcome = CopyPlannedBooks();
    if (m_outcome == ExitStatus::Done) {
        if (m_pSettings->EjectWhenDone != 0)
            CopyServices().EjectDisc(m_strSourceRoot);
        // The design's done text, then that the drive gave every file back.
        // With "Melding geven" off the user asked for no message, and a
        // desktop notification is one: the copy window just closes.
        if (m_pSettings->MessageWhenDone != 0)
            AfxMessageBox(m_readBackLine.empty() ? U(kCopied)
                                                 : U(kCopied) + U("\n") + wxString::FromUTF8(m_readBackLine),
                          MB_OK | MB_ICONASTERISK);
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
        const wxString position =
            U(("Boek " + std::to_string(i + 1) + " van " + std::to_string(m_copies.size())).c_str());
        if (cancelled) {
            verdicts += U("\n") + position + U(", ") + BookName(book.title) + U(": niet geprobeerd.");
            continue;
        }
        wxString heading;
        if (m_listedBooks != 0) {
            // The title line says which book is on its way, and a screen
            // reader hears it as that book's progress window opens.
            heading = position + U(": ") + wxString::FromUTF8(book.title);
            m_strTitleText = heading;
            m_strDestText = wxString::FromUTF8(book.dest);
            UpdateData(false);
            Update();
        }
        const copyjob::CopyReport report = CopyServices().CopyBook(
            this, book.source, book.dest, heading, *m_pSettings,
            [this](const std::string& target) {
                m_strDestText = wxString::FromUTF8(target);
                UpdateData(false);
                Update();
            },
            book.check);
        m_readBackLine = report.readBackLine;
        if (!report.message.empty()) {
            const wxString prefix = m_listedBooks != 0 ? position + U(", ") + BookName(book.title) + U(":\n") : wxString();
            AfxMessageBox(prefix + wxString::FromUTF8(report.message),
                          MB_OK | (report.result == copyops::CopyResult::Cancelled ? MB_ICONASTERISK : MB_ICONHAND));
        }
        if (m_listedBooks == 0)
            return ExitStatusOf(report.result);
        verdicts += U("\n") + position + U(", ") + BookName(book.title) + U(": ") + Verdict(report) +
                    CheckVerdict(report) + U(".");
        allCopied = allCopied && report.result == copyops::CopyResult::Copied;
        cancelled = report.result == copyops::CopyResult::Cancelled;
        anyTried = anyTried || report.result != copyops::CopyResult::Refused;
    }
    if (allCopied)
        return ExitStatus::Done;
    for (const CRefusedBook& book : m_refused)
        verdicts += U("\n") + BookName(book.name) + U(": ") + U(book.why) + U(".");
    AfxMessageBox(U("Niet alle Daisy-boeken van deze CD zijn gekopieerd:\n") + verdicts, MB_OK | MB_ICONHAND);
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
