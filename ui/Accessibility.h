// Corrections to what screen readers are told about labels.
#pragma once

#include <wx/statbox.h>

// A group box that names only what it holds. wxWidgets on GTK would also
// make it the label of the next control after the box, so that a check box
// below a group would be announced with the group's title.
class CGroupBox : public wxStaticBox
{
public:
    CGroupBox(wxWindow* parent, const wxString& label) : wxStaticBox(parent, wxID_ANY, label) {}

protected:
    bool GTKWidgetNeedsMnemonic() const override { return false; }
};
