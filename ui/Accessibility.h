// Corrections to what screen readers are told about labels. wxWidgets on
// GTK makes each static text or group box the label of the next control
// that takes the focus; these classes say explicitly what they label.
#pragma once

#include <wx/statbox.h>
#include <wx/stattext.h>

// A group box that names only what it holds, not also the control after it
// (a check box below a group would be announced with the group's title).
class CGroupBox : public wxStaticBox
{
public:
    CGroupBox(wxWindow* parent, const wxString& label) : wxStaticBox(parent, wxID_ANY, label) {}

protected:
    bool GTKWidgetNeedsMnemonic() const override { return false; }
};

// A caption that names one given control, also one that Tab passes over
// (a progress bar, a read-only line), and nothing else.
class CCaption : public wxStaticText
{
public:
    CCaption(wxWindow* parent, const wxString& text) : wxStaticText(parent, wxID_ANY, text) {}

    void SetLabelFor(wxWindow* control) { GTKWidgetDoSetMnemonic(control->GetHandle()); }

protected:
    bool GTKWidgetNeedsMnemonic() const override { return false; }
};
