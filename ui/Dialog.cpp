#include "ui/Dialog.h"

#include "ui/DialogServices.h"

#include <wx/dcclient.h>
#include <wx/sizer.h>

CDialog::CDialog(wxWindow* parent, wxWindowID id, const wxString& title, long style)
    : wxDialog(parent, id, title, wxDefaultPosition, wxDefaultSize, style)
{
    ShowFocusClearly(this);
    Bind(wxEVT_PAINT, &CDialog::OnPaint, this);
    Bind(wxEVT_CLOSE_WINDOW, &CDialog::OnClose, this);
    // wxWidgets turns Escape into a click on a Cancel or OK button and does
    // nothing in a window without one, such as the copy window.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && !event.HasAnyModifiers())
            OnCancel();
        else
            event.Skip();
    });
    // The windows' own buttons carry the ids 1 and 2. wxWidgets' stock ids
    // would also work, but a stock button shows GTK's label in the system's
    // language instead of the Dutch one it was given.
    for (const int id : {IDCANCEL, static_cast<int>(wxID_CANCEL)})
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnCancel(); }, id);
    for (const int id : {IDOK, static_cast<int>(wxID_OK)})
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, id);
}

void CDialog::SetContent(wxSizer* content)
{
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(content, wxSizerFlags(1).Expand().Border(wxALL, Dlu(7, 7).x));
    SetSizerAndFit(outer);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnClose(wxCloseEvent& event)
{
    // The window decides in OnCancel whether it may end now (a copy in
    // progress may not be abandoned); wx must not destroy it behind our back.
    if (event.CanVeto())
        event.Veto();
    OnCancel();
}

int CDialog::ShowModal()
{
    if (m_ending)
        return GetReturnCode();
    return wxDialog::ShowModal();
}

void CDialog::EndDialog(int code)
{
    SetReturnCode(code);
    if (m_ending)
        return;
    m_ending = true;
    // EndModal before wx's modal loop runs would leave a loop that never
    // ends; a posted call runs inside the loop, after the current handler.
    CallAfter([this] {
        if (IsModal())
            EndModal(GetReturnCode());
    });
}

void CDialog::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    if (m_painted)
        return;
    m_painted = true;
    CallAfter([this] { OnShownOnScreen(); });
}
