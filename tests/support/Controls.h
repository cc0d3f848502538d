// Operating a window's controls from a test the way a click does: the
// control changes, then its event goes through the window's handlers.
#pragma once

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/window.h>

#include <stdexcept>
#include <string>

template <class T> T& Control(wxWindow& window, int id)
{
    auto* control = dynamic_cast<T*>(window.FindWindow(id));
    if (control == nullptr)
        throw std::runtime_error("no control " + std::to_string(id) + " of that kind");
    return *control;
}

inline void Click(wxWindow& window, int id)
{
    wxButton& button = Control<wxButton>(window, id);
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(&button);
    button.GetEventHandler()->ProcessEvent(click);
}

inline void Toggle(wxWindow& window, int id)
{
    wxCheckBox& check = Control<wxCheckBox>(window, id);
    check.SetValue(!check.GetValue());
    wxCommandEvent click(wxEVT_CHECKBOX, id);
    click.SetEventObject(&check);
    click.SetInt(check.GetValue());
    check.GetEventHandler()->ProcessEvent(click);
}

inline void Choose(wxWindow& window, int id)
{
    wxRadioButton& radio = Control<wxRadioButton>(window, id);
    radio.SetValue(true);
    wxCommandEvent click(wxEVT_RADIOBUTTON, id);
    click.SetEventObject(&radio);
    radio.GetEventHandler()->ProcessEvent(click);
}

inline void Type(wxWindow& window, int id, const wxString& text)
{
    Control<wxTextCtrl>(window, id).SetValue(text);
}

inline std::string TextOf(wxWindow& window, int id)
{
    wxWindow* control = window.FindWindow(id);
    if (auto* edit = dynamic_cast<wxTextCtrl*>(control))
        return edit->GetValue().utf8_string();
    if (auto* label = dynamic_cast<wxStaticText*>(control))
        return label->GetLabelText().utf8_string();
    throw std::runtime_error("no text control " + std::to_string(id));
}

inline bool IsChecked(wxWindow& window, int id)
{
    if (auto* radio = dynamic_cast<wxRadioButton*>(window.FindWindow(id)))
        return radio->GetValue();
    return Control<wxCheckBox>(window, id).GetValue();
}
