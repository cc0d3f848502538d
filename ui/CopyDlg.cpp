#include "ui/CopyDlg.h"

#include "ui/DialogServices.h"
#include "ui/Ids.h"
#include "ui/SunkenLine.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace {

const char* const kSearching = "Bezig met zoeken naar Daisy-CD...";

// A caption with its sunken line below it.
CSunkenLine* AddLine(wxWindow* parent, wxSizer* sizer, int id, const wxString& caption)
{
    sizer->Add(new wxStaticText(parent, wxID_ANY, caption));
    auto* line = new CSunkenLine(parent, id, parent->ConvertDialogToPixels(wxSize(219, 10)).x);
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
    m_destLine = AddLine(this, column, ids::kDestLine, wxString::FromUTF8("Map waar Daisy-boek naar toe zal worden gekopiëerd:"));
    column->AddSpacer(gap.y);
    m_btnStart = new wxButton(this, ids::kStartCopy, wxString::FromUTF8("Start kopiëren"), wxDefaultPosition,
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

void CCopyDlg::OnInitDialog(wxInitDialogEvent&)
{
    TransferDataToWindow();
    m_btnStart->Disable();
}

void CCopyDlg::OnShownOnScreen()
{
    OnShowWindow();
}

void CCopyDlg::OnShowWindow()
{
    // Posted, so that the search starts with the window fully on screen.
    CallAfter(&CCopyDlg::OnSearchDisc);
}

void CCopyDlg::OnSearchDisc()
{
    m_strTitleText = wxString::FromUTF8(kSearching);
    TransferDataToWindow();
}

void CCopyDlg::OnStartCopy()
{
    m_bBusy = true;
    m_btnStart->Disable();
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
