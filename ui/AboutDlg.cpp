#include "ui/AboutDlg.h"

#include "Version.h"
#include "ui/Accessibility.h"
#include "ui/DialogServices.h"
#include "ui/Icon.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>

wxString AboutVersionText()
{
    // The two blanks after the name are meant.
    return wxString::Format("Talvora  Version %d.%d Build %d", TALVORA_VERSION_MAJOR, TALVORA_VERSION_MINOR,
                            TALVORA_VERSION_PATCH);
}

CAboutDlg::CAboutDlg(wxWindow* parent) : CDialog(parent, wxID_ANY, "About Talvora", wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    auto* icon = new wxStaticBitmap(this, wxID_ANY, ProgramIconBitmap(32));
    // Read as text of its own: not as the name of the OK button after it.
    auto* version = new CCaption(this, wxString());
    version->SetLabelText(AboutVersionText());
    auto* ok = AtLeast(new wxButton(this, IDOK, "OK"), 50, 14);
    ok->SetDefault();

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(icon, wxSizerFlags().Border(wxRIGHT, Dlu(7, 0).x));
    row->Add(version, wxSizerFlags(1).Border(wxTOP, Dlu(0, 3).y));
    row->Add(ok, wxSizerFlags().Border(wxLEFT, Dlu(21, 0).x));
    SetContent(row);
    CentreOnParent();
    ok->SetFocus();
    // A screen reader reads the window's focused button, not text beside it.
    SetAccessibleDescription(ok, AboutVersionText());
}
