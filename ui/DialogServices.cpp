#include "ui/DialogServices.h"

#include <wx/msgdlg.h>

namespace {

class CNativeDialogServices final : public IDialogServices
{
public:
    int MessageBox(wxWindow* parent, const wxString& text, unsigned type) override
    {
        const bool withCancel = (type & 0x0F) == MB_OKCANCEL;
        long style = withCancel ? (wxOK | wxCANCEL) : wxOK;
        if (type & MB_ICONHAND)
            style |= wxICON_ERROR;
        else if (type & MB_ICONASTERISK)
            style |= wxICON_INFORMATION;
        else
            style |= wxICON_NONE;

        wxMessageDialog box(parent, text, kProgramName, style | wxCENTRE);
        // Dutch whatever the system's language, as in the rest of the program.
        if (withCancel)
            box.SetOKCancelLabels("OK", "Annuleren");
        else
            box.SetOKLabel("OK");
        const int answer = box.ShowModal();
        return withCancel && answer == wxID_CANCEL ? IDCANCEL : IDOK;
    }
};

CNativeDialogServices& Native()
{
    static CNativeDialogServices native;
    return native;
}

IDialogServices* g_installed = nullptr;

} // namespace

IDialogServices& DialogServices()
{
    return g_installed != nullptr ? *g_installed : Native();
}

IDialogServices* InstallDialogServices(IDialogServices* services)
{
    IDialogServices* previous = g_installed;
    g_installed = services;
    return previous;
}

int AfxMessageBox(const wxString& text, unsigned type)
{
    return DialogServices().MessageBox(nullptr, text, type);
}
