#include "ui/SettingsDlg.h"

#include "ui/CopyDlg.h"
#include "ui/DialogServices.h"

#include <wx/button.h>
#include <wx/sizer.h>

namespace {

const char* const kNotConfigured =
    "Het programma is nog niet geconfigureerd. Klik op OK om de instellingen aan te passen.";

} // namespace

CSettingsDlg::CSettingsDlg(wxWindow* parent)
    : CDialog(parent, wxID_ANY, "Talvora Instellingen", wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    const wxSize gap = ConvertDialogToPixels(wxSize(7, 7));
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_CANCEL, "Annuleren", wxDefaultPosition,
                              ConvertDialogToPixels(wxSize(50, 14))));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->SetMinSize(ConvertDialogToPixels(wxSize(262, 0)));
    outer->Add(buttons, wxSizerFlags().Expand().Border(wxALL, gap.x));
    SetSizerAndFit(outer);
    CentreOnScreen();

    Bind(wxEVT_INIT_DIALOG, &CSettingsDlg::OnInitDialog, this);
    // Help requests do nothing in this window.
    Bind(wxEVT_HELP, [](wxHelpEvent&) {});
}

CSettingsDlg::~CSettingsDlg() = default;

int CSettingsDlg::ShowModal()
{
    m_settings.Load(Profile());
    if (DecideMode() == Mode::End)
        return GetReturnCode();
    return CDialog::ShowModal();
}

CSettingsDlg::Mode CSettingsDlg::DecideMode()
{
    if (m_bSetupMode)
        return Mode::Edit;
    if (!m_settings.IsConfigured()) {
        if (AfxMessageBox(wxString::FromUTF8(kNotConfigured), MB_OKCANCEL | MB_ICONASTERISK) != IDCANCEL)
            return Mode::Edit;
        EndDialog(IDCANCEL);
        return Mode::End;
    }
    CCopyDlg copy;
    copy.m_pSettings = &m_settings;
    EndDialog(copy.ShowModal());
    return Mode::End;
}

void CSettingsDlg::OnInitDialog(wxInitDialogEvent&)
{
    TransferDataToWindow();
}

void CSettingsDlg::OnOK()
{
    // Enter does nothing here unless a push button has the focus.
}
