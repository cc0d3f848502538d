#include "ui/AboutDlg.h"

#include "ui/DialogServices.h"
#include "ui/Icon.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

CAboutDlg::CAboutDlg(wxWindow* parent) : CDialog(parent, wxID_ANY, "About Talvora", wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    const wxSize gap = ConvertDialogToPixels(wxSize(7, 7));
    auto* icon = new wxStaticBitmap(this, wxID_ANY, ProgramIconBitmap(32));
    auto* version = new wxStaticText(this, wxID_ANY, wxString());
    // Shown literally; the two blanks after the name are meant.
    version->SetLabelText("Talvora  Version 1.5 Build 6");
    auto* ok = new wxButton(this, IDOK, "OK", wxDefaultPosition, ConvertDialogToPixels(wxSize(50, 14)));
    ok->SetDefault();

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(icon, wxSizerFlags().Border(wxRIGHT, gap.x));
    row->Add(version, wxSizerFlags(1).Border(wxTOP, ConvertDialogToPixels(wxSize(0, 3)).y));
    row->Add(ok, wxSizerFlags().Border(wxLEFT, gap.x * 3));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(row, wxSizerFlags(1).Expand().Border(wxALL, gap.x));
    SetSizerAndFit(outer);
    CentreOnParent();
    ok->SetFocus();
}
