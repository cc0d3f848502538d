// Corrections to what screen readers are told about labels. wxWidgets on
// GTK makes each static text or group box the label of the next control
// that takes the focus; these classes say explicitly what they label.
#pragma once

#include <wx/statbox.h>
#include <wx/stattext.h>

// The widget of `control` that takes the keyboard focus and that a screen
// reader names: the tree inside a list box or a table, else the control's
// own. A label must point there, or its access key and name go nowhere.
WXWidget FocusWidget(wxWindow* control);

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
// (a progress bar, a read-only line), and nothing else. Without
// SetLabelFor it is text of its own that names nothing.
class CCaption : public wxStaticText
{
public:
    CCaption(wxWindow* parent, const wxString& text) : wxStaticText(parent, wxID_ANY, text) {}

    void SetLabelFor(wxWindow* control) { GTKWidgetDoSetMnemonic(FocusWidget(control)); }

protected:
    bool GTKWidgetNeedsMnemonic() const override { return false; }
};

// What a screen reader reads after a control's name and role. Setting the
// same text again sends no change to the screen reader.
void SetAccessibleDescription(wxWindow* control, const wxString& text);
wxString AccessibleDescription(wxWindow* control);

// Low vision: the control with the focus is ringed by a solid line in the
// text colour, and `window` shows it from the start, not only after the
// first key press.
void ShowFocusClearly(wxWindow* window);

// `label` names `control` too, besides any label it has already (one
// caption may name a bar and the line that spells out its value).
void AddAccessibleLabel(wxWindow* control, wxWindow* label);

// A screen reader reads the whole of this text field, also when its text
// holds characters of more than one byte (an en dash, an accent). GTK's
// entries end the run of text attributes that reaches the end of the text
// short by the extra bytes, and screen readers speak a field run by run.
void ReadWholeText(wxWindow* field);

class wxGauge;

// A progress bar that low-vision users can see: `height` pixels thick,
// outlined in the text colour, filled in the selection colour, with its
// value written on it as text (such as "45 %").
void MakeBarVisible(wxGauge* bar, int height);
void SetBarText(wxGauge* bar, const wxString& text);

// The size GTK itself wants for a control at the font and theme in use;
// wxWidgets underestimates some, such as a text field at a large font.
wxSize NativeSize(wxWindow* control);

// A line whose every new text a screen reader speaks at once, wherever the
// focus is (Orca speaks a notification as it appears), and shows on screen
// for whoever looks. Announce sets the text and makes the line appear anew.
void MakeAnnouncer(wxStaticText* line);
void Announce(wxStaticText* line, const wxString& text);

// A label shown whole: its text wraps at `width` pixels into as many lines
// as it needs, and a screen reader still reads it as one text (GTK wraps
// it; no line breaks go into the text itself).
void WrapWholeText(wxStaticText* text, int width);
// The height its text takes, wrapped at `width` pixels (wxWidgets measures
// a label unwrapped).
int WrappedHeight(wxStaticText* text, int width);
