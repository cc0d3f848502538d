#include "ui/CopyDlg.h"

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

namespace {

wxString U(const char* utf8)
{
    return wxString::FromUTF8(utf8);
}

const char* const kSearching = "Bezig met zoeken naar Daisy-CD...";
const char* const kNoDisc = "Geen Daisy-CD gevonden. Plaats een CD en klik op OK.";
const char* const kUnreadableNcc =
    "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.";
const char* const kNoName = "Kan de naam voor de nieuwe map niet bepalen.";
const char* const kNameTooLong =
    "De naam voor de nieuwe map wordt te lang, ook zonder de titel.\n"
    "Kies in Talvora Instellingen een map met een korter pad om naartoe te kopiëren, of zet Identifier of Auteur uit.";
const char* const kCopied = "Daisy-CD is gekopieerd.";

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
    const wxSize gap = ConvertDialogToPixels(wxSize(7, 7));
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_titleLine = AddLine(this, column, ids::kTitleLine, "Titel van Daisy-boek:");
    column->AddSpacer(gap.y);
    m_destLine = AddLine(this, column, ids::kDestLine, U("Map waar Daisy-boek naar toe zal worden gekopiëerd:"));
    column->AddSpacer(gap.y);
    m_btnStart = new wxButton(this, ids::kStartCopy, U("Start kopiëren"), wxDefaultPosition,
                              ConvertDialogToPixels(wxSize(105, 15)));
    m_btnStart->SetDefault();
    column->Add(m_btnStart, wxSizerFlags().CentreHorizontal());

    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, gap.x));
    SetSizerAndFit(outer);
    CentreOnScreen();

    Bind(wxEVT_INIT_DIALOG, &CCopyDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnStartCopy(); }, ids::kStartCopy);
}

CCopyDlg::~CCopyDlg() = default;

bool CCopyDlg::TransferDataToWindow()
{
    m_titleLine->SetText(m_strTitleText);
    m_destLine->SetText(m_strDestText);
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

    std::string nccPath;
    for (;;) {
        m_strSourceRoot = CopyServices().FindDaisyDisc(nccPath);
        if (!m_strSourceRoot.empty())
            break;
        if (AfxMessageBox(U(kNoDisc), MB_OKCANCEL | MB_ICONASTERISK) == IDCANCEL) {
            EndDialog(IDCANCEL);
            return;
        }
        // Repainted before the next scan can hold the thread.
        Update();
    }

    if (!m_reader.ReadNcc(nccPath)) {
        m_outcome = ExitStatus::Refused;
        AfxMessageBox(U(kUnreadableNcc) + "\n" + U(NccFailureReasonLine(m_reader.LastFailure()).c_str()),
                      MB_OK | MB_ICONHAND);
        EndDialog(IDCANCEL);
        return;
    }

    const FittedFolderName fitted =
        FitFolderName(ComposeFolderNameParts(m_pSettings->UseIdentifier, m_pSettings->UseTitle,
                                             m_pSettings->UseCreator, m_reader.MetaList()),
                      m_pSettings->OutputDir);
    m_strDestPath = fitted.path;
    if (m_strDestPath.empty()) {
        m_outcome = ExitStatus::Refused;
        AfxMessageBox(U(fitted.fit == FolderNameFit::TooLong ? kNameTooLong : kNoName), MB_OK | MB_ICONHAND);
        EndDialog(IDCANCEL);
        return;
    }

    m_strTitleText = wxString::FromUTF8(m_reader.BookTitle());
    m_strDestText = wxString::FromUTF8(m_strDestPath);
    UpdateData(false);

    if (m_pSettings->AutoStart != 0) {
        OnStartCopy();
        return;
    }
    m_btnStart->Enable();
    // Enter now starts the copy, and a screen reader says what it will do.
    m_btnStart->SetFocus();
}

void CCopyDlg::OnStartCopy()
{
    if (m_bBusy)
        return;
    m_bBusy = true;
    m_btnStart->Disable();

    const copyops::CopyResult result = CopyServices().CopyBook(this, m_strSourceRoot, m_strDestPath, *m_pSettings,
                                            [this](const std::string& target) {
                                                m_strDestText = wxString::FromUTF8(target);
                                                UpdateData(false);
                                                Update();
                                            });
    m_outcome = ExitStatusOf(result);
    if (result == copyops::CopyResult::Copied) {
        if (m_pSettings->EjectWhenDone != 0)
            CopyServices().EjectDisc(m_strSourceRoot);
        if (m_pSettings->MessageWhenDone != 0)
            AfxMessageBox(U(kCopied), MB_OK | MB_ICONASTERISK);
    }
    EndDialog(IDOK);
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
