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
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_titleLine = AddLine(this, column, ids::kTitleLine, "Titel van Daisy-boek:");
    column->AddSpacer(GroupGap());
    m_destLine = AddLine(this, column, ids::kDestLine, U("Map waar Daisy-boek naar toe zal worden gekopiëerd:"));
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

wxString StartDescription(const wxString& title, const wxString& destination)
{
    if (destination.empty())
        return {};
    if (title.empty())
        return "Kopieert naar " + destination;
    return wxString::FromUTF8("Kopieert \xE2\x80\x98") + title + wxString::FromUTF8("\xE2\x80\x99 naar ") +
           destination;
}

bool CCopyDlg::TransferDataToWindow()
{
    m_titleLine->SetText(m_strTitleText);
    m_destLine->SetText(m_strDestText);
    // A screen reader user on the start button hears what it will copy and
    // where to, without leaving it.
    SetAccessibleDescription(m_btnStart, StartDescription(m_strTitleText, m_strDestText));
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
        AfxMessageBox(U(kUnreadableNcc), MB_OK | MB_ICONHAND);
        EndDialog(IDCANCEL);
        return;
    }

    std::string name = MakeFolderName(m_pSettings->UseIdentifier, m_pSettings->UseTitle, m_pSettings->UseCreator,
                                      m_reader.MetaList());
    if (!name.empty()) {
        MakeValidFolderName(name);
        m_strDestPath = MakeDestinationPath(m_pSettings->OutputDir, name);
    }
    if (m_strDestPath.empty()) {
        AfxMessageBox(U(kNoName), MB_OK | MB_ICONHAND);
        EndDialog(IDCANCEL);
        return;
    }

    m_strTitleText = wxString::FromUTF8(AnsiToUtf8(m_reader.BookTitle()));
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

    const bool ok = CopyServices().CopyBook(this, m_strSourceRoot, m_strDestPath, *m_pSettings,
                                            [this](const std::string& target) {
                                                m_strDestText = wxString::FromUTF8(target);
                                                UpdateData(false);
                                                Update();
                                            });
    if (ok) {
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
