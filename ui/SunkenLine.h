// A one-line read-only text in a sunken frame, as the windows show the book
// title, the destination and the example folder name.
#pragma once

#include "ui/Accessibility.h"

#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

class CSunkenLine : public wxPanel
{
public:
    // `width` in pixels; the text is shown literally (an ampersand stays an
    // ampersand) and shortened with an ellipsis where `ellipsize` says; 0:
    // never shortened, but wrapped over as many lines as it needs.
    CSunkenLine(wxWindow* parent, int id, int width, long ellipsize = wxST_ELLIPSIZE_MIDDLE)
        : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_SUNKEN), m_width(width),
          m_wraps(ellipsize == 0)
    {
        // GTK draws no border around a bare label, hence the panel.
        m_text = new wxStaticText(this, id, wxString(), wxDefaultPosition, wxSize(width, -1),
                                  wxST_NO_AUTORESIZE | ellipsize);
        if (m_wraps)
            WrapWholeText(m_text, width);
        auto* inside = new wxBoxSizer(wxVERTICAL);
        inside->Add(m_text, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, 4));
        SetSizer(inside);
    }

    // The panel is only a frame: neither Tab nor a click stops on it.
    bool AcceptsFocus() const override { return false; }
    bool AcceptsFocusRecursively() const override { return false; }
    bool AcceptsFocusFromKeyboard() const override { return false; }

    void SetText(const wxString& text)
    {
        m_text->SetLabelText(text);
        if (m_wraps) {
            // As high as the text now needs.
            m_text->SetMinSize(wxSize(m_width, WrappedHeight(m_text, m_width)));
            InvalidateBestSize();
            return;
        }
        // A text too long for the line is shortened on screen; the tooltip
        // shows all of it.
        if (text.empty())
            m_text->UnsetToolTip();
        else
            m_text->SetToolTip(text);
    }
    wxString GetText() const { return m_text->GetLabelText(); }
    wxStaticText* Text() const { return m_text; }

private:
    wxStaticText* m_text;
    int m_width;
    bool m_wraps;
};
