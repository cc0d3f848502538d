// Behaviour every Talvora window shares on top of wxDialog.
#pragma once

#include "ui/Accessibility.h"

#include <wx/dialog.h>

class CDialog : public wxDialog
{
public:
    CDialog(wxWindow* parent, wxWindowID id, const wxString& title, long style = wxDEFAULT_DIALOG_STYLE);

    // Runs the window modally and returns its end code; a window ended
    // before it was run returns that code at once without appearing.
    int ShowModal() override;

    // Ends the modal run once the handler that calls it has returned. Safe
    // anywhere: before the run, while the window initialises (when wx has
    // no modal loop yet to leave) and from nested handlers.
    void EndDialog(int code);

    bool IsEnding() const { return m_ending; }

    // Dialog units at this window's font, so that spacing grows with the
    // text (large fonts, a different theme) instead of being fixed pixels.
    wxSize Dlu(int x, int y) const { return ConvertDialogToPixels(wxSize(x, y)); }
    // Space between related controls, and between groups of them.
    int Gap() const { return Dlu(0, 4).y; }
    int GroupGap() const { return Dlu(0, 7).y; }

protected:
    // Gives `control` at least the size in dialog units, and never less
    // than its text needs at the font in use; returns it.
    template <class T> T* AtLeast(T* control, int dluWidth, int dluHeight)
    {
        wxSize size = Dlu(dluWidth, dluHeight);
        size.IncTo(control->GetBestSize());
        size.IncTo(NativeSize(control));
        control->SetMinSize(size);
        return control;
    }

    // Puts `content` inside the border every window has and sizes the
    // window to fit it at the font in use.
    void SetContent(wxSizer* content);

    // Escape, the close box and a button with id IDCANCEL arrive here; the
    // default ends the window with IDCANCEL.
    virtual void OnCancel();
    // A button with id IDOK arrives here; the default ends the window with
    // IDOK.
    virtual void OnOK();

    // Called once, after the window has really been painted on screen.
    // wxEVT_SHOW and the first idle event both come while a window manager
    // may still hold the window unmapped; only the first paint is reliable.
    virtual void OnShownOnScreen() {}

private:
    void OnPaint(wxPaintEvent& event);
    void OnClose(wxCloseEvent& event);

    bool m_ending = false;
    bool m_painted = false;
};
